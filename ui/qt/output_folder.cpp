#include "output_folder.h"

#include <QDialog>
#include <QFile>
#include <QLineEdit>

#include "app_state.h"
#include "controls.h"
#include "open_folder_text.h"
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
    const std::string failure =
        rules::showFolder(QFile::encodeName(folder).toStdString(),
                          [&folder]() { return prompts().openFolder(folder); });
    if (!failure.empty()) {
        prompts().message(mainWindow, QFile::decodeName(failure.c_str()));
    }
}
