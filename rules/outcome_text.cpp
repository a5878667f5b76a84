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
    return "Not converted: " + unfinishedReason(job);
}

std::string unfinishedEntry(const ConvertJob& job) {
    return job.sourcePath + ": " + unfinishedReason(job);
}

std::string failureSummary(const std::vector<ConvertJob>& jobs) {
    std::vector<const ConvertJob*> failed;
    for (const ConvertJob& job : jobs) {
        if (!isFinished(job) && job.outcome == JobOutcome::Failed) {
            failed.push_back(&job);
        }
    }
    if (failed.empty()) {
        return {};
    }
    std::string text =
        failed.size() == 1 ? "This file was not converted:\n" : "These files were not converted:\n";
    for (std::size_t k = 0; k < failed.size() && k < kSummaryLines; ++k) {
        text += '\n';
        text += unfinishedEntry(*failed[k]);
    }
    if (failed.size() > kSummaryLines) {
        text += "\nand ";
        text += std::to_string(failed.size() - kSummaryLines);
        text += " more";
    }
    return text;
}

}  // namespace rules
