#pragma once

// The two folders the program writes its own files in: the per-user data folder (probe logs)
// and its "Vantrel" folder (scripts). Whatever the program runs is written there, so both must
// be the user's own: another account that could swap a script between its writing and its run
// would run commands as this user.

#include <string>

#include "platform.h"

namespace platform {

struct DataFolders {
    std::string data;     // the data folder itself
    std::string scripts;  // its Vantrel folder
    // When refused: the folder that failed the rule and why; data and scripts are then empty.
    // An empty refused folder with an empty data folder: no data folder can be determined.
    std::string refused;
    std::string why;
    explicit operator bool() const { return !scripts.empty(); }
};

// The data folders, made where missing (0700 on POSIX), each checked before use. On POSIX each
// must be a real folder (not a link), owned by the user and writable by no one else (group write
// only for the user's own private group), and each existing folder above them owned by the user
// or root and, when others can write it, sticky. On Windows a link or junction is refused (the
// profile's own access rules stand).
DataFolders dataFolders();

}  // namespace platform
