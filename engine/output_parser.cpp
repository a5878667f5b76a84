// Reading the converter's console text: the facts of a probe, the position from the "time="
// status lines of a converting run, and whether that run fell short of its source.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "output_parser.h"

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

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A clock value as the converter prints it: digits as hours:minutes:seconds, the seconds with
// an optional fraction. Signs, blanks, exponents and "N/A" are no clock.
std::optional<double> parseClock(std::string_view text) {
    double total = 0.0;
    for (int field = 0; field < 3; ++field) {
        const auto end = field < 2 ? text.find(':') : text.size();
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view part = text.substr(0, end);
        const auto point = part.find('.');
        const std::string_view whole = part.substr(0, point);
        const std::string_view fraction =
            point == std::string_view::npos ? std::string_view() : part.substr(point + 1);
        const auto allDigits = [](std::string_view digits) {
            return std::all_of(digits.begin(), digits.end(), isDigit);
        };
        if (whole.empty() || !allDigits(whole) ||
            (point != std::string_view::npos && (field < 2 || fraction.empty())) ||
            !allDigits(fraction)) {
            return std::nullopt;
        }
        double value = 0.0;
        std::from_chars(part.data(), part.data() + part.size(), value);
        total = total * 60 + value;
        text.remove_prefix(field < 2 ? end + 1 : end);
    }
    return total;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
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

namespace {

// The lines of a text, each without its line end; CR and LF each end one.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The streams of one kind in a probe: the shortest one's DURATION, known only when every one
// of them has it.
struct StreamLengths {
    bool any = false;
    bool allKnown = true;
    double shortest = std::numeric_limits<double>::infinity();

    void add(std::optional<double> length) {
        any = true;
        if (length) {
            shortest = std::min(shortest, *length);
        } else {
            allKnown = false;
        }
    }
    std::optional<double> known() const {
        return any && allKnown ? std::optional<double>(shortest) : std::nullopt;
    }
};

enum class StreamKind { None, Video, Audio, Other };

StreamKind kindOfStreamLine(std::string_view line) {
    if (line.find(": Video: ") != std::string_view::npos) {
        // A cover picture is mapped only when nothing else is, and has no length of its own.
        return line.find("(attached pic)") != std::string_view::npos ? StreamKind::Other
                                                                     : StreamKind::Video;
    }
    return line.find(": Audio: ") != std::string_view::npos ? StreamKind::Audio : StreamKind::Other;
}

// "DURATION        : 00:00:03.003000000", or "DURATION-eng" as some muxers tag it.
std::optional<double> streamDurationIn(std::string_view line) {
    constexpr std::string_view kKey = "DURATION";
    if (!startsWith(line, kKey)) {
        return std::nullopt;
    }
    const auto colon = line.find(':');
    const std::string_view key = trimmed(line.substr(0, colon));
    if (colon == std::string_view::npos || (key != kKey && !startsWith(key, "DURATION-"))) {
        return std::nullopt;
    }
    return parseClock(trimmed(line.substr(colon + 1)));
}

// The seconds of " start: 4.977000, bitrate: ..."; 0 when they are not a plain number.
double startIn(std::string_view rest) {
    constexpr std::string_view kKey = "start:";
    rest = trimmed(rest);
    if (!startsWith(rest, kKey)) {
        return 0.0;
    }
    rest = trimmed(rest.substr(kKey.size(), rest.find(',') - kKey.size()));
    const bool negative = startsWith(rest, "-");
    const std::string_view number = rest.substr(negative ? 1 : 0);
    const auto point = number.find('.');
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), isDigit);
    };
    if (!digits(number.substr(0, point)) ||
        (point != std::string_view::npos && !digits(number.substr(point + 1)))) {
        return 0.0;
    }
    double start = 0.0;
    std::from_chars(number.data(), number.data() + number.size(), start);
    return negative ? -start : start;
}

}  // namespace

namespace {

// Each stream's own length, from the stream lines that follow the Duration line.
void readStreams(std::vector<std::string_view>::const_iterator line,
                 std::vector<std::string_view>::const_iterator end, StreamLengths& video,
                 StreamLengths& audio) {
    StreamKind kind = StreamKind::None;
    std::optional<double> length;
    const auto endStream = [&] {
        if (kind == StreamKind::Video) {
            video.add(length);
        } else if (kind == StreamKind::Audio) {
            audio.add(length);
        }
        kind = StreamKind::None;
        length.reset();
    };
    for (; line != end; ++line) {
        const std::string_view content = trimmed(*line);
        if (startsWith(content, "Stream #")) {
            endStream();
            kind = kindOfStreamLine(content);
        } else if (startsWith(content, "Input #") || startsWith(content, "Output #") ||
                   startsWith(content, "Stream mapping:")) {
            break;
        } else if (kind != StreamKind::None && !length) {
            length = streamDurationIn(content);
        }
    }
    endStream();
}

}  // namespace

ProbeFacts readProbe(std::string_view text) {
    ProbeFacts facts;
    facts.durationSeconds = durationFromProbeText(text);
    const auto lines = linesOf(text);
    // The converter prints the input's name before its Duration line, with any line break in
    // the name kept: the last such line is the real one.
    auto durationLine = lines.end();
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        if (startsWith(trimmed(*line), kDurationKey)) {
            durationLine = line;
        }
    }
    if (durationLine == lines.end()) {
        return facts;
    }
    const std::string_view value = trimmed(*durationLine).substr(kDurationKey.size());
    const auto comma = value.find(',');
    if (comma != std::string_view::npos) {
        facts.containerSeconds = parseClock(trimmed(value.substr(0, comma)));
        facts.startSeconds = startIn(value.substr(comma + 1));
    }
    StreamLengths video;
    StreamLengths audio;
    readStreams(durationLine + 1, lines.end(), video, audio);
    if (!facts.containerSeconds || *facts.containerSeconds <= 0) {
        return facts;
    }
    std::optional<double> mapped = video.known();
    if (const auto audioLength = audio.known()) {
        mapped = std::max(mapped.value_or(0.0), *audioLength);
    }
    // A stream's tag longer than the whole container is stale; the container holds.
    const double expected =
        (mapped ? std::min(*mapped, *facts.containerSeconds) : *facts.containerSeconds) -
        std::max(facts.startSeconds, 0.0);
    if (expected > 0) {
        facts.expectedSeconds = expected;
    }
    return facts;
}

bool fellShort(std::optional<double> position, const ProbeFacts& probe) {
    if (!probe.expectedSeconds) {
        return false;
    }
    if (!position) {
        return true;
    }
    const double expected = *probe.expectedSeconds;
    return *position < expected - std::max(2.0, expected * 0.02);
}

namespace {

// M:SS, or H:MM:SS from an hour, rounded down.
std::string clockText(double seconds) {
    // Also NaN; and no clock of a run needs more than twelve digits of seconds.
    seconds = seconds > 0 ? std::min(seconds, 1e12) : 0.0;
    const auto whole = static_cast<std::int64_t>(std::floor(seconds));
    const auto twoDigits = [](std::int64_t value) {
        std::string text = std::to_string(value);
        if (text.size() < 2) {
            text.insert(text.begin(), '0');
        }
        return text;
    };
    const std::int64_t hours = whole / 3600;
    const std::int64_t minutes = whole / 60 % 60;
    const std::string tail = twoDigits(whole % 60);
    if (hours > 0) {
        return std::to_string(hours) + ":" + twoDigits(minutes) + ":" + tail;
    }
    return std::to_string(minutes) + ":" + tail;
}

}  // namespace

std::string shortReason(std::optional<double> position, const ProbeFacts& probe) {
    if (!probe.expectedSeconds) {
        return {};
    }
    return "converted " + clockText(position.value_or(0.0)) + " of " +
           clockText(*probe.expectedSeconds) + "; the source may be damaged or cut short";
}

std::optional<int> ProgressReader::take(std::string_view chunk, std::int32_t durationSeconds) {
    takePositions(chunk);
    if (durationSeconds <= 0) {
        return std::nullopt;
    }
    pending_ += chunk;
    if (pending_.size() > kPendingLimit) {
        pending_.erase(0, pending_.size() - kPendingLimit);
    }
    if (pending_.empty() || (pending_.back() != '\r' && pending_.back() != '\n')) {
        return std::nullopt;
    }
    std::optional<int> percent;
    // Only the oldest status line of what piled up counts.
    const auto key = pending_.find(kTimeKey);
    if (key != std::string::npos) {
        const auto valueStart = key + kTimeKey.size();
        const auto blank = pending_.find(' ', valueStart);
        if (blank != std::string::npos) {
            const std::string_view value =
                std::string_view(pending_).substr(valueStart, blank - valueStart);
            const std::int32_t position = hmsToSeconds(value);
            // A negative clock (before the start, or the tool's "no time" value) says nothing
            // about progress; "-00:00:05" must not count as five seconds either.
            if (position > 0 && value.find('-') == std::string_view::npos) {
                // Clamped before the conversion: a huge clock value must not overflow the int.
                percent = static_cast<int>(
                    std::min(100.0, static_cast<double>(position) * 100.0 / durationSeconds));
            }
        }
    }
    pending_.clear();
    return percent;
}

void ProgressReader::takePositions(std::string_view chunk) {
    // A status line's value is a clock of a few digits; anything longer is no position.
    constexpr std::size_t kValueLimit = 32;
    for (char c : chunk) {
        if (c == '\r' || c == '\n') {
            endLine();
            continue;
        }
        switch (valueState_) {
            case Value::Seeking:
                // No prefix of "time=" recurs inside it, so a mismatch restarts at 't' or 0.
                if (c == kTimeKey[keyMatched_]) {
                    if (++keyMatched_ == kTimeKey.size()) {
                        valueState_ = Value::Reading;
                    }
                } else {
                    keyMatched_ = c == kTimeKey.front() ? 1 : 0;
                }
                break;
            case Value::Reading:
                if (c == ' ') {
                    valueState_ = Value::Complete;
                } else if (value_.size() < kValueLimit) {
                    value_ += c;
                } else {
                    valueState_ = Value::Unusable;
                }
                break;
            case Value::Complete:
            case Value::Unusable:
                // Only a line's first "time=" counts, as for the percentage.
                break;
        }
    }
}

void ProgressReader::endLine() {
    if (valueState_ == Value::Complete) {
        if (const auto position = parseClock(value_)) {
            position_ = position;
        }
    }
    valueState_ = Value::Seeking;
    keyMatched_ = 0;
    value_.clear();
}

void ProgressReader::finish() {
    endLine();
}

void ProgressReader::clear() {
    pending_.clear();
    endLine();
    position_.reset();
}

namespace {

// A line longer than this is not an error message; only its start is kept.
constexpr std::size_t kLineLimit = 4096;

// Lines that say nothing about why a run failed: status lines, details, summaries and the
// headers that name the files.
bool isNoise(std::string_view line) {
    return line.empty() || line.front() == ' ' || line.front() == '\t' ||
           line.find(kTimeKey) != std::string_view::npos || startsWith(line, "video:") ||
           startsWith(line, "Conversion failed!") || startsWith(line, "Press [q]") ||
           startsWith(line, "Exiting normally") || startsWith(line, "Input #") ||
           startsWith(line, "Output #") || startsWith(line, "Stream mapping:");
}

constexpr std::string_view kSignalKey = "received signal ";

// The signal in "Exiting normally, received signal 15.": the tool caught it and quit early.
int caughtSignalIn(std::string_view line) {
    const auto key = line.find(kSignalKey);
    if (!startsWith(line, "Exiting normally") || key == std::string_view::npos) {
        return 0;
    }
    int signal = 0;
    const char* start = line.data() + key + kSignalKey.size();
    std::from_chars(start, line.data() + line.size(), signal);
    return signal;
}

// How a converter may show a path in front of its message: as it is, or with control
// characters printed as '?' (as ffmpeg-style tools do), and when it holds a line break, only its
// part after the last one starts the message's line.
std::vector<std::string> shownForms(const std::string& path) {
    std::string shown = path;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x08 || (byte > 0x0D && byte < 0x20)) {
            c = '?';
        }
    }
    const auto lineBreak = shown.find_last_of("\r\n");
    if (lineBreak != std::string::npos) {
        shown.erase(0, lineBreak + 1);
    }
    std::vector<std::string> forms = {path};
    if (shown != path && !shown.empty()) {
        forms.push_back(shown);
    }
    return forms;
}

}  // namespace

ErrorLineReader::ErrorLineReader(std::vector<std::string> paths, std::vector<std::string> echoMarks)
    : paths_(std::move(paths)), echoMarks_(std::move(echoMarks)) {
    for (const std::string& path : paths_) {
        shownPaths_.push_back(path.empty() ? std::vector<std::string>() : shownForms(path));
    }
}

void ErrorLineReader::take(std::string_view chunk) {
    for (char c : chunk) {
        if (c == '\n' || c == '\r') {
            finishLine();
        } else if (line_.size() < kLineLimit) {
            line_ += c;
        }
    }
}

void ErrorLineReader::finishLine() {
    std::string_view line = line_;
    // "[avi @ 0x55d0c0a8] message": the component's tag.
    if (startsWith(line, "[")) {
        const auto close = line.find("] ");
        if (close != std::string_view::npos && line.find(" @ ") < close) {
            line.remove_prefix(close + 2);
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    const bool echoed = std::any_of(echoMarks_.begin(), echoMarks_.end(), [line](const auto& mark) {
        return !mark.empty() && line.find(mark) != std::string_view::npos;
    });
    if (const int signal = caughtSignalIn(line)) {
        caughtSignal_ = signal;
    }
    // The path goes first: a name may itself look like a status line ("time=").
    std::string_view message = line;
    const std::string* taggedPath = nullptr;
    for (std::size_t k = 0; k < paths_.size() && taggedPath == nullptr; ++k) {
        const bool split = paths_[k].find_first_of("\r\n") != std::string::npos;
        for (const std::string& form : shownPaths_[k]) {
            const std::string tagged = form + ": ";
            const auto at = line.find(tagged);
            // Only a whole path may stand inside the line; the part of a split one starts it.
            const bool whole = !split || &form == &shownPaths_[k].front();
            if (at != std::string_view::npos && (at == 0 || whole)) {
                message = line.substr(at + tagged.size());
                taggedPath = &paths_[k];
                break;
            }
        }
    }
    if (!echoed && !isNoise(message)) {
        if (taggedPath != nullptr &&
            std::find(reported_.begin(), reported_.end(), *taggedPath) == reported_.end()) {
            reported_.push_back(*taggedPath);
        }
        last_ = std::string(message);
    }
    line_.clear();
}

std::string ErrorLineReader::lastLine() const {
    return last_;
}

bool ErrorLineReader::reported(const std::string& path) const {
    return std::find(reported_.begin(), reported_.end(), path) != reported_.end();
}
