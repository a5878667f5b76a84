#pragma once

// Fitting the progress line to a terminal. Its numbers and texts are the shared batch line's.

#include <string>

namespace cli {

// Shortens a line to fit columns - 1 terminal cells (so the cursor never wraps), cutting the
// source's front and marking the cut with "...". Counts one cell per UTF-8 character;
// columns <= 0 means unknown and leaves the line alone.
std::string fitToWidth(const std::string& line, std::size_t sourceStart, int columns);

// Number of UTF-8 characters in text.
std::size_t displayLength(const std::string& text);

}  // namespace cli
