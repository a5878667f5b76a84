#include "output_file.h"

namespace platform {

std::string temporaryOutputName(const std::string& outputPath, unsigned number) {
#ifdef _WIN32
    // Windows takes either separator.
    const auto separator = outputPath.find_last_of("\\/");
#else
    const auto separator = outputPath.rfind(kPathSeparator);
#endif
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::string folder = outputPath.substr(0, nameStart);
    const std::string name = outputPath.substr(nameStart);
    const auto dot = name.rfind('.');
    // A name that is only an extension (".avi") has no stem to keep apart from it.
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    return folder + "." + stem + "." + std::to_string(number) + ".part" + extension;
}

}  // namespace platform
