#pragma once

// What kestrova-cli writes while a batch runs: on standard output either the human lines or
// the JSON events, on standard error the questions and diagnostics of both. Every write goes
// through here, from the main thread and the engines' workers alike.

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli_app.h"
#include "convert_job.h"
#include "json_events.h"
#include "replace_question.h"

namespace cli {

// A job under way, as the last look at its engine found it.
struct RunningJob {
    int index = 0;  // in the batch
    int percent = 0;
    int durationSeconds = 0;
    std::string source;
};

// The batch at one moment.
struct BatchState {
    int count = 0;                    // jobs of the batch
    int started = 0;                  // handed to an engine so far
    int ended = 0;                    // over, whatever their outcome
    std::vector<RunningJob> running;  // in the engines' order
    std::optional<double> secondsLeft;
    double elapsed = 0;  // seconds since the batch started

    int runningPercents() const;
    int batchPercent() const;
};

class Report {
public:
    explicit Report(Console& console) : console_(console) {}
    virtual ~Report() = default;
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // A FILE that is not converted, and why: on standard error, and as an event.
    virtual void skipped(const std::string& file, const std::string& reason);

    // Standard output, from the main thread. batch.parallel tells how many engines run.
    virtual void batchStarted(const json::BatchStart& batch) = 0;
    virtual void jobStarted(int index, const std::string& source, const std::string& output,
                            const BatchState& state) = 0;
    virtual void jobEnded(const ConvertJob& job, const BatchState& state) = 0;
    // Every tick (ten a second) while the batch runs.
    virtual void tick(const BatchState& state) = 0;
    // jobs: every job of the batch, in order.
    virtual void summary(bool stopped, const std::vector<ConvertJob>& jobs, const BatchState& state,
                         int exitStatus) = 0;

    // A line of text on standard error (its line end included).
    void message(std::string_view text);
    // An existing output stays: said when its job comes, once per job.
    void kept(int index, const std::string& output);
    // A leftover of a killed run that the batch removed.
    void swept(const std::string& path);
    // Asks the replace question on an engine's worker thread until it gets one of the answers;
    // nothing at the end of input or when the user stopped the program meanwhile.
    std::optional<rules::ReplaceChoice> ask(const std::string& question);

    // Why standard output could not be written; nothing while it can.
    std::optional<std::string> outputFailure();

protected:
    // With mutex_ held. Standard output text; held back while a question that shares its
    // terminal is open, and dropped once a write has failed.
    void writeOut(const std::string& text);
    // With mutex_ held: ends what stands on the terminal's last line (a progress display)
    // before other text is written.
    virtual void endLive() {}
    bool asking() const { return asking_; }

    Console& console_;
    std::mutex mutex_;

private:
    void writeErr(const std::string& text);
    void endPrompt();
    void releaseHeld();

    bool asking_ = false;
    bool promptOpen_ = false;  // the question's line awaits its answer
    std::string heldOut_;
    std::string heldErr_;
    std::optional<std::string> outputFailure_;
    std::set<int> keptReported_;
};

// The human lines: on a terminal one live line, or with several engines a block of the batch
// line and a line per engine; without one a line per job as it starts.
std::unique_ptr<Report> humanReport(Console& console);

// The JSON events.
std::unique_ptr<Report> jsonReport(Console& console);

}  // namespace cli
