#include <windows.h>

#include <functional>
#include <vector>

#include "output_file.h"
#include "sweep_names.h"
#include "win32_handle.h"
#include "win32_text.h"

namespace platform {

using namespace sweep;
using win32::Handle;

namespace {

// Seconds since the entry was last written.
long long ageOf(const WIN32_FIND_DATAW& entry) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(now) - ticks(entry.ftLastWriteTime)) / 10000000;
}

// Another machine's files, where a lock taken here says nothing about a job there.
bool isNetworked(const std::string& folder) {
    if (folder.rfind("\\\\", 0) == 0) {
        return true;
    }
    const std::wstring root = win32::widen(folder.substr(0, 3));
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

void eachEntry(const std::string& folder,
               const std::function<void(const WIN32_FIND_DATAW&, const std::string&)>& visit) {
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(win32::filePath(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<std::pair<WIN32_FIND_DATAW, std::string>> entries;
    do {
        entries.emplace_back(entry, win32::narrow(entry.cFileName));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    for (const auto& [data, name] : entries) {
        visit(data, name);
    }
}

// True when no live job holds the file: its lock can be taken.
bool lockFree(const std::string& path) {
    Handle file(CreateFileW(win32::filePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file ? GetLastError() == ERROR_FILE_NOT_FOUND : win32::lockInUse(file.get(), false);
}

bool sweepPrivateFolder(const std::string& path, bool quiet, bool old) {
    const std::string lock = path + "\\" + kLockName;
    const bool hasLock =
        GetFileAttributesW(win32::filePath(lock).c_str()) != INVALID_FILE_ATTRIBUTES;
    if ((hasLock ? !lockFree(lock) : !old) || (quiet && !old)) {
        return false;
    }
    eachEntry(path, [&path](const WIN32_FIND_DATAW& entry, const std::string& name) {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileW(win32::filePath(path + "\\" + name).c_str());
        }
    });
    return RemoveDirectoryW(win32::filePath(path).c_str()) != 0;
}

}  // namespace

std::vector<std::string> sweepOutputFolder(const std::string& folder) {
    std::vector<std::string> swept;
    const bool networked = isNetworked(folder);
    eachEntry(folder, [&](const WIN32_FIND_DATAW& entry, const std::string& name) {
        const std::string path = folder + "\\" + name;
        const bool folderEntry = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                 (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        const bool old = ageOf(entry) >= kQuietAge;
        bool gone = false;
        if (folderEntry && (startsWith(name, kJobPrefix) || startsWith(name, kBuildingPrefix))) {
            gone = sweepPrivateFolder(path, networked || startsWith(name, kBuildingPrefix), old);
        } else if (!folderEntry && isOldTemporary(name) && old) {
            gone = DeleteFileW(win32::filePath(path).c_str()) != 0;
        }
        if (gone) {
            swept.push_back(path);
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
    } places[] = {{dataFolder, "xcoder", ".txt"}, {scriptFolder, "bjob", ".bat"}};
    for (const auto& place : places) {
        const bool networked = isNetworked(place.path);
        eachEntry(place.path, [&](const WIN32_FIND_DATAW& entry, const std::string& name) {
            const std::string path = place.path + "\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                numbered(name, place.prefix, place.suffix) &&
                (!networked || ageOf(entry) >= kQuietAge) && lockFree(path) &&
                DeleteFileW(win32::filePath(path).c_str())) {
                swept.push_back(path);
            }
        });
    }
    return swept;
}

}  // namespace platform
