#include "batch_ledger.h"

std::optional<std::string> BatchLedger::claim(const std::string& output,
                                              const std::string& source) {
    // Looked at before the lock: a slow file system must not hold up the other engines.
    platform::FileIdentity identity;
    const bool exists = platform::fileIdentity(output, identity);
    std::lock_guard<std::mutex> guard(mutex_);
    if (const auto earlier = byPath_.find(output); earlier != byPath_.end()) {
        return earlier->second;
    }
    if (exists) {
        if (const auto earlier = byFile_.find(identity); earlier != byFile_.end()) {
            return earlier->second;
        }
    }
    byPath_.emplace(output, source);
    return std::nullopt;
}

void BatchLedger::recordFile(const std::string& output, const std::string& source) {
    platform::FileIdentity identity;
    if (!platform::fileIdentity(output, identity)) {
        return;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    byFile_.emplace(identity, source);
}

bool BatchLedger::firstUseOf(const std::string& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    return folders_.insert(folder).second;
}
