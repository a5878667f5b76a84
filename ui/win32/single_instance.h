#pragma once

// One window for the files a user opens: Explorer starts the program once per file it opens
// ("Open with" on ten files starts ten programs), and every start after the first hands its
// files to the first one's main window and ends.

#include <windows.h>

#include <string>
#include <vector>

namespace single_instance {

struct Timings {
    // How long a later start waits for the first one's window (it may still be opening, or
    // closing) before it opens a window of its own, so that no file is lost.
    DWORD windowWait = 30000;
    // How long the first one's window has to answer.
    DWORD answerWait = 10000;
};

// Makes this process the first one of the user's session, or hands the files (made absolute
// here, against this process's folder of work) to the first one's window. True when they were
// handed over and this process should end; false when it should open its own window: it is the
// first, it has no files, or no window took them in time.
bool handOver(const std::vector<std::wstring>& files, const Timings& timings = {});

// Lets later starts reach this main window, when this process is the first. Handed files are
// added as dropped files are; while the window is busy (a batch runs, or it shows a dialog of its
// own) they wait, and are added once it is free, so that no batch's lines move under it.
void serve(HWND mainWindow);

}  // namespace single_instance
