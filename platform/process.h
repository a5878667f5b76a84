#pragma once

// A child process running one of the engine's scripts through the platform's interpreter
// (/bin/sh on POSIX, cmd on Windows), in a group of its own so that it can be ended whole.
//
// One object per child, used by one thread at a time. The child's handle stays valid until the
// object is destroyed, so terminate() and kill() never reach an unrelated process, even after
// wait() has seen the child end.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

namespace platform {

class HeldFile;
class OutputPlace;
class Process;

// How a child is stopped, step by step: "q" on its standard input every askEvery from the first
// request, its whole group terminated after terminateAfter of that, and killed killAfter later.
// Walked alike by the converter's runner and by Process's destructor. The defaults are the
// program's; tests shorten them.
enum class StopAction { Ask, Terminate, Kill };

struct StopTimings {
    std::chrono::milliseconds askEvery{300};
    std::chrono::milliseconds terminateAfter{10000};
    std::chrono::milliseconds killAfter{2000};
};

// One walk down the ladder.
class StopWalk {
public:
    using Clock = std::chrono::steady_clock;
    // canAsk false (a child without standard input to ask on): the walk begins at Terminate.
    StopWalk(Clock::time_point start, bool canAsk, const StopTimings& timings = {});
    // The action that has fallen due by now, if any; at most one per call.
    std::optional<StopAction> due(Clock::time_point now);
    // When the next action falls due; Clock::time_point::max() once Kill has been taken.
    Clock::time_point nextDue() const { return next_; }
    bool terminated() const { return step_ >= kKilling; }
    bool killed() const { return step_ == kDone; }

private:
    enum Step { kAsking, kTerminating, kKilling, kDone };
    StopTimings timings_;
    Clock::time_point terminateAt_;
    Clock::time_point next_;
    int step_ = kAsking;
};

// Carries out one step on the child: Ask writes "q" to its standard input.
void takeStopAction(Process& child, StopAction action);

class Process {
public:
    struct Options {
        // Standard output and standard error share one pipe that the parent reads.
        bool pipeOutput = false;
        // Standard input is a pipe that the parent writes.
        bool pipeInput = false;
        // When set, standard error goes to this file, which the caller made and holds; the
        // child writes it from its start.
        const HeldFile* errorLog = nullptr;
        // When set, the child runs in the job's private folder (POSIX; on Windows the converter
        // is given full paths instead).
        const OutputPlace* workFolder = nullptr;
        // Streams that are neither piped nor logged go to the null device: the child never
        // shares the program's own console streams.
        // How the destructor stops a child that still runs.
        StopTimings stopTimings;
        // Files that are the child's work in progress: should the program end without
        // destroying this object (killed, say), they are removed once the child's group has been
        // ended (POSIX; on Windows the group ends, the files stay).
        std::vector<std::string> removeIfAbandoned;
    };

    enum class WaitResult { Exited, Timeout, Failed };

    struct Started {
        std::unique_ptr<Process> process;  // null when the child could not be started
        SystemError error;                 // why not
        // The child started but its guardian did not, so it was ended at once: without the
        // guardian it could outlive the program.
        bool guardFailed = false;
    };

    // Starts the script. No process when the child could not be started: an empty path, a
    // path that is not a readable file, too few descriptors allowed for the interpreter, a
    // failed start (an exec failure is known here, not later), or a guardian that could not be
    // started; each with the system's reason for the step that failed. The parent keeps no copy of
    // the child's pipe ends, so the output pipe reaches its end once the child and everything it
    // started have closed theirs; the parent's own ends are not inherited by any child.
    //
    // The child's group never outlives the program: however the program ends, the group is
    // ended too (on POSIX by a small guardian process that waits on a pipe from the program; on
    // Windows by a job object that kills on close).
    static Started start(const std::string& scriptPath, const Options& options);
    static std::unique_ptr<Process> startScript(const std::string& scriptPath,
                                                const Options& options) {
        return start(scriptPath, options).process;
    }

    // Ends the child if it still runs (walking the stop ladder), kills whatever is left of its
    // group, and reaps it. Never leaves a zombie or a running script behind.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits up to timeoutMs for the child (the interpreter running the script) to end; returns
    // Exited at once when it has. While output is piped and not at its end, waiting also returns
    // early with Timeout when output becomes readable, so the caller can drain it. Never spins:
    // a child that prints nothing costs one wake-up per call (on Windows, where an anonymous
    // pipe cannot be waited on, one look at the pipe every 10 ms while it may still deliver).
    WaitResult wait(int timeoutMs);

    // Waits up to timeoutMs until the output pipe has something to read or reaches its end,
    // also after the child has ended (what it started may still hold the pipe). True when so.
    bool waitForOutput(int timeoutMs);

    // Reads what the output pipe holds now, at most size bytes, without blocking.
    // Returns the count read; 0 when nothing is available or the pipe has reached its end.
    std::size_t readOutput(char* buffer, std::size_t size);

    // True once the output pipe has reached its end (every writer closed it), or when output
    // is not piped.
    bool outputClosed() const;

    // Writes bytes to the child's standard input without blocking; false when that fails
    // (e.g. the child ended or does not read). Never raises a signal in the program.
    bool writeInput(const char* data, std::size_t size);

    // Asks the child's whole group to end (SIGTERM on POSIX), or forces it (SIGKILL).
    // Harmless once the child has ended.
    void terminate();
    void kill();

    // True when the child's standard input is a pipe the parent writes.
    bool hasInput() const;

    // The exit status once wait() returned Exited: the script's exit code, or 128 + signal.
    // -1 while the child runs or when the status could not be learnt.
    int exitStatus() const;

private:
    struct Impl;
    explicit Process(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Files a job makes for a moment (its scripts, its log, its temporary output), guarded while
// the job settles them: should the program end without releasing the guard (killed, say), a
// small helper process removes every file added to it (POSIX; on Windows nothing is guarded).
// Unlike a Process's own guardian it also covers the moments before its child starts and after
// it ends. A guard that could not start its helper guards nothing, and says why.
class LeftoverGuard {
public:
    // With a job's output place, its private folder goes too, with whatever is in it (POSIX).
    explicit LeftoverGuard(const OutputPlace* place = nullptr);
    // Releases the guard: the files added are settled, and nothing is removed.
    ~LeftoverGuard();
    LeftoverGuard(const LeftoverGuard&) = delete;
    LeftoverGuard& operator=(const LeftoverGuard&) = delete;

    // Adds a file that the program has just created.
    void add(const std::string& path);
    // Why the guard has no helper and so guards nothing; code 0 when it has one.
    SystemError error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
