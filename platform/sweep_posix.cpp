#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <functional>

#include "output_file.h"
#include "output_file_posix.h"
#include "sweep_names.h"

namespace platform {

using namespace sweep;

namespace {

// File systems of other machines, where a lock taken here says nothing about a job there.
bool isNetworked(int folder) {
    struct statfs info {};
    if (::fstatfs(folder, &info) != 0) {
        return true;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE (sshfs and the like)
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
        case 0x01021997:  // 9P
            return true;
        default:
            return false;
    }
}

// True when a file of ours can be taken: its lock is free (no live job holds it), and on a
// networked file system it has also been left alone for a day.
bool lockFree(int file, bool networked, const struct stat& info) {
    if (networked && std::time(nullptr) - info.st_mtime < kQuietAge) {
        return false;
    }
    return ::flock(file, LOCK_EX | LOCK_NB) == 0;
}

bool ownedRegularFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// A private folder whose job is gone: its lock is free, or it has none (made by a job that
// died before it took one, and older than a day).
bool sweepPrivateFolder(int parent, const std::string& name, bool networked) {
    FileDescriptor folder(
        ::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid()) {
        return false;
    }
    FileDescriptor lock(::openat(folder.get(), kLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    const bool old = std::time(nullptr) - info.st_mtime >= kQuietAge;
    struct stat lockInfo {};
    if (lock ? ::fstat(lock.get(), &lockInfo) != 0 || !lockFree(lock.get(), networked, lockInfo)
             : !old) {
        return false;
    }
    removeFolderContents(folder.get());
    return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

// A file of the program's own (a script, a log) whose job is gone.
bool sweepFile(int parent, const std::string& name, bool networked) {
    FileDescriptor file(
        ::openat(parent, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !ownedRegularFile(info) ||
        !lockFree(file.get(), networked, info)) {
        return false;
    }
    return ::unlinkat(parent, name.c_str(), 0) == 0;
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::vector<std::string> sweepOutputFolder(const std::string& folderPath) {
    std::vector<std::string> swept;
    FileDescriptor folder(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        return swept;
    }
    const bool networked = isNetworked(folder.get());
    eachEntry(folder.get(), [&](const std::string& name) {
        bool gone = false;
        if (startsWith(name, kJobPrefix) || startsWith(name, kBuildingPrefix)) {
            gone = sweepPrivateFolder(folder.get(), name,
                                      networked || startsWith(name, kBuildingPrefix));
        } else if (isOldTemporary(name)) {
            struct stat info {};
            gone = ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                   ownedRegularFile(info) && std::time(nullptr) - info.st_mtime >= kQuietAge &&
                   ::unlinkat(folder.get(), name.c_str(), 0) == 0;
        }
        if (gone) {
            swept.push_back(joined(folderPath, name));
        }
    });
    return swept;
}

std::vector<std::string> sweepDataFolders(const std::string& dataFolder,
                                          const std::string& scriptFolder) {
    std::vector<std::string> swept;
    const struct {
        const std::string& path;
        const char* prefix;
        const char* suffix;
    } places[] = {{dataFolder, "xcoder", ".txt"}, {scriptFolder, "bjob", ".sh"}};
    for (const auto& place : places) {
        FileDescriptor folder(::open(place.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder) {
            continue;
        }
        const bool networked = isNetworked(folder.get());
        eachEntry(folder.get(), [&](const std::string& name) {
            if (numbered(name, place.prefix, place.suffix) &&
                sweepFile(folder.get(), name, networked)) {
                swept.push_back(joined(place.path, name));
            }
        });
    }
    return swept;
}

}  // namespace platform
