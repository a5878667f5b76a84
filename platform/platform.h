#pragma once

// Operating-system services the engine needs. One header; one source per platform.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// The separator between folder and file name on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The per-user application-data folder: $XDG_DATA_HOME, else $HOME/.local/share on POSIX;
// the roaming application data (CSIDL_APPDATA) on Windows. Empty when it cannot be determined.
std::string dataFolder();

#ifdef _WIN32
// Tests point dataFolder() at a folder of their own here, since no
// environment variable steers that folder; an empty text restores it.
void setDataFolderOverride(std::string folder);
#endif

// Milliseconds of a monotonic clock, truncated to a signed 32-bit number the way the
// system tick count of the original platform wraps.
std::int32_t tickCount();

// The debug channel. Lines written here are diagnostics only; nothing the user must see.
void debugWrite(std::string_view text);

// Replaces the debug sink and returns the previous one. An empty sink restores the default,
// which writes to standard error when KESTROVA_DEBUG is set and discards otherwise (on Windows
// it also writes to the debugger's output channel).
using DebugSink = std::function<void(std::string_view)>;
DebugSink setDebugSink(DebugSink sink);

// Creates one directory; an existing directory counts as success.
bool makeDirectory(const std::string& path);

// True when the path can be opened for reading as a file (an unreadable file counts as absent).
bool fileExists(const std::string& path);

// Size in bytes of the file at the path; -1 when there is none or it cannot be learnt.
std::int64_t fileSize(const std::string& path);

// True when something exists at the path, readable or not.
bool pathExists(const std::string& path);

// True when the path names an existing directory.
bool isDirectory(const std::string& path);

// True when both paths name one existing file (links and alternative spellings included).
bool sameFile(const std::string& a, const std::string& b);

// Deletes a file; false when it could not be deleted.
bool removeFile(const std::string& path);

enum class CreateResult { Created, Exists, Failed };

// Creates a new file with the given bytes, failing with Exists rather than replacing one.
CreateResult createFileExclusive(const std::string& path, std::string_view content);

// Reads a whole file; false when it cannot be opened.
bool readFile(const std::string& path, std::string& content);

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

}  // namespace platform
