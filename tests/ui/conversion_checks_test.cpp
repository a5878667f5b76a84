// The Convert command's refusals. This binary lies in a folder without a converter beside it.

#include <gtest/gtest.h>

#include "conversion_start.h"
#include "conversion_support.h"
#include "media_preset.h"
#include "platform.h"
#include "scripted_core.h"
#include "temp_dir.h"

namespace {

using testing_support::ScriptedCore;
using testing_support::StandInMainWindow;
using testing_support::TempDir;
using testing_support::TestPrompts;

class ConversionChecksTest : public ::testing::Test {
protected:
    ConversionChecksTest() {
        core.toolPath = "old tool";
        core.outputFolder = "old folder";
        core.outputExt = "old";
        core.presetArgs = "old args";
        core.addJob("/old.mkv");
        core.setJobPercent(0, 100);
    }

    // Runs Convert and expects it to refuse with exactly this message, the engine untouched.
    void expectRefusal(const QString& text) {
        prompts.messages.clear();
        prompts.messageOwners.clear();
        EXPECT_FALSE(onConvert());
        EXPECT_EQ(prompts.messages, QStringList{text});
        EXPECT_EQ(prompts.messageOwners, std::vector<QWidget*>{main.window});
        EXPECT_TRUE(prompts.questions.isEmpty());
        EXPECT_EQ(core.toolPath, "old tool");
        EXPECT_EQ(core.outputFolder, "old folder");
        EXPECT_EQ(core.outputExt, "old");
        EXPECT_EQ(core.presetArgs, "old args");
        EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
        EXPECT_TRUE(core.hasJob("/old.mkv"));
        EXPECT_EQ(core.runState, Idle);
    }

    TestPrompts prompts;
    TempDir temp;
    MkvAvi catalogue;
    ScriptedCore core;
    StandInMainWindow main{&core, &catalogue};
};

TEST_F(ConversionChecksTest, ChecksComeInTheirOrder) {
    // An empty list wins over an empty folder.
    expectRefusal("Please add source files.");

    main.list->addItem(QString::fromStdString(temp.write("clip.mkv", "x")));
    expectRefusal("Please select output folder.");

    // A file is not a folder.
    main.folder->setText(QString::fromStdString(temp.write("plain", "")));
    expectRefusal("The output folder doesn't exist.");
    main.folder->setText(QString::fromStdString(temp.file("missing")));
    expectRefusal("The output folder doesn't exist.");

    main.folder->setText(QString::fromStdString(temp.path()));
    ASSERT_FALSE(platform::pathExists(buildToolPath()));
    expectRefusal("There isn't a core file.");
}

TEST_F(ConversionChecksTest, ToolLiesInCoreBesideTheProgram) {
    EXPECT_EQ(buildToolPath(), platform::executableFolder() + "/core/xcoder");
}

TEST_F(ConversionChecksTest, MissingSourceListEndsSilently) {
    delete main.list;
    main.list = nullptr;
    main.folder->setText(QString::fromStdString(temp.path()));
    EXPECT_FALSE(onConvert());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(core.toolPath, "old tool");
}

}  // namespace
