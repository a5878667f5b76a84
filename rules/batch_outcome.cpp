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

std::string batchNotice(const std::vector<ConvertJob>& jobs, bool stopped) {
    std::size_t converted = 0;
    std::size_t kept = 0;
    std::size_t partial = 0;
    for (const ConvertJob& job : jobs) {
        if (job.outcome == JobOutcome::Converted && isFinished(job)) {
            ++converted;
        } else if (job.outcome == JobOutcome::Kept && isFinished(job)) {
            ++kept;
        } else if (job.outcome == JobOutcome::Short) {
            ++partial;
        }
    }
    const std::size_t count = jobs.size();
    const std::string share = std::to_string(converted) + " of " + std::to_string(count);
    if (stopped) {
        return "Stopped: " + share + " converted";
    }
    std::string text = share + (count == 1 ? " file" : " files") + " converted";
    const std::size_t rest = count - converted - kept - partial;
    if (kept > 0) {
        text += ", " + std::to_string(kept) + " kept";
    }
    if (partial > 0) {
        text += ", " + std::to_string(partial) + " converted only in part";
    }
    if (rest > 0) {
        text += ", " + std::to_string(rest) + " not converted";
    }
    return text;
}

}  // namespace rules
