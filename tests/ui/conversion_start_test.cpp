// The Convert command once its checks pass: engine settings, queue, preset choice, the
// selection afterwards, and a new batch after a stop that outlasted the engine's wait.

#include <gtest/gtest.h>

#include <QCursor>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <filesystem>

#include "conversion_start.h"
#include "conversion_support.h"
#include "listed_paths.h"
#include "media_preset.h"
#include "platform.h"
#include "scripted_core.h"
#include "temp_dir.h"

namespace {

using testing_support::ProgressDriver;
using testing_support::ScriptedCore;
using testing_support::StandInMainWindow;
using testing_support::TempDir;
using testing_support::TestPrompts;
using Action = ScriptedCore::Action;

const PresetEntry kOnePreset[] = {{"Only", "-only", nullptr}, {nullptr, nullptr, nullptr}};

class OnePresetCatalogue : public MediaPreset {
public:
    OnePresetCatalogue() : MediaPreset(kOnePreset) {}
    const char* presetExtension(int) const override { return "avi"; }
};

class ConversionStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::pathExists(buildToolPath())) << "the build links core/xcoder";
    }

    // A main window listing these sources, the output folder set, every preset offered.
    void fill(StandInMainWindow& main, std::initializer_list<const char*> sources) {
        for (const char* source : sources) {
            main.list->addItem(QString::fromUtf8(source));
        }
        main.folder->setText(QString::fromStdString(out.path()));
        if (main.presets != nullptr) {
            for (int i = 0; i < main.catalogue()->presetCount(); ++i) {
                main.presets->addItem(QString::fromStdString(main.catalogue()->presetName(i)));
            }
        }
    }

    TestPrompts prompts;
    TempDir out;
    MkvAvi catalogue;
    ScriptedCore core;
};

TEST_F(ConversionStartTest, QueuesTheListInItsOrderWithTheChosenPreset) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {"/s/b.mkv", "/s/a.mkv"});
    main.presets->setCurrentIndex(2);
    ProgressDriver driver;

    EXPECT_TRUE(onConvert());
    EXPECT_TRUE(driver.seen);
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(core.toolPath, buildToolPath());
    EXPECT_EQ(core.outputFolder, out.path());
    EXPECT_EQ(core.outputExt, "avi");
    EXPECT_EQ(core.presetArgs, catalogue.presetArguments(2));
    EXPECT_EQ(core.converted(), (std::vector<std::string>{"/s/a.mkv", "/s/b.mkv"}));
    EXPECT_TRUE(std::filesystem::exists(out.file("a.avi")));
    EXPECT_EQ(main.selectedRows(), (std::vector<int>{0, 1}));
}

TEST_F(ConversionStartTest, NoSelectedPresetMeansTheFirst) {
    ProgressDriver driver;
    {
        StandInMainWindow main(&core, &catalogue);
        fill(main, {"/s/a.mkv"});
        main.presets->setCurrentIndex(-1);
        EXPECT_TRUE(onConvert());
        EXPECT_EQ(core.presetArgs, catalogue.presetArguments(0));
    }
    {
        StandInMainWindow main(&core, &catalogue, /*withPresetList=*/false);
        fill(main, {"/s/a.mkv"});
        core.presetArgs.clear();
        EXPECT_TRUE(onConvert());
        EXPECT_EQ(core.presetArgs, catalogue.presetArguments(0));
    }
    {
        // With a single preset the list is not consulted at all.
        OnePresetCatalogue one;
        StandInMainWindow main(&core, &one);
        fill(main, {"/s/a.mkv"});
        main.presets->addItem("x");
        main.presets->addItem("y");
        main.presets->setCurrentIndex(1);
        EXPECT_TRUE(onConvert());
        EXPECT_EQ(core.presetArgs, "-only");
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ConversionStartTest, SelectsExactlyTheLinesWhoseJobFinished) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {"/s/a.mkv", "/s/b.mkv", "/s/c.mkv"});
    main.list->selectAll();
    core.setAction("/s/b.mkv", Action::Fail);
    ProgressDriver driver;

    EXPECT_TRUE(onConvert());
    EXPECT_EQ(driver.finalBatchLine, "2 / 3 (67%)");
    EXPECT_EQ(main.selectedRows(), (std::vector<int>{0, 2}));

    // Lines beyond the jobs keep their selection.
    main.list->addItem("/s/z.mkv");
    main.list->item(3)->setSelected(true);
    main.list->item(0)->setSelected(false);
    showBatchOutcome();
    EXPECT_EQ(main.selectedRows(), (std::vector<int>{0, 2, 3}));
}

TEST_F(ConversionStartTest, NewBatchWaitsForAWorkerStillEndingAfterAStop) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {"/s/a.mkv", "/s/b.mkv"});
    core.setAction("/s/a.mkv", Action::HoldDeaf);
    prompts.answer = [](QWidget*, const QString&) { return true; };
    ProgressDriver driver;
    driver.closeWhenComplete = false;
    bool stopPressed = false;
    driver.onTick = [&](ProgressWindow* window) {
        if (core.holding && !stopPressed) {
            stopPressed = true;
            control<QPushButton>(window, ids::Stop)->click();
        }
    };
    EXPECT_TRUE(onConvert());
    ASSERT_EQ(core.runState, StopRequested);
    EXPECT_EQ(main.selectedRows(), std::vector<int>{});
    EXPECT_EQ(main.list->item(0)->toolTip(), "Not converted: stopped");
    EXPECT_EQ(main.list->item(1)->toolTip(), "Not converted: not started");

    // Convert again, into another folder: nothing of the engine may change while the old
    // worker is still ending, and the user sees a busy cursor meanwhile.
    TempDir second;
    main.folder->setText(QString::fromStdString(second.path()));
    bool sawWait = false;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&]() {
        if (!sawWait && QApplication::overrideCursor() != nullptr) {
            sawWait = true;
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            EXPECT_EQ(core.outputFolder, out.path());
            EXPECT_EQ(core.runState, StopRequested);
            core.releaseAll();
        }
    });
    watcher.start();
    driver.closeWhenComplete = true;
    EXPECT_TRUE(onConvert());
    EXPECT_TRUE(sawWait);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
    EXPECT_EQ(core.outputFolder, second.path());
    EXPECT_TRUE(std::filesystem::exists(second.file("a.avi")));
    EXPECT_TRUE(std::filesystem::exists(second.file("b.avi")));
    EXPECT_EQ(main.selectedRows(), (std::vector<int>{0, 1}));
    EXPECT_EQ(main.list->item(0)->toolTip(), "");
    EXPECT_EQ(main.list->item(1)->toolTip(), "");
    // A stop is no failure.
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ConversionStartTest, FailedLinesTellWhyAndOneMessageListsThem) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {"/s/a.mkv", "/s/b.mkv", "/s/c.mkv"});
    core.setAction("/s/a.mkv", Action::Fail);
    core.setAction("/s/c.mkv", Action::Fail);
    ProgressDriver driver;

    EXPECT_TRUE(onConvert());
    const std::vector<ConvertJob> jobs = core.jobSnapshots();
    const QString reasonA = QString::fromStdString(jobs[0].reason);
    const QString reasonC = QString::fromStdString(jobs[2].reason);
    ASSERT_FALSE(reasonA.isEmpty());
    EXPECT_EQ(main.list->item(0)->toolTip(), "Not converted: " + reasonA);
    EXPECT_EQ(main.list->item(1)->toolTip(), "");
    EXPECT_EQ(main.list->item(2)->toolTip(), "Not converted: " + reasonC);
    EXPECT_EQ(prompts.messages, QStringList{"These files were not converted:\n\n/s/a.mkv: " +
                                            reasonA + "\n/s/c.mkv: " + reasonC});
    EXPECT_EQ(prompts.messageOwners, std::vector<QWidget*>{main.window});
}

TEST_F(ConversionStartTest, NothingQueuedEndsSilently) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {"/s/a.mkv"});
    main.list->item(0)->setText("");
    ProgressDriver driver;
    EXPECT_FALSE(onConvert());
    EXPECT_FALSE(driver.seen);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(core.jobCount(), 0);
}

// The converter runs elsewhere: a relative or "~/" folder is made whole at Convert, and the
// field then shows (and the store keeps) the whole folder.
TEST_F(ConversionStartTest, RelativeAndHomeFoldersBecomeAbsoluteAtConvert) {
    TempDir place;
    std::filesystem::create_directory(place.file("relout"));
    std::filesystem::create_directory(place.file("out"));
    const QString before = QDir::currentPath();
    const QByteArray home = qgetenv("HOME");
    QDir::setCurrent(QString::fromStdString(place.path()));
    qputenv("HOME", QByteArray::fromStdString(place.path()));
    ProgressDriver driver;
    const struct {
        const char* typed;
        std::string folder;
    } rows[] = {
        {"relout", place.file("relout")},
        {"~/out", place.file("out")},
        {"./relout/", place.file("relout")},
    };
    for (const auto& row : rows) {
        StandInMainWindow main(&core, &catalogue);
        fill(main, {"/s/a.mkv"});
        main.folder->setText(QString::fromUtf8(row.typed));
        EXPECT_TRUE(onConvert()) << row.typed;
        EXPECT_EQ(core.outputFolder, row.folder) << row.typed;
        EXPECT_EQ(main.folder->text(), QString::fromStdString(row.folder)) << row.typed;
    }
    QDir::setCurrent(before);
    qputenv("HOME", home);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

// Each line's name goes to the engine as its bytes, whatever its text shows.
TEST_F(ConversionStartTest, TheEngineGetsEachLinesBytes) {
    StandInMainWindow main(&core, &catalogue);
    fill(main, {});
    for (const QByteArray& name : {QByteArray("/s/a\xfe.mkv"), QByteArray("/s/a\xff.mkv")}) {
        auto* item = new QListWidgetItem(QFile::decodeName(name));
        item->setData(kNameRole, name);
        main.list->addItem(item);
    }
    ProgressDriver driver;
    EXPECT_TRUE(onConvert());
    std::vector<std::string> converted = core.converted();
    std::sort(converted.begin(), converted.end());
    EXPECT_EQ(converted, (std::vector<std::string>{"/s/a\xfe.mkv", "/s/a\xff.mkv"}));
    EXPECT_TRUE(std::filesystem::exists(out.file("a\xff.avi")));
    EXPECT_EQ(main.selectedRows(), (std::vector<int>{0, 1}));
}

}  // namespace
