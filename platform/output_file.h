#pragma once

// A converter's output is written under a temporary name beside the final one and only a
// finished job puts it in place, so that the output name never shows a partial, empty or failed
// result, and whatever stood there before stays untouched unless the user agreed to replace it.

#include <memory>
#include <string>

#include "platform.h"

namespace platform {

// The hidden temporary name for an output, attempt number n: in the output's folder, starting
// with '.', and ending in the output's own extension, so that a converter that picks its format
// by the name picks the same one.
std::string temporaryOutputName(const std::string& outputPath, unsigned number);

// The folder a temporary file was made in, held open where the system allows it (POSIX), so
// that the file is still found there after the folder was renamed; closed with the last copy.
struct OutputFolder;

struct TemporaryOutput {
    std::string path;  // empty when none could be created
    SystemError error;
    std::shared_ptr<const OutputFolder> folder;  // empty where none is held
};

// Creates a fresh, empty temporary file for the output, exclusively (never one that exists),
// with the permissions the user's umask gives any new file.
TemporaryOutput createTemporaryOutput(const std::string& outputPath);

enum class Placement {
    Placed,     // the output name now holds the finished file
    NameTaken,  // something appeared at a free output name meanwhile; it was left alone
    Failed,     // see the error
};

struct PlaceResult {
    Placement placement = Placement::Failed;
    SystemError error;
};

// Moves the finished temporary file to the output name. Without replace, a name that is taken
// (by anything, a dangling link included) stays as it is: NameTaken. With replace, whatever is at
// the name is replaced by the move itself, so a link there is replaced, never written through.
// The temporary file is gone afterwards unless the result is Failed.
PlaceResult placeOutput(const TemporaryOutput& temporary, const std::string& outputPath,
                        bool replace);

// Removes a temporary file that will not become an output, from the folder it was made in even
// when that folder was renamed meanwhile; quietly when it is gone already.
void discardOutput(const TemporaryOutput& temporary);

// True when anything at all is at the path: a file, a folder, a link even when it leads nowhere,
// readable or not.
bool nameTaken(const std::string& path);

}  // namespace platform
