// Clock values come straight from the converter's console text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "output_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = splitFields(text);
    std::size_t colons = 0;
    for (char c : text) {
        colons += c == ':';
    }
    // Every field but a trailing empty one is kept.
    if (fields.size() != colons + 1 &&
        !(fields.size() == colons && (text.empty() || text.back() == ':'))) {
        std::abort();
    }
    const std::int32_t seconds = hmsToSeconds(text);
    if (fields.size() != 3 && seconds != 0) {
        std::abort();
    }
    return 0;
}
