#pragma once

// The tests of a file that a front end is given (dropped, or named on its command line): its
// type, and for a named file that it is one readable regular file not listed already.

#include <compare>
#include <cstdint>
#include <set>
#include <string>

namespace rules {

// True when the name is of a type the program converts (the type test of dropped files).
bool isAcceptedName(const std::string& path);

// A path made absolute against base (a folder; the current folder when empty) without
// resolving ".." by name: "link/../x.mkv" stays the file that the system opens. Only what
// cannot change the meaning goes ("." components, repeated separators).
std::string absolutePath(const std::string& path, const std::string& base);

enum class FileRefusal {
    None,
    NotFound,     // "not found"
    NotRegular,   // "not a regular file": a folder, a FIFO, a device
    NotReadable,  // "not readable"
    NotMatroska,  // "not a Matroska name"
    ListedTwice,  // "listed twice": the same file, however spelt, given again
};

// The reason's text; "" for None.
std::string fileRefusalText(FileRefusal refusal);

// What tells two files apart whatever their names: device and file number.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// Checks that the path is an existing regular file that can be opened for reading, without
// blocking on what is not one (a FIFO is never opened). Fills identity when it is.
FileRefusal checkReadableFile(const std::string& path, FileIdentity& identity);

// The files named to one front end, in order: each is checked, then compared with the ones
// accepted before it.
class FileList {
public:
    // The first check that fails, in the order of FileRefusal; None when the file was taken.
    FileRefusal add(const std::string& path);

private:
    std::set<FileIdentity> accepted_;
};

}  // namespace rules
