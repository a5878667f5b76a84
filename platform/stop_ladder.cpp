#include "process.h"

namespace platform {

StopWalk::StopWalk(Clock::time_point start, bool canAsk, const StopTimings& timings)
    : timings_(timings), terminateAt_(start + timings.terminateAfter), next_(start) {
    if (!canAsk) {
        step_ = kTerminating;
        terminateAt_ = start;
    }
}

std::optional<StopAction> StopWalk::due(Clock::time_point now) {
    if (step_ == kDone || now < next_) {
        return std::nullopt;
    }
    switch (step_) {
        case kAsking:
            if (now < terminateAt_) {
                const auto following = now + timings_.askEvery;
                next_ = following < terminateAt_ ? following : terminateAt_;
                return StopAction::Ask;
            }
            step_ = kTerminating;
            [[fallthrough]];
        case kTerminating:
            step_ = kKilling;
            next_ = now + timings_.killAfter;
            return StopAction::Terminate;
        default:
            step_ = kDone;
            next_ = Clock::time_point::max();
            return StopAction::Kill;
    }
}

void takeStopAction(Process& child, StopAction action) {
    switch (action) {
        case StopAction::Ask:
            child.writeInput("q", 1);
            break;
        case StopAction::Terminate:
            child.terminate();
            break;
        case StopAction::Kill:
            child.kill();
            break;
    }
}

}  // namespace platform
