// Two kestrova-cli processes converting into one folder at the same time, sharing the data
// folder: neither loses a file nor writes over one the other made.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace {

using testing_support::readAll;
using testing_support::TempDir;
namespace fs = std::filesystem;

// A copy of the program whose core/xcoder is the fake converter, which counts its runs.
class TwoProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.file("bin/core"));
        fs::copy_file(std::string(KESTROVA_BIN_DIR) + "/kestrova-cli", program);
        fs::create_symlink(KESTROVA_FAKE_CONVERTER, temp.file("bin/core/xcoder"));
        fs::create_directories(temp.file("out"));
    }

    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(dataHome.path())) {
            EXPECT_TRUE(entry.is_directory()) << "left behind: " << entry.path();
        }
    }

    // A source whose content is the fake converter's recipe: it writes `output` as the result.
    std::string source(const std::string& name, const std::string& output,
                       const std::string& more = "") {
        fs::create_directories(fs::path(temp.file(name)).parent_path());
        return temp.write(name, "events " + temp.file("events") + "\nduration 00:00:01.00\n" +
                                    more + "output " + output + "\n");
    }

    pid_t start(const std::string& name, std::vector<std::string> files) {
        testing_support::SpawnOptions options;
        options.extraEnvironment = {"XDG_DATA_HOME=" + dataHome.path()};
        options.stdoutPath = temp.file(name + ".out");
        options.stderrPath = temp.file(name + ".err");
        std::vector<std::string> argv = {program, "-n", "-o", temp.file("out")};
        argv.insert(argv.end(), files.begin(), files.end());
        return testing_support::spawnProgram(argv, options);
    }

    // Converting runs the fake converter recorded.
    int conversions() {
        std::ifstream in(temp.file("events"));
        int count = 0;
        for (std::string name, value; in >> name >> value;) {
            count += name == "start" ? 1 : 0;
        }
        return count;
    }

    TempDir temp;
    TempDir dataHome;
    const std::string program = temp.file("bin/kestrova-cli");
};

TEST_F(TwoProgramsTest, NeitherWritesOverTheOthersOutput) {
    // The same output name first in both, long enough for the two runs to overlap; then quick
    // jobs of their own, whose scripts and logs are made in the same milliseconds.
    std::vector<std::string> first = {source("one/x.mkv", "from-one", "sleep 300\n")};
    std::vector<std::string> second = {source("two/x.mkv", "from-two", "sleep 300\n")};
    constexpr int kOwnJobs = 10;
    for (int i = 0; i < kOwnJobs; ++i) {
        first.push_back(source("a" + std::to_string(i) + ".mkv", "a" + std::to_string(i)));
        second.push_back(source("b" + std::to_string(i) + ".mkv", "b" + std::to_string(i)));
    }
    std::vector<std::string> recipes;
    for (const auto* files : {&first, &second}) {
        for (const std::string& file : *files) {
            recipes.push_back(readAll(file));
        }
    }

    const pid_t one = start("one", first);
    const pid_t two = start("two", second);
    ASSERT_GT(one, 0);
    ASSERT_GT(two, 0);
    const auto oneStatus = testing_support::waitForExit(one, std::chrono::seconds(60));
    const auto twoStatus = testing_support::waitForExit(two, std::chrono::seconds(60));
    ASSERT_TRUE(oneStatus.has_value());
    ASSERT_TRUE(twoStatus.has_value());
    // Both may convert x: whichever finishes second finds the name taken, leaves the other's
    // file and exits 1; unless the first had finished before the second looked, which then
    // kept it (counted as finished, and said so) without converting.
    const int converted = conversions();
    const std::string errors = readAll(temp.file("one.err")) + readAll(temp.file("two.err"));
    if (converted == 2 + 2 * kOwnJobs) {
        EXPECT_EQ(*oneStatus + *twoStatus, 1);
        EXPECT_EQ(errors, "");
    } else {
        EXPECT_EQ(converted, 1 + 2 * kOwnJobs);
        EXPECT_EQ(*oneStatus + *twoStatus, 0);
        EXPECT_EQ(errors, "kept: " + temp.file("out/x.avi") + "\n");
    }
    const std::string x = readAll(temp.file("out/x.avi"));
    EXPECT_TRUE(x == "from-one" || x == "from-two") << x;
    for (int i = 0; i < kOwnJobs; ++i) {
        for (const std::string prefix : {"a", "b"}) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(readAll(temp.file("out/" + name + ".avi")), name);
        }
    }
    std::size_t at = 0;
    for (const auto* files : {&first, &second}) {
        for (const std::string& file : *files) {
            EXPECT_EQ(readAll(file), recipes[at++]) << file;
        }
    }
}

}  // namespace
