#pragma once

// The numbers and lines of the progress display, the same as the desktop progress window's.

#include <string>

namespace cli {

// While running: (100 * index + percent) / count, truncated. 0 for an empty batch.
int batchPercent(int index, int percent, int count);

// At the end: finished * 100 / count to the nearest whole number, halves upward.
int finalPercent(int finished, int count);

// "k / N (p%) SOURCE" for the job at index (k = index + 1).
std::string jobLine(int index, int percent, int count, const std::string& source);

// "F / N (P%)".
std::string finalLine(int finished, int count);

// Shortens a line to fit columns - 1 terminal cells (so the cursor never wraps), cutting the
// source's front and marking the cut with "...". Counts one cell per UTF-8 character;
// columns <= 0 means unknown and leaves the line alone.
std::string fitToWidth(const std::string& line, std::size_t sourceStart, int columns);

// Number of UTF-8 characters in text.
std::size_t displayLength(const std::string& text);

}  // namespace cli
