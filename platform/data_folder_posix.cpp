#include "data_folder.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform {

namespace {

constexpr const char* kScriptSubfolder = "/Vantrel";

// True when gid is the user's own private group: the user's primary group, named as the user,
// with no other members. Such a group's write permission gives no one else anything (the
// umask 002 convention).
bool isPrivateGroup(gid_t gid) {
    static const gid_t privateGroup = [] {
        const uid_t uid = ::getuid();
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
        passwd user{};
        passwd* found = nullptr;
        if (::getpwuid_r(uid, &user, buffer.data(), buffer.size(), &found) != 0 ||
            found == nullptr) {
            return static_cast<gid_t>(-1);
        }
        const std::string name = user.pw_name;
        const gid_t primary = user.pw_gid;
        size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
        std::vector<char> groupBuffer(static_cast<std::size_t>(size > 0 ? size : 16384));
        group entry{};
        group* groupFound = nullptr;
        if (::getgrgid_r(primary, &entry, groupBuffer.data(), groupBuffer.size(), &groupFound) !=
                0 ||
            groupFound == nullptr || name != entry.gr_name ||
            (entry.gr_mem != nullptr && entry.gr_mem[0] != nullptr &&
             (name != entry.gr_mem[0] || entry.gr_mem[1] != nullptr))) {
            return static_cast<gid_t>(-1);
        }
        return primary;
    }();
    return gid == privateGroup;
}

bool othersMayWrite(const struct stat& info) {
    return (info.st_mode & S_IWOTH) != 0 ||
           ((info.st_mode & S_IWGRP) != 0 && !isPrivateGroup(info.st_gid));
}

DataFolders refuse(const std::string& folder, std::string why) {
    DataFolders result;
    result.refused = folder;
    result.why = std::move(why);
    return result;
}

// Why a folder above the data folder makes it unsafe; "" when it does not.
std::string parentProblem(const struct stat& info) {
    if (!S_ISDIR(info.st_mode)) {
        return "it is not a folder";
    }
    if (info.st_uid != ::getuid() && info.st_uid != 0) {
        return "it belongs to another user";
    }
    if (othersMayWrite(info) && (info.st_mode & S_ISVTX) == 0) {
        return "other users can write in it";
    }
    return {};
}

// Makes the folder if it is missing, then checks it is the user's own; "" when it is.
std::string ownFolderProblem(const std::string& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            return lastSystemError().text();
        }
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return lastSystemError().text();
        }
        if (::lstat(folder.c_str(), &info) != 0) {
            return lastSystemError().text();
        }
    }
    if (S_ISLNK(info.st_mode)) {
        return "it is a link";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "it is not a folder";
    }
    if (info.st_uid != ::getuid()) {
        return "it belongs to another user";
    }
    if (othersMayWrite(info)) {
        return "other users can write in it";
    }
    return {};
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// Checks the folders above the data folder, on their real path (a link above it is as safe as
// the folders it leads through), and makes the missing ones as the user's own. On failure,
// names the folder at fault in culprit.
std::string pathProblem(const std::string& folder, std::string& culprit) {
    std::string existing = parentOf(folder);
    std::vector<std::string> missing;
    struct stat info {};
    while (existing != "/" && ::stat(existing.c_str(), &info) != 0 && errno == ENOENT) {
        missing.push_back(existing);
        existing = parentOf(existing);
    }
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(existing.c_str(), nullptr),
                                                        &::free);
    if (!real) {
        culprit = existing;
        return lastSystemError().text();
    }
    const std::string path = real.get();
    for (std::size_t end = 0; end != std::string::npos;) {
        end = path.find('/', end + 1);
        const std::string prefix = end == 1 ? "/" : path.substr(0, end);
        if (::stat(prefix.c_str(), &info) != 0) {
            culprit = prefix;
            return lastSystemError().text();
        }
        if (const std::string why = parentProblem(info); !why.empty()) {
            culprit = prefix;
            return why;
        }
        if (end == std::string::npos || path == "/") {
            break;
        }
    }
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        if (const std::string why = ownFolderProblem(*made); !why.empty()) {
            culprit = *made;
            return why;
        }
    }
    return {};
}

}  // namespace

DataFolders dataFolders() {
    const std::string folder = dataFolder();
    if (folder.empty()) {
        return {};
    }
    std::string culprit;
    if (const std::string why = pathProblem(folder, culprit); !why.empty()) {
        return refuse(culprit, why);
    }
    if (const std::string why = ownFolderProblem(folder); !why.empty()) {
        return refuse(folder, why);
    }
    const std::string scripts = folder + kScriptSubfolder;
    if (const std::string why = ownFolderProblem(scripts); !why.empty()) {
        return refuse(scripts, why);
    }
    DataFolders result;
    result.data = folder;
    result.scripts = scripts;
    return result;
}

}  // namespace platform
