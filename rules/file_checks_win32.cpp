#include <filesystem>

#include "file_checks.h"
#include "win32_text.h"

namespace rules {

namespace {

std::filesystem::path toPath(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string fromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

// Windows itself resolves ".." by name, so doing the same here names the file it opens; the
// separators become the platform's, which the engine's output names rely on.
std::string absolutePath(const std::string& path, const std::string& base) {
    std::filesystem::path full = toPath(path);
    if (full.is_relative()) {
        std::error_code error;
        const std::filesystem::path folder =
            base.empty() ? std::filesystem::current_path(error) : toPath(base);
        full = folder / full;
    }
    return fromPath(full.lexically_normal());
}

FileRefusal checkReadableFile(const std::string& path, FileIdentity& identity) {
    if (path.empty()) {
        return FileRefusal::NotFound;
    }
    const std::wstring wide = platform::win32::widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_ACCESS_DENIED ? FileRefusal::NotReadable
                                                     : FileRefusal::NotFound;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return FileRefusal::NotRegular;
    }
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FileRefusal::NotFound
                   : FileRefusal::NotReadable;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!disk || !known) {
        return FileRefusal::NotRegular;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return FileRefusal::None;
}

}  // namespace rules
