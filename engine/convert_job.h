#pragma once

#include <cstdint>
#include <string>

// How a job ended. Beside percent, where 100 still means finished.
enum class JobOutcome : int {
    NotStarted = 0,  // the batch ended (stopped) before the job was reached
    Converted = 1,   // the converter succeeded and the output is in place
    Kept = 2,        // an existing output was kept (percent 100)
    Failed = 3,      // reason says why
    Stopped = 4,     // the user stopped the batch during this job
    // The converter succeeded, but its output ends well before the source's duration (a
    // damaged or cut source); the output is in place, reason says how much of the source it
    // holds. Not finished: percent stays at the last one reached.
    Short = 5,
};

// One queued source file. Callers outside the engine only ever hold copies.
struct ConvertJob {
    std::int32_t index = 0;
    std::string sourcePath;
    std::string outputPath;  // empty until the worker reaches the job
    std::int32_t durationSeconds = 0;
    std::int32_t percent = 0;  // 0..100; 100 means finished
    JobOutcome outcome = JobOutcome::NotStarted;
    // For Failed and Short: short and true, e.g. the converter's last error line
    // ("Invalid data found when processing input") or what the engine could not do and why.
    std::string reason;
};
