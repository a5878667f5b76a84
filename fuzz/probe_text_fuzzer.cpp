// The probe's log is whatever the converter wrote to its error stream; the facts read from it
// stay consistent, and the short judgement and its words take them.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "output_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ProbeFacts facts = readProbe(text);
    const auto& expected = facts.expectedSeconds;
    const auto& container = facts.containerSeconds;
    if (facts.durationSeconds != durationFromProbeText(text) || (expected && !container) ||
        (expected && (!std::isfinite(*expected) || *expected <= 0 || *expected > *container))) {
        std::abort();
    }
    const double position = size > 0 ? data[0] * 60.0 : 0.0;
    for (const auto& reached : {std::optional<double>(), std::optional<double>(position)}) {
        const bool shortOfIt = fellShort(reached, facts);
        const auto reason = shortReason(reached, facts);
        if ((shortOfIt && reason.empty()) || (!expected && (shortOfIt || !reason.empty()))) {
            std::abort();
        }
    }
    return 0;
}
