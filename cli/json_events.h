#pragma once

// kestrova-cli's events as JSON, one object per line, for scripts and other programs.
// docs/json-events.md describes every event; a change here changes that page.

#include <optional>
#include <string>

#include "convert_job.h"

namespace cli::json {

// Each function returns one whole line, its line feed included. Names that are not valid UTF-8
// are written with U+FFFD in place of each stray byte, and a field NAME_hex beside them holds
// the bytes as hex, so that the file can always be found again.

std::string skipped(const std::string& file, const std::string& reason);

struct BatchStart {
    int files = 0;    // jobs of the batch
    int skipped = 0;  // FILEs skipped
    int preset = 0;
    std::string presetName;
    std::string outputFolder;
    int parallel = 1;  // conversions at once
};
std::string batchStart(const BatchStart& batch);

std::string jobStart(int index, const std::string& source, const std::string& output,
                     double elapsed);

struct Progress {
    int index = 0;
    int percent = 0;
    int durationSeconds = 0;  // 0 when the probe found none
    int batchPercent = 0;
    std::optional<double> secondsLeft;
    double elapsed = 0;
};
std::string progress(const Progress& progress);

// The job's own index is the batch's: the job as the batch numbers it.
std::string jobEnd(const ConvertJob& job, double elapsed);

std::string batchEnd(int finished, int total, bool stopped, double elapsed, int exitStatus);

// The outcome's name in the events: "converted", "kept", "failed", "stopped", "not_started",
// "short".
const char* outcomeName(JobOutcome outcome);

}  // namespace cli::json
