// Faults from outside while a batch runs: sources and output folders that go away, converters
// that cannot run or die, floods of text, a second engine in the same folders, and stops at
// each stage. After each: the sources are untouched, no existing output was replaced without a
// Yes, the other jobs ran, nothing is left in the data folder, and the engine takes a new batch.

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "media_preset.h"
#include "real_converter_support.h"
#include "script.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;
namespace fs = std::filesystem;

// Calls a hook on the worker just before a job's conversion, when its output path has been
// decided: the moment another program may change the world under the batch.
class HookedCore : public ConvertCore {
public:
    std::function<void(int index)> beforeConvert;

    bool convert(const std::string& source, const std::string& output) override {
        if (beforeConvert) {
            beforeConvert(currentIndex);
        }
        return ConvertCore::convert(source, output);
    }
};

class FaultTest : public EngineRunTest {
protected:
    FaultTest() { configure(core); }

    void configure(ConvertCore& engine) {
        engine.toolPath = kRealTool;
        engine.presetArgs = MkvAvi().presetArguments(0);
        engine.outputExt = "avi";
        engine.outputFolder = core.outputFolder;
    }

    // A short clip in the work folder, remembered with its bytes.
    std::string clip(const std::string& name, int seconds = 1) {
        const std::string path = work.file(name);
        fs::create_directories(fs::path(path).parent_path());
        makeClip(work, path, seconds);
        sources_.emplace_back(path, readAll(path));
        return path;
    }

    // Every clip made by clip() still exists with its bytes.
    void expectSourcesUntouched() {
        for (const auto& [path, bytes] : sources_) {
            EXPECT_EQ(readAll(path), bytes) << path;
        }
    }

    // A whole AVI that ffprobe reads: video and audio of the clip's length.
    void expectValidOutput(const std::string& path, int seconds) {
        const auto found = streams(work, path);
        EXPECT_EQ(found.size(), 2u) << path;
        EXPECT_EQ(mediaSeconds(work, path), seconds) << path;
    }

    std::vector<std::pair<std::string, std::string>> sources_;
};

// The realtime filter makes the converter take as long as the clip plays.
const char* const kRealtimeArgs = "-vcodec wmv2 -acodec wmav2 -vf realtime";

TEST_F(FaultTest, SourceDeletedAfterItWasQueued) {
    const std::string a = clip("a.mkv");
    const std::string b = work.file("b.mkv");
    makeClip(work, b, 1);
    const std::string c = clip("c.mkv");
    core.addJob(a);
    core.addJob(b);
    core.addJob(c);
    fs::remove(b);
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{100, 0, 100}));
    EXPECT_FALSE(fs::exists(outputFor("b.mkv")));
    EXPECT_FALSE(fs::exists(b));
    expectValidOutput(outputFor("a.mkv"), 1);
    expectValidOutput(outputFor("c.mkv"), 1);
    expectSourcesUntouched();
    expectNewBatchWorks(core);
}

TEST_F(FaultTest, OutputFolderRemovedBetweenJobs) {
    HookedCore engine;
    configure(engine);
    engine.beforeConvert = [&](int index) {
        if (index == 1) {
            fs::remove_all(engine.outputFolder);
        }
    };
    engine.addJob(clip("a.mkv"));
    engine.addJob(clip("b.mkv"));
    engine.addJob(clip("c.mkv"));
    runBatch(engine);

    EXPECT_EQ(engine.runState, Finished);
    // The first was finished before its folder went; the others had nowhere to go.
    EXPECT_EQ(engine.jobPercents(), (std::vector<int>{100, 0, 0}));
    expectSourcesUntouched();
    expectNewBatchWorks(engine);
}

TEST_F(FaultTest, OutputFolderRemovedDuringAConversion) {
    core.presetArgs = kRealtimeArgs;
    core.addJob(clip("a.mkv", 3));
    core.addJob(clip("b.mkv"));
    core.start();
    ASSERT_TRUE(waitFor([this] {
        ConvertJob job;
        return core.getCurrentJob(job) && job.index == 0 && job.percent > 0;
    }));
    fs::remove_all(core.outputFolder);
    waitForEnd();

    EXPECT_EQ(core.runState, Finished);
    // The converter wrote to a file that no longer has a name, and ended well: not finished.
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0}));
    expectSourcesUntouched();
    expectNewBatchWorks(core);
}

int answerYes(int, std::intptr_t) {
    return 1;
}

TEST_F(FaultTest, ConverterWithoutItsRunBit) {
    const std::string tool = work.file("core/xcoder");
    fs::create_directories(work.file("core"));
    fs::copy_file(fs::canonical(kRealTool), tool);
    fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    core.toolPath = tool;
    core.confirmCallback = answerYes;
    core.addJob(clip("a.mkv"));
    core.addJob(clip("b.mkv"));
    work.write("out/b.avi", "precious");
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0}));
    EXPECT_EQ(core.jobSnapshots().at(1).reason, "cannot start the converter: Permission denied")
        << "the shell could not run it, and said why";
    EXPECT_FALSE(fs::exists(outputFor("a.mkv")));
    EXPECT_EQ(readAll(outputFor("b.mkv")), "precious") << "a Yes is not a licence to lose it";
    expectSourcesUntouched();
    expectNewBatchWorks(core);
}

TEST_F(FaultTest, ConverterKilledBySignals) {
    core.toolPath = KESTROVA_FAKE_CONVERTER;
    core.confirmCallback = answerYes;
    const int childrenBefore = childProcesses();
    core.addJob(source("segv.mkv", "duration 00:00:01.00\noutput half\nraise SEGV\n"));
    core.addJob(source("kill.mkv", "duration 00:00:01.00\noutput half\nraise KILL\n"));
    core.addJob(source("replaced.mkv", "output fragment\nraise SEGV\n"));
    core.addJob(source("fine.mkv", "output done\n"));
    work.write("out/replaced.avi", "precious");
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0, 0, 100}));
    EXPECT_FALSE(fs::exists(outputFor("segv.mkv")));
    EXPECT_FALSE(fs::exists(outputFor("kill.mkv")));
    // Replacing was agreed to, but only by a finished file.
    EXPECT_EQ(readAll(outputFor("replaced.mkv")), "precious");
    EXPECT_EQ(core.jobSnapshots().at(1).reason, "the converter was ended by signal 9");
    EXPECT_EQ(readAll(outputFor("fine.mkv")), "done");
    EXPECT_EQ(childProcesses(), childrenBefore);
    expectNewBatchWorks(core);
}

TEST_F(FaultTest, EndlessTextWithoutLineEndsCanStillBeStopped) {
    core.toolPath = KESTROVA_FAKE_CONVERTER;
    core.addJob(source("flood.mkv", "duration 00:00:10.00\n" + eventsLine() +
                                        "flood 100000000000 frame= 1 time=00:00:05.00 \n"));
    core.addJob(source("next.mkv", "output next\n"));
    core.start();
    ASSERT_TRUE(waitFor([this] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
    const auto requested = Clock::now();
    core.requestStop();
    waitForEnd();

    EXPECT_LT(Clock::now() - requested, 10s);
    EXPECT_EQ(core.runState, Stopped);
    EXPECT_EQ(eventTimes(readEvents(eventsPath()), "q").size(), 1u) << "it quit on the first q";
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0}));
    EXPECT_FALSE(fs::exists(outputFor("flood.mkv")));
    EXPECT_FALSE(fs::exists(outputFor("next.mkv")));
    expectNewBatchWorks(core);
}

// Counts the questions an engine asked and answers No, as a careful user would.
struct Asker {
    std::atomic<int> questions{0};
};

int countAndAnswerNo(int, std::intptr_t context) {
    ++reinterpret_cast<Asker*>(context)->questions;
    return 0;
}

TEST_F(FaultTest, TwoEnginesConvertIntoTheSameFolderAtOnce) {
    // The same output name from two sources of different lengths, and one name each.
    const std::string shortX = clip("one/x.mkv", 1);
    const std::string longX = clip("two/x.mkv", 2);
    ConvertCore second;
    configure(second);
    Asker firstAsks;
    Asker secondAsks;
    core.confirmCallback = countAndAnswerNo;
    core.confirmContext = reinterpret_cast<std::intptr_t>(&firstAsks);
    second.confirmCallback = countAndAnswerNo;
    second.confirmContext = reinterpret_cast<std::intptr_t>(&secondAsks);
    core.addJob(shortX);
    core.addJob(clip("a.mkv"));
    second.addJob(longX);
    second.addJob(clip("b.mkv", 2));
    core.start();
    second.start();
    waitForEnd(core);
    waitForEnd(second);

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(second.runState, Finished);
    // Both found the name free; whichever finished second found it taken and left the other's
    // file alone, unless the first had finished before the second looked (then it asked).
    const ConvertJob mine = core.jobSnapshots().at(0);
    const ConvertJob theirs = second.jobSnapshots().at(0);
    ASSERT_NE(mine.percent, theirs.percent);
    const ConvertJob& lost = mine.percent == 0 ? mine : theirs;
    if (firstAsks.questions + secondAsks.questions == 0) {
        EXPECT_EQ(lost.reason, "another program took the output name meanwhile");
    } else {
        EXPECT_EQ(lost.percent, 100) << "kept after a No";
    }
    EXPECT_EQ(core.jobPercents().at(1), 100);
    EXPECT_EQ(second.jobPercents().at(1), 100);
    expectValidOutput(outputFor("x.mkv"), mine.percent == 100 ? 1 : 2);
    expectValidOutput(outputFor("a.mkv"), 1);
    expectValidOutput(outputFor("b.mkv"), 2);
    expectSourcesUntouched();
}

TEST_F(FaultTest, TwoEnginesShareTheDataFolderWithoutCollisions) {
    // Quick jobs in both at once: scripts and logs are made in the same milliseconds.
    ConvertCore second;
    configure(second);
    core.toolPath = KESTROVA_FAKE_CONVERTER;
    second.toolPath = KESTROVA_FAKE_CONVERTER;
    constexpr int kJobs = 15;
    for (int i = 0; i < kJobs; ++i) {
        for (ConvertCore* engine : {&core, &second}) {
            const std::string name = (engine == &core ? "first" : "second") + std::to_string(i);
            const int seconds = (engine == &core ? 1 : 30) + i;
            engine->addJob(source(name + ".mkv", "duration 00:00:" + std::to_string(seconds) +
                                                     ".00\noutput " + name + "\n"));
        }
    }
    core.start();
    second.start();
    waitForEnd(core);
    waitForEnd(second);

    EXPECT_EQ(core.jobPercents(), std::vector<int>(kJobs, 100));
    EXPECT_EQ(second.jobPercents(), std::vector<int>(kJobs, 100));
    for (int i = 0; i < kJobs; ++i) {
        for (const std::string name : {"first", "second"}) {
            const std::string job = name + std::to_string(i);
            EXPECT_EQ(readAll(outputFor(job + ".mkv")), job);
            EXPECT_EQ((name == "first" ? core : second).jobSnapshots().at(i).durationSeconds,
                      (name == "first" ? 1 : 30) + i)
                << "each probe read its own log";
        }
    }
}

// Holds the question open until the owner has asked for a stop, then answers Yes.
struct SlowAnswer {
    ConvertCore* engine = nullptr;
    std::atomic<bool> asked{false};
};

int yesAfterAStop(int, std::intptr_t context) {
    auto& answer = *reinterpret_cast<SlowAnswer*>(context);
    answer.asked = true;
    EXPECT_TRUE(waitFor([&answer] { return answer.engine->runState == StopRequested; }));
    return 1;
}

TEST_F(FaultTest, StopWhileTheReplaceQuestionIsOpen) {
    core.addJob(clip("a.mkv"));
    core.addJob(clip("b.mkv"));
    work.write("out/a.avi", "precious");
    SlowAnswer answer;
    answer.engine = &core;
    core.confirmCallback = yesAfterAStop;
    core.confirmContext = reinterpret_cast<std::intptr_t>(&answer);
    core.start();
    ASSERT_TRUE(waitFor([&answer] { return answer.asked.load(); }));
    core.requestStop();
    waitForEnd();

    EXPECT_EQ(core.runState, Stopped);
    EXPECT_EQ(readAll(outputFor("a.mkv")), "precious") << "the stop came before the Yes";
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0}));
    EXPECT_EQ(core.jobSnapshots().at(1).outputPath, "");
    EXPECT_FALSE(fs::exists(outputFor("b.mkv")));
    expectSourcesUntouched();
    expectNewBatchWorks(core);
}

TEST_F(FaultTest, SourceThatNeverAnswersEndsItsJobByTheProbesTimeLimit) {
    const std::string fifo = work.file("pipe.mkv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    core.addJob(fifo);
    // Every probe has the limit: a second job's could outlast so short a one on a busy machine.
    core.probeTimeLimit = 1s;
    runBatch();
    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0}));
    EXPECT_EQ(core.jobSnapshots().at(0).reason, "the source did not answer within 1 s");
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// The program killed outright, during the probe and mid-conversion: the converter goes too,
// the output name stays free, and nothing unfinished is left in the output or data folder.
TEST_F(FaultTest, NoConverterOutlivesAKilledProgram) {
    for (const std::string stage : {"probe", "start"}) {
        const std::string events = eventsPath(stage);
        const std::string recipe =
            stage == "probe" ? "probe-sleep 60000\n" : "output partial\nsleep 60000\n";
        const std::string source = work.write(stage + ".mkv", "events " + events + "\n" + recipe);
        const std::string pidFile = work.file(stage + ".pid");
        const std::string script = work.write(
            stage + ".sh", "echo $$ >" + shellQuote(pidFile) + "; exec " +
                               shellQuote(KESTROVA_BATCH_RUNNER) + " " +
                               shellQuote(KESTROVA_FAKE_CONVERTER) + " " +
                               shellQuote(core.outputFolder) + " '' " + shellQuote(source) + "\n");
        auto program = platform::Process::startScript(script, {});
        ASSERT_TRUE(program);
        ASSERT_TRUE(waitFor([&] { return !eventTimes(readEvents(events), stage).empty(); }));
        const auto pids = eventTimes(readEvents(events), "pid");
        ASSERT_FALSE(pids.empty());
        const auto killed = Clock::now();
        ASSERT_EQ(::kill(static_cast<pid_t>(std::stoll(readAll(pidFile))), SIGKILL), 0);
        EXPECT_TRUE(waitFor([&] { return processGone(pids.back()); })) << stage;
        std::cout
            << "converter gone "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()
            << " ms after SIGKILL of the program (" << stage << ")" << std::endl;
        EXPECT_TRUE(waitFor([&] {
            return testing_support::filesUnder(core.outputFolder).empty() &&
                   testing_support::filesUnder(platform::dataFolder()).empty();
        })) << stage;
    }
}

TEST_F(FaultTest, SourceThatNeverAnswersCanBeStoppedDuringTheProbe) {
    // Opening a FIFO blocks until someone writes to it: the probe hangs there.
    const std::string fifo = work.file("pipe.mkv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    core.addJob(fifo);
    core.addJob(clip("b.mkv"));
    const int childrenBefore = childProcesses();
    core.start();
    ASSERT_TRUE(waitFor([&] { return childProcesses() > childrenBefore; })) << "the probe runs";
    const auto requested = Clock::now();
    core.requestStop();
    waitForEnd();

    EXPECT_LT(Clock::now() - requested, 10s);
    EXPECT_EQ(core.runState, Stopped);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0}));
    EXPECT_FALSE(fs::exists(outputFor("pipe.mkv")));
    EXPECT_TRUE(fs::is_fifo(fifo));
    expectSourcesUntouched();
    expectNewBatchWorks(core);
}

}  // namespace
