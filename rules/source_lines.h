#pragma once

// The source list of both desktop programs: the order of its lines, the duplicate test, and the
// names that reach it from drops and the command line. A line is a file's name as the engine
// takes it: its bytes (UTF-8 on Windows), whatever they are.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rules {

// The list's order: by the names with the ASCII letters folded to lower case, byte by byte (by
// code point for UTF-8); names equal but for case then by their own bytes (upper case first).
// A total order, so the same files give the same list however and in whatever order they came.
bool listsBefore(std::string_view a, std::string_view b);

// The row a new line takes among count lines in list order (lineAt(row) gives each): after
// every line that does not sort after it.
template <class LineAt>
int sortedRow(int count, std::string_view name, LineAt&& lineAt) {
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (!listsBefore(name, lineAt(middle))) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

// The lines' names, counted, so that the duplicate test takes the same time for the
// ten-thousandth file as for the first. Two names are the same line when their bytes are: the
// test heeds case, and two names that differ only in bytes that are not UTF-8 are two lines.
class ListedNames {
public:
    void add(const std::string& name);
    // One line of this name fewer.
    void remove(const std::string& name);
    void clear();
    // Never true for the empty name.
    bool contains(const std::string& name) const;
    // Lines counted.
    std::size_t size() const { return lines_; }

private:
    std::unordered_map<std::string, int> counts_;
    std::size_t lines_ = 0;
};

// The local file a file URI names ("file:///path", "file://localhost/path"), its escapes
// decoded to bytes (so "%FF" is the byte 0xFF); nothing for any other URI or a remote host. On
// Windows "file:///C:/v/x.mkv" gives "C:\v\x.mkv" and "file://server/share/x" "\\server\share\x".
std::optional<std::string> localFileFromUri(std::string_view uri);

// The local files of a drop's "text/uri-list", in order; comment lines and other URIs skipped.
std::vector<std::string> localFilesFromUriList(std::string_view list);

// A name given on the command line, as a file manager passes it: a file URI gives its file;
// another address ("https://...") that is no file gives nothing; anything else is a path, made
// absolute against the current folder.
std::optional<std::string> commandLineFile(const std::string& argument);

}  // namespace rules
