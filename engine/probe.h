#pragma once

// The probe: a run of the converter on the source alone, whose error text, collected in a log in
// the data folder, gives the source's duration. It has a time limit, so that a source that never
// answers (a FIFO, a hung network mount) cannot hold the batch.

#include <chrono>
#include <cstdint>
#include <string>

#include "converter_run.h"
#include "engine_error.h"
#include "output_parser.h"
#include "process.h"

struct ProbeSettings {
    std::chrono::milliseconds timeLimit{60000};
    platform::StopTimings stopTimings;
    StopQuery stopRequested;
    // Given each file the probe makes, so that a killed program leaves none; may be null.
    platform::LeftoverGuard* guard = nullptr;
};

// One run of a probe script.
struct ProbeRun {
    bool started = false;
    RunEnd end;
    bool timedOut = false;
    std::string text;   // the converter's error text, its first 1 MiB
    EngineError error;  // why it did not start: no log, no interpreter, no guardian
};

// Runs the script with its standard error in a fresh log, which is read and removed.
ProbeRun runProbeScript(const std::string& scriptPath, const ProbeSettings& settings);

// What a probe of a source learnt.
struct ProbeEnd {
    ProbeFacts facts;  // its durationSeconds is 0 when none was found
    std::string text;
    bool stopped = false;  // a stop came first: nothing more is to be done for the job
    EngineError error;     // the job cannot go on: no script, no start, no answer in time
};

// Writes the probe's script for the source, runs it and removes it.
ProbeEnd probeSource(const std::string& toolPath, const std::string& sourcePath,
                     const ProbeSettings& settings);
