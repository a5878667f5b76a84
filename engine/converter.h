#pragma once

// What the engine fixes about the external converter: where it lives. The scripts give it its
// arguments (script.h). Any ffmpeg-style tool that prints "Duration:" when probing, "time="
// status lines while converting, and quits on "q" from standard input will do.

#include <string>

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

}  // namespace converter
