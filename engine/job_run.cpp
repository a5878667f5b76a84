#include "job_run.h"

#include <memory>
#include <optional>
#include <utility>

#include "output_file.h"
#include "output_parser.h"
#include "platform.h"
#include "probe.h"
#include "script.h"

namespace {

// The exit status of a script whose converter was ended by a signal: 128 + the signal's number.
constexpr int kSignalBase = 128;
constexpr int kLastSignal = 64;

// The interpreter's own complaints ("<script>: 3: Cannot fork"): the converter never ran.
class InterpreterLines {
public:
    InterpreterLines(std::string scriptPath, std::string toolPath)
        : prefixes_{std::move(scriptPath) + ": ", "/bin/sh: "}, toolPath_(std::move(toolPath)) {}

    void take(std::string_view text) {
        for (const char c : text) {
            if (c == '\n' || c == '\r') {
                finishLine();
            } else if (line_.size() < kLineLimit) {
                line_ += c;
            }
        }
    }
    const std::string& message() const { return message_; }

private:
    static constexpr std::size_t kLineLimit = 4096;

    void finishLine() {
        for (const std::string& prefix : prefixes_) {
            if (line_.rfind(prefix, 0) != 0) {
                continue;
            }
            std::size_t at = prefix.size();
            const std::size_t digits = at;
            while (at < line_.size() && line_[at] >= '0' && line_[at] <= '9') {
                ++at;
            }
            if (at > digits && line_.compare(at, 2, ": ") == 0) {
                std::string message = line_.substr(at + 2);
                if (message.rfind(toolPath_ + ": ", 0) == 0) {
                    message.erase(0, toolPath_.size() + 2);
                }
                message_ = std::move(message);
            }
        }
        line_.clear();
    }

    std::string prefixes_[2];
    std::string toolPath_;
    std::string line_;
    std::string message_;
};

// What a converting run printed: its progress, its error lines, the interpreter's complaints.
struct RunText {
    RunText(const std::string& source, const std::string& converterOutput,
            const std::string& scriptPath, const std::string& toolPath)
        : errors({source, converterOutput}, interpreterEchoMarks(scriptPath, toolPath)),
          interpreter(scriptPath, toolPath) {}

    void take(std::string_view text, std::int32_t duration, const JobHooks& hooks) {
        platform::debugWrite("----------\n");
        platform::debugWrite(text);
        if (const auto percent = progress.take(text, duration)) {
            hooks.percentReached(*percent);
        }
        errors.take(text);
        interpreter.take(text);
    }

    ProgressReader progress;
    ErrorLineReader errors;
    InterpreterLines interpreter;
};

JobEnd failed(EngineError::Kind kind, std::string detail = {}) {
    JobEnd end;
    end.reason.kind = kind;
    end.reason.detail = std::move(detail);
    return end;
}

JobEnd failed(EngineError reason) {
    JobEnd end;
    end.reason = std::move(reason);
    return end;
}

// Why a converting run that exited with a failure failed.
JobEnd failedRun(int status, const RunText& text) {
    if (!text.interpreter.message().empty()) {
        return failed(EngineError::Kind::CannotStartConverter, text.interpreter.message());
    }
    // A signal the converter caught and quit on says more than its last complaint.
    const int caught = text.errors.caughtSignal();
    if ((status > kSignalBase && status <= kSignalBase + kLastSignal) || caught > 0) {
        return failed(EngineError::Kind::EndedBySignal,
                      std::to_string(caught > 0 ? caught : status - kSignalBase));
    }
    if (std::string line = text.errors.lastLine(); !line.empty()) {
        return failed(EngineError::Kind::ConverterSaid, std::move(line));
    }
    return failed(EngineError::Kind::ExitStatus, std::to_string(status));
}

// How a converting run ended, before anything is placed: its end when nothing is to be placed,
// else the outcome its file will have once placed (converted, or short of the source's end).
std::optional<JobEnd> judgeRun(const RunEnd& run, bool guardFailed, RunText& text,
                               const platform::OutputPlace& place, const ProbeFacts& probe) {
    switch (run.kind) {
        case RunEnd::Kind::StoppedPartWay:
        case RunEnd::Kind::NotStartedForStop:
            return JobEnd{JobOutcome::Stopped, {}};
        case RunEnd::Kind::CouldNotStart: {
            JobEnd end = failed(guardFailed ? EngineError::Kind::CannotGuard
                                            : EngineError::Kind::CannotStartConverter);
            end.reason.error = run.error;
            return end;
        }
        case RunEnd::Kind::Failed:
            return failedRun(run.exitStatus, text);
        case RunEnd::Kind::Finished:
            break;
    }
    // Some converters report a failed write of their output (a full disk while writing the
    // trailer) and still exit with status 0: the file is not whole.
    if (text.errors.reported(place.converterOutput())) {
        return failed(EngineError::Kind::ConverterSaid, text.errors.lastLine());
    }
    switch (place.check()) {
        case platform::OutputPlace::State::Ready:
            break;
        case platform::OutputPlace::State::FolderMoved:
            return failed(EngineError::Kind::OutputFolderMoved);
        case platform::OutputPlace::State::Empty:
        case platform::OutputPlace::State::NotAFile:
            return failed(EngineError::Kind::WroteNoOutput);
    }
    // A damaged or cut source makes the converter stop early and still succeed: its output is
    // all it could make of the source, but not the whole of it.
    text.progress.finish();
    const std::optional<double> position = text.progress.newestPosition();
    if (fellShort(position, probe)) {
        JobEnd end;
        end.outcome = JobOutcome::Short;
        end.reason.kind = EngineError::Kind::Short;
        end.reason.detail = shortReason(position, probe);
        return end;
    }
    return std::nullopt;
}

JobEnd placeOutput(platform::OutputPlace& place, const std::string& output, bool replace,
                   JobEnd placedEnd) {
    const platform::PlaceResult placed = place.place(replace);
    switch (placed.placement) {
        case platform::Placement::Placed:
            return placedEnd;
        case platform::Placement::NameTaken:
            return failed(EngineError::Kind::NameTakenMeanwhile);
        case platform::Placement::Failed:
            break;
    }
    return failed(EngineError{EngineError::Kind::CannotPlaceOutput, output, placed.error, {}});
}

std::string folderOf(const std::string& path) {
    const auto separator = path.rfind(platform::kPathSeparator);
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

// Runs the converting script; the run's end and its text come back.
RunEnd runConversion(const MadeFile& script, const platform::OutputPlace& place,
                     const JobSettings& settings, const JobHooks& hooks, std::int32_t duration,
                     RunText& text, bool& guardFailed) {
    platform::Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = true;
    options.workFolder = &place;
    options.stopTimings = settings.stopTimings;
    options.removeIfAbandoned = {script.path};
    bool started = false;
    const RunEnd end = runConverter(
        [&] {
            auto child = platform::Process::start(script.path, options);
            guardFailed = child.guardFailed;
            started = child.process != nullptr;
            platform::debugWrite(started ? "----- ConvertCore::runProcess -----\n"
                                         : "CreateProcess\n");
            return child;
        },
        hooks.stopRequested, [&](std::string_view chunk) { text.take(chunk, duration, hooks); },
        settings.stopTimings);
    if (started) {
        platform::debugWrite("----- runProcess : CloseHandle -----\n");
    }
    return end;
}

}  // namespace

JobEnd convertJob(const std::string& source, const std::string& output, bool replace,
                  const JobSettings& settings, const JobHooks& hooks) {
    platform::debugWrite("----- convert -----\n");
    platform::OutputPlace::Made made = platform::OutputPlace::make(output);
    if (!made.place) {
        return failed(EngineError{made.takenOver ? EngineError::Kind::FolderTakenOver
                                                 : EngineError::Kind::CannotCreateOutput,
                                  folderOf(output),
                                  made.error,
                                  {}});
    }
    platform::OutputPlace& place = *made.place;
    // Every file of the job goes even if the program is killed while it has them.
    platform::LeftoverGuard guard(&place);
    if (const platform::SystemError why = guard.error(); why.code != 0) {
        return failed(EngineError{EngineError::Kind::CannotGuard, {}, why, {}});
    }
    const ProbeEnd probe =
        probeSource(settings.toolPath, source,
                    {settings.probeTimeLimit, settings.stopTimings, hooks.stopRequested, &guard});
    hooks.durationLearnt(probe.facts.durationSeconds);
    // A stop during the probe or the question starts no converter.
    if (probe.stopped || hooks.stopRequested()) {
        return {JobOutcome::Stopped, {}};
    }
    if (probe.error) {
        return failed(probe.error);
    }
    MadeFile script =
        makeScriptFile({settings.toolPath, source, settings.presetArgs, place.converterOutput()});
    if (script.path.empty()) {
        return failed(script.error);
    }
    guard.add(script.path);
    RunText text(source, place.converterOutput(), script.path, settings.toolPath);
    bool guardFailed = false;
    hooks.converting(true);
    const RunEnd run = runConversion(script, place, settings, hooks, probe.facts.durationSeconds,
                                     text, guardFailed);
    hooks.converting(false);
    script.held.release();
    platform::removeFile(script.path);
    std::optional<JobEnd> end = judgeRun(run, guardFailed, text, place, probe.facts);
    if (end && end->outcome != JobOutcome::Short) {
        return std::move(*end);
    }
    return placeOutput(place, output, replace,
                       end ? std::move(*end) : JobEnd{JobOutcome::Converted, {}});
}
