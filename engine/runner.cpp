// The engine's steps one by one, as its own operations: each a thin call of the unit that does
// it for a job.

#include <algorithm>
#include <chrono>

#include "convert_core.h"
#include "converter_run.h"
#include "platform.h"
#include "probe.h"
#include "process.h"
#include "script.h"

bool ConvertCore::runProcess(const std::string& commandLine) {
    platform::Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = true;
    options.stopTimings = stopTimings;
    bool started = false;
    runConverter(
        [&] {
            auto child = platform::Process::start(commandLine, options);
            started = child.process != nullptr;
            platform::debugWrite(started ? "----- ConvertCore::runProcess -----\n"
                                         : "CreateProcess\n");
            return child;
        },
        [this] { return runState == StopRequested; },
        [this](std::string_view text) {
            platform::debugWrite("----------\n");
            platform::debugWrite(text);
            if (converting) {
                parseProgress(text);
            }
        },
        stopTimings);
    if (started) {
        platform::debugWrite("----- runProcess : CloseHandle -----\n");
    }
    return started;
}

bool ConvertCore::runProcess2(const std::string& scriptPath, std::string* errorText) {
    ProbeRun probe = runProbeScript(
        scriptPath, {probeTimeLimit, stopTimings, [this] { return runState != Running; }, nullptr});
    if (!probe.started) {
        platform::debugWrite("CreateProcess\n");
        return false;
    }
    if (errorText != nullptr) {
        *errorText = std::move(probe.text);
    }
    return true;
}

int ConvertCore::probeDuration(const std::string& sourcePath) {
    return probeSource(
               toolPath, sourcePath,
               {probeTimeLimit, stopTimings, [this] { return runState != Running; }, nullptr})
        .facts.durationSeconds;
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
    if (const auto percent = pendingOutput.take(chunk, duration)) {
        setJobPercent(currentIndex, *percent);
    }
}

std::string ConvertCore::writeScript(const std::string& sourcePath, const std::string& presetArgs,
                                     const std::string* outputPath) {
    ScriptCommand command{toolPath, sourcePath, presetArgs, std::nullopt};
    if (outputPath != nullptr) {
        command.outputPath = *outputPath;
    }
    return makeScriptFile(command).path;
}
