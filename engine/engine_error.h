#pragma once

// What the engine could not do, where, and the system's word for why: the reason a job fails
// with, carried as a value until it is turned into the job's text.

#include <string>

#include "platform.h"

struct EngineError {
    enum class Kind {
        None,
        NoDataFolder,          // no per-user folder to write scripts and logs in
        CannotWriteScript,     // where: the script folder
        CannotCreateOutput,    // where: the output folder
        CannotStartConverter,  // where: the script
        CannotPlaceOutput,     // where: the output
    };
    Kind kind = Kind::None;
    std::string where;
    platform::SystemError error;

    explicit operator bool() const { return kind != Kind::None; }
    // Short and true, e.g. "cannot write a script in /home/u/.local/share/Vantrel: Permission
    // denied".
    std::string text() const;
};

// A file the engine made: its path, or why there is none.
struct MadeFile {
    std::string path;
    EngineError error;
};
