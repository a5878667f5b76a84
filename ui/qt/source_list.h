#pragma once

// The main window's source list (control 1013): full paths, one a line, in the order of
// rules::listsBefore, several lines selectable. The list is the only record of the chosen
// files until Convert queues them. Each line keeps its file's name as bytes, whatever they are
// (a name need not be UTF-8); its text shows them, with a replacement character for what is not
// text.

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

class QDropEvent;
class QListWidget;

// True when a line's name is exactly this one (case-sensitive, byte for byte).
bool isListed(const QByteArray& name);
bool isListed(const QString& path);

// Adds the file of this name at its sorted place when it is of an accepted type and not listed
// yet. Returns the new line's index, or -1 (silently) when nothing was added.
int addSourceName(const QByteArray& name);
// The same for a name as Qt holds it (the file dialog's).
int addSourceFile(const QString& path);

// The name of a line of list, as the engine takes it.
QByteArray sourceLineName(const QListWidget& list, int row);

// The list is enabled exactly when it has lines; the "Drag and Drop Here" panel shows while it
// is empty.
void updateListControls();

// Add: the open-file dialog, several files at a time.
void onAddFiles();

// Local files and folders dropped on the main window, tested by name like added files, their
// names read from the drop's own URI list (where Qt's URLs would lose bytes that are not text).
// Ignored while a batch runs.
void onDropFiles(QDropEvent& drop);

// Files named when the program starts, as the command line's bytes: paths (relative ones from
// the current folder) or file URIs, added as dropped files are.
void addCommandLineFiles(const std::vector<std::string>& arguments);

// Remove: deletes the selected lines.
void onRemoveSelected();

// Clear: deletes every line.
void onClearList();
