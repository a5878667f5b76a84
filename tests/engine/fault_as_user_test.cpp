// Faults that only an ordinary user meets: a source that cannot be read, an output folder or a
// data folder that cannot be written. Root ignores permission bits, so the batch runs in a
// process of its own (tests/tools/batch_runner) that, when the tests run as root, gives up root
// for "nobody" before it starts; the test changes permissions while the runner waits.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "line_child.h"
#include "media_preset.h"
#include "real_converter_support.h"
#include "script.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// One run of the batch runner, read line by line.
class BatchRunner : public LineChild {
public:
    BatchRunner(const testing_support::TempDir& scratch, const std::vector<std::string>& arguments)
        : LineChild(scratch, KESTROVA_BATCH_RUNNER, arguments) {}
};

class AsUserTest : public EngineRunTest {
protected:
    AsUserTest() : dataFolder_(platform::dataFolder()), root_(::geteuid() == 0) {}

    // A short clip in the work folder, remembered with its bytes.
    std::string clip(const std::string& name) {
        const std::string path = work.file(name);
        makeClip(scratch_, path, 1);
        sources_.emplace_back(path, readAll(path));
        return path;
    }

    // Starts the runner on the sources with the real converter, as nobody when we are root.
    // The work and data folders become the runner's own.
    std::unique_ptr<BatchRunner> startRunner(std::vector<std::string> options,
                                             const std::vector<std::string>& sources) {
        if (root_) {
            for (const std::string& folder : {work.path(), dataFolder_}) {
                handOver(folder);
            }
            options.insert(options.begin(), "--as-nobody");
        }
        options.push_back(fs::canonical(kRealTool).string());
        options.push_back(core.outputFolder);
        options.push_back(MkvAvi().presetArguments(0));
        options.insert(options.end(), sources.begin(), sources.end());
        auto runner = std::make_unique<BatchRunner>(scratch_, options);
        const std::string ready = runner->line();
        if (ready.rfind("ready ", 0) != 0) {
            skipReason_ = ready.empty() ? "the batch runner did not start" : ready;
            return nullptr;
        }
        return runner;
    }

    static void handOver(const std::string& folder) {
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
        }
    }

    void expectSourcesUntouched() {
        for (const auto& [path, bytes] : sources_) {
            EXPECT_EQ(readAll(path), bytes) << path;
        }
    }

    void expectValidOutput(const std::string& path) {
        EXPECT_EQ(streams(scratch_, path).size(), 2u) << path;
        EXPECT_EQ(mediaSeconds(scratch_, path), 1) << path;
    }

    static void setMode(const std::string& path, fs::perms mode) { fs::permissions(path, mode); }

    const std::string dataFolder_;
    const bool root_;
    std::string skipReason_;
    // Launch scripts and ffprobe's, out of the runner's reach.
    testing_support::TempDir scratch_;
    std::vector<std::pair<std::string, std::string>> sources_;
};

constexpr auto kReadOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;

TEST_F(AsUserTest, SourceMadeUnreadableAfterItWasQueued) {
    const std::string a = clip("a.mkv");
    const std::string b = clip("b.mkv");
    const std::string c = clip("c.mkv");
    auto runner = startRunner({"--wait-queued"}, {a, b, c});
    if (!runner) {
        GTEST_SKIP() << skipReason_;
    }
    ASSERT_EQ(runner->line(), "queued");
    setMode(b, fs::perms::none);
    runner->go();
    EXPECT_EQ(runner->line(), "end 4 100 0 100");
    setMode(b, fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_FALSE(fs::exists(outputFor("b.mkv")));
    expectValidOutput(outputFor("a.mkv"));
    expectValidOutput(outputFor("c.mkv"));
    expectSourcesUntouched();
}

TEST_F(AsUserTest, OutputFolderMadeReadOnlyDuringTheBatch) {
    const std::string a = clip("a.mkv");
    const std::string b = clip("b.mkv");
    const std::string c = clip("c.mkv");
    auto runner = startRunner({"--wait-after", "0"}, {a, b, c});
    if (!runner) {
        GTEST_SKIP() << skipReason_;
    }
    ASSERT_EQ(runner->line(), "after 0");
    const std::string first = readAll(outputFor("a.mkv"));
    setMode(core.outputFolder, kReadOnly);
    runner->go();
    EXPECT_EQ(runner->line(), "end 4 100 0 0");
    setMode(core.outputFolder, fs::perms::owner_all);

    EXPECT_EQ(readAll(outputFor("a.mkv")), first);
    expectValidOutput(outputFor("a.mkv"));
    EXPECT_FALSE(fs::exists(outputFor("b.mkv")));
    EXPECT_FALSE(fs::exists(outputFor("c.mkv")));
    expectSourcesUntouched();
}

TEST_F(AsUserTest, DataFolderNotWritableEndsTheBatchWithNothingConverted) {
    const std::string a = clip("a.mkv");
    const std::string b = clip("b.mkv");
    auto runner = startRunner({"--wait-queued"}, {a, b});
    if (!runner) {
        GTEST_SKIP() << skipReason_;
    }
    ASSERT_EQ(runner->line(), "queued");
    setMode(dataFolder_, kReadOnly);
    const auto started = Clock::now();
    runner->go();
    EXPECT_EQ(runner->line(), "end 4 0 0");
    EXPECT_LT(Clock::now() - started, 20s);
    setMode(dataFolder_, fs::perms::owner_all);

    EXPECT_TRUE(fs::is_empty(dataFolder_));
    EXPECT_FALSE(fs::exists(outputFor("a.mkv")));
    EXPECT_FALSE(fs::exists(outputFor("b.mkv")));
    expectSourcesUntouched();
}

TEST_F(AsUserTest, WithoutRoomForTheProbesLogTheJobFailsWithTheReason) {
    // The scripts' folder can be written, the data folder around it (where probe logs go) not.
    fs::create_directories(dataFolder_ + "/Vantrel");
    const std::string a = clip("a.mkv");
    auto runner = startRunner({"--wait-queued"}, {a});
    if (!runner) {
        GTEST_SKIP() << skipReason_;
    }
    ASSERT_EQ(runner->line(), "queued");
    setMode(dataFolder_, kReadOnly);
    runner->go();
    EXPECT_EQ(runner->line(), "end 4 0");
    EXPECT_EQ(runner->line(),
              "reason 0: cannot write the probe's log in " + dataFolder_ + ": Permission denied");
    setMode(dataFolder_, fs::perms::owner_all);

    EXPECT_FALSE(fs::exists(outputFor("a.mkv")));
    expectSourcesUntouched();
}

}  // namespace
