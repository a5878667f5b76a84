#pragma once

// Operating-system services the engine needs. One header; one source per platform.

#include <cstddef>
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

// Why a system call failed, in the system's own terms: errno on POSIX, GetLastError() on
// Windows. A failure the user may need to see carries one of these, not an empty text.
struct SystemError {
    int code = 0;
    // The system's own words for the code, e.g. "No space left on device".
    std::string text() const;
};

// The calling thread's last system error.
SystemError lastSystemError();

// The per-user application-data folder: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share when HOME is absolute, else the account's home from the password database, on
// POSIX; the roaming application data (CSIDL_APPDATA) on Windows. Empty when none can be
// determined: nothing is then written anywhere in its place.
std::string dataFolder();

#ifndef _WIN32
// The per-user settings folder by the same rule: $XDG_CONFIG_HOME when absolute, else
// $HOME/.config, else the account's home's. Empty when none can be determined.
std::string configFolder();
#endif

#ifdef _WIN32
// Tests point dataFolder() at a folder of their own here, since no
// environment variable steers that folder; an empty text restores it.
void setDataFolderOverride(std::string folder);
#endif

// Milliseconds of a monotonic clock, truncated to a signed 32-bit number: it wraps after about
// 24.8 days, and names made from it are never assumed to be unique.
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

// What tells one file from every other while it exists: its device (volume) and file number.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool operator==(const FileIdentity&) const = default;
    bool operator<(const FileIdentity& other) const {
        return device != other.device ? device < other.device : number < other.number;
    }
};

// The identity of the existing file at the path (following links); false when there is none.
bool fileIdentity(const std::string& path, FileIdentity& identity);

// Deletes a file; false when it could not be deleted.
bool removeFile(const std::string& path);

enum class CreateResult { Created, Exists, Failed };

// Creates a new file with the given bytes, private to the user (0600 on POSIX), failing with
// Exists rather than replacing one. error (optional) receives the system's reason for Failed.
CreateResult createFileExclusive(const std::string& path, std::string_view content,
                                 SystemError* error = nullptr);

// A file the program made for itself (a script, a log) and holds open while it is in use: made
// exclusively, never through a link, private to the user, and locked, so that a sweep of
// leftovers never takes it while its job lives. A child is given this very file, and the program
// reads it back through it, so a name changed meanwhile leads nowhere.
class HeldFile {
public:
    HeldFile() = default;
    ~HeldFile();
    HeldFile(HeldFile&& other) noexcept;
    HeldFile& operator=(HeldFile&& other) noexcept;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    const std::string& path() const { return path_; }
    explicit operator bool() const { return native_ != kNone; }
    // The file's first bytes, at most limit of them; what lies beyond is never read.
    std::string readStart(std::size_t limit) const;
    // The descriptor (POSIX) or handle (Windows).
    std::intptr_t native() const { return native_; }
    // Closes the file (and so its lock); the file itself stays.
    void release();

private:
    friend CreateResult createHeldFile(const std::string&, std::string_view, HeldFile&,
                                       SystemError*);
    static constexpr std::intptr_t kNone = -1;
    std::string path_;
    std::intptr_t native_ = kNone;
};

// Makes a new file with the given bytes and holds it (see HeldFile); Exists when the name is
// taken by anything, a link included.
CreateResult createHeldFile(const std::string& path, std::string_view content, HeldFile& file,
                            SystemError* error = nullptr);

// Reads a whole file; false when it cannot be opened.
bool readFile(const std::string& path, std::string& content);

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

}  // namespace platform
