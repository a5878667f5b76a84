#pragma once

// What a front end says when it cannot show the output folder in the desktop's file manager.

#include <functional>
#include <string>

namespace rules {

enum class OpenFolderProblem {
    None,
    Missing,     // nothing at that path
    NotAFolder,  // something else than a folder is there
    NoOpener,    // the desktop would not show it
};

// What is wrong with the folder itself, looking at the file system; None when it is a folder
// (whether the desktop can show it is only known by asking).
OpenFolderProblem checkOpenFolder(const std::string& folder);

// "Cannot open the folder '<folder>':\n<reason>."; "" for None.
std::string openFolderFailure(const std::string& folder, OpenFolderProblem problem);
// The same with the desktop's own reason ("" gives NoOpener's).
std::string openFolderFailure(const std::string& folder, const std::string& reason);

// What the desktop answered when asked to show a folder.
struct ShowAnswer {
    bool shown = true;
    std::string reason;  // why not, in the desktop's words; "" when it gave none
};

// Open: a folder that is there is handed to show (the desktop's own way of showing it). What to
// tell the user when the folder is not shown; "" when it is, and when the field is empty
// (nothing is asked of the desktop then).
std::string showFolder(const std::string& folder, const std::function<ShowAnswer()>& show);

}  // namespace rules
