// Dropped and chosen file names are arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "file_types.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first line is a type list, the rest a path.
    const auto newline = input.find('\n');
    const std::string_view types =
        newline == std::string_view::npos ? "" : input.substr(0, newline);
    const std::string_view path =
        newline == std::string_view::npos ? input : input.substr(newline + 1);
    const bool accepted = isAcceptedFile(path, types);
    if (path.find('.') == std::string_view::npos && !types.empty() && accepted) {
        std::abort();
    }
    if (types.empty() && !accepted) {
        std::abort();
    }
    isAcceptedFile(path);
    return 0;
}
