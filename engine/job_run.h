#pragma once

// One job's conversion as a value: what it needs goes in, how it ended comes out. It knows
// nothing of ConvertCore, which builds one per job from its settings and records the end.
//
// The job makes its place in the output folder, probes the source's duration, writes the
// converting script, runs the converter with its text read as it comes, judges how the run
// ended, and puts the finished file in place; every file it made goes, however it ends.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "convert_job.h"
#include "converter_run.h"
#include "engine_error.h"
#include "process.h"

// What every job of a batch shares.
struct JobSettings {
    std::string toolPath;
    std::string presetArgs;
    platform::StopTimings stopTimings;
    std::chrono::milliseconds probeTimeLimit{60000};
};

// How the job reaches its owner while it runs.
struct JobHooks {
    StopQuery stopRequested;
    std::function<void(std::int32_t seconds)> durationLearnt;
    std::function<void(int percent)> percentReached;
    // True while the converting run's converter runs.
    std::function<void(bool running)> converting;
};

struct JobEnd {
    JobOutcome outcome = JobOutcome::Failed;
    EngineError reason;  // for Failed and Short
};

// Converts source into output. replace: the user agreed to replace the file standing at output;
// otherwise whatever appears there meanwhile is left alone.
JobEnd convertJob(const std::string& source, const std::string& output, bool replace,
                  const JobSettings& settings, const JobHooks& hooks);
