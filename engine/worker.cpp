// The active half of the engine: start and stop, the run loop on the worker thread, and the
// conversion of one job.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <system_error>
#include <utility>

#include "batch_ledger.h"
#include "convert_core.h"
#include "output_file.h"
#include "platform.h"
#include "process.h"
#include "script.h"

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

void ConvertCore::askToStop() {
    int expected = Running;
    runState.compare_exchange_strong(expected, StopRequested);
}

void ConvertCore::requestStop() {
    askToStop();
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

namespace {

// The exit status of a script whose converter was ended by a signal: 128 + the signal's number.
constexpr int kSignalBase = 128;
constexpr int kLastSignal = 64;

std::string folderOf(const std::string& path) {
    const auto separator = path.rfind(platform::kPathSeparator);
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

}  // namespace

void ConvertCore::runProc() {
    // A job this batch does not reach has not been started by it, whatever an earlier batch
    // made of it.
    for (int i = 0; i < jobCount(); ++i) {
        setJobOutcome(i, JobOutcome::NotStarted);
    }
    // Engines that run one batch together share its ledger; alone, each run starts one.
    const std::shared_ptr<BatchLedger> ledger =
        sharedLedger ? sharedLedger : std::make_shared<BatchLedger>();
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

        // Two sources of one name in one batch: the later one would either be kept as if it
        // were done, or replace what the batch has just made.
        if (const auto earlier = ledger->claim(output, source)) {
            setJobOutcome(i, JobOutcome::Failed, "same output as " + *earlier);
            continue;
        }
        // The same file reached through another spelling or a link is never converted onto
        // itself: that would destroy the source.
        if (output == source || platform::sameFile(output, source)) {
            setJobPercent(i, 100);
            setJobOutcome(i, JobOutcome::Kept);
            ledger->recordFile(output, source);
            continue;
        }

        // Anything at the output name, readable or not, a link that leads nowhere included, is
        // the user's to keep unless they agree.
        const bool existed = platform::nameTaken(output);
        const int answer = existed && confirmCallback != nullptr
                               ? confirmCallback(ConfirmOverwrite, confirmContext)
                               : ConfirmKeep;
        if (existed && answer != ConfirmReplace) {
            setJobPercent(i, 100);
            setJobOutcome(i, JobOutcome::Kept);
            ledger->recordFile(output, source);
            if (answer == ConfirmKeepAndStop) {
                askToStop();
            }
            continue;
        }
        platform::debugWrite("runProc : convert\n");
        replaceAgreed = existed;
        jobEnd.reset();
        // The job's scripts, log and temporary output go even if the program is killed while
        // it has them, between its converter's runs included.
        leftovers = std::make_unique<platform::LeftoverGuard>();
        convert(source, output);
        leftovers.reset();
        // An override of convert that records nothing is judged by the file it left.
        const JobEnd end = jobEnd ? *jobEnd
                           : platform::fileExists(output)
                               ? JobEnd{JobOutcome::Converted, {}}
                               : JobEnd{JobOutcome::Failed, "the converter wrote no output"};
        setJobPercent(i, end.outcome == JobOutcome::Converted ? 100 : 0);
        setJobOutcome(i, end.outcome, end.reason);
        if (end.outcome == JobOutcome::Converted) {
            ledger->recordFile(output, source);
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
    // converter only to make it quit would be work for nothing.
    if (runState != Running) {
        jobEnd = JobEnd{JobOutcome::Stopped, {}};
        return true;
    }
    if (probeError) {
        jobEnd = JobEnd{JobOutcome::Failed, probeError.text()};
        return true;
    }
    if (probeTimedOut) {
        const auto seconds = std::chrono::duration<double>(probeTimeLimit).count();
        std::string limit = std::to_string(seconds);
        limit.erase(limit.find_last_not_of('0') + 1);
        if (!limit.empty() && limit.back() == '.') {
            limit.pop_back();
        }
        jobEnd = JobEnd{JobOutcome::Failed, "the source did not answer within " + limit + " s"};
        return true;
    }

    // The converter writes a file of its own beside the output; only a finished job puts it
    // in place.
    const platform::TemporaryOutput temporary = platform::createTemporaryOutput(output);
    if (temporary.path.empty()) {
        jobEnd = JobEnd{JobOutcome::Failed, EngineError{EngineError::Kind::CannotCreateOutput,
                                                        folderOf(output), temporary.error}
                                                .text()};
        return true;
    }
    if (leftovers) {
        leftovers->add(temporary.path);
    }
    const std::string script = writeScript(source, presetArgs, &temporary.path);
    if (script.empty()) {
        platform::discardOutput(temporary);
        jobEnd = JobEnd{JobOutcome::Failed, lastScriptError.text()};
        return true;
    }
    progress.clear();
    errorLines = ErrorLineReader({source, temporary.path}, interpreterEchoMarks(script, toolPath));
    abandonedFiles = {temporary.path, script};
    converting = true;
    runProcess(script);
    converting = false;
    abandonedFiles.clear();
    platform::removeFile(script);
    jobEnd = endConversion(lastRun, temporary, output);
    return true;
}

ConvertCore::JobEnd ConvertCore::endConversion(const RunEnd& run,
                                               const platform::TemporaryOutput& temporary,
                                               const std::string& output) {
    const std::string& temporaryPath = temporary.path;
    if (run.kind != RunEnd::Kind::Finished) {
        platform::discardOutput(temporary);
    }
    switch (run.kind) {
        case RunEnd::Kind::StoppedPartWay:
        case RunEnd::Kind::NotStartedForStop:
            return {JobOutcome::Stopped, {}};
        case RunEnd::Kind::CouldNotStart:
            return {JobOutcome::Failed,
                    EngineError{EngineError::Kind::CannotStartConverter, {}, run.error}.text()};
        case RunEnd::Kind::Failed: {
            const int status = run.exitStatus;
            // A signal the converter caught and quit on says more than its last complaint.
            const int caught = errorLines.caughtSignal();
            if ((status > kSignalBase && status <= kSignalBase + kLastSignal) || caught > 0) {
                return {JobOutcome::Failed,
                        "the converter was ended by signal " +
                            std::to_string(caught > 0 ? caught : status - kSignalBase)};
            }
            std::string line = errorLines.lastLine();
            if (!line.empty()) {
                return {JobOutcome::Failed, std::move(line)};
            }
            return {JobOutcome::Failed,
                    "the converter ended with exit status " + std::to_string(status)};
        }
        case RunEnd::Kind::Finished:
            break;
    }
    // Some converters report a failed write of their output (a full disk while writing the
    // trailer) and still exit with status 0: the file is not whole.
    if (errorLines.reported(temporaryPath)) {
        platform::discardOutput(temporary);
        return {JobOutcome::Failed, errorLines.lastLine()};
    }
    const std::int64_t size = platform::fileSize(temporaryPath);
    if (size < 0) {
        // The output folder was renamed or removed meanwhile, or the file taken away: nothing
        // can be put in place, and what is left goes from wherever the folder is now.
        const platform::SystemError why = platform::lastSystemError();
        platform::discardOutput(temporary);
        return {JobOutcome::Failed,
                EngineError{EngineError::Kind::CannotPlaceOutput, output, why}.text()};
    }
    if (size == 0) {
        platform::discardOutput(temporary);
        return {JobOutcome::Failed, "the converter wrote no output"};
    }
    const platform::PlaceResult placed = platform::placeOutput(temporary, output, replaceAgreed);
    switch (placed.placement) {
        case platform::Placement::Placed:
            return {JobOutcome::Converted, {}};
        case platform::Placement::NameTaken:
            return {JobOutcome::Failed, "another program took the output name meanwhile"};
        case platform::Placement::Failed:
            break;
    }
    platform::discardOutput(temporary);
    return {JobOutcome::Failed,
            EngineError{EngineError::Kind::CannotPlaceOutput, output, placed.error}.text()};
}
