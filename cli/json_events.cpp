#include "json_events.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "outcome_text.h"
#include "progress_text.h"

namespace cli::json {

namespace {

// Key order as written, so that "event" comes first for a reader's eye.
using Object = nlohmann::ordered_json;

void putText(Object& object, const std::string& key, const std::string& text) {
    if (const auto repaired = repairedUtf8(text)) {
        object[key] = *repaired;
        object[key + "_hex"] = hexBytes(text);
    } else {
        object[key] = text;
    }
}

// Tenths of a second: finer is noise, and a short number reads better.
double tenths(double seconds) {
    return std::round(seconds * 10) / 10;
}

Object event(const char* name) {
    Object object;
    object["event"] = name;
    return object;
}

std::string line(const Object& object) {
    return object.dump() + "\n";
}

}  // namespace

const char* outcomeName(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Converted:
            return "converted";
        case JobOutcome::Kept:
            return "kept";
        case JobOutcome::Failed:
            return "failed";
        case JobOutcome::Stopped:
            return "stopped";
        case JobOutcome::Short:
            return "short";
        case JobOutcome::NotStarted:
            break;
    }
    return "not_started";
}

std::string skipped(const std::string& file, const std::string& reason) {
    Object object = event("skipped");
    putText(object, "file", file);
    object["reason"] = reason;
    return line(object);
}

std::string batchStart(const BatchStart& batch) {
    Object object = event("batch_start");
    object["files"] = batch.files;
    object["skipped"] = batch.skipped;
    object["preset"] = batch.preset;
    putText(object, "preset_name", batch.presetName);
    putText(object, "output_folder", batch.outputFolder);
    object["parallel"] = batch.parallel;
    return line(object);
}

std::string jobStart(int index, const std::string& source, const std::string& output,
                     double elapsed) {
    Object object = event("job_start");
    object["index"] = index;
    putText(object, "source", source);
    putText(object, "output", output);
    object["elapsed"] = tenths(elapsed);
    return line(object);
}

std::string progress(const Progress& progress) {
    Object object = event("progress");
    object["index"] = progress.index;
    object["percent"] = progress.percent;
    if (progress.durationSeconds > 0) {
        // The engine reports whole percents; the position is as fine as they are.
        object["position"] = tenths(progress.durationSeconds * progress.percent / 100.0);
        object["duration"] = progress.durationSeconds;
    } else {
        object["position"] = nullptr;
        object["duration"] = nullptr;
    }
    object["batch_percent"] = progress.batchPercent;
    if (progress.secondsLeft) {
        object["seconds_left"] = std::lround(*progress.secondsLeft);
    } else {
        object["seconds_left"] = nullptr;
    }
    object["elapsed"] = tenths(progress.elapsed);
    return line(object);
}

std::string jobEnd(const ConvertJob& job, double elapsed) {
    Object object = event("job_end");
    object["index"] = job.index;
    putText(object, "source", job.sourcePath);
    object["outcome"] = outcomeName(job.outcome);
    object["finished"] = rules::isFinished(job);
    const std::string reason = rules::unfinishedReason(job);
    if (reason.empty()) {
        object["reason"] = nullptr;
    } else {
        putText(object, "reason", reason);
    }
    putText(object, "output", job.outputPath);
    object["elapsed"] = tenths(elapsed);
    return line(object);
}

std::string batchEnd(int finished, int total, bool stopped, double elapsed, int exitStatus) {
    Object object = event("batch_end");
    object["finished"] = finished;
    object["total"] = total;
    object["state"] = stopped ? "stopped" : "complete";
    object["elapsed"] = tenths(elapsed);
    object["exit_status"] = exitStatus;
    return line(object);
}

}  // namespace cli::json
