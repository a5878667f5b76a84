#include "batch_text.h"

namespace rules {

namespace {

std::string counter(int number, int count, int percent) {
    return std::to_string(number) + " / " + std::to_string(count) + " (" + std::to_string(percent) +
           "%)";
}

}  // namespace

int batchPercent(int index, int percent, int count) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>((100LL * index + percent) / count);
}

int finalPercent(int finished, int count) {
    if (count <= 0) {
        return 0;
    }
    // finished * 100.0 / count + 0.5, truncated, without floating point.
    return static_cast<int>((200LL * finished + count) / (2LL * count));
}

std::string runningLine(int index, int percent, int count) {
    return counter(index + 1, count, batchPercent(index, percent, count));
}

std::string batchLine(int started, int ended, int runningPercents, int count) {
    return counter(started, count, batchPercent(ended, runningPercents, count));
}

std::string finalLine(int finished, int count) {
    return counter(finished, count, finalPercent(finished, count));
}

std::string jobLine(int index, int percent, int count, const std::string& source) {
    return runningLine(index, percent, count) + " " + source;
}

}  // namespace rules
