// Status text arrives in chunks split anywhere; whatever the split, the percentage stays within
// 0..100 and the text kept for the next chunk stays bounded.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "convert_core.h"

class ConvertCoreTestPeer {
public:
    static void setDuration(ConvertCore& core, int seconds) {
        std::lock_guard<std::mutex> guard(core.jobLock);
        core.jobs.at(0)->durationSeconds = seconds;
    }
    static std::size_t pendingSize(const ConvertCore& core) { return core.pendingOutput.size(); }
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // Two bytes choose the duration, one the chunk length; the rest is console text.
    const int duration = (data[0] << 8 | data[1]) - 16;
    const std::size_t chunk = data[2] == 0 ? 1 : data[2];
    std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

    ConvertCore core;
    core.addJob("/clip.mkv");
    core.currentIndex = 0;
    ConvertCoreTestPeer::setDuration(core, duration);
    while (!text.empty()) {
        const std::size_t take = text.size() < chunk ? text.size() : chunk;
        core.parseProgress(text.substr(0, take));
        text.remove_prefix(take);
        const int percent = core.jobPercents().at(0);
        if (percent < 0 || percent > 100 || ConvertCoreTestPeer::pendingSize(core) > (1u << 20)) {
            std::abort();
        }
    }
    return 0;
}
