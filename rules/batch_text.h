#pragma once

// The batch line of every front end: the progress window's numbers and texts.

#include <string>

namespace rules {

// While running: (100 * index + percent) / count, truncated. 0 for an empty batch.
int batchPercent(int index, int percent, int count);

// At the end: finished * 100 / count to the nearest whole number, halves upward.
int finalPercent(int finished, int count);

// "k / N (p%)" for the job at index (k = index + 1).
std::string runningLine(int index, int percent, int count);

// "k / N (p%)" for a batch whose jobs run several at once: k jobs started, ended of them over
// (each counts as 100), the running ones at runningPercents together. With one job at a time
// this is runningLine(ended, percent, count).
std::string batchLine(int started, int ended, int runningPercents, int count);

// "F / N (P%)".
std::string finalLine(int finished, int count);

// "k / N (p%) SOURCE": the running line with the job's source, as one line.
std::string jobLine(int index, int percent, int count, const std::string& source);

}  // namespace rules
