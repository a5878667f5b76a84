#pragma once

// The program's start and end.

#include <string>
#include <vector>

// Prepares the process-wide objects: creates the preset catalogue when there is none yet and
// empties the window handles. Always true.
bool initApplication();

// Releases the button pictures.
void releaseApplication();

// The whole run inside an existing QApplication: start-up, the main window in the layout the
// catalogue calls for with files (the command line's, as bytes) in its list, run modally until
// it closes, then shutdown. Always 0.
//
// SIGTERM, SIGHUP and SIGINT (a logout, a kill, Ctrl-C) end the run as closing the window
// would: the output folder is saved at once, a batch is stopped, the open questions are
// answered as their Esc would, and the window closes.
int runApplication(const std::vector<std::string>& files = {});
