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

// "Cannot open the folder '<folder>': <reason>."; "" for None.
std::string openFolderFailure(const std::string& folder, OpenFolderProblem problem);

// Open: a folder that is there is handed to show (the desktop's own way of showing it, true when
// it did). What to tell the user when the folder is not shown; "" when it is, and when the field
// is empty (nothing is asked of the desktop then).
std::string showFolder(const std::string& folder, const std::function<bool()>& show);

}  // namespace rules
