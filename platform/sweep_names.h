#pragma once

// The names a sweep may take: the program's own patterns, on every platform.

#include <cctype>
#include <ctime>
#include <string>

namespace platform::sweep {

// Where a lock may not hold, a file this young may still be in use elsewhere.
inline constexpr std::time_t kQuietAge = 24 * 60 * 60;

// A job's private folder while it is set up (a sweep leaves it alone while young), and once it
// is locked.
inline constexpr const char* kBuildingPrefix = ".kestrova-new-";
inline constexpr const char* kJobPrefix = ".kestrova-job-";
inline constexpr const char* kLockName = "lock";

inline bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// True when the name is <prefix><digits><suffix>, the digits possibly after a minus sign.
inline bool numbered(const std::string& name, const char* prefix, const char* suffix) {
    const std::string head = prefix;
    const std::string tail = suffix;
    if (name.size() <= head.size() + tail.size() || !startsWith(name, prefix) ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    std::size_t k = head.size() + (name[head.size()] == '-' ? 1 : 0);
    const std::size_t end = name.size() - tail.size();
    if (k >= end) {
        return false;
    }
    for (; k < end; ++k) {
        if (!std::isdigit(static_cast<unsigned char>(name[k]))) {
            return false;
        }
    }
    return true;
}

// An earlier version's temporary output: ".NAME.N.part" with the output's extension, if any.
inline bool isOldTemporary(const std::string& name) {
    if (name.size() < 8 || name[0] != '.') {
        return false;
    }
    for (auto part = name.rfind(".part"); part != std::string::npos && part > 1;
         part = name.rfind(".part", part - 1)) {
        const std::string rest = name.substr(part + 5);
        if (!rest.empty() && (rest[0] != '.' || rest.find('.', 1) != std::string::npos)) {
            continue;
        }
        std::size_t digits = part;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) {
            --digits;
        }
        if (digits < part && digits > 1 && name[digits - 1] == '.') {
            return true;
        }
    }
    return false;
}

}  // namespace platform::sweep
