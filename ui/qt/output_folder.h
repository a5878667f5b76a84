#pragma once

// The main window's output-folder row: the editable field 1006 with its "..." and "Open"
// buttons.

#include <QString>

class QWidget;

// The field's whole text; "" when it is empty or missing.
QString outputFolderText();

// "...": the folder browser, opening at the field's folder; a chosen folder replaces the
// field's text, a cancelled browser leaves it.
void onBrowseFolder();

// The folder browser titled "Select a folder": the chosen folder, or "" when cancelled.
QString chooseFolder(const QString& initialFolder, QWidget* owner);

// "Open": shows the field's folder in the desktop's file manager; nothing when it is empty, a
// message with the folder and the reason when it cannot be shown.
void onOpenFolder();
