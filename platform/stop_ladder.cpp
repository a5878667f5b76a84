#include <iterator>

#include "process.h"

namespace platform {

StopWalk::StopWalk(Clock::time_point start, bool canAsk) : start_(start), next_(start) {
    if (!canAsk) {
        while (step_ < std::size(kStopLadder) && kStopLadder[step_].action == StopAction::Ask) {
            ++step_;
        }
        // The first step that remains begins at once.
        if (step_ < std::size(kStopLadder)) {
            start_ = start - kStopLadder[step_].from;
        }
    }
}

std::optional<StopAction> StopWalk::due(Clock::time_point now) {
    if (step_ >= std::size(kStopLadder) || now < next_) {
        return std::nullopt;
    }
    const StopStep& step = kStopLadder[step_];
    const Clock::time_point following = step_ + 1 < std::size(kStopLadder)
                                            ? start_ + kStopLadder[step_ + 1].from
                                            : Clock::time_point::max();
    if (step.every.count() > 0 && now + step.every < following) {
        next_ = now + step.every;
    } else {
        ++step_;
        next_ = following;
    }
    if (step.action == StopAction::Terminate) {
        terminated_ = true;
    }
    return step.action;
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
