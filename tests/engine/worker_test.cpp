// The run loop with the fake converter: how each job ends, stopping, and batches that follow
// one another.

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_test_support.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;

class WorkerTest : public EngineRunTest {};

TEST_F(WorkerTest, RequestStopWaitsASecondWhenIdleAndReturnsSoonWhenFinished) {
    auto started = Clock::now();
    core.requestStop();
    auto took = Clock::now() - started;
    EXPECT_EQ(core.runState, Idle);
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 5s);

    runBatch();
    EXPECT_EQ(core.runState, Finished);
    started = Clock::now();
    core.requestStop();
    took = Clock::now() - started;
    EXPECT_EQ(core.runState, Finished);
    EXPECT_GE(took, 100ms);
    EXPECT_LT(took, 900ms);
}

TEST_F(WorkerTest, StartWithoutJobsFinishesAtOnce) {
    EXPECT_TRUE(core.start());
    waitForEnd();
    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.currentIndex, -1);
    EXPECT_EQ(core.countFinishedJobs(), 0);
    ConvertJob job;
    EXPECT_FALSE(core.getCurrentJob(job));
}

// The callback answers for each job by its output's name, as a user would after reading it.
std::map<std::string, int> answers;
ConvertCore* answeringCore = nullptr;

int answerByName(int code, std::intptr_t context) {
    EXPECT_EQ(code, ConfirmOverwrite);
    EXPECT_EQ(context, 42);
    ConvertJob job;
    // The lock is free while the question is open.
    EXPECT_TRUE(answeringCore->getCurrentJob(job));
    const std::string name = std::filesystem::path(job.outputPath).filename().string();
    return answers.count(name) > 0 ? answers[name] : 0;
}

TEST_F(WorkerTest, EachJobEndsByTheConvertersStatusAndItsOutput) {
    const std::string failing = "output fragment\nprint Disk on fire\\n\nexit 1\n";
    core.addJob(source("fails.mkv", failing));
    core.addJob(source("replaced.mkv", failing + eventsLine("replaced")));
    core.addJob(source("kept.mkv", "output new\n" + eventsLine("kept")));
    core.addJob(source("works.mkv", "duration 00:00:01.00\noutput done\n"));
    core.addJob(source("nothing.mkv", "exit 0\n"));
    core.addJob(source("crashes.mkv", "output half\nraise SEGV\n"));
    core.addJob(source("caught.mkv",
                       "output half\nprint Output #0, avi, to 'x':\\nExiting "
                       "normally, received signal 15.\\n\nexit 255\n"));
    work.write("out/replaced.avi", "precious");
    work.write("out/kept.avi", "keep me");
    answers = {{"replaced.avi", 1}, {"kept.avi", 7}};
    answeringCore = &core;
    core.confirmCallback = answerByName;
    core.confirmContext = 42;
    runBatch();

    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 0, 100, 100, 0, 0, 0}));
    // A failed converter's fragment never reaches the output name, and a file the user agreed
    // to replace stays as it was when the replacement fails.
    EXPECT_FALSE(std::filesystem::exists(outputFor("fails.mkv")));
    EXPECT_FALSE(std::filesystem::exists(outputFor("crashes.mkv")));
    EXPECT_FALSE(std::filesystem::exists(outputFor("caught.mkv")));
    EXPECT_EQ(readAll(outputFor("replaced.mkv")), "precious");
    EXPECT_FALSE(readEvents(eventsPath("replaced")).empty());
    // Kept by the user's answer: untouched, never converted, and counted as finished.
    EXPECT_EQ(readAll(outputFor("kept.mkv")), "keep me");
    EXPECT_TRUE(readEvents(eventsPath("kept")).empty());
    EXPECT_EQ(readAll(outputFor("works.mkv")), "done");
    EXPECT_EQ(core.countFinishedJobs(), 2);
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder).size(), 3u) << "no temporary file";

    std::vector<std::pair<JobOutcome, std::string>> outcomes;
    for (const ConvertJob& job : core.jobSnapshots()) {
        outcomes.emplace_back(job.outcome, job.reason);
    }
    const std::pair<JobOutcome, std::string> crash =
#ifdef _WIN32
        {JobOutcome::Failed, "the converter ended with exit status 255"};
#else
        {JobOutcome::Failed, "the converter was ended by signal 11"};
#endif
    EXPECT_EQ(outcomes, (std::vector<std::pair<JobOutcome, std::string>>{
                            {JobOutcome::Failed, "Disk on fire"},
                            {JobOutcome::Failed, "Disk on fire"},
                            {JobOutcome::Kept, ""},
                            {JobOutcome::Converted, ""},
                            {JobOutcome::Failed, "the converter wrote no output"},
                            crash,
                            {JobOutcome::Failed, "the converter was ended by signal 15"},
                        }));
}

TEST_F(WorkerTest, AFreeNameTakenByAnotherProgramMeanwhileIsNotOverwritten) {
    const std::string flag = work.file("taken");
    core.addJob(source("clip.mkv", eventsLine() + "output ours\nwait-for " + flag + "\n"));
    core.start();
    ASSERT_TRUE(waitFor([&] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
    work.write("out/clip.avi", "theirs");
    work.write("taken", "");
    waitForEnd();
    EXPECT_EQ(readAll(outputFor("clip.mkv")), "theirs");
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder).size(), 1u) << "no temporary file";
    const ConvertJob job = core.jobSnapshots().at(0);
    EXPECT_EQ(job.percent, 0);
    EXPECT_EQ(job.reason, "another program took the output name meanwhile");
}

#ifndef _WIN32
// A sync tool or a rotation script moves the folder away and makes a new one in its place.
TEST_F(WorkerTest, AnOutputFolderReplacedMidConversionGetsNoFileAndKeepsNoTemporary) {
    const std::string flag = work.file("renamed");
    core.addJob(source("clip.mkv", eventsLine() + "output ours\nwait-for " + flag + "\n"));
    work.write("out/clip.avi", "old");
    core.confirmCallback = [](int, std::intptr_t) { return int{ConfirmReplace}; };
    core.start();
    ASSERT_TRUE(waitFor([&] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
    const std::string moved = work.file("moved");
    std::filesystem::rename(core.outputFolder, moved);
    std::filesystem::create_directories(core.outputFolder);
    work.write("renamed", "");
    waitForEnd();
    EXPECT_EQ(testing_support::filesUnder(moved), std::vector<std::string>{moved + "/clip.avi"});
    EXPECT_EQ(readAll(moved + "/clip.avi"), "old");
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{});
    EXPECT_EQ(core.jobSnapshots().at(0).reason,
              "the output folder was moved or replaced during the conversion");
}
#endif

TEST_F(WorkerTest, TheSameOutputTwiceInOneBatchIsMadeOnceAndNeverAsked) {
    std::filesystem::create_directories(work.file("a"));
    std::filesystem::create_directories(work.file("b"));
    const std::string sep(1, platform::kPathSeparator);
    const std::string first = source("a" + sep + "x.mkv", "output first\n");
    core.addJob(first);
    core.addJob(source("b" + sep + "x.mkv", "output second\n" + eventsLine()));
    core.confirmCallback = [](int, std::intptr_t) {
        ADD_FAILURE() << "asked";
        return 1;
    };
    runBatch();
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{100, 0}));
    EXPECT_EQ(readAll(core.outputFolder + sep + "x.avi"), "first");
    EXPECT_TRUE(readEvents(eventsPath()).empty());
    EXPECT_EQ(core.jobSnapshots().at(1).reason, "same output as " + first);
}

TEST_F(WorkerTest, AConversionThatEndsEarlyWithSuccessIsShortNotFinished) {
    core.addJob(source("half.mkv",
                       "duration 00:00:30.00\nprint frame= 9 time=00:00:14.96 \\r\n"
                       "end-time 00:00:14.96\noutput half\n"));
    core.addJob(source("close.mkv", "duration 00:00:30.00\nend-time 00:00:29.50\noutput whole\n"));
    runBatch();
    const auto jobs = core.jobSnapshots();
    EXPECT_EQ(jobs.at(0).outcome, JobOutcome::Short);
    EXPECT_EQ(jobs.at(0).reason, "converted 0:14 of 0:30; the source may be damaged or cut short");
    EXPECT_EQ(jobs.at(0).percent, 50) << "the last percent reached";
    EXPECT_EQ(readAll(outputFor("half.mkv")), "half") << "all the converter could make of it";
    EXPECT_EQ(jobs.at(1).outcome, JobOutcome::Converted) << "within the margin";
    EXPECT_EQ(core.countFinishedJobs(), 1);
}

#ifndef _WIN32
// Only a file (or a link to one) at the output name is the user's to keep or replace.
TEST_F(WorkerTest, AnythingButAFileAtTheOutputNameFailsTheJobUnasked) {
    std::filesystem::create_directories(work.file("out/folder.avi"));
    ASSERT_EQ(::mkfifo(work.file("out/fifo.avi").c_str(), 0600), 0);
    std::filesystem::create_symlink(work.file("nowhere"), work.file("out/dangling.avi"));
    for (const char* name : {"folder", "fifo", "dangling"}) {
        core.addJob(source(std::string(name) + ".mkv", "output new\n" + eventsLine()));
    }
    core.confirmCallback = [](int, std::intptr_t) {
        ADD_FAILURE() << "asked";
        return 1;
    };
    runBatch();
    std::vector<std::string> reasons;
    for (const ConvertJob& job : core.jobSnapshots()) {
        EXPECT_EQ(job.outcome, JobOutcome::Failed);
        reasons.push_back(job.reason);
    }
    EXPECT_EQ(reasons, (std::vector<std::string>{"the output name is taken by a folder",
                                                 "the output name is taken by a FIFO",
                                                 "the output name is taken by a link that leads "
                                                 "nowhere"}));
    EXPECT_TRUE(readEvents(eventsPath()).empty()) << "nothing converted";
    EXPECT_TRUE(std::filesystem::is_symlink(work.file("out/dangling.avi")));
    EXPECT_FALSE(std::filesystem::exists(work.file("nowhere")));
}
#endif

TEST_F(WorkerTest, KeepAndStopKeepsTheFileAndStopsTheBatch) {
    core.addJob(source("a.mkv", "output new\n" + eventsLine("a")));
    core.addJob(source("b.mkv", "output new\n" + eventsLine("b")));
    work.write("out/a.avi", "keep me");
    core.confirmCallback = [](int, std::intptr_t) { return int{ConfirmKeepAndStop}; };
    runBatch();
    EXPECT_EQ(core.runState, Stopped);
    EXPECT_EQ(readAll(outputFor("a.mkv")), "keep me");
    const auto jobs = core.jobSnapshots();
    EXPECT_EQ(jobs.at(0).outcome, JobOutcome::Kept);
    EXPECT_EQ(jobs.at(0).percent, 100);
    EXPECT_EQ(jobs.at(1).outcome, JobOutcome::NotStarted);
    EXPECT_TRUE(readEvents(eventsPath("b")).empty());
}

TEST_F(WorkerTest, AnUnwritableDataFolderFailsTheJobWithTheReason) {
    const std::string folder = work.write("plain", "") + platform::kPathSeparator + "data";
    testing_support::ScopedDataHome home(folder);
    core.addJob(source("clip.mkv", "output new\n"));
    runBatch();
    const ConvertJob job = core.jobSnapshots().at(0);
    EXPECT_EQ(job.outcome, JobOutcome::Failed);
    // The folder in the way is named, and why it cannot be used.
    EXPECT_EQ(job.reason.rfind("cannot use " + work.file("plain"), 0), 0u) << job.reason;
    EXPECT_NE(job.reason.find(" for the program's data: "), std::string::npos) << job.reason;
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{});
}

#ifndef _WIN32
TEST_F(WorkerTest, AReadOnlyDataFolderIsNamedAsTheReason) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a read-only file system needs root";
    }
    const std::string folder = work.file("readonly");
    std::filesystem::create_directories(folder);
    if (::mount("kestrova-test", folder.c_str(), "tmpfs", MS_RDONLY, "size=8k,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a read-only file system: " << std::strerror(errno);
    }
    testing_support::ScopedDataHome home(folder);
    core.addJob(source("clip.mkv", "output new\n"));
    runBatch();
    const std::string reason = core.jobSnapshots().at(0).reason;
    ::umount2(folder.c_str(), MNT_DETACH);
    EXPECT_EQ(reason,
              "cannot use " + folder + "/Vantrel for the program's data: Read-only file system");
}
#endif

TEST_F(WorkerTest, ExistingOutputWithoutACallbackIsKept) {
    core.addJob(source("clip.mkv", "output replaced\n" + eventsLine()));
    work.write("out/clip.avi", "old");
    runBatch();
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    EXPECT_EQ(readAll(outputFor("clip.mkv")), "old");
    EXPECT_TRUE(readEvents(eventsPath()).empty());
}

TEST_F(WorkerTest, TheSameFileThroughALinkIsNeverConvertedOntoItself) {
    // The source already has the output's extension; the output folder is a link to its folder.
    const std::string original = source("movie.avi", "output destroyed\n" + eventsLine());
#ifdef _WIN32
    // Links need a privilege on Windows; there the same folder comes back in other letters.
    std::string folder = work.path();
    for (char& c : folder) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string expected = folder + "\\movie.avi";
#else
    std::filesystem::create_directory_symlink(work.path(), work.file("link"));
    const std::string folder = work.file("link");
    const std::string expected = work.file("link/movie.avi");
#endif
    core.outputFolder = folder;
    core.addJob(original);
    runBatch();
    const ConvertJob job = core.jobSnapshots().at(0);
    EXPECT_EQ(job.outputPath, expected);
    EXPECT_EQ(job.percent, 100);
    EXPECT_EQ(readAll(original), "output destroyed\n" + eventsLine());
    EXPECT_TRUE(readEvents(eventsPath()).empty());
}

// A converter that is slow to quit: requestStop gives up after its second while the worker
// goes on waiting.
class SlowStopTest : public WorkerTest {
protected:
    void startSlowStop(ConvertCore& engine) {
        engine.toolPath = KESTROVA_FAKE_CONVERTER;
        engine.outputFolder = core.outputFolder;
        engine.outputExt = "avi";
        engine.addJob(source("slow.mkv", "duration 00:00:10.00\n" + eventsLine() +
                                             "on-q ignore\noutput partial\nsleep 2000\n"));
        engine.start();
        ASSERT_TRUE(
            waitFor([&] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
        engine.requestStop();
        ASSERT_EQ(engine.runState, StopRequested) << "the worker is still ending";
    }

    // When the converter of the first run ended.
    std::int64_t firstEnd() {
        const auto ends = eventTimes(readEvents(eventsPath()), "end");
        return ends.empty() ? -1 : ends.front();
    }
};

TEST_F(SlowStopTest, ClearingJobsWaitsForTheWorker) {
    startSlowStop(core);
    EXPECT_TRUE(core.clearJobs());
    const std::int64_t returned = monotonicMs();
    EXPECT_EQ(core.runState, Stopped);
    ASSERT_NE(firstEnd(), -1);
    EXPECT_LE(firstEnd(), returned);
    EXPECT_EQ(core.jobCount(), 0);
}

TEST_F(SlowStopTest, StartingAgainWaitsForTheWorker) {
    startSlowStop(core);
    // The second run, quick this time, replaces the first one's partial output.
    source("slow.mkv", "duration 00:00:10.00\n" + eventsLine() + "output partial\n");
    core.confirmCallback = [](int, std::intptr_t) { return 1; };
    core.start();
    const std::int64_t returned = monotonicMs();
    ASSERT_NE(firstEnd(), -1);
    EXPECT_LE(firstEnd(), returned);
    waitForEnd();
    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(eventTimes(readEvents(eventsPath()), "start").size(), 2u);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
}

TEST_F(SlowStopTest, DestroyingTheEngineWaitsForTheWorker) {
    auto engine = std::make_unique<ConvertCore>();
    startSlowStop(*engine);
    engine.reset();
    const std::int64_t returned = monotonicMs();
    ASSERT_NE(firstEnd(), -1);
    EXPECT_LE(firstEnd(), returned);
}

}  // namespace
