#pragma once

// The main window's source list (control 1013): full paths, one a line, kept in ascending
// case-insensitive order, several lines selectable. The list is the only record of the chosen
// files until Convert queues them.

#include <QString>
#include <QStringList>

class QDropEvent;

// True when a line equals path exactly (case-sensitive).
bool isListed(const QString& path);

// Adds path at its sorted place when it is of an accepted type and not listed yet. Returns the
// new line's index, or -1 (silently) when nothing was added.
int addSourceFile(const QString& path);

// The list is enabled exactly when it has lines; the "Drag and Drop Here" panel shows while it
// is empty.
void updateListControls();

// Add: the open-file dialog, several files at a time.
void onAddFiles();

// Local files and folders dropped on the main window, tested by name like added files. Ignored
// while a batch runs.
void onDropFiles(QDropEvent& drop);

// Files named when the program starts: paths (relative ones from the current folder) or file
// URLs, added as dropped files are.
void addCommandLineFiles(const QStringList& arguments);

// Remove: deletes the selected lines.
void onRemoveSelected();

// Clear: deletes every line.
void onClearList();
