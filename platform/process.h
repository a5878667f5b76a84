#pragma once

// A child process running one of the engine's scripts through the platform's interpreter
// (/bin/sh on POSIX, cmd on Windows), in a group of its own so that it can be ended whole.

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
        // When not empty, standard error goes to this file, which must already exist.
        std::string errorLogPath;
    };

    enum class WaitResult { Exited, Timeout, Failed };

    // Starts the script. Returns null when the child could not be started (an exec failure is
    // known here, not later).
    static std::unique_ptr<Process> startScript(const std::string& scriptPath,
                                                const Options& options);

    // Reaps the child if it has ended; a child still running is terminated and reaped.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits up to timeoutMs for the child to end. While output is piped, waiting also returns
    // early with Timeout when output becomes readable, so the caller can drain it.
    WaitResult wait(int timeoutMs);

    // Reads what the output pipe holds now, at most size bytes, without blocking.
    // Returns the count read; 0 when nothing is available or the pipe has reached its end.
    std::size_t readOutput(char* buffer, std::size_t size);

    // True once the output pipe has reached its end (every writer closed it).
    bool outputClosed() const;

    // Writes bytes to the child's standard input; false when that fails (e.g. the child ended).
    bool writeInput(const char* data, std::size_t size);

    // Asks the child's whole group to end, then forces it.
    void terminate();
    void kill();

    // The exit status once wait() returned Exited: the script's exit code, or 128 + signal.
    int exitStatus() const;

private:
    struct Impl;
    explicit Process(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
