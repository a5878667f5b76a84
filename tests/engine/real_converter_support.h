#pragma once

// The real converter in tests: core/xcoder beside the test programs (a link to the system's
// ffmpeg), or under Wine the Windows build the test set-up fetched; short clips made and
// outputs read on the Linux side.

#include <string>

#include "engine_test_support.h"
#include "host_tools.h"

namespace engine_testing {

#ifdef KESTROVA_REAL_CONVERTER
inline const std::string kRealTool = KESTROVA_REAL_CONVERTER;
#else
inline const std::string kRealTool = std::string(KESTROVA_BIN_DIR) + "/core/xcoder";
#endif

using host_tools::makeClip;
using host_tools::mediaSeconds;
using host_tools::streams;

}  // namespace engine_testing
