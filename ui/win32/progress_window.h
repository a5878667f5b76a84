#pragma once

// The progress window: starts the engine's worker, shows the batch ten times a second, offers
// Stop while it runs and Close when it has ended, and asks on the worker's behalf whether an
// existing output may be replaced.

#include <windows.h>

#include <cstdint>

class ConvertCore;

// Runs the window modally over owner until it ends; its result (1 closed, 2 not started).
INT_PTR runProgressWindow(ConvertCore& core, HWND owner);

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The engine's confirmCallback, called on the worker thread with the window as context: the
// question is asked on the window's own thread, which goes on refreshing the window meanwhile.
// 1 replaces, 0 keeps; 0 without asking once a stop was chosen or the window has closed.
int askOverwrite(int code, std::intptr_t context);

// The main window (owner) was minimised or restored: the open progress window goes and comes
// back with it, as Windows does for owned windows (and not every window manager under Wine).
void followOwner(HWND owner, bool minimised);

// Ticks of the open window so far, for tests.
int progressTicks();
