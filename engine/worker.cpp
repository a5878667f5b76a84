// The active half of the engine: start and stop, the run loop on the worker thread, and the
// settling of each job before and after its conversion.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>

#include "batch_ledger.h"
#include "convert_core.h"
#include "data_folder.h"
#include "job_run.h"
#include "output_file.h"
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

void ConvertCore::runProc() {
    // A job this batch does not reach has not been started by it, whatever an earlier batch
    // made of it.
    for (int i = 0; i < jobCount(); ++i) {
        setJobOutcome(i, JobOutcome::NotStarted);
    }
    // Engines that run one batch together share its ledger; alone, each run starts one.
    const std::shared_ptr<BatchLedger> ledger =
        sharedLedger ? sharedLedger : std::make_shared<BatchLedger>();
    for (int i = 0; i < jobCount() && runState == Running; ++i) {
        debugLine("----- runProc : ", i, " -----\n");
        runJob(i, *ledger);
    }
    int expected = Running;
    if (!runState.compare_exchange_strong(expected, Finished)) {
        runState = Stopped;
    }
    onRunFinished();
    currentIndex = -1;
}

void ConvertCore::runJob(int i, BatchLedger& ledger) {
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
    sweep(ledger);
    if (settledUnconverted(i, source, output, ledger)) {
        return;
    }
    platform::debugWrite("runProc : convert\n");
    convert(source, output);
    JobOutcome outcome = JobOutcome::NotStarted;
    {
        std::lock_guard<std::mutex> guard(jobLock);
        outcome = jobs[static_cast<std::size_t>(i)]->outcome;
    }
    // An override of convert that records nothing is judged by the file it left.
    if (outcome == JobOutcome::NotStarted) {
        outcome = platform::fileExists(output) ? JobOutcome::Converted : JobOutcome::Failed;
        setJobOutcome(i, outcome,
                      outcome == JobOutcome::Converted
                          ? std::string()
                          : EngineError{EngineError::Kind::WroteNoOutput, {}, {}, {}}.text());
    }
    // A short conversion keeps the last percent it reached.
    if (outcome != JobOutcome::Short) {
        setJobPercent(i, outcome == JobOutcome::Converted ? 100 : 0);
    }
    if (outcome == JobOutcome::Converted || outcome == JobOutcome::Short) {
        ledger.recordFile(output, source);
    }
}

bool ConvertCore::settledUnconverted(int i, const std::string& source, const std::string& output,
                                     BatchLedger& ledger) {
    const auto fail = [this, i](EngineError::Kind kind, const std::string& detail) {
        setJobOutcome(i, JobOutcome::Failed, EngineError{kind, {}, {}, detail}.text());
        return true;
    };
    const auto keep = [this, i, &source, &output, &ledger] {
        setJobPercent(i, 100);
        setJobOutcome(i, JobOutcome::Kept);
        ledger.recordFile(output, source);
        return true;
    };
    // Two sources of one name in one batch: the later one would either be kept as if it were
    // done, or replace what the batch has just made.
    if (const auto earlier = ledger.claim(output, source)) {
        return fail(EngineError::Kind::SameOutput, *earlier);
    }
    // The same file reached through another spelling or a link is never converted onto itself:
    // that would destroy the source.
    if (output == source || platform::sameFile(output, source)) {
        return keep();
    }
    const platform::OutputName standing = platform::lookAtOutputName(output);
    if (standing.kind == platform::OutputName::Kind::Other) {
        return fail(EngineError::Kind::OutputNameTaken, standing.what);
    }
    // A file at the output name, readable or not, is the user's to keep unless they agree.
    if (standing.kind != platform::OutputName::Kind::File) {
        return false;
    }
    const int answer = confirmCallback != nullptr
                           ? confirmCallback(ConfirmOverwrite, confirmContext)
                           : ConfirmKeep;
    if (answer == ConfirmReplace) {
        return false;
    }
    if (answer == ConfirmKeepAndStop) {
        askToStop();
    }
    return keep();
}

void ConvertCore::sweep(BatchLedger& ledger) {
    // The data folder once per program, each output folder once per batch.
    static std::once_flag dataFolderSwept;
    std::call_once(dataFolderSwept, [this] {
        if (const platform::DataFolders folders = platform::dataFolders()) {
            report(platform::sweepDataFolders(folders.data, folders.scripts));
        }
    });
    if (ledger.firstUseOf(outputFolder)) {
        report(platform::sweepOutputFolder(outputFolder));
    }
}

void ConvertCore::report(const std::vector<std::string>& swept) const {
    for (const std::string& path : swept) {
        if (onSwept) {
            onSwept(path);
        } else {
            platform::debugWrite("swept: " + path + "\n");
        }
    }
}

bool ConvertCore::convert(const std::string& source, const std::string& output) {
    const int index = currentIndex;
    const JobSettings settings{toolPath, presetArgs, stopTimings, probeTimeLimit};
    JobHooks hooks;
    hooks.stopRequested = [this] { return runState != Running; };
    hooks.durationLearnt = [this, index](std::int32_t seconds) {
        std::lock_guard<std::mutex> guard(jobLock);
        debugLine("duration:", seconds, "\n");
        if (index >= 0 && index < static_cast<int>(jobs.size())) {
            jobs[static_cast<std::size_t>(index)]->durationSeconds = seconds;
        }
        platform::debugWrite("----------\n");
    };
    hooks.percentReached = [this, index](int percent) { setJobPercent(index, percent); };
    hooks.converting = [this](bool running) { converting = running; };
    const bool replace =
        platform::lookAtOutputName(output).kind == platform::OutputName::Kind::File;
    const JobEnd end = convertJob(source, output, replace, settings, hooks);
    setJobOutcome(index, end.outcome, end.reason.text());
    return true;
}
