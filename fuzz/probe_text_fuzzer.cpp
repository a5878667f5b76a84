// The probe's log is whatever the converter wrote to its error stream.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "output_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    durationFromProbeText(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
