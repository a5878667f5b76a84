#include "outcome_text.h"

namespace rules {

namespace {

constexpr std::size_t kSummaryLines = 10;

}  // namespace

bool isFinished(const ConvertJob& job) {
    return job.percent == 100;
}

std::string unfinishedReason(const ConvertJob& job) {
    if (isFinished(job)) {
        return {};
    }
    switch (job.outcome) {
        case JobOutcome::Stopped:
            return "stopped";
        case JobOutcome::NotStarted:
            return "not started";
        case JobOutcome::Failed:
        case JobOutcome::Short:
        case JobOutcome::Converted:
        case JobOutcome::Kept:
            break;
    }
    return job.reason.empty() ? std::string("failed") : job.reason;
}

std::string outcomeTooltip(const ConvertJob& job) {
    if (isFinished(job)) {
        return {};
    }
    if (job.outcome == JobOutcome::Short) {
        return "Converted only in part: " + unfinishedReason(job);
    }
    return "Not converted: " + unfinishedReason(job);
}

std::string unfinishedEntry(const ConvertJob& job) {
    return job.sourcePath + ": " + unfinishedReason(job);
}

namespace {

// One heading and its jobs, at most kSummaryLines of them, then "and N more".
void appendSection(std::string& text, const std::vector<const ConvertJob*>& jobs,
                   const char* headingForOne, const char* headingForMany) {
    if (jobs.empty()) {
        return;
    }
    if (!text.empty()) {
        text += "\n\n";
    }
    text += jobs.size() == 1 ? headingForOne : headingForMany;
    text += '\n';
    for (std::size_t k = 0; k < jobs.size() && k < kSummaryLines; ++k) {
        text += '\n';
        text += unfinishedEntry(*jobs[k]);
    }
    if (jobs.size() > kSummaryLines) {
        text += "\nand ";
        text += std::to_string(jobs.size() - kSummaryLines);
        text += " more";
    }
}

}  // namespace

std::string failureSummary(const std::vector<ConvertJob>& jobs) {
    std::vector<const ConvertJob*> failed;
    std::vector<const ConvertJob*> partial;
    for (const ConvertJob& job : jobs) {
        if (isFinished(job)) {
            continue;
        }
        if (job.outcome == JobOutcome::Failed) {
            failed.push_back(&job);
        } else if (job.outcome == JobOutcome::Short) {
            partial.push_back(&job);
        }
    }
    std::string text;
    appendSection(text, failed, "This file was not converted:", "These files were not converted:");
    appendSection(text, partial, "This file was converted only in part:",
                  "These files were converted only in part:");
    return text;
}

}  // namespace rules
