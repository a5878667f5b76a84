#pragma once

// Why a job did not finish, as a value: what could not be done, where, and the system's or the
// converter's own word for why. Every reason a job ends with is one of these until it is turned
// into the job's text, so that none is invented or lost on the way.

#include <string>

#include "platform.h"

struct EngineError {
    enum class Kind {
        None,
        NoDataFolder,          // no per-user folder to write scripts and logs in
        DataFolderRefused,     // where: the folder; detail: why it is not safe to use
        CannotWriteScript,     // where: the script folder
        CannotWriteLog,        // where: the data folder, for the probe's log
        CannotCreateOutput,    // where: the output folder
        FolderTakenOver,       // where: the output folder, where another user interfered
        CannotStartConverter,  // the interpreter or the converter could not be started
        CannotGuard,           // the converter's guardian could not be started
        SourceDidNotAnswer,    // the probe outlasted its limit; detail: the limit in seconds
        ConverterSaid,         // detail: the converter's own last error line
        EndedBySignal,         // detail: the signal's number
        ExitStatus,            // detail: the status
        WroteNoOutput,         // exit status 0, but no file
        OutputNameTaken,       // anything but a file at the output name; detail: what it is
        NameTakenMeanwhile,    // something appeared at a free output name during the job
        OutputFolderMoved,     // the output folder's name leads elsewhere now
        CannotPlaceOutput,     // where: the output
        SameOutput,            // detail: the earlier job's source
        Short,                 // detail: how much of the source the output holds
    };
    Kind kind = Kind::None;
    std::string where;
    platform::SystemError error;
    std::string detail;

    explicit operator bool() const { return kind != Kind::None; }
    // Short and true, e.g. "cannot write a script in /home/u/.local/share/Vantrel: Permission
    // denied".
    std::string text() const;
};

// A file the engine made and holds (see platform::HeldFile): its path, or why there is none.
struct MadeFile {
    std::string path;
    EngineError error;
    platform::HeldFile held;
};
