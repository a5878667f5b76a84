#include "platform.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform_internal.h"
#include "win32_handle.h"
#include "win32_text.h"

namespace platform {

using win32::narrow;
using win32::widen;

namespace {

std::mutex dataFolderMutex;
std::string dataFolderOverride;

// Others may keep writing or delete the file meanwhile, as on POSIX. Without
// FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened.
HANDLE openForReading(const std::string& path) {
    return CreateFileW(win32::filePath(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void writeDefaultDebug(std::string_view text) {
    OutputDebugStringW(widen(text).c_str());
    // The debugger's channel is invisible under a terminal; KESTROVA_DEBUG mirrors it there.
    static const bool mirrored = [] {
        const char* value = std::getenv("KESTROVA_DEBUG");
        return value != nullptr && *value != '\0';
    }();
    if (mirrored) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
}

namespace {

// Opens an existing file or folder for its identity only, without blocking other users.
HANDLE openForQuery(const std::string& path) {
    return CreateFileW(win32::filePath(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool writeAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const DWORD piece =
            content.size() > 1u << 20 ? 1u << 20 : static_cast<DWORD>(content.size());
        DWORD written = 0;
        if (!WriteFile(file, content.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::string SystemError::text() const {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    LocalFree(buffer);
    // The system's texts end in a full stop and a line end.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "system error " + std::to_string(code);
    }
    return narrow(text);
}

SystemError lastSystemError() {
    return SystemError{static_cast<int>(GetLastError())};
}

std::string dataFolder() {
    {
        std::lock_guard<std::mutex> guard(dataFolderMutex);
        if (!dataFolderOverride.empty()) {
            return dataFolderOverride;
        }
    }
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE)) {
        return {};
    }
    return narrow(folder);
}

void setDataFolderOverride(std::string folder) {
    std::lock_guard<std::mutex> guard(dataFolderMutex);
    dataFolderOverride = std::move(folder);
}

std::int32_t tickCount() {
    return static_cast<std::int32_t>(GetTickCount());
}

bool makeDirectory(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (CreateDirectoryW(win32::filePath(path).c_str(), nullptr)) {
        return true;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS && isDirectory(path);
}

bool fileExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // Folders cannot be opened this way, so they count as absent.
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

std::int64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() ||
        !GetFileAttributesExW(win32::filePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

bool pathExists(const std::string& path) {
    return !path.empty() &&
           GetFileAttributesW(win32::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(win32::filePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    HANDLE first = openForQuery(a);
    if (first == INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE second = openForQuery(b);
    if (second == INVALID_HANDLE_VALUE) {
        CloseHandle(first);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION other{};
    const bool known =
        GetFileInformationByHandle(first, &one) && GetFileInformationByHandle(second, &other);
    CloseHandle(first);
    CloseHandle(second);
    return known && one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool fileIdentity(const std::string& path, FileIdentity& identity) {
    if (path.empty()) {
        return false;
    }
    HANDLE file = openForQuery(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (known) {
        identity = {info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }
    return known;
}

bool removeFile(const std::string& path) {
    return !path.empty() && DeleteFileW(win32::filePath(path).c_str()) != 0;
}

CreateResult createFileExclusive(const std::string& path, std::string_view content,
                                 SystemError* error) {
    SystemError ignored;
    SystemError& why = error != nullptr ? *error : ignored;
    if (path.empty()) {
        why.code = ERROR_PATH_NOT_FOUND;
        return CreateResult::Failed;
    }
    const std::wstring wide = win32::filePath(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = lastSystemError();
        return why.code == ERROR_FILE_EXISTS || why.code == ERROR_ALREADY_EXISTS
                   ? CreateResult::Exists
                   : CreateResult::Failed;
    }
    const bool written = writeAll(file, content);
    if (!written) {
        why = lastSystemError();
    }
    const bool closed = CloseHandle(file) != 0;
    if (written && !closed) {
        why = lastSystemError();
    }
    if (!written || !closed) {
        DeleteFileW(wide.c_str());
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

bool readFile(const std::string& path, std::string& content) {
    content.clear();
    if (path.empty()) {
        return false;
    }
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) {
        content.append(piece, got);
    }
    CloseHandle(file);
    return true;
}

std::string executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto separator = path.rfind(L'\\');
    if (separator != std::wstring::npos) {
        path.resize(separator);
    }
    return narrow(path);
}

void HeldFile::release() {
    if (native_ != kNone) {
        CloseHandle(reinterpret_cast<HANDLE>(native_));
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
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(content.size());
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(content.size()) >> 32);
        const DWORD want = static_cast<DWORD>(std::min(sizeof piece, limit - content.size()));
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(native_), piece, want, &got, &at) || got == 0) {
            break;
        }
        content.append(piece, got);
    }
    return content;
}

CreateResult createHeldFile(const std::string& path, std::string_view content, HeldFile& file,
                            SystemError* error) {
    SystemError ignored;
    SystemError& why = error != nullptr ? *error : ignored;
    file.release();
    // Shared for deleting too: a script deletes itself at its end while the program holds it.
    HANDLE handle = CreateFileW(win32::filePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = lastSystemError();
        return why.code == ERROR_FILE_EXISTS || why.code == ERROR_ALREADY_EXISTS
                   ? CreateResult::Exists
                   : CreateResult::Failed;
    }
    win32::lockInUse(handle, false);
    if (!writeAll(handle, content)) {
        why = lastSystemError();
        CloseHandle(handle);
        DeleteFileW(win32::filePath(path).c_str());
        return CreateResult::Failed;
    }
    file.path_ = path;
    file.native_ = reinterpret_cast<std::intptr_t>(handle);
    return CreateResult::Created;
}

}  // namespace platform
