#pragma once

// The real converter in tests: core/xcoder beside the test programs (a link to the system's
// ffmpeg), short generated clips, and what ffprobe says of a file.

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "process.h"
#include "script.h"

namespace engine_testing {

inline const std::string kRealTool = std::string(KESTROVA_BIN_DIR) + "/core/xcoder";

// Runs a shell command line through the platform layer; its output, or "" after a failure.
inline std::string capture(const testing_support::TempDir& dir, const std::string& commandLine,
                           int* status = nullptr) {
    const std::string script = dir.write("command.sh", commandLine + "\n");
    platform::Process::Options options;
    options.pipeOutput = true;
    auto child = platform::Process::startScript(script, options);
    if (!child) {
        return {};
    }
    std::string output;
    char buffer[4096];
    const auto deadline = Clock::now() + kLimit;
    for (;;) {
        const auto result = child->wait(200);
        for (std::size_t got; (got = child->readOutput(buffer, sizeof buffer)) > 0;) {
            output.append(buffer, got);
        }
        if (result != platform::Process::WaitResult::Timeout || Clock::now() > deadline) {
            break;
        }
    }
    if (status != nullptr) {
        *status = child->exitStatus();
    }
    return output;
}

// Writes a Matroska clip with video and audio at path: 320x240 at 25 frames per second.
inline void makeClip(const testing_support::TempDir& scratch, const std::string& path,
                     int seconds) {
    const std::string d = std::to_string(seconds);
    int status = -1;
    const std::string log =
        capture(scratch,
                shellQuote(kRealTool) +
                    " -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=" + d +
                    " -f lavfi -i sine=frequency=440:duration=" + d +
                    " -c:v mpeg4 -q:v 5 -c:a libvorbis -shortest " + shellQuote(path) + " 2>&1",
                &status);
    EXPECT_EQ(status, 0) << log;
}

// Stream facts of a media file, one map per stream; empty when ffprobe cannot read it.
inline std::vector<std::map<std::string, std::string>> streams(
    const testing_support::TempDir& scratch, const std::string& path) {
    const std::string text =
        capture(scratch, shellQuote(KESTROVA_FFPROBE) +
                             " -v error -show_entries stream=codec_type,codec_name,width,height,"
                             "r_frame_rate -of default=noprint_wrappers=1 " +
                             shellQuote(path));
    std::vector<std::map<std::string, std::string>> result;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        if (key == "codec_name") {
            result.emplace_back();
        }
        if (!result.empty()) {
            result.back()[key] = line.substr(equals + 1);
        }
    }
    return result;
}

// The playing time of a media file in whole seconds, as ffprobe reads it; -1 when it cannot.
inline int mediaSeconds(const testing_support::TempDir& scratch, const std::string& path) {
    int status = -1;
    const std::string text =
        capture(scratch,
                shellQuote(KESTROVA_FFPROBE) +
                    " -v error -show_entries format=duration -of csv=p=0 " + shellQuote(path),
                &status);
    if (status != 0 || text.empty()) {
        return -1;
    }
    return static_cast<int>(std::stod(text) + 0.5);
}

}  // namespace engine_testing
