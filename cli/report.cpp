#include "report.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <ostream>

#include "batch_text.h"
#include "messages.h"
#include "outcome_text.h"
#include "progress_text.h"
#include "time_left.h"

namespace cli {

namespace {

constexpr const char* kStopped = "Stopped";
constexpr const char* kAnswerHint =
    "Please answer y, n, a (yes to all), o (no to all) or q (keep it and stop).";

}  // namespace

int BatchState::runningPercents() const {
    int sum = 0;
    for (const RunningJob& job : running) {
        sum += job.percent;
    }
    return sum;
}

int BatchState::batchPercent() const {
    return rules::batchPercent(ended, runningPercents(), count);
}

void Report::message(std::string_view text) {
    std::lock_guard<std::mutex> guard(mutex_);
    writeErr(std::string(text));
}

void Report::skipped(const std::string& file, const std::string& reason) {
    std::lock_guard<std::mutex> guard(mutex_);
    writeErr("skipped: " + printable(file) + ": " + reason + "\n");
}

void Report::kept(int index, const std::string& output) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (keptReported_.insert(index).second) {
        writeErr("kept: " + printable(output) + "\n");
    }
}

void Report::swept(const std::string& path) {
    std::lock_guard<std::mutex> guard(mutex_);
    writeErr("swept: " + printable(path) + "\n");
}

std::optional<rules::ReplaceChoice> Report::ask(const std::string& question) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        endLive();
        endPrompt();
        asking_ = true;
        promptOpen_ = true;
        console_.err << question << rules::kTerminalReplaceChoices << std::flush;
    }
    for (;;) {
        // Read without the lock: the batch goes on meanwhile and its text is held back.
        const auto answer = console_.readAnswer();
        std::lock_guard<std::mutex> guard(mutex_);
        if (!answer) {
            asking_ = false;
            endPrompt();
            releaseHeld();
            return std::nullopt;
        }
        if (const auto choice = rules::terminalChoice(*answer)) {
            asking_ = false;
            // A typed answer ended its line with the user's Enter.
            promptOpen_ = false;
            releaseHeld();
            return choice;
        }
        console_.err << kAnswerHint << rules::kTerminalReplaceChoices << std::flush;
    }
}

std::optional<std::string> Report::outputFailure() {
    std::lock_guard<std::mutex> guard(mutex_);
    return outputFailure_;
}

void Report::writeOut(const std::string& text) {
    if (outputFailure_ || text.empty()) {
        return;
    }
    // A question on the same terminal keeps its line to itself until it is answered.
    if (asking_ && console_.outIsTerminal) {
        heldOut_ += text;
        return;
    }
    errno = 0;
    console_.out << text << std::flush;
    if (!console_.out) {
        const int error = errno;
        outputFailure_ = error != 0 ? std::strerror(error) : "write error";
    }
}

void Report::writeErr(const std::string& text) {
    if (asking_) {
        heldErr_ += text;
        return;
    }
    endLive();
    endPrompt();
    console_.err << text << std::flush;
}

void Report::endPrompt() {
    if (promptOpen_) {
        console_.err << '\n' << std::flush;
        promptOpen_ = false;
    }
}

void Report::releaseHeld() {
    if (!heldErr_.empty()) {
        endLive();
        console_.err << heldErr_ << std::flush;
        heldErr_.clear();
    }
    if (!heldOut_.empty()) {
        std::string text;
        text.swap(heldOut_);
        writeOut(text);
    }
}

namespace {

class HumanReport : public Report {
public:
    explicit HumanReport(Console& console) : Report(console) {}

    void batchStarted(const json::BatchStart& batch) override { engines_ = batch.parallel; }

    void jobStarted(int index, const std::string& source, const std::string&,
                    const BatchState& state) override {
        if (console_.outIsTerminal) {
            return;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        writeOut(rules::batchLine(index + 1, state.ended, state.runningPercents(), state.count) +
                 " " + printable(source) + "\n");
    }

    void jobEnded(const ConvertJob&, const BatchState&) override {}

    void tick(const BatchState& state) override {
        if (!console_.outIsTerminal) {
            return;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        // The lines pause while a question is open.
        if (asking()) {
            return;
        }
        if (engines_ == 1 || !console_.cursorMoves) {
            drawLine(state);
        } else {
            drawBlock(state);
        }
    }

    void summary(bool stopped, const std::vector<ConvertJob>& jobs, const BatchState& state,
                 int) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (blockShown_) {
            // The engines' lines say nothing once the batch is over: the summary takes their place.
            writeOut(up(shownLines_) + "\r\x1b[J");
            forgetLive();
        }
        endLive();
        int finished = 0;
        for (const ConvertJob& job : jobs) {
            finished += rules::isFinished(job) ? 1 : 0;
        }
        std::string text = std::string(stopped ? kStopped : rules::kComplete) + "\n" +
                           rules::finalLine(finished, state.count) + "\n";
        for (const ConvertJob& job : jobs) {
            if (!rules::isFinished(job)) {
                text += "not finished: " + printable(rules::unfinishedEntry(job)) + "\n";
            }
        }
        writeOut(text);
    }

private:
    int columns() const { return console_.columns ? console_.columns() : 0; }

    static std::string timeLeftTail(const BatchState& state) {
        return state.secondsLeft ? ", " + timeLeftText(*state.secondsLeft) : std::string();
    }

    // One engine: "k / N (p%) SOURCE, about 3 min left", rewritten in place. Several engines
    // on a terminal that cannot move the cursor up: the batch line alone.
    void drawLine(const BatchState& state) {
        const std::string counter =
            rules::batchLine(state.started, state.ended, state.runningPercents(), state.count);
        std::string line;
        if (engines_ == 1) {
            if (state.running.empty()) {
                return;  // between two jobs: the last line stays
            }
            const std::string head = counter + " ";
            line = fitToWidth(head + printable(state.running.front().source) + timeLeftTail(state),
                              head.size(), columns());
        } else {
            line = counter + timeLeftTail(state);
            line = fitToWidth(line, line.size(), columns());
        }
        if (shownLines_ == 1 && line == shown_) {
            return;
        }
        const std::size_t length = displayLength(line);
        std::string text = "\r" + line;
        if (length < shownLength_) {
            text.append(shownLength_ - length, ' ');
        }
        writeOut(text);
        shownLines_ = 1;
        shown_ = line;
        shownLength_ = length;
    }

    // The batch line, then a line per running engine, redrawn over the last block.
    void drawBlock(const BatchState& state) {
        const int width = columns();
        std::vector<std::string> lines;
        std::string batch =
            rules::batchLine(state.started, state.ended, state.runningPercents(), state.count) +
            timeLeftTail(state);
        lines.push_back(fitToWidth(batch, batch.size(), width));
        for (const RunningJob& job : state.running) {
            std::string head = std::to_string(job.percent) + "% ";
            head.insert(0, head.size() < 7 ? 7 - head.size() : 0, ' ');
            lines.push_back(fitToWidth(head + printable(job.source), head.size(), width));
        }
        std::string block;
        for (const std::string& line : lines) {
            block += (block.empty() ? "" : "\x1b[K\n") + line;
        }
        if (block == shown_) {
            return;
        }
        // Clears the rest of the last line and whatever lines a larger block left below it.
        writeOut(up(shownLines_) + "\r" + block + "\x1b[J");
        shownLines_ = static_cast<int>(lines.size());
        blockShown_ = true;
        shown_ = block;
        shownLength_ = 0;
    }

    // From the last line of a live display of lines to its first.
    static std::string up(int lines) {
        return lines > 1 ? "\x1b[" + std::to_string(lines - 1) + "A" : std::string();
    }

    void forgetLive() {
        shownLines_ = 0;
        blockShown_ = false;
        shown_.clear();
        shownLength_ = 0;
    }

    // Other text goes below the live display, which stays as it was.
    void endLive() override {
        if (shownLines_ > 0) {
            forgetLive();
            writeOut("\n");
        }
    }

    int engines_ = 1;
    int shownLines_ = 0;       // lines of the live display on the terminal; 0 when none
    bool blockShown_ = false;  // that display is the block of several engines
    std::string shown_;
    std::size_t shownLength_ = 0;
};

class JsonReport : public Report {
public:
    explicit JsonReport(Console& console) : Report(console) {}

    void skipped(const std::string& file, const std::string& reason) override {
        Report::skipped(file, reason);
        std::lock_guard<std::mutex> guard(mutex_);
        writeOut(json::skipped(file, reason));
    }

    void batchStarted(const json::BatchStart& batch) override {
        std::lock_guard<std::mutex> guard(mutex_);
        writeOut(json::batchStart(batch));
    }

    void jobStarted(int index, const std::string& source, const std::string& output,
                    const BatchState& state) override {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_[index] = Sent{0, std::nullopt, state.elapsed};
        writeOut(json::jobStart(index, source, output, state.elapsed));
    }

    void jobEnded(const ConvertJob& job, const BatchState& state) override {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_.erase(job.index);
        writeOut(json::jobEnd(job, state.elapsed));
    }

    // A job's progress when its percent moved, or when the time left changed and a second has
    // passed since its last event: at most ten a second, and not a line per tick of a long job.
    void tick(const BatchState& state) override {
        std::lock_guard<std::mutex> guard(mutex_);
        std::optional<long> left;
        if (state.secondsLeft) {
            left = std::lround(*state.secondsLeft);
        }
        for (const RunningJob& job : state.running) {
            Sent& sent = sent_[job.index];
            const bool moved = job.percent != sent.percent;
            const bool newLeft = left != sent.secondsLeft && state.elapsed - sent.elapsed >= 1.0;
            if (!moved && !newLeft) {
                continue;
            }
            sent = Sent{job.percent, left, state.elapsed};
            writeOut(json::progress({job.index, job.percent, job.durationSeconds,
                                     state.batchPercent(), state.secondsLeft, state.elapsed}));
        }
    }

    void summary(bool stopped, const std::vector<ConvertJob>& jobs, const BatchState& state,
                 int exitStatus) override {
        std::lock_guard<std::mutex> guard(mutex_);
        int finished = 0;
        for (const ConvertJob& job : jobs) {
            finished += rules::isFinished(job) ? 1 : 0;
        }
        writeOut(json::batchEnd(finished, state.count, stopped, state.elapsed, exitStatus));
    }

private:
    struct Sent {
        int percent = 0;
        std::optional<long> secondsLeft;
        double elapsed = 0;
    };
    std::map<int, Sent> sent_;
};

}  // namespace

std::unique_ptr<Report> humanReport(Console& console) {
    return std::make_unique<HumanReport>(console);
}

std::unique_ptr<Report> jsonReport(Console& console) {
    return std::make_unique<JsonReport>(console);
}

}  // namespace cli
