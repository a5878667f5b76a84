#include "converter.h"

#include <sstream>

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

std::vector<std::string> probeArguments(const std::string& sourcePath) {
    return {"-i", sourcePath};
}

std::vector<std::string> convertArguments(const std::string& sourcePath,
                                          const std::string& presetArgs,
                                          const std::string& outputPath) {
    std::vector<std::string> arguments{"-y", "-i", sourcePath};
    std::istringstream words(presetArgs);
    for (std::string word; words >> word;) {
        arguments.push_back(word);
    }
    arguments.push_back(outputPath);
    return arguments;
}

}  // namespace converter
