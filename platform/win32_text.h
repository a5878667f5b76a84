#pragma once

// UTF-8 (the engine's text) to and from UTF-16 (what every wide Windows call takes), and paths
// for the file calls. For the platform layer's Windows sources and Windows-only tests.

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

// Invalid UTF-8 becomes U+FFFD rather than failing: a path that cannot be named simply
// names nothing.
inline std::wstring widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

inline std::string narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// A path for the wide file calls. Past MAX_PATH they fail unless the path is a full one with
// the \\?\ prefix, whatever the system's long-path setting; such a path is taken literally, so
// it is made full and plain (backslashes, no "." or "..") first. Short paths stay as given.
inline std::wstring filePath(std::string_view path) {
    std::wstring wide = widen(path);
    // CreateDirectoryW stops short of MAX_PATH by room for an 8.3 name.
    constexpr std::size_t kShortLimit = MAX_PATH - 12;
    if (wide.size() < kShortLimit || wide.rfind(L"\\\\?\\", 0) == 0) {
        return wide;
    }
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return wide;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) {
        // \\server\share\... or a device path.
        return full.rfind(L"\\\\.\\", 0) == 0 ? full : L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

}  // namespace platform::win32
