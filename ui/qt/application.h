#pragma once

// The program's start and end.

#include <QStringList>

// Prepares the process-wide objects: creates the preset catalogue when there is none yet and
// empties the window handles. Always true.
bool initApplication();

// Releases the button pictures.
void releaseApplication();

// The whole run inside an existing QApplication: start-up, the main window in the layout the
// catalogue calls for with files (the command line's) in its list, run modally until it
// closes, then shutdown. Always 0.
int runApplication(const QStringList& files = {});
