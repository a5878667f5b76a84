#pragma once

// The prompts as the user sees them: Qt's file dialogs, message boxes and the desktop's file
// manager.

#include "prompts.h"

class QtPrompts : public Prompts {
public:
    QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title,
                         const QString& initialFolder) override;
    bool openFolder(const QString& folder) override;
    void message(QWidget* owner, const QString& text) override;
    bool question(QWidget* owner, const QString& text) override;
};
