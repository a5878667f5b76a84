#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using testing_support::TempDir;

#ifdef _WIN32
TEST(PlatformTest, DataFolderIsTheRoamingApplicationData) {
    // The system sets APPDATA to the same folder for every process.
    const char* appData = std::getenv("APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_TRUE(platform::sameFile(platform::dataFolder(), appData));
    TempDir dir;
    {
        testing_support::ScopedDataHome home(dir.path());
        EXPECT_EQ(platform::dataFolder(), dir.path());
    }
    EXPECT_TRUE(platform::sameFile(platform::dataFolder(), appData));
}
#else
TEST(PlatformTest, DataFolderFollowsXdgThenHome) {
    TempDir dir;
    {
        testing_support::ScopedDataHome home(dir.path());
        EXPECT_EQ(platform::dataFolder(), dir.path());
    }
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string saved = xdg != nullptr ? xdg : "";
    unsetenv("XDG_DATA_HOME");
    const std::string home = std::getenv("HOME");
    EXPECT_EQ(platform::dataFolder(), home + "/.local/share");
    // Without either, the account's home from the password database.
    unsetenv("HOME");
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(platform::dataFolder(), std::string(account->pw_dir) + "/.local/share");
    setenv("HOME", home.c_str(), 1);
    if (xdg != nullptr) {
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    }
}

// Relative folders would lead wherever the program was started.
TEST(PlatformTest, RelativeXdgFoldersAndHomeAreIgnored) {
    const std::string account = ::getpwuid(::getuid())->pw_dir;
    const struct {
        const char* xdg;
        const char* home;
        std::string config;
    } rows[] = {
        {"/abs/config", "/abs/home", "/abs/config"},
        {"rel/config", "/abs/home", "/abs/home/.config"},
        {"rel/config", "rel/home", account + "/.config"},
        {nullptr, ".", account + "/.config"},
    };
    const std::string home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = xdg != nullptr ? xdg : "";
    for (const auto& row : rows) {
        row.xdg != nullptr ? setenv("XDG_CONFIG_HOME", row.xdg, 1) : unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", row.home, 1);
        EXPECT_EQ(platform::configFolder(), row.config) << row.home;
    }
    setenv("HOME", home.c_str(), 1);
    xdg != nullptr ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}
#endif

TEST(PlatformTest, StopLadderAsksThenTerminatesThenKills) {
    using platform::StopAction;
    using std::chrono::milliseconds;
    const auto start = platform::StopWalk::Clock::now();
    const platform::StopTimings quick{milliseconds(50), milliseconds(500), milliseconds(200)};
    const struct {
        bool canAsk;
        bool quick;
        int atMs;
        std::optional<StopAction> action;
    } rows[] = {
        {true, false, 0, StopAction::Ask},           {true, false, 100, std::nullopt},
        {true, false, 300, StopAction::Ask},         {true, false, 9900, StopAction::Ask},
        {true, false, 10000, StopAction::Terminate}, {true, false, 11000, std::nullopt},
        {true, false, 12000, StopAction::Kill},      {true, false, 60000, std::nullopt},
        {false, false, 0, StopAction::Terminate},    {false, false, 1999, std::nullopt},
        {false, false, 2000, StopAction::Kill},      {true, true, 0, StopAction::Ask},
        {true, true, 50, StopAction::Ask},           {true, true, 480, StopAction::Ask},
        {true, true, 500, StopAction::Terminate},    {true, true, 700, StopAction::Kill},
    };
    std::optional<platform::StopWalk> walk;
    for (const auto& row : rows) {
        if (row.atMs == 0) {
            walk.emplace(start, row.canAsk, row.quick ? quick : platform::StopTimings{});
        }
        EXPECT_EQ(walk->due(start + milliseconds(row.atMs)), row.action)
            << row.canAsk << " " << row.atMs;
    }
    EXPECT_TRUE(walk->killed());
}

TEST(PlatformTest, ExclusiveCreationNeverReplaces) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    EXPECT_EQ(platform::createFileExclusive(path, "first"), platform::CreateResult::Created);
    EXPECT_EQ(platform::createFileExclusive(path, "second"), platform::CreateResult::Exists);
    EXPECT_EQ(testing_support::readAll(path), "first");
    EXPECT_EQ(platform::createFileExclusive(dir.file("missing/b.txt"), "x"),
              platform::CreateResult::Failed);
}

TEST(PlatformTest, ExistenceTests) {
    TempDir dir;
    const std::string file = dir.write("f.mkv", "x");
    EXPECT_TRUE(platform::fileExists(file));
    EXPECT_FALSE(platform::fileExists(dir.path()));
    EXPECT_TRUE(platform::isDirectory(dir.path()));
    EXPECT_FALSE(platform::isDirectory(file));
    EXPECT_FALSE(platform::fileExists(dir.file("none")));
    EXPECT_EQ(platform::fileSize(file), 1);
    EXPECT_EQ(platform::fileSize(dir.write("empty", "")), 0);
    EXPECT_EQ(platform::fileSize(dir.file("none")), -1);
    EXPECT_EQ(platform::fileSize(dir.path()), -1);
    EXPECT_TRUE(platform::makeDirectory(dir.file("sub")));
    EXPECT_TRUE(platform::makeDirectory(dir.file("sub")));
    EXPECT_FALSE(platform::makeDirectory(file));

#ifdef _WIN32
    // Symbolic links need a privilege on Windows; a hard link and the other letter case are
    // the everyday alternative spellings there.
    std::filesystem::create_hard_link(testing_support::fsPath(file),
                                      testing_support::fsPath(dir.file("link.mkv")));
    EXPECT_TRUE(platform::sameFile(file, dir.file("F.MKV")));
#else
    ASSERT_EQ(symlink(file.c_str(), dir.file("link.mkv").c_str()), 0);
#endif
    EXPECT_TRUE(platform::sameFile(file, dir.file("link.mkv")));
    EXPECT_TRUE(platform::sameFile(file, dir.file("sub/../f.mkv")));
    EXPECT_FALSE(platform::sameFile(file, dir.file("none")));
    EXPECT_TRUE(platform::removeFile(file));
    EXPECT_FALSE(platform::pathExists(file));
}

TEST(PlatformTest, DebugSinkIsReplaceable) {
    std::vector<std::string> lines;
    auto previous =
        platform::setDebugSink([&lines](std::string_view text) { lines.emplace_back(text); });
    platform::debugWrite("hello\n");
    platform::setDebugSink(std::move(previous));
    platform::debugWrite("not captured\n");
    EXPECT_EQ(lines, std::vector<std::string>{"hello\n"});
}

TEST(PlatformTest, TickCountAdvances) {
    const std::int32_t first = platform::tickCount();
    std::int32_t later = first;
    // Spin on the clock itself: a monotonic clock must move within a generous bound.
    for (int i = 0; i < 100000000 && later == first; ++i) {
        later = platform::tickCount();
    }
    EXPECT_NE(later, first);
}

TEST(PlatformTest, ExecutableFolderHoldsThisTest) {
    const std::string folder = platform::executableFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_TRUE(platform::isDirectory(folder));
}

#ifndef _WIN32
// An installed program is started through a link in bin/ and must still find core/ beside its
// real file: this test program, run through a link in another folder, reports its folder.
TEST(PlatformTest, ExecutableFolderIsTheRealFileEvenThroughASymbolicLink) {
    if (const char* report = std::getenv("KESTROVA_REPORT_EXECUTABLE_FOLDER")) {
        std::ofstream(report) << platform::executableFolder();
        return;
    }
    TempDir dir;
    const std::string link = dir.file("linked_tests");
    const std::string report = dir.file("folder.txt");
    ASSERT_EQ(symlink(std::filesystem::read_symlink("/proc/self/exe").c_str(), link.c_str()), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("KESTROVA_REPORT_EXECUTABLE_FOLDER", report.c_str(), 1);
        const std::string filter =
            "--gtest_filter=PlatformTest.ExecutableFolderIsTheRealFileEvenThroughASymbolicLink";
        execl(link.c_str(), link.c_str(), filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(testing_support::readAll(report), platform::executableFolder());
    EXPECT_NE(platform::executableFolder(), dir.path());
}
#endif

}  // namespace
