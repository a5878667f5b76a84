// The output file's temporary name, its creation and its move into place.

#include "output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "temp_dir.h"

namespace {

using testing_support::readAll;
using testing_support::TempDir;

TEST(OutputFileTest, TemporaryNameIsHiddenBesideTheOutputAndKeepsItsExtension) {
    const std::string s(1, platform::kPathSeparator);
    const struct {
        std::string output;
        std::string temporary;
    } rows[] = {
        {s + "out" + s + "clip.avi", s + "out" + s + ".clip.7.part.avi"},
        {s + "out" + s + "a.b.avi", s + "out" + s + ".a.b.7.part.avi"},
        {s + "out" + s + "noext", s + "out" + s + ".noext.7.part"},
        {s + "out" + s + ".avi", s + "out" + s + "..avi.7.part.avi"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::temporaryOutputName(row.output, 7), row.temporary) << row.output;
    }
}

TEST(OutputFileTest, AnOutputNameOfFullLengthStillGetsATemporaryFile) {
    TempDir dir;
    // 255 bytes, and 254 bytes of two-byte characters: the temporary name is cut to fit, never
    // inside a character.
    std::string accents;
    for (int k = 0; k < 125; ++k) {
        accents += "\xc3\xa9";
    }
    for (const std::string& stem : {std::string(251, 'x'), accents}) {
        const std::string output = dir.file(stem + ".avi");
        const auto temporary = platform::createTemporaryOutput(output);
        ASSERT_FALSE(temporary.path.empty()) << temporary.error.text();
        const std::string name = temporary.path.substr(dir.path().size() + 1);
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.substr(0, 3), "." + stem.substr(0, 2));
        EXPECT_EQ(name.substr(name.size() - 9), ".part.avi");
        EXPECT_NE(static_cast<unsigned char>(name[name.find(".", 1) - 1]), 0xc3u);
        platform::discardOutput(temporary);
    }
}

TEST(OutputFileTest, AFreeNameTakenMeanwhileIsLeftAsItWas) {
    TempDir dir;
    const std::string output = dir.file("clip.avi");
    const auto temporary = platform::createTemporaryOutput(output);
    ASSERT_FALSE(temporary.path.empty()) << temporary.error.text();
    EXPECT_NE(platform::createTemporaryOutput(output).path, temporary.path) << "never shared";
    dir.write("clip.avi", "theirs");
    const auto placed = platform::placeOutput(temporary, output, false);
    EXPECT_EQ(placed.placement, platform::Placement::NameTaken);
    EXPECT_EQ(readAll(output), "theirs");
    EXPECT_FALSE(std::filesystem::exists(testing_support::fsPath(temporary.path)));
}

#ifndef _WIN32
TEST(OutputFileTest, NewOutputsGetThePermissionsTheUmaskGives) {
    TempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{002}}) {
        const mode_t previous = ::umask(mask);
        const auto temporary = platform::createTemporaryOutput(dir.file("clip.avi"));
        ::umask(previous);
        struct stat info {};
        ASSERT_EQ(::stat(temporary.path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
}

TEST(OutputFileTest, AReplacedLinkIsReplacedAndItsTargetUntouched) {
    TempDir dir;
    const std::string output = dir.file("clip.avi");
    std::filesystem::create_symlink(dir.write("target.avi", "target"), output);
    const auto temporary = platform::createTemporaryOutput(output);
    dir.write(std::filesystem::path(temporary.path).filename().string(), "new");
    EXPECT_EQ(platform::placeOutput(temporary, output, true).placement,
              platform::Placement::Placed);
    EXPECT_FALSE(std::filesystem::is_symlink(output));
    EXPECT_EQ(readAll(output), "new");
    EXPECT_EQ(readAll(dir.file("target.avi")), "target");
}

TEST(OutputFileTest, ALinkLeadingNowhereTakesTheName) {
    TempDir dir;
    const std::string output = dir.file("clip.avi");
    std::filesystem::create_symlink(dir.file("nowhere"), output);
    EXPECT_TRUE(platform::nameTaken(output));
    const auto temporary = platform::createTemporaryOutput(output);
    EXPECT_EQ(platform::placeOutput(temporary, output, false).placement,
              platform::Placement::NameTaken);
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
}
#endif

}  // namespace
