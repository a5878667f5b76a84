#pragma once

// Fitting the progress line to a terminal. Its numbers and texts are the shared batch line's.

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

// Number of UTF-8 characters in text.
std::size_t displayLength(const std::string& text);

}  // namespace cli
