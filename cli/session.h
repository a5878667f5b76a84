#pragma once

// One batch of kestrova-cli: N engines take the jobs from one queue in argument order, each
// one job at a time, while the batch's rules sit above them: one output per batch across all
// (a shared ledger), one replace question at a time in the order the engines reach it, a
// "to all" answer for the rest of the batch, and a stop that reaches every engine.

#include <string>
#include <vector>

#include "cli_app.h"
#include "options.h"
#include "report.h"

class MediaPreset;

namespace cli {

struct BatchSetup {
    std::vector<std::string> sources;  // absolute, in argument order
    std::string toolPath;
    std::string outputFolder;
    const MediaPreset* presets = nullptr;
    int preset = 0;
    Overwrite overwrite = Overwrite::Ask;
    int engines = 1;
    int skipped = 0;  // FILEs skipped before the batch, for its start event
    // A skipped FILE (other than one listed twice) makes an otherwise whole batch end with 1.
    bool fileRefused = false;
};

// Runs the batch to its end and reports it; returns the exit status.
int runBatch(Console& console, Report& report, const BatchSetup& setup);

}  // namespace cli
