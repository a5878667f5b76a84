// The built kestrova-cli run as a user runs it: its own process, core/xcoder beside it, real
// clips, real signals.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "child_process.h"
#include "cli_harness.h"
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

TEST_F(CliProgramTest, AStandardOutputThatCannotBeWrittenStopsTheBatch) {
    // Orphans of the program would become this process's children: none may appear.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::string first = temp.file("first.mkv");
    const std::string second = temp.file("second.mkv");
    ASSERT_TRUE(testing_support::makeClip(first));
    std::filesystem::copy_file(first, second);
    int pipe[2] = {-1, -1};
    const struct {
        const char* what;
        std::string reason;
        std::function<void()> setUp;
    } rows[] = {
        {"a full disk", "No space left on device", [&] { options.stdoutPath = "/dev/full"; }},
        {"a reader that has gone", "Broken pipe",
         [&] {
             ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
             ::close(pipe[0]);
             options.stdoutFd = pipe[1];
         }},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(temp.file("out"));
        std::filesystem::create_directory(temp.file("out"));
        row.setUp();
        const auto status =
            testing_support::runProgram({kProgram, "-o", temp.file("out"), first, second}, options);
        ASSERT_TRUE(status.has_value()) << row.what;
        EXPECT_EQ(*status, 1) << row.what;
        EXPECT_EQ(readAll(options.stderrPath),
                  "kestrova-cli: cannot write to standard output: " + row.reason + "\n")
            << row.what;
        // The batch stopped at the first line it could not write.
        EXPECT_FALSE(std::filesystem::exists(temp.file("out/second.avi"))) << row.what;
        testing_support::expectNoProcessLeft();
    }
    ::close(pipe[1]);
}

TEST_F(CliProgramTest, ATerminalIsToldTheTimeLeftAfterFiveSecondsOfWork) {
    // A copy of the program whose core/xcoder is the fake converter, which takes its time.
    std::filesystem::create_directories(temp.file("bin/core"));
    const std::string program = temp.file("bin/kestrova-cli");
    std::filesystem::copy_file(kProgram, program);
    std::filesystem::create_symlink(KESTROVA_FAKE_CONVERTER, temp.file("bin/core/xcoder"));
    std::string recipe = "duration 00:00:10.00\n";
    for (int second = 1; second <= 9; ++second) {
        recipe += "print frame=1 time=00:00:0" + std::to_string(second) + ".00 bitrate=1k\\r\n" +
                  "sleep 600\n";
    }
    recipe += "output done\n";
    const std::string a = temp.write("a.mkv", recipe);
    const std::string b = temp.write("b.mkv", recipe);

    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    winsize size{};
    size.ws_col = 200;
    size.ws_row = 24;
    ASSERT_EQ(::ioctl(terminal, TIOCSWINSZ, &size), 0);
    options.stdoutPath = ::ptsname(terminal);

    const auto began = std::chrono::steady_clock::now();
    const pid_t pid =
        testing_support::spawnProgram({program, "-o", temp.file("out"), a, b}, options);
    ASSERT_GT(pid, 0);
    const std::regex timeLeft(", (about \\d+ min|less than a minute) left");
    std::string shown;
    std::optional<std::chrono::steady_clock::duration> firstToldAfter;
    std::optional<int> status;
    for (;;) {
        pollfd ready{terminal, POLLIN, 0};
        const int got = ::poll(&ready, 1, 100);
        char buffer[4096];
        const ssize_t read =
            got > 0 && (ready.revents & POLLIN) ? ::read(terminal, buffer, sizeof buffer) : 0;
        if (read > 0) {
            shown.append(buffer, static_cast<std::size_t>(read));
            if (!firstToldAfter && std::regex_search(shown, timeLeft)) {
                firstToldAfter = std::chrono::steady_clock::now() - began;
            }
            continue;
        }
        if (status) {
            break;  // the program has ended and its text is read
        }
        int wait = 0;
        if (::waitpid(pid, &wait, WNOHANG) == pid) {
            status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
        } else if (got > 0) {
            std::this_thread::sleep_for(10ms);  // the terminal hangs up until the program opens it
        }
        ASSERT_LT(std::chrono::steady_clock::now() - began, 120s) << shown;
    }
    ::close(terminal);
    EXPECT_EQ(status, 0) << readAll(options.stderrPath);
    ASSERT_TRUE(firstToldAfter.has_value()) << shown;
    EXPECT_GE(*firstToldAfter, 5s);
    EXPECT_NE(shown.find("\r2 / 2 ("), std::string::npos) << shown;
    EXPECT_NE(shown.find("Complete"), std::string::npos) << shown;
}

}  // namespace
