// The built kestrova-cli run as a user runs it: its own process, core/xcoder beside it, real
// clips, real signals.

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// The processes under pid that run in process groups of their own (the converters, not the
// program's guardian of them), with their states ('T': stopped), from /proc.
std::vector<std::pair<pid_t, char>> descendants(pid_t pid) {
    std::vector<std::pair<pid_t, char>> found;
    std::vector<pid_t> parents{pid};
    for (std::size_t k = 0; k < parents.size(); ++k) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            std::string stat;
            try {
                stat = readAll(entry.path().string() + "/stat");
            } catch (const std::exception&) {
                continue;  // it has just ended
            }
            const auto close = stat.rfind(')');
            if (close == std::string::npos) {
                continue;
            }
            char state = 0;
            int parent = 0;
            int group = 0;
            if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &parent, &group) == 3 &&
                parent == parents[k]) {
                const pid_t child = std::stoi(name);
                parents.push_back(child);
                std::string command;
                try {
                    command = readAll(entry.path().string() + "/cmdline");
                } catch (const std::exception&) {
                }
                if (group != ::getpgid(pid) &&
                    command.find("kestrova-guard") == std::string::npos) {
                    found.emplace_back(child, state);
                }
            }
        }
    }
    return found;
}

// A program converting a clip long enough to be interrupted.
class CliLongRunTest : public CliProgramTest {
protected:
    void SetUp() override {
        CliProgramTest::SetUp();
        // Orphans of the program would become this process's children: none may appear.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        clip = temp.file("long.mkv");
        // About five minutes of video: the conversion takes several seconds even on a fast
        // machine.
        ASSERT_TRUE(testing_support::makeLongClip(clip, temp.file("short.mkv"), 150));
    }

    // Starts the program and waits until its converter writes.
    pid_t startConverting() {
        std::filesystem::remove_all(temp.file("out"));
        std::filesystem::create_directory(temp.file("out"));
        const pid_t pid =
            testing_support::spawnProgram({kProgram, "-o", temp.file("out"), clip}, options);
        const auto converting = [this] {
            for (const auto& entry : std::filesystem::directory_iterator(temp.file("out"))) {
                std::error_code error;
                if (std::filesystem::file_size(entry.path(), error) > 0 && !error) {
                    return true;
                }
            }
            return false;
        };
        EXPECT_TRUE(testing_support::waitFor(converting));
        return pid;
    }

    void expectNoProcessLeft() {
        int ignored = 0;
        errno = 0;
        EXPECT_EQ(::waitpid(-1, &ignored, WNOHANG), -1) << "a converter outlived the program";
        EXPECT_EQ(errno, ECHILD);
    }

    std::string clip;
};

TEST_F(CliLongRunTest, StopSignalsEndTheConverterAndLeaveNoProcessBehind) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t pid = startConverting();
        ASSERT_GT(pid, 0);
        const auto stopAt = std::chrono::steady_clock::now();
        ::kill(pid, signal);
        // An impatient second request must not end the program before the converter is reaped.
        ::kill(pid, signal);
        const auto status = testing_support::waitForExit(pid, 60s);
        const auto took = std::chrono::steady_clock::now() - stopAt;
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, 130) << signal << readAll(options.stderrPath);
        // "q" is honoured within a few of the runner's 300 ms checks; far below the engine's
        // 10 s escalation.
        EXPECT_LT(took, 8s) << signal;
        expectNoProcessLeft();
        EXPECT_EQ(
            readAll(options.stdoutPath),
            "1 / 1 (0%) " + clip + "\nStopped\n0 / 1 (0%)\nnot finished: " + clip + ": stopped\n")
            << signal;
        EXPECT_EQ(readAll(options.stderrPath), "Stopping the conversion...\n") << signal;
    }
}

TEST_F(CliLongRunTest, SuspendingTheProgramSuspendsTheConverterUntilItContinues) {
    // A shell without job control would have the program ignore the terminal's stop.
    ::signal(SIGTSTP, SIG_DFL);
    const pid_t pid = startConverting();
    ASSERT_GT(pid, 0);
    const auto programIs = [pid](int event) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, event | WNOHANG) == 0 &&
               info.si_pid == pid;
    };
    const auto converterStopped = [pid](bool stopped) {
        const auto processes = descendants(pid);
        return !processes.empty() &&
               std::all_of(processes.begin(), processes.end(), [stopped](const auto& process) {
                   return (process.second == 'T') == stopped;
               });
    };

    ::kill(pid, SIGTSTP);
    ASSERT_TRUE(testing_support::waitFor([&] { return programIs(WSTOPPED); }));
    EXPECT_TRUE(testing_support::waitFor([&] { return converterStopped(true); }));

    ::kill(pid, SIGCONT);
    ASSERT_TRUE(testing_support::waitFor([&] { return programIs(WCONTINUED); }));
    EXPECT_TRUE(testing_support::waitFor([&] { return converterStopped(false); }));

    ::kill(pid, SIGINT);
    EXPECT_EQ(testing_support::waitForExit(pid, 60s), 130);
    expectNoProcessLeft();
}

}  // namespace
