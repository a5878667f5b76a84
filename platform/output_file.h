#pragma once

// Where a job's output is made. The converter writes into a private folder of the job's own,
// made in the output folder; only a finished job moves the file from there to the output name.
// So the output name never shows a partial, empty or failed result, whatever stood there before
// stays untouched unless the user agreed to replace it, and no other user can reach the file
// while it is made: on POSIX the converter runs inside the private folder, held open, and is
// given a bare name, so no name another user can change lies on its way.

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace platform {

// What stands at an output name, the last link followed.
struct OutputName {
    enum class Kind {
        Free,   // nothing at all
        File,   // a regular file, or a link to one: the user's to keep or replace
        Other,  // anything else (a folder, a FIFO, a device, a link that leads nowhere)
    };
    Kind kind = Kind::Free;
    std::string what;  // for Other: "a folder", "a FIFO", "a link that leads nowhere", ...
};
OutputName lookAtOutputName(const std::string& path);

// True when anything at all is at the path: a file, a folder, a link even when it leads nowhere,
// readable or not.
bool nameTaken(const std::string& path);

enum class Placement {
    Placed,     // the output name now holds the finished file
    NameTaken,  // something appeared at a free output name meanwhile; it was left alone
    Failed,     // see the error
};

struct PlaceResult {
    Placement placement = Placement::Failed;
    SystemError error;
};

class OutputPlace {
public:
    struct Made;
    // Holds the output path's folder and makes the private folder in it with an empty temporary
    // file, whose name ends in the output's extension so that the converter picks the same
    // format. The private folder is locked while the job lives, so that a sweep never takes it.
    static Made make(const std::string& outputPath);

    // Removes the private folder with whatever is left in it, wherever it is now.
    ~OutputPlace();
    OutputPlace(const OutputPlace&) = delete;
    OutputPlace& operator=(const OutputPlace&) = delete;

    // What the converter is given as its output: the bare temporary name on POSIX, where it runs
    // in the private folder; the temporary file's full path on Windows.
    const std::string& converterOutput() const;
    // The temporary file's path as it stands now (for diagnostics and tests: the converter is
    // never given it on POSIX).
    std::string temporaryPath() const;

    enum class State {
        Ready,        // a regular, non-empty file, in the folder the output name still leads to
        Empty,        // the converter wrote nothing (or removed its file)
        NotAFile,     // something else stands at the temporary name
        FolderMoved,  // the output folder's name leads elsewhere now (moved, replaced, removed)
    };
    // Looks at the temporary file and the output folder through what is held, following no link.
    State check() const;

    // Moves the finished file to the output name. Without replace, a name that is taken (by
    // anything, a dangling link included) stays as it is: NameTaken. With replace, whatever is
    // at the name is replaced by the move itself, so a link there is replaced, never written
    // through. The file keeps the group and permissions it got in the private folder, which
    // are what a file made directly in the output folder gets.
    PlaceResult place(bool replace);

    struct Impl;
    const Impl& impl() const { return *impl_; }

private:
    explicit OutputPlace(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

struct OutputPlace::Made {
    std::unique_ptr<OutputPlace> place;  // null when none could be made
    SystemError error;                   // why not
    // Another user took the new private folder's name over, again and again, before it could
    // be held (a shared output folder without the sticky bit).
    bool takenOver = false;
};

// Private folders, scripts and logs left by a run that was killed whole (every process at once),
// removed: only names of the program's own patterns, only the user's own, and never one a live
// job holds (each is locked while in use). On network file systems, where locks may not hold,
// only what is older than a day. Each returns the paths it removed.
std::vector<std::string> sweepOutputFolder(const std::string& folder);
std::vector<std::string> sweepDataFolders(const std::string& dataFolder,
                                          const std::string& scriptFolder);

}  // namespace platform
