#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <string>
#include <vector>

#include "app_state.h"
#include "application.h"
#include "button_images.h"
#include "controls.h"
#include "dialog_units.h"
#include "main_window.h"
#include "media_preset.h"
#include "settings_store.h"
#include "source_list.h"
#include "temp_dir.h"
#include "ui_support.h"

namespace {

using testing_support::ScopedSettingsFolder;
using testing_support::TempDir;

class TableCatalogue : public MediaPreset {
public:
    using MediaPreset::MediaPreset;
    const char* presetExtension(int) const override { return "avi"; }
};

const PresetEntry onePreset[] = {{"Only", "-x", nullptr}, {nullptr, nullptr, nullptr}};
const PresetEntry twoPresets[] = {
    {"One", "-x", nullptr}, {"Two", "-y", nullptr}, {nullptr, nullptr, nullptr}};

TEST(MainLayoutTest, ThePresetRowNeedsTwoPresets) {
    EXPECT_EQ(chooseMainLayout(TableCatalogue(nullptr)), MainLayout::WithoutPresets);
    EXPECT_EQ(chooseMainLayout(TableCatalogue(onePreset)), MainLayout::WithoutPresets);
    EXPECT_EQ(chooseMainLayout(TableCatalogue(twoPresets)), MainLayout::WithPresets);
    EXPECT_EQ(chooseMainLayout(MkvAvi()), MainLayout::WithPresets);
}

TEST(DialogUnitsTest, ConvertLikeTheWindowsDialogManager) {
    // The base units of Windows' default dialog font at 96 dpi.
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.size(372, 219), QSize(558, 356));
    EXPECT_EQ(units.rect(36, 198, 20, 14), QRect(54, 322, 30, 23));
    EXPECT_EQ(units.y(4), 7);  // 6.5 rounds up
    EXPECT_EQ(units.x(-2), -3);

    const DialogUnits fromFont(QApplication::font());
    EXPECT_GT(fromFont.baseWidth(), 0);
    EXPECT_GT(fromFont.baseHeight(), fromFont.baseWidth());
}

// Runs the whole program in this process; inspect sees the main window once it is shown, then
// it is closed.
class RunApplicationTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (buttonImages.empty()) {
            loadButtonImages();
        }
    }

    // Runs the program; once its window shows, inspect sees it, then it is closed (unless
    // inspect ended it itself).
    int runAndClose(const std::function<void(QDialog&)>& inspect,
                    const std::vector<std::string>& files = {}) {
        QTimer poll;
        const QDeadlineTimer deadline(60000);
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (mainWindow != nullptr && mainWindow->isVisible()) {
                poll.stop();
                seen = true;
                inspect(*mainWindow);
                if (mainWindow != nullptr && mainWindow->isVisible() && closeAfterInspection) {
                    mainWindow->reject();
                }
            } else if (deadline.hasExpired()) {
                poll.stop();
                QApplication::exit();
            }
        });
        poll.start(10);
        const int status = runApplication(files);
        EXPECT_TRUE(seen);
        return status;
    }

    TempDir config;
    ScopedSettingsFolder settings{config.path()};
    bool closeAfterInspection = true;
};

TEST_F(RunApplicationTest, RunsTheWindowModallyThenReleasesAndAnswersZero) {
    const int status = runAndClose([](QDialog& window) {
        EXPECT_TRUE(window.isModal());
        EXPECT_NE(control<QWidget>(&window, ids::PresetList), nullptr);
        EXPECT_FALSE(buttonImages.empty());
        control<QLineEdit>(&window, ids::OutputFolder)->setText(QStringLiteral("/srv/run"));
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(buttonImages.empty());
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(convertCore, nullptr);
    EXPECT_EQ(loadOutputFolder(), "/srv/run");
}

TEST_F(RunApplicationTest, OnePresetMeansTheLayoutWithoutThePresetRow) {
    MediaPreset* const real = presetCatalogue;
    TableCatalogue single(onePreset);
    presetCatalogue = &single;
    const int status = runAndClose([](QDialog& window) {
        EXPECT_EQ(control<QWidget>(&window, ids::PresetList), nullptr);
        EXPECT_EQ(window.size(), DialogUnits(window.font()).size(372, 194));
    });
    presetCatalogue = real;
    EXPECT_EQ(status, 0);
}

TEST_F(RunApplicationTest, FilesOnTheCommandLineAreListedAsDroppedFilesAre) {
    TempDir clips;
    const std::string clip = clips.write("clip.mkv", "x");
    const std::string spaced = clips.write("a b.mkv", "x");
    const std::string relative = clips.write("here.mkv", "x");
    // Names that are no text: each its own line, whatever the line shows.
    const std::string latin1 = clips.write("caf\xe9.mkv", "x");
    const std::string bad = clips.write("bad\xff.mkv", "x");
    clips.write("notes.txt", "x");
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(clips.path()));
    std::vector<std::string> names;
    QStringList texts;
    runAndClose(
        [&](QDialog& window) {
            const auto* list = control<QListWidget>(&window, ids::SourceList);
            for (int row = 0; row < list->count(); ++row) {
                names.push_back(sourceLineName(*list, row).toStdString());
                texts << list->item(row)->text();
            }
        },
        {clip, QUrl::fromLocalFile(QString::fromStdString(spaced)).toString().toStdString(),
         "./here.mkv", "notes.txt", "https://example.com/remote.mkv", clip, "bad\xff.mkv",
         "file://" + clips.path() + "/caf%E9.mkv"});
    QDir::setCurrent(before);
    EXPECT_EQ(names, (std::vector<std::string>{spaced, bad, latin1, clip, relative}));
    ASSERT_EQ(texts.size(), 5);
    EXPECT_TRUE(texts[1].endsWith(QStringLiteral("bad\uFFFD.mkv"))) << texts[1].toStdString();
    EXPECT_TRUE(texts[2].endsWith(QStringLiteral("caf\uFFFD.mkv"))) << texts[2].toStdString();
}

// A logout or a kill ends the program as its close box would: the folder is stored.
TEST_F(RunApplicationTest, TheEndSignalSavesTheFolderAndEndsTheRun) {
    closeAfterInspection = false;
    const int status = runAndClose([](QDialog& window) {
        control<QLineEdit>(&window, ids::OutputFolder)->setText(QStringLiteral("/srv/signalled"));
        std::raise(SIGTERM);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(loadOutputFolder(), "/srv/signalled");
    // The program's handler went with the run.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
