#include "platform.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform_internal.h"

namespace platform {

void writeDefaultDebug(std::string_view text) {
    static const bool enabled = [] {
        const char* value = std::getenv("KESTROVA_DEBUG");
        return value != nullptr && *value != '\0';
    }();
    if (enabled) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
}

namespace {

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::string SystemError::text() const {
    char buffer[256] = {};
    // The GNU form returns a pointer that may or may not be the buffer.
    return ::strerror_r(code, buffer, sizeof buffer);
}

SystemError lastSystemError() {
    return SystemError{errno};
}

namespace {

// The account's home folder from the password database; empty when there is none.
std::string accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return found->pw_dir;
}

// A relative XDG variable or HOME would put the files wherever the program happens to be
// started; "/" as a home would put them under the root folder: no better than none.
std::string userFolder(const char* xdgVariable, const std::string& underHome) {
    const char* xdg = std::getenv(xdgVariable);
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + underHome;
    }
    const std::string account = accountHome();
    if (account.empty() || account == "/") {
        return {};
    }
    return account + underHome;
}

}  // namespace

std::string dataFolder() {
    return userFolder("XDG_DATA_HOME", "/.local/share");
}

std::string configFolder() {
    return userFolder("XDG_CONFIG_HOME", "/.config");
}

std::int32_t tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

bool makeDirectory(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    return errno == EEXIST && isDirectory(path);
}

bool fileExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return regular;
}

std::int64_t fileSize(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &first) != 0 ||
        ::stat(b.c_str(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool fileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return false;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

bool removeFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

CreateResult createFileExclusive(const std::string& path, std::string_view content,
                                 SystemError* error) {
    SystemError ignored;
    SystemError& why = error != nullptr ? *error : ignored;
    if (path.empty()) {
        why.code = ENOENT;
        return CreateResult::Failed;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = lastSystemError();
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    const bool written = writeAll(fd, content);
    if (!written) {
        why = lastSystemError();
    }
    const bool closed = ::close(fd) == 0;
    if (written && !closed) {
        why = lastSystemError();
    }
    if (!written || !closed) {
        ::unlink(path.c_str());
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

bool readFile(const std::string& path, std::string& content) {
    content.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char piece[4096];
    for (;;) {
        ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        content.append(piece, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

std::string executableFolder() {
    std::string path(PATH_MAX, '\0');
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

void HeldFile::release() {
    if (native_ != kNone) {
        ::close(static_cast<int>(native_));
        native_ = kNone;
    }
}

std::string HeldFile::readStart(std::size_t limit) const {
    std::string content;
    if (native_ == kNone) {
        return content;
    }
    char piece[65536];
    while (content.size() < limit) {
        const std::size_t want = std::min(sizeof piece, limit - content.size());
        const ssize_t got =
            ::pread(static_cast<int>(native_), piece, want, static_cast<off_t>(content.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        content.append(piece, static_cast<std::size_t>(got));
    }
    return content;
}

CreateResult createHeldFile(const std::string& path, std::string_view content, HeldFile& file,
                            SystemError* error) {
    SystemError ignored;
    SystemError& why = error != nullptr ? *error : ignored;
    file.release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = lastSystemError();
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    // A fresh file: no one else can hold its lock yet.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (!writeAll(fd, content)) {
        why = lastSystemError();
        ::close(fd);
        ::unlink(path.c_str());
        return CreateResult::Failed;
    }
    file.path_ = path;
    file.native_ = fd;
    return CreateResult::Created;
}

}  // namespace platform
