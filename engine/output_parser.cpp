// Reading the converter's console text: the duration from a probe, the position from the
// "time=" status lines of a converting run.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "convert_core.h"
#include "platform.h"

namespace {

// Console text without a line end is kept at most this long; the tail holds the status line
// being written, so the oldest text goes first.
constexpr std::size_t kPendingLimit = 1 << 20;

constexpr std::string_view kDurationKey = "Duration:";
constexpr std::string_view kTimeKey = "time=";

// Like atof, but always with '.' as the decimal point.
double parseNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r'))) {
        ++start;
    }
    text.remove_prefix(start);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            return 0.0;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::invalid_argument) {
        return 0.0;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too large, or too small: a negative exponent means a value that rounds to zero.
        const std::string_view number(text.data(),
                                      static_cast<std::size_t>(result.ptr - text.data()));
        const auto exponent = number.find_first_of("eE");
        const bool tiny = exponent != std::string_view::npos && exponent + 1 < number.size() &&
                          number[exponent + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

}  // namespace

std::vector<std::string> splitFields(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto colon = text.find(':', start);
        if (colon == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            break;
        }
        fields.emplace_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    return fields;
}

std::int32_t hmsToSeconds(std::string_view text) {
    const auto fields = splitFields(text);
    if (fields.size() != 3) {
        return 0;
    }
    const double seconds =
        parseNumber(fields[0]) * 3600 + parseNumber(fields[1]) * 60 + parseNumber(fields[2]) + 0.5;
    if (std::isnan(seconds)) {
        return 0;
    }
    // Out-of-range clock values saturate instead of overflowing.
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    if (seconds >= kMax) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (seconds <= kMin) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(seconds);
}

std::int32_t durationFromProbeText(std::string_view text) {
    const auto key = text.find(kDurationKey);
    if (key == std::string_view::npos) {
        return 0;
    }
    const auto comma = text.find(',', key);
    if (comma == std::string_view::npos) {
        return 0;
    }
    const auto valueStart = key + kDurationKey.size();
    return hmsToSeconds(text.substr(valueStart, comma - valueStart));
}

int ConvertCore::probeDuration(const std::string& sourcePath) {
    const std::string script = writeScript(sourcePath, presetArgs, nullptr);
    std::string text;
    runProcess2(script, &text);
    platform::removeFile(script);
    return durationFromProbeText(text);
}

void ConvertCore::parseProgress(std::string_view chunk) {
    int duration = 0;
    {
        std::lock_guard<std::mutex> guard(jobLock);
        const int index = currentIndex;
        if (index >= 0 && index < static_cast<int>(jobs.size())) {
            duration = jobs[static_cast<std::size_t>(index)]->durationSeconds;
        }
    }
    if (duration <= 0) {
        return;
    }
    pendingOutput += chunk;
    if (pendingOutput.size() > kPendingLimit) {
        pendingOutput.erase(0, pendingOutput.size() - kPendingLimit);
    }
    if (pendingOutput.empty() || (pendingOutput.back() != '\r' && pendingOutput.back() != '\n')) {
        return;
    }
    // Only the oldest status line of what piled up counts.
    const auto key = pendingOutput.find(kTimeKey);
    if (key != std::string::npos) {
        const auto valueStart = key + kTimeKey.size();
        const auto blank = pendingOutput.find(' ', valueStart);
        if (blank != std::string::npos) {
            const std::string_view value =
                std::string_view(pendingOutput).substr(valueStart, blank - valueStart);
            const std::int32_t position = hmsToSeconds(value);
            // A negative clock (before the start, or the tool's "no time" value) says nothing
            // about progress; "-00:00:05" must not count as five seconds either.
            if (position > 0 && value.find('-') == std::string_view::npos) {
                // Clamped before the conversion: a huge clock value must not overflow the int.
                const double percent =
                    std::min(100.0, static_cast<double>(position) * 100.0 / duration);
                setJobPercent(currentIndex, static_cast<int>(percent));
            }
        }
    }
    pendingOutput.clear();
}
