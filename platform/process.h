#pragma once

// A child process running one of the engine's scripts through the platform's interpreter
// (/bin/sh on POSIX, cmd on Windows), in a group of its own so that it can be ended whole.
//
// One object per child, used by one thread at a time. The child's handle stays valid until the
// object is destroyed, so terminate() and kill() never reach an unrelated process, even after
// wait() has seen the child end.

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

class Process {
public:
    struct Options {
        // Standard output and standard error share one pipe that the parent reads.
        bool pipeOutput = false;
        // Standard input is a pipe that the parent writes.
        bool pipeInput = false;
        // When not empty, standard error goes to this file, which must already exist (it is
        // truncated); this takes precedence over pipeOutput for standard error.
        std::string errorLogPath;
        // Streams that are neither piped nor logged go to the null device: the child never
        // shares the program's own console streams.
    };

    enum class WaitResult { Exited, Timeout, Failed };

    // Starts the script. Returns null when the child could not be started: an empty path, a
    // path that is not a readable file, an error log that cannot be opened, or a failed start
    // (an exec failure is known here, not later). The parent keeps no copy of the child's pipe
    // ends, so the output pipe reaches its end once the child and everything it started have
    // closed theirs; the parent's own ends are not inherited by any child.
    static std::unique_ptr<Process> startScript(const std::string& scriptPath,
                                                const Options& options);

    // Ends the child if it still runs (terminate, a short grace, then kill), kills whatever is
    // left of its group, and reaps it. Never leaves a zombie or a running script behind.
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

    // The exit status once wait() returned Exited: the script's exit code, or 128 + signal.
    // -1 while the child runs or when the status could not be learnt.
    int exitStatus() const;

private:
    struct Impl;
    explicit Process(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
