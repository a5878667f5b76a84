#pragma once

// What the Convert and progress-window tests share: prompts answered by a function of the test,
// waiting on a condition while the event loop runs, a driver acting on progress windows from a
// timer, and a stand-in main window with the controls that the Convert command reads.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "app_state.h"
#include "controls.h"
#include "media_preset.h"
#include "progress_window.h"
#include "prompts.h"

namespace testing_support {

// Runs the event loop until pred holds or the deadline passes; true when it holds.
template <class Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    if (pred()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    bool held = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (pred()) {
            held = true;
            loop.quit();
        } else if (clock.elapsed() > deadline.count()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return held;
}

// Prompts answered in the user's place; every message and question is recorded.
class TestPrompts : public Prompts {
public:
    TestPrompts() { setPrompts(this); }
    ~TestPrompts() override { setPrompts(nullptr); }
    TestPrompts(const TestPrompts&) = delete;
    TestPrompts& operator=(const TestPrompts&) = delete;

    QStringList openFiles(QWidget*, const QString&, const QString&) override { return filesToOpen; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override {
        return folderToChoose;
    }
    rules::ShowAnswer openFolder(const QString&) override { return {}; }
    void message(QWidget* owner, const QString& text) override {
        messages << text;
        messageOwners.push_back(owner);
    }
    bool question(QWidget* owner, const QString& text) override {
        questions << text;
        questionOwners.push_back(owner);
        return answer ? answer(owner, text) : false;
    }
    rules::ReplaceChoice replaceQuestion(QWidget* owner, const QString& text) override {
        questions << text;
        questionOwners.push_back(owner);
        if (replaceAnswer) {
            return replaceAnswer(owner, text);
        }
        return answer && answer(owner, text) ? rules::ReplaceChoice::Yes : rules::ReplaceChoice::No;
    }
    void taskbarProgress(QWidget* window, const rules::TaskbarProgress& progress) override {
        taskbar.push_back(progress);
        taskbarWindows.push_back(window);
    }
    void batchEnded(QWidget* window, const QString& notice) override {
        notices << notice;
        noticeWindows.push_back(window);
    }

    QStringList filesToOpen;  // empty: the file dialog is cancelled
    QString folderToChoose;   // empty: the folder browser is cancelled
    QStringList messages;
    std::vector<QWidget*> messageOwners;
    QStringList questions;
    std::vector<QWidget*> questionOwners;
    // Called on the user-interface thread for every question; No when unset. The replace
    // question takes replaceAnswer when set, else Yes or No from answer.
    std::function<bool(QWidget*, const QString&)> answer;
    std::function<rules::ReplaceChoice(QWidget*, const QString&)> replaceAnswer;
    // What the taskbar entry was told, tick by tick, and the notices at a batch's end.
    std::vector<rules::TaskbarProgress> taskbar;
    std::vector<QWidget*> taskbarWindows;
    QStringList notices;
    std::vector<QWidget*> noticeWindows;
};

inline QString labelText(const QWidget* window, int id) {
    const auto* label = control<QLabel>(window, id);
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

inline bool shown(const QWidget* window, int id) {
    const auto* widget = control<QWidget>(window, id);
    return widget != nullptr && !widget->isHidden();
}

// The visible progress window, if any.
inline ProgressWindow* openProgressWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ProgressWindow*>(widget); window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

// Watches for progress windows while a modal loop runs and acts on them from a timer:
// `onTick` sees every visible window on every poll; by default it presses Close once the
// window says "Complete".
class ProgressDriver {
public:
    ProgressDriver() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this]() {
            ProgressWindow* window = openProgressWindow();
            if (window == nullptr) {
                return;
            }
            seen = true;
            if (onTick) {
                onTick(window);
            }
            if (closeWhenComplete && labelText(window, ids::FileLine) == "Complete" &&
                shown(window, ids::Close)) {
                finalBatchLine = labelText(window, ids::BatchLine);
                if (auto* close = control<QPushButton>(window, ids::Close)) {
                    close->click();
                }
            }
        });
        timer.start();
    }

    std::function<void(ProgressWindow*)> onTick;
    bool closeWhenComplete = true;
    bool seen = false;
    QString finalBatchLine;

private:
    QTimer timer;
};

// A stand-in for the main window with the controls the Convert command reads, installed as the
// process-wide main window, engine and catalogue for its lifetime.
class StandInMainWindow {
public:
    StandInMainWindow(ConvertCore* core, MediaPreset* catalogue, bool withPresetList = true)
        : presetsOffered(catalogue) {
        window = new QDialog;
        list = new QListWidget(window);
        list->setObjectName(controlName(ids::SourceList));
        list->setSortingEnabled(true);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        folder = new QLineEdit(window);
        folder->setObjectName(controlName(ids::OutputFolder));
        if (withPresetList) {
            presets = new QComboBox(window);
            presets->setObjectName(controlName(ids::PresetList));
        }
        savedWindow = std::exchange(mainWindow, window);
        savedCore = std::exchange(convertCore, core);
        savedCatalogue = std::exchange(presetCatalogue, catalogue);
    }
    ~StandInMainWindow() {
        mainWindow = savedWindow;
        convertCore = savedCore;
        presetCatalogue = savedCatalogue;
        delete window;
    }
    StandInMainWindow(const StandInMainWindow&) = delete;
    StandInMainWindow& operator=(const StandInMainWindow&) = delete;

    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->isSelected()) {
                rows.push_back(row);
            }
        }
        return rows;
    }

    MediaPreset* catalogue() const { return presetsOffered; }

    QDialog* window = nullptr;
    QListWidget* list = nullptr;
    QLineEdit* folder = nullptr;
    QComboBox* presets = nullptr;

private:
    MediaPreset* presetsOffered = nullptr;
    QDialog* savedWindow = nullptr;
    ConvertCore* savedCore = nullptr;
    MediaPreset* savedCatalogue = nullptr;
};

}  // namespace testing_support
