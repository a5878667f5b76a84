#include "converter_run.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kProbePoll = milliseconds(100);
constexpr std::size_t kChunkSize = 4096;
// Bounds the reading of what is left after the child's end, should something it started
// still be writing.
constexpr int kMaxTailChunks = 4096;

int msUntil(Clock::time_point deadline, milliseconds whenNone) {
    if (deadline == Clock::time_point::max()) {
        return static_cast<int>(whenNone.count());
    }
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<milliseconds::rep>(left, 0, 1 << 30));
}

// Reads one chunk of the child's text, if any, and hands it on; the count read.
std::size_t pump(platform::Process& child, const TextSink& sink) {
    char buffer[kChunkSize];
    const std::size_t got = child.readOutput(buffer, kChunkSize);
    if (got > 0) {
        // The converter's text is single-byte text; a zero byte ends it, as it would a C string.
        sink(std::string_view(buffer, ::strnlen(buffer, got)));
    }
    return got;
}

RunEnd couldNotStart(const platform::SystemError& error) {
    RunEnd end;
    end.kind = RunEnd::Kind::CouldNotStart;
    end.error = error;
    return end;
}

// Follows a running converter to its end, draining its text and walking the stop ladder once a
// stop is requested; how its wait ended comes back, walk holds the ladder if one began.
platform::Process::WaitResult followToEnd(platform::Process& child, const StopQuery& stopRequested,
                                          const TextSink& sink,
                                          const platform::StopTimings& timings,
                                          std::optional<platform::StopWalk>& walk) {
    const milliseconds poll = timings.askEvery;
    auto nextPoll = Clock::now() + poll;
    for (;;) {
        const auto wakeAt = walk ? std::min(nextPoll, walk->nextDue()) : nextPoll;
        const auto result = child.wait(msUntil(wakeAt, poll));
        if (result != platform::Process::WaitResult::Timeout) {
            return result;
        }
        pump(child, sink);
        const auto now = Clock::now();
        if (now >= nextPoll) {
            nextPoll = now + poll;
            if (!walk && stopRequested()) {
                walk.emplace(now, child.hasInput(), timings);
            }
        }
        if (walk) {
            if (const auto action = walk->due(now)) {
                platform::takeStopAction(child, *action);
            }
        }
    }
}

// After a terminate, the shell is gone at once; the converter may still be finishing its file,
// or may ignore the signal. Its end shows as the end of the output pipe.
void drainAfterTerminate(platform::Process& child, const TextSink& sink, platform::StopWalk& walk,
                         milliseconds poll) {
    while (!child.outputClosed() && !walk.killed()) {
        if (child.waitForOutput(msUntil(walk.nextDue(), poll))) {
            pump(child, sink);
        }
        if (const auto action = walk.due(Clock::now())) {
            platform::takeStopAction(child, *action);
        }
    }
}

}  // namespace

RunEnd runConverter(const ProcessStarter& start, const StopQuery& stopRequested,
                    const TextSink& sink, const platform::StopTimings& timings) {
    RunEnd end;
    if (stopRequested()) {
        end.kind = RunEnd::Kind::NotStartedForStop;
        return end;
    }
    auto started = start();
    if (!started.process) {
        return couldNotStart(started.error);
    }
    platform::Process& child = *started.process;
    std::optional<platform::StopWalk> walk;
    const auto result = followToEnd(child, stopRequested, sink, timings, walk);
    if (walk && walk->terminated() && !walk->killed()) {
        drainAfterTerminate(child, sink, *walk, timings.askEvery);
    }
    // What the converter printed last is still in the pipe.
    for (int chunk = 0; chunk < kMaxTailChunks && pump(child, sink) > 0; ++chunk) {
    }
    if (result == platform::Process::WaitResult::Exited) {
        end.exitStatus = child.exitStatus();
    }
    end.kind = walk                  ? RunEnd::Kind::StoppedPartWay
               : end.exitStatus == 0 ? RunEnd::Kind::Finished
                                     : RunEnd::Kind::Failed;
    return end;
}

TimedRunEnd runWithTimeLimit(const ProcessStarter& start, const StopQuery& stopRequested,
                             std::chrono::milliseconds limit) {
    TimedRunEnd timed;
    if (stopRequested()) {
        timed.end.kind = RunEnd::Kind::NotStartedForStop;
        return timed;
    }
    auto started = start();
    if (!started.process) {
        timed.end = couldNotStart(started.error);
        return timed;
    }
    platform::Process& child = *started.process;
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left = std::min<Clock::duration>(kProbePoll, deadline - Clock::now());
        const auto result = child.wait(static_cast<int>(
            std::max<milliseconds::rep>(0, std::chrono::ceil<milliseconds>(left).count())));
        if (result != platform::Process::WaitResult::Timeout) {
            timed.end.exitStatus = child.exitStatus();
            timed.end.kind =
                timed.end.exitStatus == 0 ? RunEnd::Kind::Finished : RunEnd::Kind::Failed;
            return timed;
        }
        if (stopRequested()) {
            timed.end.kind = RunEnd::Kind::StoppedPartWay;
            return timed;
        }
        if (Clock::now() >= deadline) {
            timed.timedOut = true;
            timed.end.kind = RunEnd::Kind::Failed;
            return timed;
        }
    }
}
