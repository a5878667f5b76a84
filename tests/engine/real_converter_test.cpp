// Whole conversions with the real converter, core/xcoder beside the test programs (a link to
// the system's ffmpeg), on short generated clips.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "media_preset.h"
#include "process.h"
#include "script.h"

namespace {

using namespace engine_testing;

const std::string kTool = std::string(KESTROVA_BIN_DIR) + "/core/xcoder";

// Runs a shell command line through the platform layer; its output, or "" after a failure.
std::string capture(const testing_support::TempDir& dir, const std::string& commandLine,
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

class RealConverterTest : public EngineRunTest {
protected:
    RealConverterTest() { core.toolPath = kTool; }

    // A Matroska clip with video and audio: 320x240 at 25 frames per second.
    std::string makeClip(const std::string& name, int seconds) {
        const std::string path = work.file(name);
        const std::string d = std::to_string(seconds);
        int status = -1;
        const std::string log =
            capture(work,
                    shellQuote(kTool) +
                        " -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=" + d +
                        " -f lavfi -i sine=frequency=440:duration=" + d +
                        " -c:v mpeg4 -q:v 5 -c:a libvorbis -shortest " + shellQuote(path) + " 2>&1",
                    &status);
        EXPECT_EQ(status, 0) << log;
        return path;
    }

    // Stream facts of a media file, one map per stream.
    std::vector<std::map<std::string, std::string>> streams(const std::string& path) {
        const std::string text =
            capture(work, shellQuote(KESTROVA_FFPROBE) +
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
};

double rate(const std::string& fraction) {
    const auto slash = fraction.find('/');
    if (slash == std::string::npos) {
        return std::stod(fraction);
    }
    return std::stod(fraction.substr(0, slash)) / std::stod(fraction.substr(slash + 1));
}

struct PresetExpectation {
    int index;
    int width;
    int height;
    double frameRate;
};

class RealPresetTest : public RealConverterTest,
                       public ::testing::WithParamInterface<PresetExpectation> {};

INSTANTIATE_TEST_SUITE_P(
    MkvAvi, RealPresetTest,
    ::testing::Values(PresetExpectation{0, 320, 240, 25.0}, PresetExpectation{1, 320, 240, 29.97},
                      PresetExpectation{2, 720, 480, 25.0}, PresetExpectation{3, 320, 240, 23.97}),
    [](const auto& info) { return "Preset" + std::to_string(info.param.index); });

TEST_P(RealPresetTest, ConvertsToWindowsMediaAviAtThePresetsSizeAndRate) {
    const PresetExpectation expected = GetParam();
    const MkvAvi catalogue;
    core.presetArgs = catalogue.presetArguments(expected.index);
    core.outputExt = catalogue.presetExtension(expected.index);
    const std::string clip = makeClip("clip one.mkv", 2);
    core.addJob(clip);
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    const ConvertJob job = ConvertCoreTestPeer::job(core, 0);
    EXPECT_EQ(job.outputPath, core.outputFolder + "/clip one.avi");
    EXPECT_EQ(job.durationSeconds, 2) << "the probe measured the clip";

    const auto found = streams(job.outputPath);
    ASSERT_EQ(found.size(), 2u);
    for (const auto& stream : found) {
        if (stream.at("codec_type") == "video") {
            EXPECT_EQ(stream.at("codec_name"), "wmv2");
            EXPECT_EQ(stream.at("width"), std::to_string(expected.width));
            EXPECT_EQ(stream.at("height"), std::to_string(expected.height));
            EXPECT_NEAR(rate(stream.at("r_frame_rate")), expected.frameRate, 0.01);
        } else {
            EXPECT_EQ(stream.at("codec_type"), "audio");
            EXPECT_EQ(stream.at("codec_name"), "wmav2");
        }
    }
}

TEST_F(RealConverterTest, ProbeMeasuresTheClipsDuration) {
    const std::string clip = makeClip("clip.mkv", 3);
    // The probe waits for the tool only while a run is under way.
    core.runState = Running;
    EXPECT_EQ(core.probeDuration(clip), 3);
    EXPECT_EQ(core.probeDuration(work.file("missing.mkv")), 0);
    core.runState = Idle;
}

// The realtime filter makes the converter take as long as the clip plays, so that its status
// lines arrive during the run.
const char* const kRealtimeArgs = "-vcodec wmv2 -acodec wmav2 -vf realtime";

TEST_F(RealConverterTest, PercentRisesDuringARun) {
    core.presetArgs = kRealtimeArgs;
    core.addJob(makeClip("clip.mkv", 3));
    core.start();
    const auto seen = samplePercents();
    waitForEnd();
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 100; }))
        << "no percentage between 0 and 100 was seen";
}

TEST_F(RealConverterTest, StopMidConversionEndsTheBatchAndLeavesTheNextJobUntouched) {
    core.presetArgs = kRealtimeArgs;
    core.addJob(makeClip("first.mkv", 3));
    core.addJob(makeClip("second.mkv", 3));
    core.start();
    ASSERT_TRUE(waitFor([this] {
        ConvertJob job;
        return core.getCurrentJob(job) && job.percent > 0;
    }));
    const auto requested = Clock::now();
    core.requestStop();
    waitForEnd();
    EXPECT_LT(Clock::now() - requested, 10s) << "the converter quits on q";

    EXPECT_EQ(core.runState, Stopped);
    const ConvertJob first = ConvertCoreTestPeer::job(core, 0);
    const ConvertJob second = ConvertCoreTestPeer::job(core, 1);
    EXPECT_EQ(first.percent, 0) << "a stopped job is not finished";
    EXPECT_TRUE(std::filesystem::exists(first.outputPath)) << "its partial output stays";
    EXPECT_EQ(second.percent, 0);
    EXPECT_EQ(second.outputPath, "");
    EXPECT_EQ(second.durationSeconds, 0);
    EXPECT_FALSE(std::filesystem::exists(core.outputFolder + "/second.avi"));
}

}  // namespace
