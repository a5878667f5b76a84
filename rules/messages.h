#pragma once

// The questions and fixed texts that every front end shows.

#include <string>

namespace rules {

// The overwrite question for an existing output.
std::string replaceQuestion(const std::string& outputPath);

inline constexpr const char* kStopQuestion = "Are you sure you want to stop the conversion?";
inline constexpr const char* kComplete = "Complete";
inline constexpr const char* kCaption = "Kestrova";

}  // namespace rules
