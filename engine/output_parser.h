#pragma once

// Reading the converter's console text: the facts of a probe, the position from the "time="
// status lines of a converting run, whether that run fell short of its source, and its last
// error line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits a text at every ':'; a trailing ':' adds no empty field, an empty text gives none.
std::vector<std::string> splitFields(std::string_view text);
// Whole seconds of an hours:minutes:seconds text, rounded half up; 0 unless exactly three
// fields. The decimal point is '.' whatever the locale.
std::int32_t hmsToSeconds(std::string_view text);
// The duration in whole seconds from the text of a probe run: the value between the first
// "Duration:" and the comma after it; 0 when there is none.
std::int32_t durationFromProbeText(std::string_view text);

// What a probe run's text says about the source.
struct ProbeFacts {
    // Exactly durationFromProbeText's value: the percentage is computed against it.
    std::int32_t durationSeconds = 0;
    // The container's "Duration:" to a fraction of a second; it covers every stream, even
    // those a conversion leaves out.
    std::optional<double> containerSeconds;
    // The "start:" beside it. Matroska's durations run from 0, not from the start, while a
    // conversion's clock starts at 0 with the first timestamp.
    double startSeconds = 0.0;
    // The length a whole conversion reaches at least: the longer of the shortest video and the
    // shortest audio stream's own DURATION (a default conversion maps one of each, and no
    // subtitles), never more than the container's; without those, the container's; less a
    // positive start. Unknown without a container duration, or when nothing is left.
    std::optional<double> expectedSeconds;
};
// The facts of a probe run's text. Only the last line that starts with "Duration:" and the
// stream lines after it are read for the fractions, so that a file name holding such text
// (printed before them, line breaks and all) cannot stand in for them.
ProbeFacts readProbe(std::string_view text);

// True when a converting run that reached `position` (seconds; nullopt: no status line gave
// one) fell short of the source: with an expected length, short of it by more than
// max(2 s, 2 %), or no position at all. Without an expected length, never.
bool fellShort(std::optional<double> position, const ProbeFacts& probe);
// "converted 0:14 of 0:30; the source may be damaged or cut short": both rounded down, M:SS,
// or H:MM:SS from an hour; no position counts as 0:00. Empty without an expected length.
std::string shortReason(std::optional<double> position, const ProbeFacts& probe);

// Follows a converting run's text chunk by chunk, whatever the split.
class ProgressReader {
public:
    // Takes one chunk; returns a percentage (0..100) when the chunk completes a status line that
    // gives a new position. Without a duration (0 or less) nothing is kept or returned for the
    // percentage. Text after the last line end waits for the next chunk; at most 1 MiB of it,
    // the newest. Only the oldest "time=" of the text that piled up before a line end counts,
    // in whole seconds.
    std::optional<int> take(std::string_view chunk, std::int32_t durationSeconds);
    // The run has ended: a last status line left without its line end counts for the position
    // too. Text that follows starts a new line.
    void finish();
    // The newest position of the run in seconds, to the fraction the converter prints: the
    // "time=" of the last complete line (CR or LF ends one) that has a usable one, whatever the
    // chunking and whatever the duration. A usable value is digits as hours:minutes:seconds
    // with an optional fraction, followed by a blank; a negative one, "N/A" and anything else
    // give none. nullopt before the first.
    std::optional<double> newestPosition() const { return position_; }
    // Forgets the text kept so far and the position, so that one run's leftovers never count
    // for the next.
    void clear();
    std::size_t pendingSize() const { return pending_.size(); }

private:
    void takePositions(std::string_view chunk);
    void endLine();

    std::string pending_;
    // The line being read for its position: how much of "time=" it has matched, and the value
    // after it (complete once its blank came).
    std::size_t keyMatched_ = 0;
    std::string value_;
    enum class Value { Seeking, Reading, Complete, Unusable } valueState_ = Value::Seeking;
    std::optional<double> position_;
};

// Keeps the converter's last error line: its last complete line that is not a status line, an
// indented detail or a closing summary ("Conversion failed!"), with the "[component @ 0x...] "
// tag and a leading "<path>: " taken off.
class ErrorLineReader {
public:
    // paths: file names the converter puts in front of its messages (the source, the output);
    // the text after "<path>: " is the message. echoMarks: texts (the script's and the tool's
    // paths) that mark a line as the interpreter echoing its commands (cmd does), not as the
    // converter's.
    explicit ErrorLineReader(std::vector<std::string> paths = {},
                             std::vector<std::string> echoMarks = {});
    void take(std::string_view chunk);
    // The last error line; empty when there was none.
    std::string lastLine() const;
    // True when an error line was tagged with this path ("<path>: ..."): the converter could
    // not read or write that file, whatever its exit status says.
    bool reported(const std::string& path) const;
    // The signal the converter said it caught and quit on ("received signal 15"); 0 when none.
    int caughtSignal() const { return caughtSignal_; }

private:
    void finishLine();

    std::vector<std::string> paths_;
    std::vector<std::string> echoMarks_;
    std::vector<std::vector<std::string>> shownPaths_;  // each path's forms, as paths_
    std::string line_;
    std::string last_;
    std::vector<std::string> reported_;
    int caughtSignal_ = 0;
};
