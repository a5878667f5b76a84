#pragma once

// Everything the program asks of the user or the desktop, behind one interface so that tests
// can answer in the user's place.

#include <QString>
#include <QStringList>

class QWidget;

class Prompts {
public:
    virtual ~Prompts() = default;

    // Open-file dialog allowing several files. Returns the chosen full paths in the order the
    // dialog gives them; empty when cancelled.
    virtual QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) = 0;

    // Folder browser opening at initialFolder. Returns the chosen folder, or "" when cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title,
                                 const QString& initialFolder) = 0;

    // Asks the desktop to show a folder in its file manager. False when it would not.
    virtual bool openFolder(const QString& folder) = 0;

    // A message with a single OK button, caption "Kestrova", no icon.
    virtual void message(QWidget* owner, const QString& text) = 0;

    // A Yes/No question, caption "Kestrova", no icon. True for Yes.
    virtual bool question(QWidget* owner, const QString& text) = 0;
};

// The process-wide prompts: the Qt dialogs unless a test has installed its own.
Prompts& prompts();

// Installs replacement prompts (not owned); null restores the Qt dialogs.
void setPrompts(Prompts* replacement);
