// Child process runners: the converting run, whose console text is read while it runs and which
// is asked to quit with "q", and the probe run, whose error stream is collected in a log.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "convert_core.h"
#include "platform.h"
#include "process.h"
#include "script.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kConvertPoll = milliseconds(300);
constexpr auto kProbePoll = milliseconds(100);
// A converter that has not quit after this long of "q" is ended; one that survives SIGTERM is
// killed this much later.
constexpr auto kQuitPatience = std::chrono::seconds(10);
constexpr auto kTerminatePatience = std::chrono::seconds(2);
constexpr std::size_t kChunkSize = 4096;
// Bounds the reading of what is left after the child's end, should something it started
// still be writing.
constexpr int kMaxTailChunks = 4096;

int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<milliseconds::rep>(0, left));
}

void reportStartFailure() {
    platform::debugWrite("CreateProcess");
    platform::debugWrite("\n");
}

}  // namespace

bool ConvertCore::runProcess(const std::string& commandLine) {
    lastExitStatus = -1;
    lastRunAskedToQuit = false;

    platform::Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = true;
    auto child = platform::Process::startScript(commandLine, options);
    if (!child) {
        reportStartFailure();
        return false;
    }
    platform::debugWrite("----- ConvertCore::runProcess -----\n");

    std::optional<Clock::time_point> firstQuit;
    std::optional<Clock::time_point> terminatedAt;
    bool killed = false;
    auto nextPoll = Clock::now() + kConvertPoll;
    platform::Process::WaitResult result;
    for (;;) {
        result = child->wait(msUntil(nextPoll));
        if (result != platform::Process::WaitResult::Timeout) {
            break;
        }
        // The pipe is drained as text arrives, in every state: a converter blocked on a full
        // pipe would never read its "q".
        pumpOutput(*child);
        const auto now = Clock::now();
        if (now < nextPoll) {
            continue;
        }
        nextPoll = now + kConvertPoll;
        if (runState != StopRequested) {
            continue;
        }
        child->writeInput("q", 1);
        lastRunAskedToQuit = true;
        if (!firstQuit) {
            firstQuit = now;
        } else if (!terminatedAt && now - *firstQuit >= kQuitPatience) {
            child->terminate();
            terminatedAt = now;
        } else if (terminatedAt && !killed && now - *terminatedAt >= kTerminatePatience) {
            child->kill();
            killed = true;
        }
    }

    if (terminatedAt && !killed) {
        // The shell dies at once on SIGTERM; the converter may still be finishing its file, or
        // may ignore the signal. Its end shows as the end of the output pipe.
        const auto killAt = *terminatedAt + kTerminatePatience;
        while (!child->outputClosed() && Clock::now() < killAt) {
            if (child->waitForOutput(msUntil(killAt))) {
                pumpOutput(*child);
            }
        }
        if (!child->outputClosed()) {
            child->kill();
        }
    }
    // What the converter printed last is still in the pipe.
    for (int chunk = 0; chunk < kMaxTailChunks && pumpOutput(*child) > 0; ++chunk) {
    }

    if (result == platform::Process::WaitResult::Exited) {
        lastExitStatus = child->exitStatus();
    }
    child.reset();
    platform::debugWrite("----- runProcess : CloseHandle -----\n");
    return true;
}

std::size_t ConvertCore::pumpOutput(platform::Process& child) {
    platform::debugWrite("----------\n");
    char buffer[kChunkSize + 1];
    const std::size_t got = child.readOutput(buffer, kChunkSize);
    if (got == 0) {
        return 0;
    }
    buffer[got] = '\0';
    // The converter's text is single-byte text; a zero byte ends it, as it would a C string.
    const std::string_view text(buffer, ::strnlen(buffer, got));
    platform::debugWrite(text);
    if (converting) {
        parseProgress(text);
    }
    // Unlike the original's console echo, nothing goes to the program's own standard output:
    // the terminal front end prints its own progress there.
    return got;
}

bool ConvertCore::runProcess2(const std::string& scriptPath, std::string* errorText) {
    const std::string folder = platform::dataFolder();
    platform::makeDirectory(folder);
    const std::string logPath = createUniqueFile(folder, "xcoder", platform::tickCount(), ".txt",
                                                 [](const std::string&) { return std::string(); });
    if (logPath.empty()) {
        reportStartFailure();
        return false;
    }

    platform::Process::Options options;
    options.errorLogPath = logPath;
    auto child = platform::Process::startScript(scriptPath, options);
    if (!child) {
        platform::removeFile(logPath);
        reportStartFailure();
        return false;
    }
    platform::debugWrite("----- ConvertCore::runProcess2 -----\n");
    const int pollMs = static_cast<int>(kProbePoll.count());
    while (child->wait(pollMs) == platform::Process::WaitResult::Timeout && runState == Running) {
    }
    // A probe that is still running after a stop is ended here rather than left behind.
    child.reset();
    platform::debugWrite("----- runProcess2 : CloseHandle -----\n");

    std::string text;
    platform::readFile(logPath, text);
    if (errorText != nullptr) {
        *errorText = std::move(text);
    }
    platform::removeFile(logPath);
    return true;
}
