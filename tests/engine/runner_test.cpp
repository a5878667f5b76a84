// The runners with the fake converter: stopping, odd console text, and what is left behind.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "converter_run.h"
#include "engine_test_support.h"
#include "output_parser.h"
#include "probe.h"
#include "script.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;

class RunnerTest : public EngineRunTest {};

// Waits until the fake converter has recorded the named event.
bool waitForEvent(const std::string& path, const std::string& name) {
    return waitFor([&] { return !eventTimes(readEvents(path), name).empty(); });
}

// One converter run, on its own: how it ended, in one value, and its text.
TEST_F(RunnerTest, ARunSaysInOneValueHowItEnded) {
    const auto run = [this](const std::string& recipe, const StopQuery& stop) {
        const std::string script =
            writeScriptFile({core.toolPath, source("clip.mkv", recipe), "", work.file("clip.avi")});
        platform::Process::Options options;
        options.pipeOutput = true;
        options.pipeInput = true;
        std::string text;
        const RunEnd end = runConverter([&] { return platform::Process::start(script, options); },
                                        stop, [&text](std::string_view chunk) { text += chunk; });
        std::filesystem::remove(testing_support::fsPath(script));
        return std::make_pair(end, text);
    };
    const auto never = [] { return false; };
    auto [finished, text] = run("print hello\\n\n", never);
    EXPECT_EQ(finished.kind, RunEnd::Kind::Finished);
    EXPECT_NE(text.find("hello"), std::string::npos);
    const RunEnd failed = run("exit 3\n", never).first;
    EXPECT_EQ(failed.kind, RunEnd::Kind::Failed);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_EQ(run("exit 0\n", [] { return true; }).first.kind, RunEnd::Kind::NotStartedForStop);
    const RunEnd stopped = run(eventsLine() + "sleep 30000\n", [this] {
                               return !eventTimes(readEvents(eventsPath()), "start").empty();
                           }).first;
    EXPECT_EQ(stopped.kind, RunEnd::Kind::StoppedPartWay);
    const RunEnd notStarted =
        runConverter([this] { return platform::Process::start(work.file("none.sh"), {}); }, never,
                     [](std::string_view) {});
    EXPECT_EQ(notStarted.kind, RunEnd::Kind::CouldNotStart);
    EXPECT_NE(notStarted.error.code, 0);
}

TEST_F(RunnerTest, StopSendsQWithinAPollAndRepeatsItWhileTheConverterRuns) {
    // Deaf to "q" for a while, then done by itself; replacing a file the user agreed to lose.
    core.addJob(source("clip.mkv", "duration 00:00:30.00\n" + eventsLine() +
                                       "on-q ignore\noutput partial\nsleep 2000\n"));
    work.write("out/clip.avi", "old");
    core.confirmCallback = [](int, std::intptr_t) { return 1; };
    core.start();
    ASSERT_TRUE(waitForEvent(eventsPath(), "start"));
    const std::int64_t requested = monotonicMs();
    core.requestStop();
    waitForEnd();

    EXPECT_EQ(core.runState, Stopped);
    const auto quits = eventTimes(readEvents(eventsPath()), "q");
    ASSERT_GE(quits.size(), 3u);
    // One poll is 300 ms (measured: 290-300 ms, then 300 ms apart); the slack is for a busy
    // machine.
    EXPECT_LT(quits.front() - requested, 1000);
    for (std::size_t i = 1; i < quits.size(); ++i) {
        EXPECT_GE(quits[i] - quits[i - 1], 200) << "one q per poll, not a flood";
        EXPECT_LT(quits[i] - quits[i - 1], 1500);
    }
    // A stopped job is not finished, and leaves the output name as it was.
    EXPECT_EQ(core.jobPercents(), std::vector<int>{0});
    EXPECT_EQ(core.jobSnapshots().at(0).outcome, JobOutcome::Stopped);
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder).size(), 1u);
    EXPECT_EQ(readAll(outputFor("clip.mkv")), "old");
}

#ifndef _WIN32
// The one slow test: the converter ignores "q" and SIGTERM alike. Windows has no request to
// ignore, only termination: its form is in batch_run_test.cpp.
// The ladder's own steps are the program's (a table in platform_test); here they are shortened.
TEST_F(RunnerTest, ConverterDeafToQIsTerminatedThenKilledOnTheLaddersSteps) {
    core.stopTimings = {100ms, 1000ms, 500ms};
    core.addJob(source("deaf.mkv", "duration 00:01:00.00\n" + eventsLine() +
                                       "on-q ignore\non-term ignore\noutput partial\n"
                                       "sleep 60000\n"));
    core.start();
    ASSERT_TRUE(waitForEvent(eventsPath(), "start"));
    core.requestStop();
    waitForEnd();
    const std::int64_t ended = monotonicMs();

    EXPECT_EQ(core.runState, Stopped);
    const auto events = readEvents(eventsPath());
    const auto quits = eventTimes(events, "q");
    const auto terms = eventTimes(events, "term");
    ASSERT_FALSE(quits.empty());
    ASSERT_EQ(terms.size(), 1u);
    EXPECT_GE(quits.size(), 5u) << "asked every 100 ms";
    EXPECT_GE(terms.front() - quits.front(), 900);
    EXPECT_LT(terms.front() - quits.front(), 4000);
    EXPECT_GE(ended - terms.front(), 400) << "killed half a second after SIGTERM";
    EXPECT_LT(ended - terms.front(), 4000);
    EXPECT_TRUE(eventTimes(events, "end").empty()) << "it never ended by itself";
    EXPECT_EQ(core.jobPercents(), std::vector<int>{0});
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{});
}
#endif

TEST_F(RunnerTest, StopDuringTheProbeEndsTheProbeAndConvertsNothing) {
    core.addJob(source("slow.mkv", "duration 00:00:05.00\n" + eventsLine() +
                                       "probe-sleep 30000\noutput converted\n"));
    core.start();
    ASSERT_TRUE(waitForEvent(eventsPath(), "probe"));
    const auto requested = Clock::now();
    core.requestStop();
    waitForEnd();
    EXPECT_LT(Clock::now() - requested, 10s);
    EXPECT_EQ(core.runState, Stopped);
    const auto events = readEvents(eventsPath());
    const auto pids = eventTimes(events, "pid");
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_TRUE(waitFor([&] { return processGone(pids.front()); }))
        << "the probe was ended, not left running";
    EXPECT_TRUE(eventTimes(events, "start").empty()) << "no converter was started to be stopped";
    EXPECT_FALSE(std::filesystem::exists(outputFor("slow.mkv")));
    EXPECT_EQ(core.jobPercents(), std::vector<int>{0});
}

TEST_F(RunnerTest, WithoutADurationNoPercentageIsShown) {
    const std::string statusLines =
        "sleep 100\nprint frame= 1 time=00:00:01.00 bitrate=1\\r\nsleep 250\n"
        "print frame= 2 time=00:00:02.00 bitrate=1\\r\nsleep 250\n"
        "print frame= 3 time=00:00:03.00 bitrate=1\\r\nsleep 250\n";
    // No output, so the job ends at 0 and every value seen came from the console text.
    core.addJob(source("none.mkv", statusLines));
    core.addJob(source("known.mkv", "duration 00:00:04.00\n" + statusLines));
    core.start();

    ASSERT_TRUE(waitFor([this] { return core.currentIndex == 0; }));
    std::vector<int> withoutDuration;
    std::vector<int> withDuration;
    const auto deadline = Clock::now() + kLimit;
    ConvertJob job;
    while (core.runState == Running && Clock::now() < deadline) {
        if (core.getCurrentJob(job)) {
            (job.index == 0 ? withoutDuration : withDuration).push_back(job.percent);
            if (job.index == 0) {
                EXPECT_EQ(job.durationSeconds, 0);
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    waitForEnd();
    ASSERT_FALSE(withoutDuration.empty());
    EXPECT_EQ(*std::max_element(withoutDuration.begin(), withoutDuration.end()), 0);
    ASSERT_FALSE(withDuration.empty());
    EXPECT_GT(*std::max_element(withDuration.begin(), withDuration.end()), 0)
        << "the same text with a duration does give percentages";
    EXPECT_EQ(core.jobSnapshots().at(1).durationSeconds, 4);
}

TEST_F(RunnerTest, OneJobsLeftoverTextNeverSetsTheNextJobsPercent) {
    // The first job ends in the middle of a status line; the second starts with a line end.
    core.addJob(source("a.mkv", "duration 00:00:10.00\nprint frame= 9 time=00:00:08.00 \n"));
    core.addJob(source("b.mkv", "duration 00:00:10.00\nprint \\r\nsleep 800\nexit 1\n"));
    core.start();
    ASSERT_TRUE(waitFor([this] { return core.currentIndex == 1; }));
    const auto seen = samplePercents();
    waitForEnd();
    for (int percent : seen) {
        EXPECT_EQ(percent, 0);
    }
}

TEST_F(RunnerTest, ConsoleTextWithoutLineEndsStaysBounded) {
    core.addJob(source("flood.mkv",
                       "duration 00:00:10.00\n"
                       "flood 3000000 frame= 1 time=00:00:10.00 \n"
                       "output done\n"));
    const auto started = Clock::now();
    runBatch();
    EXPECT_LT(Clock::now() - started, 30s);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
}

TEST_F(RunnerTest, MegabytesOfStatusLinesAreReadAsTheyCome) {
    core.addJob(source("talkative.mkv",
                       "duration 00:00:10.00\n"
                       "flood 4000000 frame=  1 fps=0.0 q=2.0 size= 1kB time=00:00:05.00 x\\r\n"
                       "output done\n"));
    const auto started = Clock::now();
    runBatch();
    // Read one chunk per poll, this would take five minutes.
    EXPECT_LT(Clock::now() - started, 30s);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    EXPECT_EQ(core.jobSnapshots().at(0).outcome, JobOutcome::Converted);
}

TEST_F(RunnerTest, DebugChannelFollowsTheRunAndTheLastOutputIsRead) {
    DebugCapture debug;
    // Its last words come just before its end, well within the first poll.
    core.addJob(source("quick.mkv",
                       "duration 00:00:05.00\n"
                       "print abc\\0time=00:00:04.00 hidden\\r\nsleep 100\n"
                       "print last words\\n\noutput done\n"));
    runBatch();
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    const std::string text = debug.text();
    const std::vector<std::string> lines = {
        "----- runProc : 0 -----\n",
        "runProc : convert\n",
        "----- convert -----\n",
        "----- ConvertCore::runProcess2 -----\n",
        "----- runProcess2 : CloseHandle -----\n",
        "duration:5\n----------\n",
        "----- ConvertCore::runProcess -----\n",
        "last words\n",
        "----- runProcess : CloseHandle -----\n",
    };
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const auto found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << text;
        at = found + line.size();
    }
    EXPECT_NE(text.find("abc"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos) << "a zero byte ends the chunk's text";
}

TEST_F(RunnerTest, ARunawayProbeIsReadOnlyToItsFirstMebibyte) {
    const std::string clip = source("chatty.mkv", "duration 00:00:07.00\nprobe-flood 5000000\n");
    const std::string script = writeScriptFile({core.toolPath, clip, "", std::nullopt});
    const ProbeRun probe = runProbeScript(script, {5s, {}, [] { return false; }, nullptr});
    std::filesystem::remove(testing_support::fsPath(script));
    EXPECT_TRUE(probe.started);
    EXPECT_EQ(probe.text.size(), std::size_t{1} << 20);
    EXPECT_EQ(durationFromProbeText(probe.text), 7);
}

TEST_F(RunnerTest, ScriptsThatCannotStartReportIt) {
    DebugCapture debug;
    EXPECT_FALSE(core.runProcess(""));
    std::string untouched = "kept";
    EXPECT_FALSE(core.runProcess2(work.file("missing.sh"), &untouched));
    EXPECT_EQ(untouched, "kept");
    EXPECT_EQ(debug.text(), "CreateProcess\nCreateProcess\n");
}

}  // namespace
