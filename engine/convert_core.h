#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "convert_job.h"
#include "output_parser.h"
#include "process.h"

class BatchLedger;

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
// batch that converts the jobs one after another through the external converter. Each job's
// conversion is a unit of its own (job_run.h) that knows nothing of this class; the engine keeps
// only its settings, its queue and what the owner reads.
//
// Threads: the owner (UI) thread sets the settings, adds and clears jobs, starts and stops;
// the worker runs the jobs and calls confirmCallback. jobLock guards the jobs, their records,
// the path map and the writes of currentIndex; it is never held while a child process runs
// or while confirmCallback runs. runState, currentIndex and converting are read without it.
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
    // Converts the current job's source into its output and records how the job ended on it;
    // always true. Replaces what stands at the output name only when something stood there as
    // it began: the run loop calls it only after the user agreed to replace it.
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

    // The engine's steps one by one, each over the unit that does it for a job: a script for the
    // converter (the probe form without outputPath, the convert form with it; its path, or ""
    // when it cannot be written), a converting run with its text given to parseProgress and "q"
    // sent on a stop (true when the child was started), a probe run whose error text is
    // collected in a log (errorText, optional, receives the log's first 1 MiB; true when
    // started), the duration of a source in whole seconds (0 when none was found), and one chunk
    // of a converting run's text taken for the current job's percent.
    std::string writeScript(const std::string& sourcePath, const std::string& presetArgs,
                            const std::string* outputPath);
    bool runProcess(const std::string& commandLine);
    bool runProcess2(const std::string& scriptPath, std::string* errorText);
    int probeDuration(const std::string& sourcePath);
    void parseProgress(std::string_view chunk);

private:
    static void workerMain(ConvertCore* core);
    void runProc();
    // Settles one job: its claim on the output, what stands there, the question, the conversion.
    void runJob(int index, BatchLedger& ledger);
    // Settles a job that is not to be converted (same output as an earlier job's, the source
    // itself, anything but a file at the output name, a file the user keeps); false when the job
    // is to be converted.
    bool settledUnconverted(int index, const std::string& source, const std::string& output,
                            BatchLedger& ledger);
    // Removes a killed run's leftovers where this batch is about to work.
    void sweep(BatchLedger& ledger);
    void report(const std::vector<std::string>& swept) const;

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
    // The console text parseProgress has not examined yet.
    ProgressReader pendingOutput;

public:
    // How long a probe may take before its job fails: a source that never answers (a FIFO, a
    // hung network mount) must not hold the batch. Tests shorten it.
    std::chrono::milliseconds probeTimeLimit{60000};
    // How a converter is stopped: "q" every 300 ms, terminated after 10 s, killed 2 s later.
    // Tests shorten them.
    platform::StopTimings stopTimings;
    // Engines that run the parts of one batch side by side share its ledger (set by the owner
    // before start), so that no two of their jobs write one output; when empty, each start
    // begins a ledger of its own.
    std::shared_ptr<BatchLedger> sharedLedger;
    // Told of each leftover of a killed run that a batch removed (its path), on the worker
    // thread; when empty, the debug channel is.
    std::function<void(const std::string& path)> onSwept;

    std::atomic<int> runState{Idle};
    std::atomic<int> currentIndex{-1};
    std::atomic<bool> converting{false};
    // Asked on the worker thread before an existing output is replaced.
    ConfirmCallback confirmCallback = nullptr;
    std::intptr_t confirmContext = 0;
};
