#pragma once

// What the engine fixes about the external converter: where it lives and the two argument
// lists it is run with. Any ffmpeg-style tool that prints "Duration:" when probing, "time="
// status lines while converting, and quits on "q" from standard input will do.

#include <string>
#include <vector>

namespace converter {

// Folder beside the executable that holds the tool, and the tool's file name.
inline constexpr const char* kCoreFolder = "core";
#ifdef _WIN32
inline constexpr const char* kToolName = "xcoder.exe";
#else
inline constexpr const char* kToolName = "xcoder";
#endif

// The tool's full path for a program whose executable lies in exeFolder.
std::string toolPathIn(const std::string& exeFolder);

// Probe run: the tool describes the input on standard error and ends.
std::vector<std::string> probeArguments(const std::string& sourcePath);

// Convert run: the preset's arguments are split into words at blanks.
std::vector<std::string> convertArguments(const std::string& sourcePath,
                                          const std::string& presetArgs,
                                          const std::string& outputPath);

}  // namespace converter
