// The runs of the converter as ConvertCore's operations: the converting run, whose console text
// is read while it runs and which is asked to stop with "q", and the probe run, whose error
// stream is collected in a log.

#include <algorithm>
#include <chrono>

#include "convert_core.h"
#include "platform.h"
#include "process.h"
#include "script.h"

namespace {

void reportStartFailure() {
    platform::debugWrite("CreateProcess");
    platform::debugWrite("\n");
}

}  // namespace

bool ConvertCore::runProcess(const std::string& commandLine) {
    platform::Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = true;
    options.removeIfAbandoned = abandonedFiles;
    bool started = false;
    lastRun = runConverter(
        [&] {
            auto child = platform::Process::start(commandLine, options);
            started = child.process != nullptr;
            if (started) {
                platform::debugWrite("----- ConvertCore::runProcess -----\n");
            }
            return child;
        },
        [this] { return runState == StopRequested; },
        [this](std::string_view text) { takeOutput(text); });
    if (!started) {
        reportStartFailure();
        return false;
    }
    platform::debugWrite("----- runProcess : CloseHandle -----\n");
    return true;
}

void ConvertCore::takeOutput(std::string_view text) {
    platform::debugWrite("----------\n");
    platform::debugWrite(text);
    if (converting) {
        parseProgress(text);
        errorLines.take(text);
    }
    // Nothing goes to the program's own standard output: the terminal front end prints its own
    // progress there.
}

bool ConvertCore::runProcess2(const std::string& scriptPath, std::string* errorText) {
    probeTimedOut = false;
    const std::string folder = platform::dataFolder();
    platform::makeDirectory(folder);
    MadeFile log = createUniqueFileOrWhy(folder, "xcoder", platform::tickCount(), ".txt",
                                         [](const std::string&) { return std::string(); });
    if (log.path.empty()) {
        // Without its log the probe learns no duration; the conversion can still run.
        reportStartFailure();
        return false;
    }
    if (leftovers) {
        leftovers->add(log.path);
    }

    platform::Process::Options options;
    options.errorLogPath = log.path;
    options.removeIfAbandoned = {log.path, scriptPath};
    bool started = false;
    const TimedRunEnd run = runWithTimeLimit(
        [&] {
            auto child = platform::Process::start(scriptPath, options);
            started = child.process != nullptr;
            if (started) {
                platform::debugWrite("----- ConvertCore::runProcess2 -----\n");
            }
            return child;
        },
        [this] { return runState != Running; }, probeTimeLimit);
    if (!started) {
        platform::removeFile(log.path);
        reportStartFailure();
        return false;
    }
    probeTimedOut = run.timedOut;
    platform::debugWrite("----- runProcess2 : CloseHandle -----\n");

    std::string text;
    platform::readFile(log.path, text);
    if (errorText != nullptr) {
        *errorText = std::move(text);
    }
    platform::removeFile(log.path);
    return true;
}

int ConvertCore::probeDuration(const std::string& sourcePath) {
    probeTimedOut = false;
    probeError = {};
    const std::string script = writeScript(sourcePath, presetArgs, nullptr);
    if (script.empty()) {
        // The converting run's script would go to the same folder: the job cannot run.
        probeError = lastScriptError;
        return 0;
    }
    std::string text;
    runProcess2(script, &text);
    platform::removeFile(script);
    return durationFromProbeText(text);
}

void ConvertCore::parseProgress(std::string_view chunk) {
    int duration = 0;
    {
        std::lock_guard<std::mutex> guard(jobLock);
        const int index = currentIndex;
        if (index >= 0 && index < static_cast<int>(jobs.size())) {
            duration = jobs[static_cast<std::size_t>(index)]->durationSeconds;
        }
    }
    if (const auto percent = progress.take(chunk, duration)) {
        setJobPercent(currentIndex, *percent);
    }
}
