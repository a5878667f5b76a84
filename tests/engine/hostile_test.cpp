// Another local user acting against the program: taking over names in a shared output folder
// as they appear, planting the data folder, and a whole session killed at once. The victim runs
// as "nobody" (tests/tools/batch_runner), the attacker as "daemon" (tests/tools/name_swapper);
// both need the tests to run as root.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "line_child.h"
#include "media_preset.h"
#include "real_converter_support.h"

namespace {

using namespace engine_testing;
using testing_support::readAll;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr uid_t kDaemon = 1;
constexpr int kRuns = 20;

struct stat statOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

class HostileTest : public EngineRunTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "another user's part needs root";
        }
        // The other users pass through the work folder to their own folders inside it.
        ASSERT_EQ(::chmod(work.path().c_str(), 0755), 0);
        victim_ = work.file("victim");
        fs::create_directories(victim_);
        giveTo(victim_, kNobody, 0755);
    }

    // The victim's data folder is the tests' own, handed over.
    void handOverDataFolder() { giveTo(platform::dataFolder(), kNobody, 0700); }

    static void giveTo(const std::string& path, uid_t user, mode_t mode) {
        ASSERT_EQ(::lchown(path.c_str(), user, user), 0) << path;
        ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
    }

    // The victim's batch of one source; its "end" line, then the job's reason (if any).
    std::pair<std::string, std::string> runVictim(
        const std::string& outputFolder, const std::string& source,
        const std::vector<std::string>& environment = {}) {
        LineChild runner(scratch_, KESTROVA_BATCH_RUNNER,
                         {"--as-nobody", fs::canonical(kRealTool).string(), outputFolder,
                          MkvAvi().presetArguments(0), source},
                         environment);
        const std::string ready = runner.line();
        EXPECT_EQ(ready.rfind("ready 65534 ", 0), 0u) << ready;
        const std::string end = runner.line();
        const std::string reason = end == "end 4 100" ? "" : runner.line();
        return {end, reason};
    }

    std::string victim_;
    testing_support::TempDir scratch_;
};

// Every entry of the victim's in a folder, but the output's (possibly renamed by the attacker).
std::vector<std::string> victimsLeftovers(const std::string& folder, const std::string& output) {
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        const struct stat info = statOf(path);
        const bool isOutput = S_ISREG(info.st_mode) && path.rfind(output, 0) == 0;
        // An empty folder of the victim's that the attacker renamed before the victim could
        // open it holds nothing and was never used.
        const bool unusedFolder = S_ISDIR(info.st_mode) && fs::is_empty(entry.path());
        if (info.st_uid == kNobody && !isOutput && !unusedFolder) {
            left.push_back(path);
        }
    }
    return left;
}

TEST_F(HostileTest, NamesTakenOverInASharedOutputFolderNeverRedirectTheConverter) {
    // A group-shared media folder: anyone may write, and without the sticky bit anyone may
    // rename or remove what others made there.
    const std::string shared = work.file("shared");
    fs::create_directories(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    const std::string bait = work.write("victim/bait.avi", "the victim's own file");
    giveTo(bait, kNobody, 0644);
    const std::string clip = victim_ + "/clip.mkv";
    makeClip(scratch_, clip, 1);
    giveTo(clip, kNobody, 0644);
    const std::string output = shared + "/clip.avi";
    handOverDataFolder();

    int swaps = 0;
    std::map<std::string, int> endings;
    for (int run = 0; run < kRuns; ++run) {
        LineChild attacker(scratch_, KESTROVA_NAME_SWAPPER, {"--as-daemon", shared, bait});
        ASSERT_EQ(attacker.line(), "ready");
        const auto [end, reason] = runVictim(shared, clip);
        attacker.go();
        const std::string swapped = attacker.line();
        ASSERT_EQ(swapped.rfind("swaps ", 0), 0u) << swapped;
        swaps += std::stoi(swapped.substr(6));
        ++endings[end == "end 4 100" ? "converted" : reason];

        EXPECT_EQ(readAll(bait), "the victim's own file") << "run " << run;
        // The output, wherever the attacker moved it, is a whole file of the victim's.
        for (const std::string& path : {output, output + ".taken"}) {
            const struct stat info = statOf(path);
            if (S_ISREG(info.st_mode) && info.st_uid == kNobody) {
                EXPECT_EQ(readAll(path).substr(0, 4), "RIFF") << path;
            }
        }
        if (end != "end 4 100") {
            EXPECT_FALSE(reason.empty()) << end;
        }
        EXPECT_EQ(victimsLeftovers(shared, output), std::vector<std::string>{}) << "run " << run;
        for (const auto& entry : fs::directory_iterator(shared)) {
            fs::remove_all(entry.path());
        }
    }
    std::string summary;
    for (const auto& [ending, count] : endings) {
        summary += std::to_string(count) + " x " + ending + "; ";
    }
    std::printf("%d runs, %d names taken over: %s\n", kRuns, swaps, summary.c_str());
    EXPECT_GT(swaps, 0) << "the attacker never acted: the test shows nothing";
}

TEST_F(HostileTest, APlantedDataFolderIsRefusedAndNothingRunsFromIt) {
    // A folder that everyone may write, as /tmp: the victim's data would go below it.
    const std::string pub = work.file("pub");
    fs::create_directories(pub);
    ASSERT_EQ(::chmod(pub.c_str(), 01777), 0);
    const std::string clip = victim_ + "/clip.mkv";
    makeClip(scratch_, clip, 1);
    giveTo(clip, kNobody, 0644);
    const std::string out = victim_ + "/out";
    fs::create_directories(out);
    giveTo(out, kNobody, 0755);

    // The attacker made the data folder first, with a script folder inside; or made a folder
    // above it and let the victim make the rest.
    const std::string planted = pub + "/data";
    fs::create_directories(planted + "/Vantrel");
    const std::string above = pub + "/above";
    fs::create_directories(above + "/data");
    for (const std::string& path : {planted, planted + "/Vantrel", above}) {
        giveTo(path, kDaemon, 0777);
    }
    giveTo(above + "/data", kNobody, 0700);
    const struct {
        std::string home;
        std::string reason;
    } rows[] = {
        {planted, "cannot use " + planted + " for the program's data: it belongs to another user"},
        {above + "/data",
         "cannot use " + above + " for the program's data: it belongs to another user"},
    };
    for (const auto& row : rows) {
        for (int run = 0; run < kRuns; ++run) {
            const auto [end, reason] = runVictim(out, clip, {"XDG_DATA_HOME=" + row.home});
            ASSERT_EQ(end, "end 4 0");
            ASSERT_EQ(reason, "reason 0: " + row.reason);
        }
        EXPECT_EQ(testing_support::filesUnder(row.home), std::vector<std::string>{})
            << "nothing written where the attacker could change it";
    }
    EXPECT_TRUE(fs::is_empty(out));
}

// The session's processes, the program, its guardians and its converters alike.
std::vector<pid_t> sessionMembers(pid_t session) {
    std::vector<pid_t> members;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = readAll(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        int ppid = 0, group = 0, sid = 0;
        char state = 0;
        if (close != std::string::npos &&
            std::sscanf(stat.c_str() + close + 2, "%c %d %d %d", &state, &ppid, &group, &sid) ==
                4 &&
            sid == session && state != 'Z') {
            members.push_back(std::stoi(name));
        }
    }
    return members;
}

// A container stop, a logout that kills the session: every process at once, no one left to tidy.
TEST_F(HostileTest, AWholeSessionKilledLeavesFilesTheNextBatchSweepsAndNames) {
    const std::string clip = source(
        "slow.mkv", "duration 00:00:30.00\n" + eventsLine() + "output partial\nsleep 60000\n");
    LineChild runner(
        scratch_, "/usr/bin/setsid",
        {"-w", KESTROVA_BATCH_RUNNER, KESTROVA_FAKE_CONVERTER, core.outputFolder, "", clip});
    const std::string ready = runner.line();
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
    const pid_t session = std::stoi(ready.substr(ready.rfind(' ') + 1));
    ASSERT_TRUE(waitFor([this] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
    for (int round = 0; round < 10; ++round) {
        const std::vector<pid_t> members = sessionMembers(session);
        for (const pid_t member : members) {
            ::kill(member, SIGKILL);
        }
        if (members.empty()) {
            break;
        }
        waitFor([&] { return sessionMembers(session).empty(); });
    }
    ASSERT_TRUE(sessionMembers(session).empty());
    const std::vector<std::string> left = testing_support::filesUnder(core.outputFolder);
    ASSERT_FALSE(left.empty()) << "the killed job's private folder stays";

    std::vector<std::string> swept;
    core.onSwept = [&swept](const std::string& path) { swept.push_back(path); };
    core.addJob(source("next.mkv", "output next\n"));
    runBatch();
    EXPECT_EQ(readAll(outputFor("next.mkv")), "next");
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder),
              std::vector<std::string>{outputFor("next.mkv")});
    bool folderSwept = false;
    bool scriptSwept = false;
    for (const std::string& path : swept) {
        folderSwept |= path.find("/.kestrova-job-") != std::string::npos;
        scriptSwept |= path.find("/Vantrel/bjob") != std::string::npos;
    }
    EXPECT_TRUE(folderSwept) << "the private folder is named when it goes";
    EXPECT_TRUE(scriptSwept) << "the converting run's script is named when it goes";
}

}  // namespace
