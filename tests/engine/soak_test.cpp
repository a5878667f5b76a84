// Five hundred jobs through one engine with the fake converter: afterwards the process holds no
// more descriptors, children or memory than before, and every job ended as it should.
// Labelled "soak": make soak runs it, make test leaves it out.

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;
namespace fs = std::filesystem;

constexpr int kJobs = 500;
constexpr std::int64_t kMemoryGrowthLimit = 8 << 20;

// What becomes of a job, by its number.
enum class Kind { Converts, Fails, Crashes, Kept, Replaced, kCount };

Kind kindOf(int n) {
    return static_cast<Kind>(n % static_cast<int>(Kind::kCount));
}

// Answers by the output's name: replace the "replaced" ones, keep the rest.
int answerByName(int, std::intptr_t context) {
    ConvertJob job;
    if (!reinterpret_cast<ConvertCore*>(context)->getCurrentJob(job)) {
        return 0;
    }
    return job.outputPath.find("replaced") != std::string::npos ? 1 : 0;
}

class SoakTest : public EngineRunTest {
protected:
    SoakTest() {
        core.confirmCallback = answerByName;
        core.confirmContext = reinterpret_cast<std::intptr_t>(&core);
    }

    std::string name(int batch, int n) {
        static const char* const names[] = {"converts", "fails", "crashes", "kept", "replaced"};
        return std::to_string(batch) + "-" + std::to_string(n) + "-" +
               names[static_cast<int>(kindOf(n))];
    }

    // Queues jobs of every kind and returns the percent each must end at.
    std::vector<int> queue(int batch, int count) {
        core.clearJobs();
        std::vector<int> expected;
        for (int n = 0; n < count; ++n) {
            const std::string job = name(batch, n);
            const std::string status = "print frame= 1 time=00:00:01.00 \\r\n";
            std::string recipe = "duration 00:00:02.00\n";
            switch (kindOf(n)) {
                case Kind::Converts:
                case Kind::Replaced:
                    recipe += status + "output " + job + "\n";
                    expected.push_back(100);
                    break;
                case Kind::Fails:
                    recipe += status + "output fragment\nexit 1\n";
                    expected.push_back(0);
                    break;
                case Kind::Crashes:
                    recipe += "output fragment\nraise SEGV\n";
                    expected.push_back(0);
                    break;
                case Kind::Kept:
                    recipe += "output replaced without a yes\n";
                    expected.push_back(100);
                    break;
                case Kind::kCount:
                    break;
            }
            if (kindOf(n) == Kind::Kept || kindOf(n) == Kind::Replaced) {
                work.write("out/" + job + ".avi", "before");
            }
            core.addJob(source(job + ".mkv", recipe));
        }
        return expected;
    }

    void expectOutputs(int batch, int count) {
        for (int n = 0; n < count; ++n) {
            const std::string job = name(batch, n);
            const std::string output = work.file("out/" + job + ".avi");
            switch (kindOf(n)) {
                case Kind::Converts:
                case Kind::Replaced:
                    EXPECT_EQ(readAll(output), job);
                    break;
                case Kind::Fails:
                case Kind::Crashes:
                    EXPECT_FALSE(fs::exists(output)) << output;
                    break;
                case Kind::Kept:
                    EXPECT_EQ(readAll(output), "before");
                    break;
                case Kind::kCount:
                    break;
            }
        }
    }
};

TEST_F(SoakTest, FiveHundredJobsLeaveNothingBehind) {
    // A first small batch settles what stays for the life of the process (allocator pools,
    // the thread's first stack).
    const std::vector<int> warmUp = queue(0, 20);
    runBatch();
    ASSERT_EQ(core.jobPercents(), warmUp);
    core.clearJobs();

    const int descriptors = openDescriptors();
    const int children = childProcesses();
    const std::int64_t memory = residentBytes();

    const std::vector<int> expected = queue(1, kJobs);
    const auto started = Clock::now();
    runBatch();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    EXPECT_EQ(core.runState, Finished);
    const std::vector<int> percents = core.jobPercents();
    ASSERT_EQ(percents.size(), expected.size());
    int wrong = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (percents[i] != expected[i]) {
            ADD_FAILURE() << "job " << i << " ended at " << percents[i] << ", not " << expected[i];
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    expectOutputs(1, kJobs);

    const int descriptorsAfter = openDescriptors();
    const int childrenAfter = childProcesses();
    const std::int64_t memoryAfter = residentBytes();
    EXPECT_LE(descriptorsAfter, descriptors);
    EXPECT_LE(childrenAfter, children);
    EXPECT_LT(memoryAfter - memory, kMemoryGrowthLimit);

    std::cout << "soak: " << kJobs << " jobs in " << seconds << " s (" << seconds * 1000 / kJobs
              << " ms a job), " << core.countFinishedJobs() << " finished; descriptors "
              << descriptors << " -> " << descriptorsAfter << "; children " << children << " -> "
              << childrenAfter << "; resident memory " << memory / 1024 << " KiB -> "
              << memoryAfter / 1024 << " KiB\n";
    RecordProperty("seconds", std::to_string(seconds));
    RecordProperty("rss_growth_kib", std::to_string((memoryAfter - memory) / 1024));
}

}  // namespace
