// The active half of the engine: start and stop, the run loop on the worker thread, and the
// conversion of one job.

#include <chrono>
#include <system_error>

#include "convert_core.h"
#include "platform.h"

namespace {

void debugLine(const char* label, long value, const char* tail) {
    platform::debugWrite(std::string(label) + std::to_string(value) + tail);
}

}  // namespace

bool ConvertCore::start() {
    waitForWorker();
    runState = Running;
    try {
        workerThread = std::thread(&ConvertCore::workerMain, this);
    } catch (const std::system_error&) {
        // Without a worker no job would ever start and the run would never leave Running.
        runState = Stopped;
        return false;
    }
    return true;
}

void ConvertCore::waitForWorker() {
    if (workerThread.joinable() && workerThread.get_id() != std::this_thread::get_id()) {
        workerThread.join();
    }
}

void ConvertCore::workerMain(ConvertCore* core) {
    if (core != nullptr) {
        core->runProc();
    }
}

void ConvertCore::onRunFinished() {}

void ConvertCore::requestStop() {
    int expected = Running;
    runState.compare_exchange_strong(expected, StopRequested);
    constexpr auto kStep = std::chrono::milliseconds(100);
    constexpr int kLimitMs = 1000;
    std::this_thread::sleep_for(kStep);
    for (int elapsed = 100; elapsed < kLimitMs; elapsed += 100) {
        const int state = runState;
        if (state == Stopped || state == Finished) {
            return;
        }
        std::this_thread::sleep_for(kStep);
    }
}

std::string ConvertCore::buildOutputPath(const std::string& source,
                                         const std::string& folder) const {
    constexpr char sep = platform::kPathSeparator;
    std::string result = folder;
    result += sep;
    const auto nameStart = source.rfind(sep);
    result += nameStart == std::string::npos ? source : source.substr(nameStart + 1);
    if (outputExt.empty()) {
        return result;
    }
    const auto dot = result.rfind('.');
    const auto lastSep = result.rfind(sep);
    if (dot == std::string::npos || dot < lastSep) {
        result += '.';
    } else {
        result.resize(dot + 1);
    }
    result += outputExt;
    return result;
}

void ConvertCore::runProc() {
    for (int i = 0; i < jobCount(); ++i) {
        if (runState != Running) {
            break;
        }
        debugLine("----- runProc : ", i, " -----\n");
        std::string source;
        std::string output;
        {
            std::lock_guard<std::mutex> guard(jobLock);
            ConvertJob& job = *jobs[static_cast<std::size_t>(i)];
            source = job.sourcePath;
            output = buildOutputPath(source, outputFolder);
            job.outputPath = output;
            currentIndex = i;
        }
        setJobPercent(i, 0);

        // The same file reached through another spelling or a link is never converted onto
        // itself: that would destroy the source.
        if (output == source || platform::sameFile(output, source)) {
            setJobPercent(i, 100);
            setJobOutcome(i, JobOutcome::Kept);
            continue;
        }

        // Anything at the output path, readable or not, is the user's to keep unless they agree.
        // A free name is taken at once, by creating the file empty: another instance converting
        // into the same folder then finds it taken and asks, instead of both writing it.
        bool existed = platform::pathExists(output);
        bool claimed = false;
        if (!existed) {
            switch (platform::createFileExclusive(output, {})) {
                case platform::CreateResult::Created:
                    claimed = true;
                    break;
                case platform::CreateResult::Exists:
                    existed = true;
                    break;
                case platform::CreateResult::Failed:
                    // The converter will meet the same trouble; nothing here is ours to remove.
                    break;
            }
        }
        bool converted = false;
        if (!existed || (confirmCallback != nullptr &&
                         confirmCallback(ConfirmOverwrite, confirmContext) == 1)) {
            platform::debugWrite("runProc : convert\n");
            // runProcess records how the converter ended; an override of convert that runs
            // no converter counts as a success.
            lastExitStatus = 0;
            lastRunAskedToQuit = false;
            convert(source, output);
            converted = true;
        }

        const bool succeeded = lastExitStatus == 0 && !lastRunAskedToQuit;
        if (claimed) {
            // The file is ours: a failed converter's fragment (often empty) is not a result,
            // nor is the empty claim of a converter that never ran or wrote nothing. A stopped
            // converter's partial output stays.
            const bool written = platform::fileSize(output) > 0;
            const bool stoppedPartWay = lastRunAskedToQuit && lastExitStatus != -1;
            if (!written || (!succeeded && !stoppedPartWay)) {
                platform::removeFile(output);
            }
        }
        const bool present = platform::fileExists(output);
        const bool finished = present && (!converted || succeeded);
        setJobPercent(i, finished ? 100 : 0);
        if (finished) {
            setJobOutcome(i, converted ? JobOutcome::Converted : JobOutcome::Kept);
        } else if (lastRunAskedToQuit) {
            setJobOutcome(i, JobOutcome::Stopped);
        } else {
            setJobOutcome(i, JobOutcome::Failed, "the converter failed");
        }
    }

    int expected = Running;
    if (!runState.compare_exchange_strong(expected, Finished)) {
        runState = Stopped;
    }
    onRunFinished();
    currentIndex = -1;
}

bool ConvertCore::convert(const std::string& source, const std::string& output) {
    platform::debugWrite("----- convert -----\n");
    const int duration = probeDuration(source);
    {
        std::lock_guard<std::mutex> guard(jobLock);
        debugLine("duration:", duration, "\n");
        const int index = currentIndex;
        if (index >= 0 && index < static_cast<int>(jobs.size())) {
            jobs[static_cast<std::size_t>(index)]->durationSeconds = duration;
        }
        platform::debugWrite("----------\n");
    }
    // A stop that came during the probe or the question ends the job here: starting the
    // converter only to make it quit would truncate an output for nothing.
    if (runState != Running) {
        lastExitStatus = -1;
        lastRunAskedToQuit = true;
        return true;
    }
    const std::string script = writeScript(source, presetArgs, &output);
    pendingOutput.clear();
    converting = true;
    runProcess(script);
    converting = false;
    platform::removeFile(script);
    return true;
}
