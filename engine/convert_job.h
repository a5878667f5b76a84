#pragma once

#include <cstdint>
#include <string>

// One queued source file. Callers outside the engine only ever hold copies.
struct ConvertJob {
    std::int32_t index = 0;
    std::string sourcePath;
    std::string outputPath;  // empty until the worker reaches the job
    std::int32_t durationSeconds = 0;
    std::int32_t percent = 0;  // 0..100; 100 means finished
};
