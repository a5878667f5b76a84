#pragma once

// Fitting the progress line to a terminal. Its numbers and texts are the shared batch line's.

#include <optional>
#include <string>
#include <string_view>

namespace cli {

// Shortens a line to fit columns - 1 terminal cells (so the cursor never wraps), cutting the
// source's front and marking the cut with "...". Counts one cell per UTF-8 character;
// columns <= 0 means unknown and leaves the line alone.
std::string fitToWidth(const std::string& line, std::size_t sourceStart, int columns);

// A name as it is printed: nothing in it can move the cursor or send the terminal a command.
// A line feed becomes "\n"; every other control character (C0, DEL, and C1 in UTF-8) and every
// byte that is not part of valid UTF-8 becomes "\x" and two lower-case hex digits, one per
// byte. Where a backslash is not the path separator, it is doubled when the next thing printed
// starts with 'x', 'n' or a backslash, so that every printed name reads back to one name.
std::string printable(std::string_view name);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD; nothing when
// the text is valid UTF-8 already.
std::optional<std::string> repairedUtf8(std::string_view text);

// The bytes as lower-case hex digits, two per byte.
std::string hexBytes(std::string_view bytes);

// Number of UTF-8 characters in text.
std::size_t displayLength(const std::string& text);

}  // namespace cli
