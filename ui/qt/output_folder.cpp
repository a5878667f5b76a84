#include "output_folder.h"

#include <QDialog>
#include <QLineEdit>

#include "app_state.h"
#include "controls.h"
#include "prompts.h"

QString outputFolderText() {
    const auto* field = control<QLineEdit>(mainWindow, ids::OutputFolder);
    return field != nullptr ? field->text() : QString();
}

void onBrowseFolder() {
    const QString chosen = chooseFolder(outputFolderText(), mainWindow);
    if (chosen.isEmpty()) {
        return;
    }
    if (auto* field = control<QLineEdit>(mainWindow, ids::OutputFolder)) {
        field->setText(chosen);
    }
}

QString chooseFolder(const QString& initialFolder, QWidget* owner) {
    return prompts().chooseFolder(owner, QStringLiteral("Select a folder"), initialFolder);
}

void onOpenFolder() {
    const QString folder = outputFolderText();
    if (!folder.isEmpty()) {
        prompts().openFolder(folder);
    }
}
