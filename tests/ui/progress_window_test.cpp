#include "progress_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <thread>

#include "conversion_support.h"
#include "scripted_core.h"
#include "temp_dir.h"

namespace {

using testing_support::labelText;
using testing_support::ProgressDriver;
using testing_support::ScriptedCore;
using testing_support::shown;
using testing_support::TempDir;
using testing_support::TestPrompts;
using testing_support::waitUntil;
using Action = ScriptedCore::Action;

const QString kStopQuestion = QStringLiteral("Are you sure you want to stop the conversion?");

// Enter, where the window's focus is.
void pressEnter(ProgressWindow& window) {
    QWidget* focus = window.focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &window, Qt::Key_Return);
}

// Two jobs in a private output folder.
struct Batch {
    Batch() {
        core.outputFolder = folder.path();
        core.outputExt = "avi";
        core.addJob(first);
        core.addJob(second);
    }
    TempDir folder;
    ScriptedCore core;
    std::string first = "/sources/a.mkv";
    std::string second = "/sources/b.mkv";
};

TEST(ProgressWindowTest, FollowsTheBatchFromResourceTextsToComplete) {
    TestPrompts prompts;
    Batch batch;
    batch.core.deferStart();
    batch.core.setAction(batch.first, Action::Hold);
    ProgressWindow window(batch.core, nullptr);
    ASSERT_TRUE(window.progressInit());
    window.show();
    EXPECT_EQ(window.windowTitle(), "Progress");
    EXPECT_FALSE(window.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowSystemMenuHint));

    // Running, but no job picked yet: the resource texts stay and the bar is empty.
    const int ticks = window.tickCount();
    ASSERT_TRUE(waitUntil([&] { return window.tickCount() >= ticks + 2; }));
    EXPECT_EQ(labelText(&window, ids::BatchLine), "Total 1/10");
    EXPECT_EQ(labelText(&window, ids::FileLine), "File Name");
    EXPECT_EQ(control<QProgressBar>(&window, ids::ProgressBar)->value(), 0);
    EXPECT_TRUE(shown(&window, ids::Stop));
    EXPECT_FALSE(shown(&window, ids::Close));

    batch.core.beginWorker();
    ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::BatchLine) == "1 / 2 (25%)"; }));
    EXPECT_EQ(labelText(&window, ids::FileLine), "/sources/a.mkv");
    const auto* bar = control<QProgressBar>(&window, ids::ProgressBar);
    EXPECT_EQ(bar->maximum(), 200);
    EXPECT_EQ(bar->value(), 50);
    // Enter presses Stop while it shows (answered No here).
    pressEnter(window);
    EXPECT_EQ(prompts.questions, QStringList{kStopQuestion});

    batch.core.releaseAll();
    ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));
    EXPECT_EQ(labelText(&window, ids::BatchLine), "2 / 2 (100%)");
    EXPECT_FALSE(shown(&window, ids::ProgressBar));
    EXPECT_FALSE(shown(&window, ids::Stop));
    EXPECT_TRUE(shown(&window, ids::Close));

    // Complete waits for Close: the tick has ended, and neither Escape nor a close request from
    // the window manager ends the window.
    const int finalTicks = window.tickCount();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &escape);
    EXPECT_FALSE(window.close());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.tickCount(), finalTicks);

    // Enter presses Close once it shows.
    pressEnter(window);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), 1);
    EXPECT_EQ(prompts.questions, QStringList{kStopQuestion});
}

TEST(ProgressWindowTest, ALongPathLosesItsMiddleAndShowsInFullAsTip) {
    TestPrompts prompts;
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    const std::string source = "/sources/" + std::string(300, 'd') + "/the-file-name.mkv";
    core.addJob(source);
    core.setAction(source, Action::Hold);
    ProgressWindow window(core, nullptr);
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return core.holding.load(); }));
    window.progressTick();

    const auto* line = control<QLabel>(&window, ids::FileLine);
    EXPECT_TRUE(line->text().startsWith("/sources/d")) << line->text().toStdString();
    EXPECT_TRUE(line->text().endsWith("d/the-file-name.mkv")) << line->text().toStdString();
    EXPECT_TRUE(line->text().contains(QChar(0x2026)));
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width());
    EXPECT_EQ(line->toolTip(), QString::fromStdString(source));
    core.releaseAll();
}

TEST(ProgressWindowTest, FinalLineCountsOnlyFinishedJobs) {
    TestPrompts prompts;
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    for (const char* source : {"/s/a.mkv", "/s/b.mkv", "/s/c.mkv"}) {
        core.addJob(source);
    }
    core.setAction("/s/b.mkv", Action::Fail);
    ProgressDriver driver;
    EXPECT_EQ(runProgressWindow(core, nullptr), 1);
    EXPECT_EQ(driver.finalBatchLine, "2 / 3 (67%)");
    EXPECT_EQ(core.runState, Finished);
}

TEST(ProgressWindowTest, StopConfirmedAfterTheBatchFinishedChangesNothing) {
    TestPrompts prompts;
    Batch batch;
    batch.core.setAction(batch.first, Action::Hold);
    ProgressWindow window(batch.core, nullptr);
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return batch.core.holding.load(); }));

    // The batch ends while the question is open; the user then answers Yes.
    prompts.answer = [&](QWidget* owner, const QString& text) {
        EXPECT_EQ(owner, &window);
        EXPECT_EQ(text, kStopQuestion);
        batch.core.releaseAll();
        EXPECT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));
        return true;
    };
    control<QPushButton>(&window, ids::Stop)->click();
    ASSERT_EQ(prompts.questions.size(), 1);
    QCoreApplication::processEvents();
    window.progressTick();
    QCoreApplication::processEvents();

    EXPECT_EQ(batch.core.runState, Finished);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(labelText(&window, ids::FileLine), "Complete");
    EXPECT_EQ(labelText(&window, ids::BatchLine), "2 / 2 (100%)");
    EXPECT_TRUE(shown(&window, ids::Close));
    EXPECT_EQ(batch.core.jobPercents(), (std::vector<int>{100, 100}));
}

TEST(ProgressWindowTest, StopAnsweredNoGoesOn) {
    TestPrompts prompts;
    Batch batch;
    batch.core.setAction(batch.first, Action::Hold);
    ProgressDriver driver;
    driver.onTick = [&](ProgressWindow* window) {
        if (batch.core.holding && prompts.questions.isEmpty()) {
            control<QPushButton>(window, ids::Stop)->click();  // answered No
            batch.core.releaseAll();
        }
    };
    EXPECT_EQ(runProgressWindow(batch.core, nullptr), 1);
    EXPECT_EQ(prompts.questions, QStringList{kStopQuestion});
    EXPECT_EQ(batch.core.runState, Finished);
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
}

// Presses Stop once the first job is held, runs the window to its end, and answers the time
// from the press until the window had closed.
qint64 stopOnceHeldAndTimeTheClose(Batch& batch) {
    ProgressDriver driver;
    driver.closeWhenComplete = false;
    QElapsedTimer sinceStop;
    driver.onTick = [&](ProgressWindow* window) {
        if (batch.core.holding && !sinceStop.isValid()) {
            sinceStop.start();
            control<QPushButton>(window, ids::Stop)->click();
        }
    };
    EXPECT_EQ(runProgressWindow(batch.core, nullptr), 1);
    return sinceStop.elapsed();
}

TEST(ProgressWindowTest, StopClosesTheWindowByItself) {
    TestPrompts prompts;
    prompts.answer = [](QWidget*, const QString&) { return true; };
    Batch batch;
    batch.core.setAction(batch.first, Action::Hold);
    const qint64 closedAfter = stopOnceHeldAndTimeTheClose(batch);
    EXPECT_EQ(prompts.questions, QStringList{kStopQuestion});
    EXPECT_EQ(batch.core.runState, Stopped);
    // The engine's stop wait returns as soon as the worker has ended; one tick later the
    // window has gone.
    EXPECT_LT(closedAfter, 3000);
    ::testing::Test::RecordProperty("closed_after_ms", static_cast<int>(closedAfter));
    // The job under way left nothing; the next one was never taken up.
    EXPECT_EQ(batch.core.converted(), std::vector<std::string>{batch.first});
    EXPECT_EQ(batch.core.jobPercents(), (std::vector<int>{0, 0}));
}

TEST(ProgressWindowTest, WindowClosesAfterAStopThatOutlastsTheEngineWait) {
    TestPrompts prompts;
    prompts.answer = [](QWidget*, const QString&) { return true; };
    Batch batch;
    batch.core.setAction(batch.first, Action::HoldDeaf);
    const qint64 closedAfter = stopOnceHeldAndTimeTheClose(batch);
    EXPECT_EQ(batch.core.runState, StopRequested);
    EXPECT_GE(closedAfter, 900);
    EXPECT_LT(closedAfter, 10000);
    ::testing::Test::RecordProperty("closed_after_ms", static_cast<int>(closedAfter));

    // The worker ends in the background once its converter lets go.
    batch.core.releaseAll();
    waitForConversionEnd(batch.core);
    EXPECT_EQ(batch.core.runState, Stopped);
    EXPECT_EQ(batch.core.converted(), std::vector<std::string>{batch.first});
}

TEST(ProgressWindowTest, KeepsRefreshingWhileTheReplaceQuestionIsOpen) {
    TestPrompts prompts;
    Batch batch;
    const std::string keptOutput = batch.folder.write("a.avi", "keep me");
    batch.folder.write("b.avi", "replace me");
    ProgressWindow window(batch.core, nullptr);

    // First No, then Yes; each answer only after the window has ticked while the question is
    // open, and showed the job that asks.
    prompts.answer = [&](QWidget* owner, const QString&) {
        EXPECT_EQ(owner, &window);
        const int ticks = window.tickCount();
        EXPECT_TRUE(waitUntil([&] { return window.tickCount() >= ticks + 2; }));
        const QString expectedLine = prompts.questions.size() == 1 ? "1 / 2 (0%)" : "2 / 2 (50%)";
        EXPECT_EQ(labelText(&window, ids::BatchLine), expectedLine);
        EXPECT_TRUE(shown(&window, ids::Stop));
        return prompts.questions.size() == 2;
    };
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));

    const QString folder = QString::fromStdString(batch.folder.path());
    EXPECT_EQ(prompts.questions,
              (QStringList{"'" + folder + "/a.avi' already exists.\nDo you want to replace it?",
                           "'" + folder + "/b.avi' already exists.\nDo you want to replace it?"}));
    EXPECT_EQ(batch.core.converted(), std::vector<std::string>{batch.second});
    EXPECT_EQ(testing_support::readAll(keptOutput), "keep me");
    // A kept output counts as finished.
    EXPECT_EQ(labelText(&window, ids::BatchLine), "2 / 2 (100%)");
}

TEST(ProgressWindowTest, TheProgramsOwnQuestionBoxIsModalToTheWindowWhileItTicks) {
    setPrompts(nullptr);  // the real message boxes
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    core.addJob("/sources/a.mkv");
    folder.write("a.avi", "old");
    ProgressWindow window(core, nullptr);

    int ticksAtQuestion = -1;
    QString question;
    QStringList answers;
    QString defaultAnswer;
    QString escapeAnswer;
    bool heldKeysAnswered = true;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        if (ticksAtQuestion < 0) {
            ticksAtQuestion = window.tickCount();
        } else if (window.tickCount() >= ticksAtQuestion + 2) {
            question = box->text();
            EXPECT_EQ(box->parentWidget(), &window);
            EXPECT_EQ(box->windowTitle(), "Kestrova");
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            QList<QAbstractButton*> buttons = box->buttons();
            std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
                return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
            });
            for (QAbstractButton* button : buttons) {
                answers << button->text();
            }
            defaultAnswer = box->defaultButton() != nullptr ? box->defaultButton()->text() : "";
            escapeAnswer = box->escapeButton() != nullptr ? box->escapeButton()->text() : "";
            // A held Enter: its repeats answer nothing.
            for (QWidget* target :
                 {static_cast<QWidget*>(box->defaultButton()), static_cast<QWidget*>(box)}) {
                for (const QEvent::Type type :
                     {QEvent::ShortcutOverride, QEvent::KeyPress, QEvent::KeyRelease}) {
                    QKeyEvent enter(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
                                    true);
                    QCoreApplication::sendEvent(target, &enter);
                }
            }
            heldKeysAnswered = !box->isVisible();
            box->defaultButton()->click();
        }
    });
    watcher.start();
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));
    EXPECT_EQ(question, "'" + QString::fromStdString(folder.path()) +
                            "/a.avi' already exists.\nDo you want to replace it?");
    // Shown left to right in this order.
    EXPECT_EQ(answers, (QStringList{"&Yes", "Yes to &All", "&No", "N&o to All", "Cancel"}));
    EXPECT_EQ(defaultAnswer, "&Yes");
    EXPECT_EQ(escapeAnswer, "Cancel");
    EXPECT_FALSE(heldKeysAnswered);
    EXPECT_EQ(core.converted(), std::vector<std::string>{"/sources/a.mkv"});
}

TEST(ProgressWindowTest, LateQuestionFromAnEndingWorkerIsNotAskedAndCannotDeadlock) {
    TestPrompts prompts;
    ScriptedCore core;
    std::intptr_t stale = 0;
    {
        ProgressWindow window(core, nullptr);
        stale = reinterpret_cast<std::intptr_t>(&window);
    }
    // A worker still winding down after its window closed asks while the user interface waits
    // for it to end.
    core.runState = StopRequested;
    int answer = -1;
    std::thread worker([&] {
        answer = ProgressWindow::askOverwrite(ConfirmOverwrite, stale);
        core.runState = Stopped;
    });
    waitForConversionEnd(core);
    worker.join();
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(prompts.questions.isEmpty());
}

// Thirty outputs there already: one "No to All" keeps them all, without another question.
TEST(ProgressWindowTest, OneNoToAllAnswersTheRestOfTheBatch) {
    TestPrompts prompts;
    prompts.replaceAnswer = [](QWidget*, const QString&) { return rules::ReplaceChoice::NoToAll; };
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    for (int k = 0; k < 30; ++k) {
        const std::string name = "clip" + std::to_string(k);
        core.addJob("/sources/" + name + ".mkv");
        folder.write(name + ".avi", "keep " + name);
    }
    ProgressDriver driver;
    EXPECT_EQ(runProgressWindow(core, nullptr), 1);
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(core.converted().empty());
    EXPECT_EQ(driver.finalBatchLine, "30 / 30 (100%)");
    EXPECT_EQ(testing_support::readAll(folder.file("clip29.avi")), "keep clip29");

    // The next batch asks again, and "Yes to All" replaces the rest unasked.
    prompts.questions.clear();
    prompts.replaceAnswer = [](QWidget*, const QString&) { return rules::ReplaceChoice::YesToAll; };
    core.clearJobs();
    for (int k = 0; k < 3; ++k) {
        core.addJob("/sources/clip" + std::to_string(k) + ".mkv");
    }
    EXPECT_EQ(runProgressWindow(core, nullptr), 1);
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(core.converted().size(), 3u);
}

// Cancel keeps the file and stops the batch; the window closes as after a stop.
TEST(ProgressWindowTest, CancelKeepsTheFileAndStopsTheBatch) {
    TestPrompts prompts;
    prompts.replaceAnswer = [](QWidget*, const QString&) { return rules::ReplaceChoice::Cancel; };
    Batch batch;
    batch.folder.write("a.avi", "keep me");
    ProgressDriver driver;
    driver.closeWhenComplete = false;
    EXPECT_EQ(runProgressWindow(batch.core, nullptr), 1);
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(batch.core.runState, Stopped);
    EXPECT_TRUE(batch.core.converted().empty());
    const std::vector<ConvertJob> jobs = batch.core.jobSnapshots();
    EXPECT_EQ(jobs[0].outcome, JobOutcome::Kept);
    EXPECT_EQ(jobs[1].outcome, JobOutcome::NotStarted);
    EXPECT_EQ(testing_support::readAll(batch.folder.file("a.avi")), "keep me");
}

// The taskbar follows the bar, turns to the error state once a job has failed, and is cleared
// at the end; a batch that ends while the program is not the active one says how it went.
TEST(ProgressWindowTest, TaskbarFollowsTheBatchAndTheEndIsToldWhenNobodyWatches) {
    TestPrompts prompts;
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    for (const char* source : {"/s/a.mkv", "/s/b.mkv", "/s/c.mkv"}) {
        core.addJob(source);
    }
    core.setAction("/s/a.mkv", Action::Fail);
    core.setAction("/s/b.mkv", Action::Hold);
    QWidget owner;
    {
        ProgressWindow window(core, &owner);
        ASSERT_TRUE(window.progressInit());
        // Never shown: no window of the program is the active one.
        ASSERT_TRUE(waitUntil([&] { return core.holding.load(); }));
        window.progressTick();
        core.releaseAll();
        ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));
    }
    using rules::TaskbarState;
    ASSERT_GE(prompts.taskbar.size(), 2u);
    EXPECT_EQ(prompts.taskbar.front().state, TaskbarState::Normal);
    EXPECT_EQ(prompts.taskbar.front().position, 0);
    EXPECT_EQ(prompts.taskbar.back(), rules::TaskbarProgress{});
    const auto error = std::find_if(prompts.taskbar.begin(), prompts.taskbar.end(),
                                    [](const auto& p) { return p.state == TaskbarState::Error; });
    ASSERT_NE(error, prompts.taskbar.end());
    EXPECT_EQ(error->position, 150);
    EXPECT_EQ(error->maximum, 300);
    EXPECT_TRUE(std::all_of(prompts.taskbarWindows.begin(), prompts.taskbarWindows.end(),
                            [&](QWidget* w) { return w == &owner; }));
    EXPECT_EQ(prompts.notices, QStringList{"2 of 3 files converted, 1 not converted"});
    EXPECT_EQ(prompts.noticeWindows, std::vector<QWidget*>{&owner});
}

TEST(ProgressWindowTest, NoNoticeWhileTheUserWatches) {
    TestPrompts prompts;
    Batch batch;
    ProgressWindow window(batch.core, nullptr);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.progressInit());
    ASSERT_TRUE(waitUntil([&] { return labelText(&window, ids::FileLine) == "Complete"; }));
    EXPECT_TRUE(prompts.notices.isEmpty());
    EXPECT_EQ(prompts.taskbar.back(), rules::TaskbarProgress{});
}

// Whatever minimises or restores one window (a window manager that does not keep the two
// together too), the other follows.
TEST(ProgressWindowTest, MinimisesAndRestoresWithItsOwner) {
    TestPrompts prompts;
    Batch batch;
    batch.core.setAction(batch.first, Action::Hold);
    QDialog owner;
    owner.show();
    ProgressWindow window(batch.core, &owner);
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showMinimized();
    EXPECT_TRUE(waitUntil([&] { return owner.isMinimized(); }));
    owner.showNormal();
    EXPECT_TRUE(waitUntil([&] { return !window.isMinimized(); }));
    owner.showMinimized();
    EXPECT_TRUE(waitUntil([&] { return window.isMinimized(); }));
    window.showNormal();
    EXPECT_TRUE(waitUntil([&] { return !owner.isMinimized(); }));
    batch.core.releaseAll();
}

}  // namespace
