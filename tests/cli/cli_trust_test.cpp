// The promises of kestrova-cli that must hold however many conversions run at once: one output
// per batch, one question at a time and the answers that end it, stops that reach every
// converter. Built twice: into cli_tests with one conversion at a time, and into
// cli_hostile_tests with two (-j 2).

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli_harness.h"
#include "temp_dir.h"
#include "waiting.h"

#if !defined(KESTROVA_CLI_JOBS) || !defined(KESTROVA_CLI_JOBS_NAME)
#error "KESTROVA_CLI_JOBS (how many conversions the tests run at once) and its name"
#endif

namespace {

using namespace std::chrono_literals;
using testing_support::expectNotFinished;
using testing_support::readAll;
using testing_support::splitLines;
using testing_support::TempDir;
namespace fs = std::filesystem;

// A fake converter's recipe: a probe that reports one second, then what the conversion does.
std::string recipe(const std::string& conversion) {
    return "duration 00:00:01.00\n" + conversion;
}

class CliTrustTest : public ::testing::TestWithParam<int>, protected testing_support::CliHarness {
protected:
    void SetUp() override { fs::create_directory(temp.file("out")); }

    int jobs() const { return GetParam(); }

    // The arguments with -j and -o out in front; the fake converter converts.
    Result convert(std::vector<std::string> files,
                   const std::function<void(cli::Console&)>& setup = {}) {
        files.insert(files.begin(), {"-j", std::to_string(jobs()), "-o", "out"});
        return run(files, [&](cli::Console& console) {
            console.toolPath = KESTROVA_FAKE_CONVERTER;
            if (setup) {
                setup(console);
            }
        });
    }
};

TEST_P(CliTrustTest, SourcesOfOneNameGiveOneOutputTheFirstInArgumentOrder) {
    // The first takes a while, so that with two engines both would run at once.
    const std::string first = source("one/x.mkv", recipe("sleep 300\noutput from-one\n"));
    const std::string second = source("two/x.mkv", recipe("output from-two\n"));
    const std::string other = source("a.mkv", recipe("output a\n"));

    const Result result = convert({first, second, other});
    EXPECT_EQ(result.status, cli::kExitSomeNotFinished);
    EXPECT_EQ(readAll(temp.file("out/x.avi")), "from-one");
    EXPECT_EQ(readAll(temp.file("out/a.avi")), "a");
    const std::vector<std::string> lines = splitLines(result.out);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines.back(), "not finished: " + second + ": same output as " + first);
    EXPECT_EQ(result.err, "");
}

TEST_P(CliTrustTest, ExistingOutputsAreAskedOneAtATimeWhileTheOthersConvert) {
    std::vector<std::string> files;
    for (const std::string name : {"e0", "n1", "e2", "e3"}) {
        files.push_back(source(name + ".mkv", recipe("output new-" + name + "\n")));
        if (name[0] == 'e') {
            temp.write("out/" + name + ".avi", "old");
        }
    }
    std::atomic<int> open{0};
    std::atomic<int> mostOpen{0};
    std::atomic<int> asked{0};
    bool convertedMeanwhile = false;

    const Result result = convert(files, [&](cli::Console& console) {
        console.canAsk = true;
        console.readAnswer = [&]() -> std::optional<std::string> {
            const int now = ++open;
            mostOpen = std::max(mostOpen.load(), now);
            const int call = ++asked;
            if (call == 1 && jobs() > 1) {
                // The other engine converts n1 meanwhile, and then reaches e2's question: it
                // must wait for this one to be answered.
                convertedMeanwhile =
                    testing_support::waitFor([&] { return fs::exists(temp.file("out/n1.avi")); });
            }
            --open;
            return std::string(call == 1 ? "n" : "a");
        };
    });
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(mostOpen, 1);
    if (jobs() > 1) {
        EXPECT_TRUE(convertedMeanwhile);
    }
    // e0 was asked first and kept; "a" for e2 answered e3 too, unasked.
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(readAll(temp.file("out/e0.avi")), "old");
    for (const std::string name : {"n1", "e2", "e3"}) {
        EXPECT_EQ(readAll(temp.file("out/" + name + ".avi")), "new-" + name);
    }
    const auto question = [this](const std::string& name) {
        return "'" + temp.file("out/" + name + ".avi") +
               "' already exists.\nDo you want to replace it? [y/N/a/o/q] ";
    };
    EXPECT_EQ(result.err,
              question("e0") + "kept: " + temp.file("out/e0.avi") + "\n" + question("e2"));
}

TEST_P(CliTrustTest, QuitAtTheQuestionKeepsTheFileAndStopsEveryConversion) {
    const std::string events = temp.file("events");
    const std::string kept = source("e0.mkv", recipe("output new\n"));
    temp.write("out/e0.avi", "old");
    // Conversions that take a minute unless told to quit.
    const std::string longRecipe =
        "events " + events + "\n" +
        recipe("print time=00:00:00.50 bitrate=1k\\r\nsleep 60000\noutput never\n");
    const std::string first = source("l1.mkv", longRecipe);
    const std::string second = source("l2.mkv", longRecipe);
    const auto began = std::chrono::steady_clock::now();

    const Result result = convert({kept, first, second}, [&](cli::Console& console) {
        console.canAsk = true;
        console.readAnswer = [&]() -> std::optional<std::string> {
            if (jobs() > 1) {
                // The other engine is converting when the answer comes.
                EXPECT_TRUE(testing_support::waitFor(
                    [&] { return readAll(events).find("\nstart ") != std::string::npos; }));
            }
            return std::string("q");
        };
    });
    EXPECT_EQ(result.status, cli::kExitInterrupted);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 30s) << "a converter was not stopped";
    EXPECT_EQ(readAll(temp.file("out/e0.avi")), "old");
    EXPECT_FALSE(fs::exists(temp.file("out/l1.avi")));
    EXPECT_FALSE(fs::exists(temp.file("out/l2.avi")));
    const std::vector<std::string> lines = splitLines(result.out);
    ASSERT_GE(lines.size(), 4u) << result.out;
    EXPECT_EQ(lines[lines.size() - 4], "Stopped");
    EXPECT_EQ(lines[lines.size() - 3], "1 / 3 (33%)");
    EXPECT_EQ(lines[lines.size() - 2],
              "not finished: " + first + ": " + (jobs() > 1 ? "stopped" : "not started"));
    EXPECT_EQ(lines.back(), "not finished: " + second + ": not started");
    EXPECT_EQ(result.out.find("Complete"), std::string::npos);
}

TEST_P(CliTrustTest, CtrlCAtTheQuestionKeepsTheFileAndStops) {
    const std::string a = source("a.mkv");
    const std::string b = source("b.mkv");
    temp.write("out/a.avi", "keep me");
    std::atomic<bool> stop{false};

    const Result result =
        run({"-j", std::to_string(jobs()), "-o", "out", a, b}, [&](cli::Console& console) {
            console.canAsk = true;
            console.interrupted = [&stop] { return stop.load(); };
            console.readAnswer = [&stop] {
                stop = true;
                return std::optional<std::string>();
            };
        });
    EXPECT_EQ(result.status, cli::kExitInterrupted);
    EXPECT_EQ(readAll(temp.file("out/a.avi")), "keep me");
    // The question's line is ended before anything else is written.
    const std::string question = "'" + temp.file("out/a.avi") +
                                 "' already exists.\nDo you want to replace it? [y/N/a/o/q] \n";
    EXPECT_EQ(result.err.rfind(question, 0), 0u) << result.err;
    // The worker may reach b before the stop does: b's reason is "not started" or its failure.
    const std::vector<std::string> lines = splitLines(result.out);
    ASSERT_GE(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[lines.size() - 3], "Stopped");
    EXPECT_EQ(lines[lines.size() - 2], "1 / 2 (50%)");
    expectNotFinished(lines.back(), b);
}

const std::string kProgram = std::string(KESTROVA_BIN_DIR) + "/kestrova-cli";

// The built program converting clips long enough to be interrupted, one per engine.
class CliTrustProgramTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        // Orphans of the program would become this process's children: none may appear.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        options.extraEnvironment = {"XDG_DATA_HOME=" + dataHome.path()};
        options.stdoutPath = temp.file("stdout.txt");
        options.stderrPath = temp.file("stderr.txt");
        // About five minutes of video each: the conversions take several seconds even on a
        // fast machine.
        const std::string first = temp.file("long 1.mkv");
        ASSERT_TRUE(testing_support::makeLongClip(first, temp.file("short.mkv"), 150));
        clips.push_back(first);
        for (int k = 2; k <= GetParam(); ++k) {
            clips.push_back(temp.file("long " + std::to_string(k) + ".mkv"));
            fs::copy_file(first, clips.back());
        }
    }

    void TearDown() override {
        EXPECT_EQ(testing_support::filesUnder(dataHome.path()), std::vector<std::string>{})
            << "scripts or logs left behind";
    }

    // Starts the program and waits until each of its engines converts.
    pid_t startConverting() {
        fs::remove_all(temp.file("out"));
        fs::create_directory(temp.file("out"));
        std::vector<std::string> argv = {kProgram, "-j", std::to_string(GetParam()), "-o",
                                         temp.file("out")};
        argv.insert(argv.end(), clips.begin(), clips.end());
        const pid_t pid = testing_support::spawnProgram(argv, options);
        EXPECT_TRUE(testing_support::waitFor([&] {
            return testing_support::convertingConverters(pid) >=
                   static_cast<std::size_t>(GetParam());
        }));
        return pid;
    }

    TempDir temp;
    TempDir dataHome;
    testing_support::SpawnOptions options;
    std::vector<std::string> clips;
};

TEST_P(CliTrustProgramTest, StopSignalsEndEveryConverterAndLeaveNoProcessBehind) {
    std::string started;
    std::string notFinished;
    for (std::size_t k = 0; k < clips.size(); ++k) {
        started += std::to_string(k + 1) + " / " + std::to_string(clips.size()) + " (0%) " +
                   clips[k] + "\n";
        notFinished += "not finished: " + clips[k] + ": stopped\n";
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t pid = startConverting();
        ASSERT_GT(pid, 0);
        const auto stopAt = std::chrono::steady_clock::now();
        ::kill(pid, signal);
        // An impatient second request must not end the program before the converters are
        // reaped.
        ::kill(pid, signal);
        const auto status = testing_support::waitForExit(pid, 60s);
        const auto took = std::chrono::steady_clock::now() - stopAt;
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, 130) << signal << readAll(options.stderrPath);
        // "q" is honoured within a few of the runner's 300 ms checks; far below the engine's
        // 10 s escalation.
        EXPECT_LT(took, 8s) << signal;
        testing_support::expectNoProcessLeft();
        EXPECT_EQ(
            readAll(options.stdoutPath),
            started + "Stopped\n0 / " + std::to_string(clips.size()) + " (0%)\n" + notFinished)
            << signal;
        EXPECT_EQ(readAll(options.stderrPath), "Stopping the conversion...\n") << signal;
        EXPECT_EQ(testing_support::filesUnder(temp.file("out")), std::vector<std::string>{});
    }
}

TEST_P(CliTrustProgramTest, NoConverterOutlivesAKilledProgram) {
    const pid_t pid = startConverting();
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    EXPECT_EQ(testing_support::waitForExit(pid, 60s), 128 + SIGKILL);
    // The guardians end every converter and remove what the jobs had made.
    testing_support::expectNoProcessLeft();
    EXPECT_EQ(testing_support::filesUnder(temp.file("out")), std::vector<std::string>{});
    EXPECT_TRUE(testing_support::waitFor(
        [&] { return testing_support::filesUnder(dataHome.path()).empty(); }));
}

TEST_P(CliTrustProgramTest, SuspendingTheProgramSuspendsEveryConverterUntilItContinues) {
    // A shell without job control would have the program ignore the terminal's stop.
    ::signal(SIGTSTP, SIG_DFL);
    const pid_t pid = startConverting();
    ASSERT_GT(pid, 0);
    const auto programIs = [pid](int event) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, event | WNOHANG) == 0 &&
               info.si_pid == pid;
    };
    const auto convertersStopped = [pid](bool stopped) {
        const auto processes = testing_support::converterProcesses(pid);
        return !processes.empty() &&
               std::all_of(processes.begin(), processes.end(), [stopped](const auto& process) {
                   return (process.state == 'T') == stopped;
               });
    };

    ::kill(pid, SIGTSTP);
    ASSERT_TRUE(testing_support::waitFor([&] { return programIs(WSTOPPED); }));
    EXPECT_TRUE(testing_support::waitFor([&] { return convertersStopped(true); }));

    ::kill(pid, SIGCONT);
    ASSERT_TRUE(testing_support::waitFor([&] { return programIs(WCONTINUED); }));
    EXPECT_TRUE(testing_support::waitFor([&] { return convertersStopped(false); }));

    ::kill(pid, SIGINT);
    EXPECT_EQ(testing_support::waitForExit(pid, 60s), 130);
    testing_support::expectNoProcessLeft();
}

// Named after the number, so that the two builds' tests have names of their own.
INSTANTIATE_TEST_SUITE_P(KESTROVA_CLI_JOBS_NAME, CliTrustTest,
                         ::testing::Values(KESTROVA_CLI_JOBS));
INSTANTIATE_TEST_SUITE_P(KESTROVA_CLI_JOBS_NAME, CliTrustProgramTest,
                         ::testing::Values(KESTROVA_CLI_JOBS));

}  // namespace
