// The whole Convert road through the real main window, the real engine and the real converter:
// files added, folder chosen, Convert, the progress window followed, the results checked.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "application.h"
#include "button_images.h"
#include "conversion_start.h"
#include "conversion_support.h"
#include "convert_core.h"
#include "main_window.h"
#include "source_list.h"
#include "temp_dir.h"
#include "ui_support.h"

namespace {

using testing_support::ProgressDriver;
using testing_support::ScopedDataHome;
using testing_support::ScopedSettingsFolder;
using testing_support::TempDir;
using testing_support::TestPrompts;
using testing_support::waitUntil;

// The converter's own words for a source it cannot read.
const QString kConvertersLine = QStringLiteral("Invalid data found when processing input");

QString text(const std::string& path) {
    return QString::fromStdString(path);
}

// Runs a program to its end; its standard output, or "<failed>" when it did not exit with 0.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return QStringLiteral("<failed>");
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class ConvertEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(buildToolPath()));
        initApplication();
        if (buttonImages.empty()) {
            loadButtonImages();
        }
        std::filesystem::create_directory(out);
        window = std::make_unique<MainWindow>(MainLayout::WithPresets);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override { window.reset(); }

    // A small Matroska clip with picture and sound; `noisy` makes every frame costly to encode.
    std::string clip(const std::string& name, int seconds, bool noisy = false) {
        const std::string path = sources.file(name);
        const QString d = QString::number(seconds);
        QStringList arguments{"-v",
                              "error",
                              "-y",
                              "-f",
                              "lavfi",
                              "-i",
                              "testsrc2=size=64x48:rate=25:duration=" + d,
                              "-f",
                              "lavfi",
                              "-i",
                              "sine=sample_rate=8000:duration=" + d};
        if (noisy) {
            arguments << "-vf"
                      << "noise=alls=100:allf=t";
        }
        arguments << "-c:v"
                  << "mpeg4"
                  << "-c:a"
                  << "mp2"
                  << "-b:a"
                  << "32k"
                  << "-shortest" << text(path);
        EXPECT_NE(run(text(buildToolPath()), arguments), "<failed>");
        return path;
    }

    // Adds files through Add and its file dialog, and the output folder through "...".
    void prepare(const std::vector<std::string>& files) {
        prompts.filesToOpen.clear();
        for (const std::string& file : files) {
            prompts.filesToOpen << text(file);
        }
        control<QAbstractButton>(window.get(), ids::Add)->click();
        prompts.folderToChoose = text(out);
        control<QAbstractButton>(window.get(), ids::BrowseFolder)->click();
    }

    // Presses Convert; returns once the progress window has closed and Convert has ended.
    void convert() { control<QAbstractButton>(window.get(), ids::Convert)->click(); }

    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        const auto* list = control<QListWidget>(window.get(), ids::SourceList);
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->isSelected()) {
                rows.push_back(row);
            }
        }
        return rows;
    }

    // "format codecs": the container and the codec of every stream, as the prober sees them.
    QString describe(const std::string& path) {
        const QString format =
            run(KESTROVA_FFPROBE, {"-v", "error", "-show_entries", "format=format_name", "-of",
                                   "default=noprint_wrappers=1:nokey=1", text(path)});
        const QString codecs =
            run(KESTROVA_FFPROBE, {"-v", "error", "-show_entries", "stream=codec_name", "-of",
                                   "default=noprint_wrappers=1:nokey=1", text(path)});
        return format + " " + QString(codecs).replace('\n', ' ');
    }

    TempDir work;
    TempDir sources;
    std::string out = work.file("out");
    ScopedDataHome data{work.path()};
    ScopedSettingsFolder settings{work.path()};
    TestPrompts prompts;
    std::unique_ptr<MainWindow> window;
};

TEST_F(ConvertEndToEndTest, ConvertsTheListedClipsIntoValidAviFiles) {
    prepare({clip("b.mkv", 1), clip("a.mkv", 1)});
    ProgressDriver driver;
    QStringList fileLines;
    driver.onTick = [&](ProgressWindow* progress) {
        const QString line = testing_support::labelText(progress, ids::FileLine);
        if (fileLines.isEmpty() || fileLines.back() != line) {
            fileLines << line;
        }
    };
    convert();

    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
    EXPECT_EQ(fileLines.back(), "Complete");
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1}));
    EXPECT_EQ(describe(out + "/a.avi"), "avi wmv2 wmav2");
    EXPECT_EQ(describe(out + "/b.avi"), "avi wmv2 wmav2");
    EXPECT_EQ(convertCore->runState, Finished);
}

TEST_F(ConvertEndToEndTest, AnExistingOutputIsReplacedOnlyAfterYes) {
    const std::string output = out + "/a.avi";
    std::ofstream(output) << "older file";
    prepare({clip("a.mkv", 1)});
    const QString question = "'" + text(output) + "' already exists.\nDo you want to replace it?";
    ProgressDriver driver;

    prompts.answer = [](QWidget*, const QString&) { return false; };
    convert();
    EXPECT_EQ(prompts.questions, QStringList{question});
    EXPECT_EQ(testing_support::readAll(output), "older file");
    // A kept output counts as finished.
    EXPECT_EQ(driver.finalBatchLine, "1 / 1 (100%)");
    EXPECT_EQ(selectedRows(), std::vector<int>{0});

    prompts.answer = [](QWidget*, const QString&) { return true; };
    convert();
    EXPECT_EQ(prompts.questions, (QStringList{question, question}));
    EXPECT_EQ(describe(output), "avi wmv2 wmav2");
    EXPECT_EQ(selectedRows(), std::vector<int>{0});
}

TEST_F(ConvertEndToEndTest, StopInTheMiddleClosesTheWindowAndLeavesTheNextJobAlone) {
    // Scaled up and noisy, the long clip takes seconds to convert: long enough to stop it.
    prepare({clip("a-long.mkv", 120, true), clip("b.mkv", 1)});
    control<QComboBox>(window.get(), ids::PresetList)->setCurrentIndex(2);
    prompts.answer = [](QWidget*, const QString&) { return true; };
    ProgressDriver driver;
    driver.closeWhenComplete = false;
    QElapsedTimer sinceStop;
    driver.onTick = [&](ProgressWindow* progress) {
        const QString line = testing_support::labelText(progress, ids::BatchLine);
        // Stop once the converter has reported progress on the first job.
        if (!sinceStop.isValid() && line.startsWith("1 / 2 (") && line != "1 / 2 (0%)") {
            sinceStop.start();
            control<QPushButton>(progress, ids::Stop)->click();
        }
    };
    convert();
    const qint64 closedAfter = sinceStop.elapsed();

    ASSERT_TRUE(sinceStop.isValid()) << "the first job never reported progress";
    EXPECT_EQ(prompts.questions, QStringList{"Are you sure you want to stop the conversion?"});
    EXPECT_LT(closedAfter, 5000);
    ::testing::Test::RecordProperty("closed_after_ms", static_cast<int>(closedAfter));
    ASSERT_TRUE(waitUntil([] { return convertCore->runState == Stopped; }));
    EXPECT_EQ(convertCore->jobPercents(), (std::vector<int>{0, 0}));
    EXPECT_FALSE(std::filesystem::exists(out + "/b.avi"));
    EXPECT_EQ(selectedRows(), std::vector<int>{});
}

TEST_F(ConvertEndToEndTest, ABrokenSourceIsNamedWithItsReasonOnceAndOnItsLine) {
    std::ofstream(sources.file("c-broken.mkv")) << "this is no Matroska file";
    prepare({clip("a.mkv", 1), clip("b.mkv", 1), sources.file("c-broken.mkv")});
    ProgressDriver driver;
    convert();

    EXPECT_EQ(driver.finalBatchLine, "2 / 3 (67%)");
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1}));
    ASSERT_EQ(prompts.messages.size(), 1);
    const QString head =
        "This file was not converted:\n\n" + text(sources.file("c-broken.mkv")) + ": ";
    ASSERT_TRUE(prompts.messages[0].startsWith(head)) << prompts.messages[0].toStdString();
    const QString reason = prompts.messages[0].mid(head.size());
    EXPECT_EQ(reason, kConvertersLine);
    const auto* list = control<QListWidget>(window.get(), ids::SourceList);
    EXPECT_EQ(list->item(2)->toolTip(), "Not converted: " + reason);
    // Screen readers read the same as the line's description.
    EXPECT_EQ(list->item(2)->data(Qt::AccessibleDescriptionRole).toString(),
              "Not converted: " + reason);
    EXPECT_EQ(list->item(0)->toolTip(), "");
    EXPECT_FALSE(std::filesystem::exists(out + "/c-broken.avi"));
}

// Two names that are no text and differ only in one byte: two lines, two conversions, two
// outputs, each of its own name.
TEST_F(ConvertEndToEndTest, NamesThatAreNoTextAreConvertedByTheirBytes) {
    const std::string made = clip("made.mkv", 1);
    const std::string first = sources.file("clip\xfe.mkv");
    const std::string second = sources.file("clip\xff.mkv");
    std::filesystem::copy_file(made, first);
    std::filesystem::rename(made, second);
    EXPECT_EQ(addSourceName(QByteArray::fromStdString(first)), 0);
    EXPECT_EQ(addSourceName(QByteArray::fromStdString(second)), 1);
    prompts.folderToChoose = text(out);
    control<QAbstractButton>(window.get(), ids::BrowseFolder)->click();
    ProgressDriver driver;
    convert();

    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('|').toStdString();
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(std::filesystem::exists(out + "/clip\xfe.avi"));
    EXPECT_TRUE(std::filesystem::exists(out + "/clip\xff.avi"));
}

}  // namespace
