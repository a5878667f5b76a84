#pragma once

// The two argument lists the scripts give the converter, as the tests expect to see them.

#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// Probe run: the tool describes the input on standard error and ends.
inline std::vector<std::string> probeArguments(const std::string& sourcePath) {
    return {"-i", sourcePath};
}

// Convert run: the preset's arguments are split into words at blanks.
inline std::vector<std::string> convertArguments(const std::string& sourcePath,
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

}  // namespace testing_support
