#include "process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "temp_dir.h"
#include "waiting.h"

namespace platform {
// Defined by the POSIX process layer: forces the short-poll used where pidfd_open is missing.
void setPidfdEnabledForTesting(bool enabled);
void setGuardianFailureForTesting(int error);
}  // namespace platform

namespace {

using platform::Process;
using testing_support::readAll;
using testing_support::TempDir;
using testing_support::waitFor;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

Process::Options piped(bool input = false) {
    Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = input;
    return options;
}

// Reads everything until the child ends; fails the test after the limit.
std::string runToEnd(Process& child, std::chrono::seconds limit = 30s) {
    std::string output;
    char buffer[4096];
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto result = child.wait(200);
        for (std::size_t got; (got = child.readOutput(buffer, sizeof buffer)) > 0;) {
            output.append(buffer, got);
        }
        if (result == Process::WaitResult::Exited) {
            return output;
        }
        if (result == Process::WaitResult::Failed || Clock::now() > deadline) {
            ADD_FAILURE() << "child did not end; output so far: " << output;
            return output;
        }
    }
}

// True once the process is gone or a zombie that only the system is left to reap.
bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0) {
        return true;
    }
    const std::string stat = readAll("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

TEST(ProcessStartTest, RefusesWhatCannotRun) {
    TempDir dir;
    EXPECT_EQ(Process::startScript("", piped()), nullptr);
    // The system's reason comes with the refusal.
    EXPECT_EQ(Process::start(dir.file("missing.sh"), piped()).error.text(),
              "No such file or directory");
    EXPECT_EQ(Process::start(dir.path(), piped()).error.text(), "Is a directory");
    // Too few descriptors for the interpreter, which would say only "Invalid argument".
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit few = saved;
    few.rlim_cur = 12;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const auto starved = Process::start(dir.write("ok.sh", "exit 0\n"), piped());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(starved.error.text(), "Too many open files");
    // Without its guardian a child could outlive the program: it is not left running.
    platform::setGuardianFailureForTesting(EAGAIN);
    const auto unguarded = Process::start(dir.write("long.sh", "sleep 30\n"), piped());
    platform::setGuardianFailureForTesting(0);
    EXPECT_EQ(unguarded.process, nullptr);
    EXPECT_TRUE(unguarded.guardFailed);
    EXPECT_EQ(unguarded.error.code, EAGAIN);
}

TEST(ProcessStartTest, ErrorLogTakesStandardErrorAndNothingReachesOurConsole) {
    TempDir dir;
    platform::HeldFile log;
    ASSERT_EQ(platform::createHeldFile(dir.file("log.txt"), "", log),
              platform::CreateResult::Created);
    Process::Options options;
    options.errorLog = &log;
    // cat ends at once: standard input is the null device, not the program's terminal.
    auto child = Process::startScript(
        dir.write("probe.sh", "cat\necho visible\necho logged >&2\nexit 1\n"), options);
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->outputClosed());
    runToEnd(*child);
    EXPECT_EQ(child->exitStatus(), 1);
    EXPECT_EQ(log.readStart(1 << 20), "logged\n");
}

TEST(ProcessStartTest, ChildKeepsOnlyItsThreeStreams) {
    TempDir dir;
    // Another child alive meanwhile, with pipes of its own that must not leak into the second.
    auto other = Process::startScript(dir.write("other.sh", "sleep 30\n"), piped(true));
    ASSERT_NE(other, nullptr);
    auto child = Process::startScript(dir.write("fds.sh", "exec ls /proc/self/fd\n"), piped());
    ASSERT_NE(child, nullptr);
    std::istringstream listing(runToEnd(*child));
    std::set<std::string> fds;
    for (std::string fd; listing >> fd;) {
        fds.insert(fd);
    }
    // 3 is the directory ls reads.
    EXPECT_EQ(fds, (std::set<std::string>{"0", "1", "2", "3"}));
    other->terminate();
}

TEST(ProcessStartTest, ScriptRunsInAGroupOfItsOwn) {
    TempDir dir;
    auto child = Process::startScript(
        dir.write("group.sh", "echo $$\ncut -d' ' -f5 /proc/$$/stat\n"), piped());
    ASSERT_NE(child, nullptr);
    std::istringstream lines(runToEnd(*child));
    std::string pid, group;
    lines >> pid >> group;
    EXPECT_FALSE(pid.empty());
    EXPECT_EQ(pid, group);
    EXPECT_NE(group, std::to_string(::getpgrp()));
}

TEST(ProcessStartTest, WritingToAChildThatEndedFailsQuietly) {
    TempDir dir;
    auto child = Process::startScript(dir.write("quit.sh", "exit 0\n"), piped(true));
    ASSERT_NE(child, nullptr);
    runToEnd(*child);
    // With SIGPIPE at its default this would end the test program.
    ASSERT_EQ(::signal(SIGPIPE, SIG_DFL), SIG_DFL);
    EXPECT_FALSE(child->writeInput("q", 1));
    EXPECT_FALSE(child->writeInput("q", 1));
}

TEST(LeftoverGuardTest, FilesGoWhenTheProgramEndsWithoutReleasingItOnly) {
    TempDir dir;
    // Names a shell would take apart, and a byte that is no text.
    const std::string settled = dir.write("settled $(x) `y` 'a'\n-\xff\\0101.part", "kept");
    {
        platform::LeftoverGuard guard;
        guard.add(settled);
    }
    const std::string abandoned = dir.write("abandoned $(x) `y` 'a'\n-\xff\\0101.part", "gone");
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        // Ends as a killed program does: without releasing its guard.
        auto* guard = new platform::LeftoverGuard();
        guard->add(abandoned);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(program, &status, 0), program);
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(abandoned); }));
    EXPECT_EQ(readAll(settled), "kept");
    EXPECT_EQ(testing_support::filesUnder(dir.path()), std::vector<std::string>{settled});
}

// Every case below runs with pidfd and with the short-poll that stands in for it.
class ProcessTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { platform::setPidfdEnabledForTesting(GetParam()); }
    void TearDown() override { platform::setPidfdEnabledForTesting(true); }
    TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Waiting, ProcessTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Pidfd" : "ShortPoll"; });

TEST_P(ProcessTest, OutputAndErrorShareOnePipeAndTheStatusComesBack) {
    auto child = Process::startScript(
        dir.write("s.sh", "echo out\necho err >&2\nprintf 'no end'\nexit 3\n"), piped());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(runToEnd(*child), "out\nerr\nno end");
    EXPECT_EQ(child->exitStatus(), 3);
    EXPECT_EQ(child->wait(0), Process::WaitResult::Exited);

    auto killed = Process::startScript(dir.write("k.sh", "kill -9 $$\n"), piped());
    ASSERT_NE(killed, nullptr);
    runToEnd(*killed);
    EXPECT_EQ(killed->exitStatus(), 128 + SIGKILL);
}

TEST_P(ProcessTest, InputPipeReachesTheChild) {
    auto child =
        Process::startScript(dir.write("in.sh", "c=$(head -c 1)\necho \"got $c\"\n"), piped(true));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->exitStatus(), -1);
    EXPECT_TRUE(child->writeInput("q", 1));
    EXPECT_EQ(runToEnd(*child), "got q\n");
}

TEST_P(ProcessTest, WaitReturnsWhenOutputArrivesAndWhenTheChildEnds) {
    auto child =
        Process::startScript(dir.write("s.sh", "echo ready\nread line\necho bye\n"), piped(true));
    ASSERT_NE(child, nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(child->wait(20000), Process::WaitResult::Timeout);
    EXPECT_LT(Clock::now() - start, 10s);
    char buffer[64];
    EXPECT_EQ(std::string(buffer, child->readOutput(buffer, sizeof buffer)), "ready\n");
    // Nothing to read now: the read does not block.
    EXPECT_EQ(child->readOutput(buffer, sizeof buffer), 0u);

    const auto quiet = Clock::now();
    EXPECT_EQ(child->wait(300), Process::WaitResult::Timeout);
    EXPECT_GE(Clock::now() - quiet, 250ms);

    child->writeInput("\n", 1);
    EXPECT_EQ(runToEnd(*child), "bye\n");
    EXPECT_EQ(child->exitStatus(), 0);
}

TEST_P(ProcessTest, TheChildsEndIsSeenWhileSomethingItStartedHoldsThePipe) {
    auto child = Process::startScript(dir.write("s.sh", "sleep 60 &\necho $!\n"), piped());
    ASSERT_NE(child, nullptr);
    const auto start = Clock::now();
    std::string output;
    char buffer[64];
    while (child->wait(200) != Process::WaitResult::Exited) {
        output.append(buffer, child->readOutput(buffer, sizeof buffer));
        ASSERT_LT(Clock::now() - start, 30s);
    }
    output.append(buffer, child->readOutput(buffer, sizeof buffer));
    EXPECT_LT(Clock::now() - start, 20s);
    EXPECT_FALSE(child->outputClosed()) << "the sleep still holds the pipe";
    EXPECT_FALSE(child->waitForOutput(100));
    const pid_t sleeper = std::stoi(output);
    EXPECT_FALSE(processGone(sleeper));
    child.reset();
    EXPECT_TRUE(waitFor([&] { return processGone(sleeper); }, 30s)) << "left behind in the group";
}

TEST_P(ProcessTest, DestructionEndsARunningScriptAndWhatItRuns) {
    auto child = Process::startScript(dir.write("s.sh", "echo $$\nsleep 60\n"), piped());
    ASSERT_NE(child, nullptr);
    ASSERT_NE(child->wait(20000), Process::WaitResult::Exited);
    char buffer[64];
    const pid_t shell = std::stoi(std::string(buffer, child->readOutput(buffer, sizeof buffer)));
    const auto start = Clock::now();
    child.reset();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_NE(::kill(shell, 0), 0) << "reaped, not left a zombie";
}

TEST_P(ProcessTest, AScriptDeafToTerminateIsKilled) {
    // A short ladder: what is tried is that the kill follows, not the length of the wait before it.
    auto options = piped();
    options.stopTimings.killAfter = 200ms;
    auto child =
        Process::startScript(dir.write("s.sh", "trap '' TERM\necho $$\nsleep 60\n"), options);
    ASSERT_NE(child, nullptr);
    ASSERT_NE(child->wait(20000), Process::WaitResult::Exited);
    char buffer[64];
    const pid_t shell = std::stoi(std::string(buffer, child->readOutput(buffer, sizeof buffer)));
    child->terminate();
    EXPECT_EQ(child->wait(300), Process::WaitResult::Timeout);
    const auto start = Clock::now();
    child.reset();
    EXPECT_GE(Clock::now() - start, 200ms) << "killed only after the ladder's wait";
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_NE(::kill(shell, 0), 0);
}

}  // namespace
