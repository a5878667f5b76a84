#pragma once

// Running one converter: start it, hand its text on as it comes, ask it to stop when a stop is
// requested (walking the stop ladder), and say in one value how the run ended.

#include <functional>
#include <string>
#include <string_view>

#include "platform.h"
#include "process.h"

struct RunEnd {
    enum class Kind {
        Finished,           // exit status 0, never asked to stop
        Failed,             // a non-zero exit status, never asked to stop
        StoppedPartWay,     // asked to stop while it ran, whatever its status
        NotStartedForStop,  // a stop was requested before it could start
        CouldNotStart,      // see error
    };
    Kind kind = Kind::CouldNotStart;
    int exitStatus = -1;  // the script's exit status once it ran: its code, or 128 + signal
    platform::SystemError error;
};

using StopQuery = std::function<bool()>;
using TextSink = std::function<void(std::string_view)>;
using ProcessStarter = std::function<platform::Process::Started()>;

// Runs one converter to its end. Nothing is started when stopRequested() holds already. The
// output pipe is drained as text arrives (a converter blocked on a full pipe would never read
// its "q"), and what is left in it after the child's end is read too.
// A stop request is looked for every timings.askEvery, and the ladder is walked with timings.
RunEnd runConverter(const ProcessStarter& start, const StopQuery& stopRequested,
                    const TextSink& sink, const platform::StopTimings& timings = {});

// Runs a child whose standard error goes to a log, until it ends, a stop is requested or the
// time limit passes; a child still running then is ended (Process's destructor).
struct TimedRunEnd {
    RunEnd end;
    bool timedOut = false;
};
TimedRunEnd runWithTimeLimit(const ProcessStarter& start, const StopQuery& stopRequested,
                             std::chrono::milliseconds limit);
