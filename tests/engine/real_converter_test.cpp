// Whole conversions with the real converter on short generated clips: Debian's ffmpeg on
// Linux, a Windows ffmpeg under Wine, read back by ffprobe on the Linux side.

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media_preset.h"
#include "platform.h"
#include "real_converter_support.h"

namespace {

using namespace engine_testing;

class RealConverterTest : public EngineRunTest {
protected:
    RealConverterTest() { core.toolPath = kRealTool; }

    // A Matroska clip in the work folder.
    std::string makeClip(const std::string& name, int seconds) {
        const std::string path = work.file(name);
        engine_testing::makeClip(work, path, seconds);
        return path;
    }

    std::vector<std::map<std::string, std::string>> streams(const std::string& path) {
        return engine_testing::streams(work, path);
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
    const ConvertJob job = core.jobSnapshots().at(0);
    EXPECT_EQ(job.outputPath, core.outputFolder + platform::kPathSeparator + "clip one.avi");
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
    const std::string firstClip = makeClip("first.mkv", 3);
    const std::string secondClip = makeClip("second.mkv", 3);
    const std::string firstBytes = testing_support::readAll(firstClip);
    const std::string secondBytes = testing_support::readAll(secondClip);
    core.addJob(firstClip);
    core.addJob(secondClip);
    core.start();
    ASSERT_TRUE(waitFor([this] {
        ConvertJob job;
        return core.getCurrentJob(job) && job.percent > 0;
    }));
    const auto requested = Clock::now();
    core.requestStop();
    waitForEnd();
    const auto took = Clock::now() - requested;
    EXPECT_LT(took, 10s) << "the converter quits on q";
    RecordProperty(
        "stop_to_end_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    EXPECT_EQ(core.runState, Stopped);
    const ConvertJob first = core.jobSnapshots().at(0);
    const ConvertJob second = core.jobSnapshots().at(1);
    EXPECT_EQ(first.percent, 0) << "a stopped job is not finished";
    EXPECT_EQ(first.outcome, JobOutcome::Stopped);
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{})
        << "no partial output, no temporary file";
    EXPECT_EQ(second.percent, 0);
    EXPECT_EQ(second.outputPath, "");
    EXPECT_EQ(second.durationSeconds, 0);
    EXPECT_FALSE(platform::pathExists(core.outputFolder + platform::kPathSeparator + "second.avi"));
    EXPECT_EQ(testing_support::readAll(firstClip), firstBytes);
    EXPECT_EQ(testing_support::readAll(secondClip), secondBytes);
    expectNewBatchWorks(core);
}

TEST_F(RealConverterTest, AFailureCarriesTheConvertersOwnReason) {
    std::string garbage;
    while (garbage.size() < 100000) {
        garbage += "not a clip at all ";
    }
    core.addJob(work.write("garbage.mkv", garbage));
    runBatch();
    EXPECT_EQ(core.jobSnapshots().at(0).reason, "Invalid data found when processing input");
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{});
}

// A source cut in half converts without complaint and ends with success: only its length says
// that the output holds half of it.
TEST_F(RealConverterTest, ACutSourceIsConvertedOnlyInPart) {
    const std::string whole = makeClip("whole.mkv", 6);
    const std::string cut = work.file("cut.mkv");
    std::filesystem::copy_file(testing_support::fsPath(whole), testing_support::fsPath(cut));
    std::filesystem::resize_file(testing_support::fsPath(cut),
                                 std::filesystem::file_size(testing_support::fsPath(whole)) / 2);
    core.addJob(cut);
    core.addJob(whole);
    runBatch();
    const std::vector<ConvertJob> jobs = core.jobSnapshots();
    EXPECT_EQ(jobs.at(0).outcome, JobOutcome::Short);
    EXPECT_LT(jobs.at(0).percent, 100);
    EXPECT_EQ(jobs.at(0).reason.rfind("converted 0:0", 0), 0u) << jobs.at(0).reason;
    EXPECT_NE(jobs.at(0).reason.find(" of 0:06; the source may be damaged or cut short"),
              std::string::npos)
        << jobs.at(0).reason;
    // All that could be made of it is there, as a converted file would be.
    EXPECT_GT(mediaSeconds(work, outputFor("cut.mkv")), 0.5);
    EXPECT_EQ(jobs.at(1).outcome, JobOutcome::Converted) << jobs.at(1).reason;
    EXPECT_EQ(core.countFinishedJobs(), 1);
}

#ifndef _WIN32
TEST_F(RealConverterTest, AFullDiskLeavesNothingAndSaysSo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const std::string small = work.file("small");
    std::filesystem::create_directories(small);
    if (::mount("kestrova-test", small.c_str(), "tmpfs", 0, "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
    }
    core.outputFolder = small;
    core.presetArgs = MkvAvi().presetArguments(0);
    core.addJob(makeClip("clip.mkv", 3));
    runBatch();
    const ConvertJob job = core.jobSnapshots().at(0);
    const std::vector<std::string> left = testing_support::filesUnder(small);
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(job.outcome, JobOutcome::Failed);
    EXPECT_EQ(job.reason, "No space left on device");
    EXPECT_EQ(left, std::vector<std::string>{});
}
#endif

// Characters that a shell or cmd would take apart, in the source, the output folder and the
// converter's folder.
TEST_F(RealConverterTest, HostileNamesAreConverted) {
    const std::string hostile = " ' %PATH% & ! (x) caf\xC3\xA9";
    std::filesystem::create_directories(testing_support::fsPath(work.file("in" + hostile)));
    std::filesystem::create_directories(testing_support::fsPath(work.file("conv" + hostile)));
    core.outputFolder = work.file("out" + hostile);
    std::filesystem::create_directories(testing_support::fsPath(core.outputFolder));
    core.toolPath =
        work.file("conv" + hostile + "/" +
                  testing_support::utf8Path(testing_support::fsPath(kRealTool).filename()));
    std::filesystem::copy_file(testing_support::fsPath(kRealTool),
                               testing_support::fsPath(core.toolPath));
    const MkvAvi catalogue;
    core.presetArgs = catalogue.presetArguments(0);
    core.addJob(makeClip("in" + hostile + "/it's 100% caf\xC3\xA9 & (x)!.mkv", 2));
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    const auto found =
        streams(core.outputFolder + platform::kPathSeparator + "it's 100% caf\xC3\xA9 & (x)!.avi");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].at("codec_name"), "wmv2");
}

}  // namespace
