#pragma once

// What the progress window shows at each tick, decided from what the engine reports, so that
// every window only draws it.

#include <optional>
#include <string>

#include "convert_job.h"

class ConvertCore;

namespace rules {

// What one tick reads from the engine.
struct ProgressInput {
    int state = 0;                  // the engine's RunState
    int count = 0;                  // jobs in the batch
    std::optional<ConvertJob> job;  // the job under way, read only while running
    int finished = 0;               // finished jobs, counted only once the batch has finished
};

// What the window draws. An empty text leaves its line as it is.
struct ProgressView {
    std::string batchLine;
    std::string fileLine;
    bool fileIsPath = false;  // the file line is the source under way, not "Complete"
    // The bar, within what a bar control holds: position out of maximum (0 and 0 when empty).
    int barMaximum = 0;
    int barPosition = 0;
    bool finished = false;     // the batch walked every job: the bar goes and the tick stops
    bool ended = false;        // no longer running: Close takes Stop's place
    bool closeWindow = false;  // ended by a stop: the window closes by itself
};

// One tick's reading: the state once, then only what that state needs (each under the
// engine's own lock).
ProgressInput readProgress(ConvertCore& core);

ProgressView progressView(const ProgressInput& input);

inline ProgressView progressView(ConvertCore& core) {
    return progressView(readProgress(core));
}

// What the program's taskbar entry shows of a batch: its progress, in the state of a job that
// failed once one has (a failure or a conversion only in part); nothing once it has ended.
enum class TaskbarState { None, Normal, Error };

struct TaskbarProgress {
    TaskbarState state = TaskbarState::None;
    int position = 0;  // out of maximum, as the progress window's bar
    int maximum = 0;
    bool operator==(const TaskbarProgress&) const = default;
};

// Follows one batch tick by tick. The jobs' outcomes are read only when the job under way
// changes, not at every tick.
class TaskbarWatch {
public:
    TaskbarProgress tick(ConvertCore& core, const ProgressInput& input, const ProgressView& view);

private:
    int lastIndex_ = -1;
    bool failed_ = false;
};

}  // namespace rules
