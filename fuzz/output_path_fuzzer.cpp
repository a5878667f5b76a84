// Output paths are derived from arbitrary source names, folders and extensions.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert_core.h"
#include "platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Three parts separated by NUL bytes: folder, source, extension.
    const auto first = input.find('\0');
    const auto second = first == std::string_view::npos ? first : input.find('\0', first + 1);
    if (second == std::string_view::npos) {
        return 0;
    }
    const std::string folder(input.substr(0, first));
    const std::string source(input.substr(first + 1, second - first - 1));
    static ConvertCore core;
    core.outputExt = std::string(input.substr(second + 1));

    const std::string output = core.buildOutputPath(source, folder);
    const std::string prefix = folder + platform::kPathSeparator;
    if (output.compare(0, prefix.size(), prefix) != 0) {
        std::abort();
    }
    // The name part never holds a separator of its own.
    if (output.find(platform::kPathSeparator, prefix.size()) != std::string::npos &&
        core.outputExt.find(platform::kPathSeparator) == std::string::npos) {
        std::abort();
    }
    if (!core.outputExt.empty() && output.compare(output.size() - core.outputExt.size(),
                                                  core.outputExt.size(), core.outputExt) != 0) {
        std::abort();
    }
    return 0;
}
