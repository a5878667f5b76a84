#pragma once

// What a batch has done so far, shared by every engine that runs a part of it: the outputs its
// jobs claimed, so that no two jobs of one batch write one file, and the output folders it has
// used. Looking up costs the same for the ten-thousandth job as for the first.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform.h"

class BatchLedger {
public:
    // Claims output for source's job. Refused, with the source of the earlier job, when an
    // earlier job of the batch claimed the same path, or when the file now at output is one
    // that an earlier job made or kept (another spelling of it, a link, a name that differs only
    // in case on a file system that ignores case).
    std::optional<std::string> claim(const std::string& output, const std::string& source);

    // Notes the file now standing at a claimed output (made or kept by its job), so that later
    // spellings of it are known. Nothing when no file is there.
    void recordFile(const std::string& output, const std::string& source);

    // True the first time the batch names this folder, false afterwards.
    bool firstUseOf(const std::string& folder);

private:
    std::mutex mutex_;
    std::map<std::string, std::string> byPath_;
    std::map<platform::FileIdentity, std::string> byFile_;
    std::set<std::string> folders_;
};
