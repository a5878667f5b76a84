#include "converter.h"

#include "platform.h"

namespace converter {

std::string toolPathIn(const std::string& exeFolder) {
    std::string path = exeFolder;
    path += platform::kPathSeparator;
    path += kCoreFolder;
    path += platform::kPathSeparator;
    path += kToolName;
    return path;
}

}  // namespace converter
