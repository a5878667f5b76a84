#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "convert_job.h"
#include "converter_run.h"
#include "engine_error.h"
#include "output_parser.h"

namespace platform {
class LeftoverGuard;
struct TemporaryOutput;
}  // namespace platform

// Run states of the engine, in the values the owner and the worker exchange.
enum RunState : int {
    Idle = 0,           // no run has been started
    Running = 1,        // a worker walks the jobs
    StopRequested = 2,  // the worker stops after the job under way
    Stopped = 3,        // the run ended after a stop request
    Finished = 4,       // the run walked every job
};

// Codes of the engine's one call-out to its owner.
enum ConfirmCode : int {
    ConfirmOverwrite = 1,  // may an existing output be replaced? answered with a ConfirmAnswer
};

// Answers to ConfirmOverwrite. Any other value keeps the file, as ConfirmKeep does.
enum ConfirmAnswer : int {
    ConfirmKeep = 0,
    ConfirmReplace = 1,
    // Keeps the file (the job ends kept) and stops the batch, as a stop request would.
    ConfirmKeepAndStop = 2,
};

using ConfirmCallback = int (*)(int code, std::intptr_t context);

// The conversion engine: the settings of a batch, its queue of jobs, and one worker thread per
// batch that converts the jobs one after another through the external converter.
//
// Threads: the owner (UI) thread sets the settings, adds and clears jobs, starts and stops;
// the worker runs the jobs and calls confirmCallback. jobLock guards the jobs, their records,
// the path map and the writes of currentIndex; it is never held while a child process runs
// or while confirmCallback runs. runState, currentIndex and converting are read without it.
class BatchLedger;

class ConvertCore {
public:
    ConvertCore();
    // Waits for a worker that is still ending, then clears the jobs.
    virtual ~ConvertCore();
    ConvertCore(const ConvertCore&) = delete;
    ConvertCore& operator=(const ConvertCore&) = delete;

    virtual bool isReady();
    // Deletes every job and resets currentIndex; always true. Waits for a previous worker first.
    virtual bool clearJobs();
    // Converts one job's source into its output; always true.
    virtual bool convert(const std::string& source, const std::string& output);
    // Starts the worker for the queued jobs; always true. Waits for a previous worker first.
    virtual bool start();
    // Called on the worker when a run has ended.
    virtual void onRunFinished();

    // True when this exact path (byte for byte, so case-sensitive) is queued.
    bool hasJob(const std::string& path) const;
    // Queues a job; false, with nothing changed, when the path is queued already.
    bool addJob(const std::string& path);
    // Copies the current job; false, out untouched, when there is none.
    bool getCurrentJob(ConvertJob& out);
    // Stores percent clamped to 0..100; an index outside the queue is ignored.
    void setJobPercent(int index, int percent);
    // Jobs whose percent is exactly 100.
    int countFinishedJobs();
    // Number of queued jobs, read without the lock: only valid while no jobs are added or
    // cleared, which only the owner thread does.
    int jobCount() const;
    // Every job's percent in queue order, read under the lock.
    std::vector<int> jobPercents();
    // Copies of every job (percent, outcome and reason included) in queue order, under the lock.
    std::vector<ConvertJob> jobSnapshots();
    // Records how a job ended; an index outside the queue is ignored.
    void setJobOutcome(int index, JobOutcome outcome, std::string reason = {});

    // Asks a running batch to stop; returns once the worker has ended or after one second.
    void requestStop();
    // Asks a running batch to stop and returns at once (for owners that stop several engines,
    // or that must not wait on the thread the question runs on).
    void askToStop();
    // Blocks until a worker from an earlier start has ended. Owner thread only.
    void waitForWorker();

    // Output path for source in folder, with outputExt replacing the source's extension.
    std::string buildOutputPath(const std::string& source, const std::string& folder) const;

    // Writes a script for the converter: the probe form without outputPath, the convert form
    // with it. Returns its path, or "" when it cannot be written (the reason is kept for the
    // job).
    std::string writeScript(const std::string& sourcePath, const std::string& presetArgs,
                            const std::string* outputPath);

    // Runs a convert script with its output read while it runs and "q" sent on a stop.
    // True when the child was started (it has ended on return).
    bool runProcess(const std::string& commandLine);
    // Runs a probe script, its standard error collected in a log that is read whole and
    // deleted. errorText (optional) receives the log's text. True when the child was started.
    bool runProcess2(const std::string& scriptPath, std::string* errorText);

    // Duration of the source in whole seconds from a probe run; 0 when none was found. A probe
    // whose script cannot be written, or that outlasts probeTimeLimit, fails the job (the
    // reason is kept for it).
    int probeDuration(const std::string& sourcePath);
    // Takes one chunk of the converter's console text and updates the current job's percent.
    void parseProgress(std::string_view chunk);

private:
    // How the job under way ended, as convert() found it.
    struct JobEnd {
        JobOutcome outcome = JobOutcome::Failed;
        std::string reason;
    };

    static void workerMain(ConvertCore* core);
    void runProc();
    // Takes one chunk of the converter's text: debug channel, progress and error line.
    void takeOutput(std::string_view text);
    // What a finished, failed or stopped converting run means for the job and its files.
    JobEnd endConversion(const RunEnd& run, const platform::TemporaryOutput& temporary,
                         const std::string& output);
    bool stopRequested() const { return runState != Running; }

    // Tests reach the engine's inner state through this.
    friend class ConvertCoreTestPeer;

    std::mutex jobLock;
    std::thread workerThread;

public:
    // Settings of the batch: set by the owner before jobs are queued and start is called.
    std::string toolPath;
    std::string outputFolder;
    std::string presetArgs;
    std::string outputExt;  // without the dot; may be empty

private:
    std::vector<std::unique_ptr<ConvertJob>> jobs;
    std::map<std::string, ConvertJob*> jobsByPath;

public:
    // How long a probe may take before its job fails: a source that never answers (a FIFO, a
    // hung network mount) must not hold the batch. Tests shorten it.
    std::chrono::milliseconds probeTimeLimit{60000};

    std::atomic<int> runState{Idle};
    std::atomic<int> currentIndex{-1};
    std::atomic<bool> converting{false};
    // Engines that run the parts of one batch side by side share its ledger (set by the owner
    // before start), so that no two of their jobs write one output; when empty, each start
    // begins a ledger of its own.
    std::shared_ptr<BatchLedger> sharedLedger;
    // Asked on the worker thread before an existing output is replaced.
    ConfirmCallback confirmCallback = nullptr;
    std::intptr_t confirmContext = 0;

private:
    // The converting run's text: its status lines, and its last error line. Worker only.
    ProgressReader progress;
    ErrorLineReader errorLines;
    // Worker only: how the last runs and files went, for the job under way.
    RunEnd lastRun;
    EngineError lastScriptError;
    EngineError probeError;
    bool probeTimedOut = false;
    std::vector<std::string> abandonedFiles;
    bool replaceAgreed = false;
    std::optional<JobEnd> jobEnd;
    // Guards the files of the job under way against the program's sudden end. Worker only.
    std::unique_ptr<platform::LeftoverGuard> leftovers;
};
