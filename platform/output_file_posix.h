#pragma once

// The inside of a job's output place on POSIX, shared with the process starter (which runs the
// converter in the private folder), the leftover guard and the sweep.

#include <functional>
#include <string>

#include "output_file.h"
#include "posix_descriptor.h"
#include "sweep_names.h"

namespace platform {

using sweep::kBuildingPrefix;
using sweep::kJobPrefix;
using sweep::kLockName;

struct OutputPlace::Impl {
    std::string outputFolderPath;
    std::string outputName;
    std::string temporaryName;
    std::string privateName;  // its name in the output folder; empty when none was made
    FileDescriptor outputFolder;
    FileIdentity outputFolderId;
    FileDescriptor privateFolder;
    FileDescriptor lock;

    ~Impl();
    // Locks the new private folder, makes the temporary file in it and gives it its final name;
    // an errno value when that fails.
    int settle(const std::string& building, const std::string& finalName);
};

// Visits each entry's name of the folder held by the descriptor, "." and ".." included.
void eachEntry(int folder, const std::function<void(const std::string&)>& visit);

// Removes every entry of the folder held by the descriptor (files only; the folder stays).
void removeFolderContents(int folder);

}  // namespace platform
