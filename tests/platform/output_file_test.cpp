// The job's place for its output: the private folder, what the converter leaves there, and the
// move into place.

#include "output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "temp_dir.h"

namespace {

using testing_support::readAll;
using testing_support::TempDir;
namespace fs = std::filesystem;

// A place with the converter's work already done: the temporary file holds text.
std::unique_ptr<platform::OutputPlace> finishedPlace(const std::string& output,
                                                     const std::string& text = "new") {
    auto made = platform::OutputPlace::make(output);
    EXPECT_TRUE(made.place) << made.error.text();
    if (made.place && !text.empty()) {
        std::ofstream(testing_support::fsPath(made.place->temporaryPath()), std::ios::binary)
            << text;
    }
    return std::move(made.place);
}

TEST(OutputFileTest, ThePrivateFolderHoldsTheTemporaryFileAndGoesWithThePlace) {
    TempDir dir;
    const std::string output = dir.file("-clip.avi");
    {
        auto place = finishedPlace(output, "");
        // Never an option to the converter, and the converter's format from the extension.
        EXPECT_EQ(place->converterOutput().substr(0, 1) == "-", false);
        EXPECT_EQ(fs::path(place->temporaryPath()).extension(), ".avi");
        EXPECT_EQ(place->check(), platform::OutputPlace::State::Empty);
        EXPECT_EQ(testing_support::filesUnder(dir.path()).size(), 2u) << "its lock and the file";
    }
    EXPECT_TRUE(testing_support::filesUnder(dir.path()).empty());
}

TEST(OutputFileTest, AFreeNameTakenMeanwhileIsLeftAsItWas) {
    TempDir dir;
    const std::string output = dir.file("clip.avi");
    auto place = finishedPlace(output);
    EXPECT_EQ(place->check(), platform::OutputPlace::State::Ready);
    dir.write("clip.avi", "theirs");
    EXPECT_EQ(place->place(false).placement, platform::Placement::NameTaken);
    EXPECT_EQ(readAll(output), "theirs");
    place.reset();
    EXPECT_EQ(testing_support::filesUnder(dir.path()).size(), 1u);
}

TEST(OutputFileTest, WhatStandsAtTheOutputName) {
    TempDir dir;
    const std::string file = dir.write("file.avi", "x");
    fs::create_directories(testing_support::fsPath(dir.file("folder.avi")));
    const struct {
        std::string path;
        platform::OutputName::Kind kind;
        const char* what;
    } rows[] = {
        {dir.file("free.avi"), platform::OutputName::Kind::Free, ""},
        {file, platform::OutputName::Kind::File, ""},
        {dir.file("folder.avi"), platform::OutputName::Kind::Other, "a folder"},
    };
    for (const auto& row : rows) {
        const platform::OutputName name = platform::lookAtOutputName(row.path);
        EXPECT_EQ(name.kind, row.kind) << row.path;
        EXPECT_EQ(name.what, row.what) << row.path;
    }
}

#ifndef _WIN32
TEST(OutputFileTest, LinksFifosAndDevicesAtTheOutputName) {
    TempDir dir;
    fs::create_symlink(dir.write("target.avi", "t"), dir.file("link.avi"));
    fs::create_symlink(dir.file("nowhere"), dir.file("dangling.avi"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.avi").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.file("device.avi"));
    const struct {
        const char* name;
        platform::OutputName::Kind kind;
        const char* what;
    } rows[] = {
        {"link.avi", platform::OutputName::Kind::File, ""},
        {"dangling.avi", platform::OutputName::Kind::Other, "a link that leads nowhere"},
        {"fifo.avi", platform::OutputName::Kind::Other, "a FIFO"},
        {"device.avi", platform::OutputName::Kind::Other, "a link to a device"},
    };
    for (const auto& row : rows) {
        const platform::OutputName name = platform::lookAtOutputName(dir.file(row.name));
        EXPECT_EQ(name.kind, row.kind) << row.name;
        EXPECT_EQ(name.what, row.what) << row.name;
    }
}

TEST(OutputFileTest, OutputsGetWhatAFileMadeInTheOutputFolderGets) {
    TempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{002}}) {
        const mode_t previous = ::umask(mask);
        auto place = finishedPlace(dir.file("clip.avi"));
        ::umask(previous);
        struct stat folder {};
        ASSERT_EQ(::stat(fs::path(place->temporaryPath()).parent_path().c_str(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 07777, 0700u) << "no one else reaches the unfinished file";
        ASSERT_EQ(place->place(true).placement, platform::Placement::Placed);
        struct stat info {};
        ASSERT_EQ(::stat(dir.file("clip.avi").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
    // A folder whose group its files take (setgid): the output takes it too.
    const std::string shared = dir.file("shared");
    fs::create_directories(shared);
    const gid_t group = ::getgid() == 0 ? 1 : ::getgid();
    ASSERT_EQ(::chown(shared.c_str(), ::getuid(), group), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02775), 0);
    auto place = finishedPlace(shared + "/clip.avi");
    ASSERT_EQ(place->place(false).placement, platform::Placement::Placed);
    struct stat info {};
    ASSERT_EQ(::stat((shared + "/clip.avi").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, group);
}

TEST(OutputFileTest, AReplacedLinkIsReplacedAndItsTargetUntouched) {
    TempDir dir;
    const std::string output = dir.file("clip.avi");
    fs::create_symlink(dir.write("target.avi", "target"), output);
    auto place = finishedPlace(output);
    EXPECT_EQ(place->place(true).placement, platform::Placement::Placed);
    EXPECT_FALSE(fs::is_symlink(output));
    EXPECT_EQ(readAll(output), "new");
    EXPECT_EQ(readAll(dir.file("target.avi")), "target");
}

TEST(OutputFileTest, AMovedOrReplacedOutputFolderIsNoticedAndNothingIsLeftInIt) {
    TempDir dir;
    for (const bool replaced : {false, true}) {
        const std::string folder = dir.file("out");
        fs::create_directories(folder);
        auto place = finishedPlace(folder + "/clip.avi");
        fs::rename(folder, dir.file("moved"));
        if (replaced) {
            fs::create_directories(folder);
        }
        EXPECT_EQ(place->check(), platform::OutputPlace::State::FolderMoved);
        place.reset();
        EXPECT_TRUE(testing_support::filesUnder(dir.file("moved")).empty());
        fs::remove_all(dir.file("moved"));
        fs::remove_all(folder);
    }
}

TEST(OutputFileTest, ALiveJobsFolderIsNeverSweptAndAKilledOnesIs) {
    TempDir dir;
    auto live = finishedPlace(dir.file("live.avi"));
    // A job killed with its whole program: its folder stays, its lock is gone.
    const std::string dead = dir.file(".kestrova-job-0000dead0000");
    fs::create_directories(dead);
    std::ofstream(dead + "/lock") << "";
    std::ofstream(dead + "/output.avi") << "half";
    EXPECT_EQ(platform::sweepOutputFolder(dir.path()), std::vector<std::string>{dead});
    EXPECT_EQ(live->check(), platform::OutputPlace::State::Ready);
    EXPECT_EQ(live->place(false).placement, platform::Placement::Placed);
}
#endif

}  // namespace
