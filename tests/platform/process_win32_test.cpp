// The Windows process layer: batch scripts run by cmd with the pipes, the null device, the
// error log and the job object. The POSIX cases (signals, process groups, /proc) are in
// process_test.cpp, which only POSIX builds compile.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform.h"
#include "process.h"
#include "temp_dir.h"
#include "waiting.h"

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

// A batch file with CR LF line ends, echo off.
std::string writeBatch(const TempDir& dir, const std::string& name, const std::string& body) {
    std::string text = "@echo off\r\n";
    for (char c : body) {
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return dir.write(name, text);
}

// True once the process is gone.
bool processGone(unsigned long pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) {
        return true;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// The process id that the fake converter recorded first in its events file.
unsigned long recordedPid(const std::string& events) {
    const std::string text = readAll(events);
    return text.rfind("pid ", 0) == 0 ? std::stoul(text.substr(4)) : 0;
}

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

TEST(ProcessStartTest, RefusesWhatCannotRun) {
    TempDir dir;
    EXPECT_EQ(Process::startScript("", piped()), nullptr);
    EXPECT_EQ(Process::startScript(dir.file("missing.bat"), piped()), nullptr);
    EXPECT_EQ(Process::startScript(dir.path(), piped()), nullptr);
}

TEST(ProcessStartTest, ErrorLogTakesStandardErrorAndNothingReachesOurConsole) {
    TempDir dir;
    platform::HeldFile log;
    ASSERT_EQ(platform::createHeldFile(dir.file("log \xC3\xA9 & co.txt"), "", log),
              platform::CreateResult::Created);
    Process::Options options;
    options.errorLog = &log;
    // set /p ends at once: standard input is the null device, not the program's console.
    auto child =
        Process::startScript(writeBatch(dir, "probe & co.bat",
                                        "set /p line=\necho visible\necho logged>&2\nexit /b 1\n"),
                             options);
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->outputClosed());
    runToEnd(*child);
    EXPECT_EQ(child->exitStatus(), 1);
    EXPECT_EQ(log.readStart(1 << 20), "logged\r\n");
}

TEST(ProcessTest, OutputAndErrorShareOnePipeAndTheStatusComesBack) {
    TempDir dir;
    auto child = Process::startScript(
        writeBatch(dir, "s.bat", "echo out\necho err>&2\nexit /b 3\n"), piped());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(runToEnd(*child), "out\r\nerr\r\n");
    EXPECT_EQ(child->exitStatus(), 3);
    EXPECT_EQ(child->wait(0), Process::WaitResult::Exited);
}

TEST(ProcessTest, InputPipeReachesTheChildAndWaitReturnsWhenOutputArrives) {
    TempDir dir;
    auto child = Process::startScript(
        writeBatch(dir, "s.bat", "echo ready\nset /p line=\necho got %line%\n"), piped(true));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->exitStatus(), -1);
    const auto start = Clock::now();
    EXPECT_EQ(child->wait(20000), Process::WaitResult::Timeout);
    EXPECT_LT(Clock::now() - start, 10s);
    char buffer[64];
    // Wine's cmd writes the line and its end separately; the end follows at once.
    std::string ready;
    EXPECT_TRUE(waitFor(
        [&] {
            ready.append(buffer, child->readOutput(buffer, sizeof buffer));
            return ready == "ready\r\n";
        },
        5s))
        << ready;
    // Nothing to read now: the read does not block.
    EXPECT_EQ(child->readOutput(buffer, sizeof buffer), 0u);

    const auto quiet = Clock::now();
    EXPECT_EQ(child->wait(300), Process::WaitResult::Timeout);
    EXPECT_GE(Clock::now() - quiet, 250ms);

    EXPECT_TRUE(child->writeInput("q\r\n", 3));
    EXPECT_EQ(runToEnd(*child), "got q\r\n");
    EXPECT_EQ(child->exitStatus(), 0);
    // The child has gone: writing fails, quietly (under Wine its handles close a moment after
    // its end is seen).
    EXPECT_TRUE(waitFor([&] { return !child->writeInput("q", 1); }, 30s));
}

// A recipe for the fake converter: a header, then silence for a minute.
std::string quietConverterSource(const TempDir& dir) {
    return dir.write("quiet.mkv", "events " + dir.file("events") +
                                      "\nprint Press [q] to stop\\n\nsleep 60000\n");
}

// The batch line that runs the fake converter on that recipe.
std::string converterLine(const TempDir& dir) {
    return "\"" + std::string(KESTROVA_FAKE_CONVERTER) + "\" -y -i \"" + quietConverterSource(dir) +
           "\" \"" + dir.file("out.avi") + "\"";
}

TEST(ProcessTest, TheChildsEndIsSeenWhileSomethingItStartedHoldsThePipe) {
    TempDir dir;
    auto child = Process::startScript(
        writeBatch(dir, "s.bat", "start \"\" /b " + converterLine(dir) + "\nexit /b 0\n"), piped());
    ASSERT_NE(child, nullptr);
    const auto start = Clock::now();
    std::string text = runToEnd(*child);
    EXPECT_LT(Clock::now() - start, 20s);
    char buffer[4096];
    while (text.find("Press [q]") == std::string::npos && Clock::now() - start < 30s) {
        child->waitForOutput(100);
        text.append(buffer, child->readOutput(buffer, sizeof buffer));
    }
    ASSERT_NE(text.find("Press [q]"), std::string::npos) << text;
    EXPECT_FALSE(child->outputClosed()) << "the converter still holds the pipe";
    EXPECT_FALSE(child->waitForOutput(100));
    const unsigned long converter = recordedPid(dir.file("events"));
    ASSERT_NE(converter, 0u);
    EXPECT_FALSE(processGone(converter));
    child.reset();
    EXPECT_TRUE(waitFor([&] { return processGone(converter); }, 30s)) << "left behind in the job";
}

TEST(ProcessTest, DestructionAndTerminateEndTheScriptAndWhatItRuns) {
    for (const bool viaTerminate : {false, true}) {
        SCOPED_TRACE(viaTerminate ? "terminate" : "destruction");
        TempDir dir;
        auto child =
            Process::startScript(writeBatch(dir, "s.bat", converterLine(dir) + "\n"), piped());
        ASSERT_NE(child, nullptr);
        std::string text;
        char buffer[4096];
        const auto begun = Clock::now();
        while (text.find("Press [q]") == std::string::npos && Clock::now() - begun < 30s) {
            ASSERT_NE(child->wait(200), Process::WaitResult::Exited) << text;
            text.append(buffer, child->readOutput(buffer, sizeof buffer));
        }
        const unsigned long converter = recordedPid(dir.file("events"));
        ASSERT_NE(converter, 0u);
        const auto start = Clock::now();
        if (viaTerminate) {
            child->terminate();
            EXPECT_EQ(child->wait(10000), Process::WaitResult::Exited);
            EXPECT_NE(child->exitStatus(), 0);
            // The converter's end of the pipe went with it.
            EXPECT_TRUE(child->waitForOutput(10000));
            EXPECT_TRUE(waitFor(
                [&] {
                    child->readOutput(buffer, sizeof buffer);
                    return child->outputClosed();
                },
                30s));
        }
        child.reset();
        EXPECT_LT(Clock::now() - start, 10s);
        EXPECT_TRUE(waitFor([&] { return processGone(converter); }, 30s));
    }
}

}  // namespace
