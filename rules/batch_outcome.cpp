#include "batch_outcome.h"

#include "convert_core.h"
#include "outcome_text.h"

namespace rules {

BatchOutcome batchOutcome(std::vector<ConvertJob> jobs, int endingIndex) {
    if (endingIndex >= 0 && endingIndex < static_cast<int>(jobs.size())) {
        ConvertJob& ending = jobs[static_cast<std::size_t>(endingIndex)];
        if (ending.outcome == JobOutcome::NotStarted) {
            ending.outcome = JobOutcome::Stopped;
        }
    }
    BatchOutcome outcome;
    outcome.lines.reserve(jobs.size());
    for (const ConvertJob& job : jobs) {
        outcome.lines.push_back({job.sourcePath, isFinished(job), outcomeTooltip(job)});
    }
    outcome.failureSummary = failureSummary(jobs);
    return outcome;
}

BatchOutcome batchOutcome(ConvertCore& core) {
    std::vector<ConvertJob> jobs = core.jobSnapshots();
    int endingIndex = -1;
    const int state = core.runState;
    ConvertJob current;
    if ((state == Running || state == StopRequested) && core.getCurrentJob(current)) {
        endingIndex = current.index;
    }
    return batchOutcome(std::move(jobs), endingIndex);
}

}  // namespace rules
