#pragma once

// What the front ends say about how each job ended.

#include <string>
#include <vector>

#include "convert_job.h"

namespace rules {

// True when the job counts as finished (converted, or the existing output kept).
bool isFinished(const ConvertJob& job);

// Why a job did not finish: its reason when it failed, "stopped", "not started"; "" when it
// finished.
std::string unfinishedReason(const ConvertJob& job);

// A line's tooltip after a batch: "Not converted: <reason>", or "Converted only in part:
// <reason>" for a short conversion; "" when the job finished.
std::string outcomeTooltip(const ConvertJob& job);

// "<source>: <reason>" for a job that did not finish.
std::string unfinishedEntry(const ConvertJob& job);

// The one message after a batch in which jobs failed or were converted only in part (not
// stopped, not kept): under a heading for each, the sources with their reasons, at most ten,
// then "and N more". "" when there is neither.
std::string failureSummary(const std::vector<ConvertJob>& jobs);

}  // namespace rules
