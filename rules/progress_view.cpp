#include "progress_view.h"

#include <climits>
#include <cstdint>

#include "batch_text.h"
#include "convert_core.h"
#include "messages.h"

namespace rules {

namespace {

// 100 * count no longer fits an int past about 21 million jobs: both ends shrink by the same
// factor, so the bar shows the same share.
void setBar(ProgressView& view, std::int64_t maximum, std::int64_t position) {
    const std::int64_t scale = maximum > INT_MAX ? (maximum + INT_MAX - 1) / INT_MAX : 1;
    view.barMaximum = static_cast<int>(maximum / scale);
    view.barPosition = static_cast<int>(position / scale);
}

}  // namespace

ProgressInput readProgress(ConvertCore& core) {
    ProgressInput input;
    input.state = core.runState;
    input.count = core.jobCount();
    if (input.state == Running) {
        ConvertJob job;
        if (core.getCurrentJob(job)) {
            input.job = std::move(job);
        }
    } else if (input.state == Finished) {
        input.finished = core.countFinishedJobs();
    }
    return input;
}

ProgressView progressView(const ProgressInput& input) {
    ProgressView view;
    if (input.state == Running && input.job) {
        const ConvertJob& job = *input.job;
        view.batchLine = runningLine(job.index, job.percent, input.count);
        view.fileLine = job.sourcePath;
        view.fileIsPath = true;
        setBar(view, 100LL * input.count, 100LL * job.index + job.percent);
    } else if (input.state == Finished) {
        view.batchLine = finalLine(input.finished, input.count);
        view.fileLine = kComplete;
        view.finished = true;
    }
    view.ended = input.state != Running;
    view.closeWindow = view.ended && !view.finished;
    return view;
}

TaskbarProgress TaskbarWatch::tick(ConvertCore& core, const ProgressInput& input,
                                   const ProgressView& view) {
    if (view.ended) {
        return {};
    }
    const int index = input.job ? input.job->index : lastIndex_;
    if (index != lastIndex_ && !failed_) {
        lastIndex_ = index;
        for (const ConvertJob& job : core.jobSnapshots()) {
            if (job.index >= index) {
                break;
            }
            if (job.outcome == JobOutcome::Failed || job.outcome == JobOutcome::Short) {
                failed_ = true;
                break;
            }
        }
    }
    const TaskbarState state = failed_ ? TaskbarState::Error : TaskbarState::Normal;
    // Before the first job is picked: under way, at nothing yet.
    if (view.barMaximum <= 0) {
        return {state, 0, 1};
    }
    return {state, view.barPosition, view.barMaximum};
}

}  // namespace rules
