#pragma once

// Reading the converter's console text: the duration from a probe, the position from the
// "time=" status lines of a converting run, and its last error line.

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

// Follows a converting run's text chunk by chunk, whatever the split.
class ProgressReader {
public:
    // Takes one chunk; returns a percentage (0..100) when the chunk completes a status line that
    // gives a new position. Without a duration (0 or less) nothing is kept or returned. Text
    // after the last line end waits for the next chunk; at most 1 MiB of it, the newest.
    std::optional<int> take(std::string_view chunk, std::int32_t durationSeconds);
    // Forgets the text kept so far, so that one run's leftovers never count for the next.
    void clear() { pending_.clear(); }
    std::size_t pendingSize() const { return pending_.size(); }

private:
    std::string pending_;
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
