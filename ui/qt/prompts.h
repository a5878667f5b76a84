#pragma once

// Everything the program asks of the user or the desktop, behind one interface so that tests
// can answer in the user's place and see what the desktop was told.

#include <QString>
#include <QStringList>

#include "open_folder_text.h"
#include "progress_view.h"
#include "replace_question.h"

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

    // Asks the desktop to show a folder in its file manager. Not shown: the desktop's reason,
    // when it gave one.
    virtual rules::ShowAnswer openFolder(const QString& folder) = 0;

    // A message with a single OK button, caption "Kestrova", no icon.
    virtual void message(QWidget* owner, const QString& text) = 0;

    // A Yes/No question, caption "Kestrova", no icon. True for Yes.
    virtual bool question(QWidget* owner, const QString& text) = 0;

    // The replace question with the five answers of rules::kReplaceButtons, caption "Kestrova",
    // no icon: Yes the default, Cancel also for Esc and the close box.
    virtual rules::ReplaceChoice replaceQuestion(QWidget* owner, const QString& text) = 0;

    // The program's taskbar entry shows a batch's progress; TaskbarState::None clears it.
    virtual void taskbarProgress(QWidget* window, const rules::TaskbarProgress& progress) = 0;

    // A batch has ended while the program was not the active one: its taskbar entry asks for
    // attention and the desktop shows notice, where it can.
    virtual void batchEnded(QWidget* window, const QString& notice) = 0;
};

// The process-wide prompts: the Qt dialogs unless a test has installed its own.
Prompts& prompts();

// Installs replacement prompts (not owned); null restores the Qt dialogs.
void setPrompts(Prompts* replacement);
