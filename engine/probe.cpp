#include "probe.h"

#include "data_folder.h"
#include "output_parser.h"
#include "platform.h"
#include "script.h"

namespace {

// The "Duration:" line comes early; the rest of a runaway probe's text is never read.
constexpr std::size_t kProbeTextLimit = 1 << 20;

// The limit as the user reads it: whole seconds where it is whole.
std::string secondsText(std::chrono::milliseconds limit) {
    std::string text = std::to_string(std::chrono::duration<double>(limit).count());
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

EngineError startFailure(const platform::Process::Started& started) {
    EngineError error;
    error.kind = started.guardFailed ? EngineError::Kind::CannotGuard
                                     : EngineError::Kind::CannotStartConverter;
    error.error = started.error;
    return error;
}

MadeFile makeLog() {
    const platform::DataFolders folders = platform::dataFolders();
    if (!folders) {
        return refusedFolders(folders);
    }
    MadeFile log = createUniqueFileOrWhy(folders.data, "xcoder", platform::tickCount(), ".txt",
                                         [](const std::string&) { return std::string(); });
    if (log.path.empty() && log.error.kind == EngineError::Kind::None) {
        log.error.kind = EngineError::Kind::CannotWriteLog;
    }
    return log;
}

}  // namespace

ProbeRun runProbeScript(const std::string& scriptPath, const ProbeSettings& settings) {
    ProbeRun probe;
    MadeFile log = makeLog();
    if (log.path.empty()) {
        probe.error = log.error;
        return probe;
    }
    if (settings.guard != nullptr) {
        settings.guard->add(log.path);
    }
    platform::Process::Options options;
    options.errorLog = &log.held;
    options.stopTimings = settings.stopTimings;
    options.removeIfAbandoned = {log.path, scriptPath};
    platform::Process::Started failed;
    const TimedRunEnd run = runWithTimeLimit(
        [&] {
            auto child = platform::Process::start(scriptPath, options);
            if (child.process) {
                platform::debugWrite("----- ConvertCore::runProcess2 -----\n");
            } else {
                failed.error = child.error;
                failed.guardFailed = child.guardFailed;
            }
            return child;
        },
        settings.stopRequested, settings.timeLimit);
    probe.end = run.end;
    probe.timedOut = run.timedOut;
    probe.started = run.end.kind != RunEnd::Kind::CouldNotStart &&
                    run.end.kind != RunEnd::Kind::NotStartedForStop;
    if (run.end.kind == RunEnd::Kind::CouldNotStart) {
        probe.error = startFailure(failed);
    } else if (run.timedOut) {
        probe.error.kind = EngineError::Kind::SourceDidNotAnswer;
        probe.error.detail = secondsText(settings.timeLimit);
    }
    if (probe.started) {
        platform::debugWrite("----- runProcess2 : CloseHandle -----\n");
    }
    probe.text = log.held.readStart(kProbeTextLimit);
    log.held.release();
    platform::removeFile(log.path);
    return probe;
}

ProbeEnd probeSource(const std::string& toolPath, const std::string& sourcePath,
                     const ProbeSettings& settings) {
    ProbeEnd probe;
    MadeFile script = makeScriptFile({toolPath, sourcePath, {}, std::nullopt});
    if (script.path.empty()) {
        // The converting run's script would go to the same folder: the job cannot run.
        probe.error = script.error;
        return probe;
    }
    if (settings.guard != nullptr) {
        settings.guard->add(script.path);
    }
    ProbeRun run = runProbeScript(script.path, settings);
    script.held.release();
    platform::removeFile(script.path);
    probe.stopped = run.end.kind == RunEnd::Kind::NotStartedForStop ||
                    run.end.kind == RunEnd::Kind::StoppedPartWay;
    probe.error = run.error;
    probe.text = std::move(run.text);
    probe.facts = readProbe(probe.text);
    return probe;
}
