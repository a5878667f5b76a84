#include "convert_core.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ConvertCoreQueueTest, DuplicatesAreExactByteMatches) {
    ConvertCore core;
    EXPECT_TRUE(core.addJob("C:\\v\\a.mkv"));
    EXPECT_FALSE(core.addJob("C:\\v\\a.mkv"));
    EXPECT_EQ(core.jobCount(), 1);
    EXPECT_TRUE(core.addJob("C:\\v\\A.mkv"));
    EXPECT_EQ(core.jobCount(), 2);
    EXPECT_TRUE(core.hasJob("C:\\v\\A.mkv"));
    EXPECT_FALSE(core.hasJob("C:\\v\\a.MKV"));
}

TEST(ConvertCoreQueueTest, ClearingStartsIndexesAgain) {
    ConvertCore core;
    core.addJob("/a.mkv");
    core.addJob("/b.mkv");
    core.setJobPercent(1, 100);
    EXPECT_TRUE(core.clearJobs());
    EXPECT_EQ(core.jobCount(), 0);
    EXPECT_EQ(core.currentIndex, -1);
    EXPECT_FALSE(core.hasJob("/a.mkv"));
    EXPECT_EQ(core.countFinishedJobs(), 0);
    core.addJob("/b.mkv");
    EXPECT_EQ(core.jobPercents(), std::vector<int>{0});
    core.currentIndex = 0;
    ConvertJob job;
    ASSERT_TRUE(core.getCurrentJob(job));
    EXPECT_EQ(job.index, 0);
    EXPECT_EQ(job.sourcePath, "/b.mkv");
    EXPECT_EQ(job.outputPath, "");
    EXPECT_EQ(job.durationSeconds, 0);
}

TEST(ConvertCoreQueueTest, PercentIsClampedAndBoundsAreIgnored) {
    ConvertCore core;
    core.addJob("/a.mkv");
    core.addJob("/b.mkv");
    core.setJobPercent(0, -5);
    core.setJobPercent(1, 150);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{0, 100}));
    core.setJobPercent(0, 42);
    core.setJobPercent(2, 50);
    core.setJobPercent(-1, 50);
    EXPECT_EQ(core.jobPercents(), (std::vector<int>{42, 100}));
}

TEST(ConvertCoreQueueTest, CurrentJobIsCopiedOnlyWhenThereIsOne) {
    ConvertCore core;
    ConvertJob untouched;
    untouched.index = 7;
    untouched.sourcePath = "keep";
    EXPECT_FALSE(core.getCurrentJob(untouched));
    core.addJob("/a.mkv");
    EXPECT_FALSE(core.getCurrentJob(untouched));
    EXPECT_EQ(untouched.index, 7);
    EXPECT_EQ(untouched.sourcePath, "keep");

    core.currentIndex = 0;
    core.setJobPercent(0, 40);
    ConvertJob copy;
    ASSERT_TRUE(core.getCurrentJob(copy));
    EXPECT_EQ(copy.percent, 40);
    core.clearJobs();
    EXPECT_FALSE(core.getCurrentJob(untouched));
    EXPECT_EQ(untouched.sourcePath, "keep");
}

TEST(ConvertCoreQueueTest, OnlyExactlyHundredCountsAsFinished) {
    ConvertCore core;
    EXPECT_EQ(core.countFinishedJobs(), 0);
    core.addJob("/a.mkv");
    core.addJob("/b.mkv");
    core.addJob("/c.mkv");
    core.setJobPercent(0, 99);
    core.setJobPercent(1, 100);
    core.setJobPercent(2, 250);
    EXPECT_EQ(core.countFinishedJobs(), 2);
}

TEST(ConvertCoreQueueTest, FreshEngineIsIdleAndReady) {
    auto core = std::make_unique<ConvertCore>();
    EXPECT_TRUE(core->isReady());
    EXPECT_EQ(core->runState, Idle);
    EXPECT_EQ(core->currentIndex, -1);
    EXPECT_FALSE(core->converting);
    EXPECT_EQ(core->confirmCallback, nullptr);
    EXPECT_EQ(Idle, 0);
    EXPECT_EQ(Running, 1);
    EXPECT_EQ(StopRequested, 2);
    EXPECT_EQ(Stopped, 3);
    EXPECT_EQ(Finished, 4);
    core->addJob("/a.mkv");
    core.reset();  // destroying an engine that never ran leaks nothing (checked under ASan)
}

}  // namespace
