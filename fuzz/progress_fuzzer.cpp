// Status text arrives in chunks split anywhere; whatever the split, the percentage stays within
// 0..100, the text kept for the next chunk stays bounded, the newest position is the one the
// whole text gives, and the error line reader keeps up.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "output_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // Two bytes choose the duration, one the chunk length; the rest is console text.
    const int duration = (data[0] << 8 | data[1]) - 16;
    const std::size_t chunk = data[2] == 0 ? 1 : data[2];
    const std::string_view all(reinterpret_cast<const char*>(data + 3), size - 3);

    ProgressReader progress;
    ErrorLineReader errors({"/clip.mkv"});
    for (std::string_view text = all; !text.empty();) {
        const std::size_t take = text.size() < chunk ? text.size() : chunk;
        const auto percent = progress.take(text.substr(0, take), duration);
        errors.take(text.substr(0, take));
        text.remove_prefix(take);
        if ((percent && (*percent < 0 || *percent > 100)) || progress.pendingSize() > (1u << 20) ||
            errors.lastLine().size() > 4096) {
            std::abort();
        }
    }
    progress.finish();

    ProgressReader whole;
    whole.take(all, 0);
    whole.finish();
    const auto position = progress.newestPosition();
    if (position != whole.newestPosition() ||
        (position && (!std::isfinite(*position) || *position < 0))) {
        std::abort();
    }
    return 0;
}
