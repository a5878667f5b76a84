// The debug channel's dispatch, the same on every platform.

#include <mutex>

#include "platform.h"
#include "platform_internal.h"

namespace platform {

namespace {

std::mutex sinkMutex;
DebugSink currentSink;

}  // namespace

void debugWrite(std::string_view text) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    if (currentSink) {
        currentSink(text);
    } else {
        writeDefaultDebug(text);
    }
}

DebugSink setDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    DebugSink previous = std::move(currentSink);
    currentSink = std::move(sink);
    return previous;
}

}  // namespace platform
