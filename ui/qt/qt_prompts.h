#pragma once

// The prompts as the user sees them: Qt's file dialogs and message boxes, the desktop's file
// manager, taskbar and notifications.

#include "prompts.h"

class QtPrompts : public Prompts {
public:
    QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title,
                         const QString& initialFolder) override;
    // Through xdg-open where there is one: its failures (it exits with a status) come back
    // within a moment, while a file manager it waits for is left to run.
    rules::ShowAnswer openFolder(const QString& folder) override;
    void message(QWidget* owner, const QString& text) override;
    bool question(QWidget* owner, const QString& text) override;
    rules::ReplaceChoice replaceQuestion(QWidget* owner, const QString& text) override;
    void taskbarProgress(QWidget* window, const rules::TaskbarProgress& progress) override;
    void batchEnded(QWidget* window, const QString& notice) override;
};
