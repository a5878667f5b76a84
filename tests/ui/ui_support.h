#pragma once

// Helpers of the desktop program's tests: prompts answered in the user's place, settings kept
// in a private folder, and drops delivered the way the window system delivers them.

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <ostream>
#include <string>
#include <vector>

#include "prompts.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace testing_support {

// Answers every prompt from its fields and records what was asked.
class AnsweringPrompts : public Prompts {
public:
    struct Request {
        QWidget* owner;
        QString title;
        QString detail;  // the filter, or the initial folder
    };

    QStringList filesToOpen;  // empty: the dialog is cancelled
    QString folderToChoose;   // empty: the browser is cancelled
    bool answerYes = true;
    bool folderOpens = true;  // false: the desktop will not show folders

    std::vector<Request> fileDialogs;
    std::vector<Request> folderBrowsers;
    QStringList openedFolders;
    QStringList messages;
    QStringList questions;
    QStringList notices;

    QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) override {
        fileDialogs.push_back({owner, title, filter});
        return filesToOpen;
    }
    QString chooseFolder(QWidget* owner, const QString& title,
                         const QString& initialFolder) override {
        folderBrowsers.push_back({owner, title, initialFolder});
        return folderToChoose;
    }
    rules::ShowAnswer openFolder(const QString& folder) override {
        openedFolders << folder;
        return {folderOpens, {}};
    }
    void message(QWidget*, const QString& text) override { messages << text; }
    bool question(QWidget*, const QString& text) override {
        questions << text;
        return answerYes;
    }
    rules::ReplaceChoice replaceQuestion(QWidget*, const QString& text) override {
        questions << text;
        return answerYes ? rules::ReplaceChoice::Yes : rules::ReplaceChoice::No;
    }
    void taskbarProgress(QWidget*, const rules::TaskbarProgress&) override {}
    void batchEnded(QWidget*, const QString& notice) override { notices << notice; }
};

// Keeps the program's settings in folder while the object lives, then in the user's usual
// configuration folder again.
class ScopedSettingsFolder {
public:
    explicit ScopedSettingsFolder(const std::string& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder));
    }
    ~ScopedSettingsFolder() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    ScopedSettingsFolder(const ScopedSettingsFolder&) = delete;
    ScopedSettingsFolder& operator=(const ScopedSettingsFolder&) = delete;
};

inline QList<QUrl> fileUrls(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    return urls;
}

// Drags urls over a shown window to pos (window coordinates) and drops them there. The events
// go to the window's QWindow, so Qt itself picks the widget under the pointer that takes
// drops. Like a file manager, the drag carries the paths as plain text too. True when the drop
// was taken as a copy.
inline bool dropOnWindow(QWidget& window, QPoint pos, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QStringList paths;
    for (const QUrl& url : urls) {
        paths << url.toString(QUrl::PreferLocalFile);
    }
    data.setText(paths.join(u'\n'));
    QWindow* handle = window.windowHandle();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(handle, &leave);
        return false;
    }
    QDropEvent drop(QPointF(pos), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

}  // namespace testing_support
