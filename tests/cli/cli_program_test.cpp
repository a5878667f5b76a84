// The built kestrova-cli run as a user runs it: its own process, core/xcoder beside it, real
// clips, real signals.

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "child_process.h"
#include "temp_dir.h"
#include "waiting.h"

namespace {

using namespace std::chrono_literals;
using testing_support::filesUnder;
using testing_support::readAll;
using testing_support::TempDir;

const std::string kProgram = std::string(KESTROVA_BIN_DIR) + "/kestrova-cli";

class CliProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(std::string(KESTROVA_BIN_DIR) + "/core/xcoder"));
        std::filesystem::create_directory(temp.file("out"));
        options.extraEnvironment = {"XDG_DATA_HOME=" + dataHome.path()};
        options.stdoutPath = temp.file("stdout.txt");
        options.stderrPath = temp.file("stderr.txt");
    }

    void TearDown() override {
        EXPECT_EQ(filesUnder(dataHome.path()), std::vector<std::string>{})
            << "scripts or logs left behind";
    }

    TempDir temp;
    TempDir dataHome;
    testing_support::SpawnOptions options;
};

TEST_F(CliProgramTest, ConvertsAClip) {
    const std::string clip = temp.file("my clip é.mkv");
    ASSERT_TRUE(testing_support::makeClip(clip));
    const auto status =
        testing_support::runProgram({kProgram, "-o", temp.file("out"), clip}, options);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << readAll(options.stderrPath);
    EXPECT_EQ(readAll(temp.file("out/my clip é.avi")).rfind("RIFF", 0), 0u);
    EXPECT_EQ(readAll(options.stdoutPath), "1 / 1 (0%) " + clip + "\nComplete\n1 / 1 (100%)\n");
    EXPECT_EQ(readAll(options.stderrPath), "");
}

TEST_F(CliProgramTest, CtrlCStopsTheConverterAndLeavesNoProcessBehind) {
    // Orphans of the program would become this process's children: none may appear.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::string clip = temp.file("long.mkv");
    // About five minutes of video: the conversion takes several seconds even on a fast machine.
    ASSERT_TRUE(testing_support::makeLongClip(clip, temp.file("short.mkv"), 150));
    const std::string folder = temp.file("out");

    const pid_t pid =
        testing_support::spawnProgram({kProgram, "-o", temp.file("out"), clip}, options);
    ASSERT_GT(pid, 0);
    // The converter writes its header into its temporary file as it starts.
    const auto written = [&folder] {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.file_size(error) > 0 && !error) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(testing_support::waitFor(written));

    const auto stopAt = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    // An impatient second Ctrl-C must not end the program before the converter is reaped.
    ::kill(pid, SIGINT);
    const auto status = testing_support::waitForExit(pid, 60s);
    const auto took = std::chrono::steady_clock::now() - stopAt;
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 130) << readAll(options.stderrPath);
    // "q" is honoured within a few of the runner's 300 ms checks; far below the engine's
    // 10 s escalation.
    EXPECT_LT(took, 8s);

    int ignored = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &ignored, WNOHANG), -1) << "a converter outlived the program";
    EXPECT_EQ(errno, ECHILD);

    EXPECT_EQ(readAll(options.stdoutPath),
              "1 / 1 (0%) " + clip + "\n0 / 1 (0%)\nnot finished: " + clip + "\n");
    EXPECT_EQ(readAll(options.stderrPath), "Stopping the conversion...\n");
}

}  // namespace
