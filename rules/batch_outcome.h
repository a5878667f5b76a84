#pragma once

// What the main window shows once the progress window has closed: which lines are selected,
// each line's tip, and the one message about failed jobs.

#include <string>
#include <vector>

#include "convert_job.h"

class ConvertCore;

namespace rules {

// One list line, in queue order.
struct LineOutcome {
    std::string sourcePath;
    bool selected = false;  // its job finished
    std::string tooltip;    // why it did not finish; "" takes an earlier tip away
};

struct BatchOutcome {
    std::vector<LineOutcome> lines;
    std::string failureSummary;  // "" when no job failed: nothing to say
};

// endingIndex: the job a worker still ending after a stop is on (the stop outlasted the
// engine's wait), -1 when no worker is left. That job has no outcome yet, but the user has
// stopped it.
BatchOutcome batchOutcome(std::vector<ConvertJob> jobs, int endingIndex);

// The engine's copies of the jobs, and the job still ending, if any.
BatchOutcome batchOutcome(ConvertCore& core);

// The batch's outcome in one line, for a desktop notification at its end. A batch that walked
// every job: "12 of 14 files converted, 1 kept, 1 converted only in part, 1 not converted" (each
// count after the first only when it is not 0). Converted counts the files converted now; kept,
// the outputs that were there and kept; converted only in part, the short conversions (their
// output stands, but they are not finished); not converted, every other job. A stopped batch:
// "Stopped: 5 of 14 converted".
std::string batchNotice(const std::vector<ConvertJob>& jobs, bool stopped);

}  // namespace rules
