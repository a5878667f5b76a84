#pragma once

// What kestrova-cli needs from the terminal and the process's signals. One header; one source
// per platform.

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Readies the terminal for the program's UTF-8 text and returns the arguments after the
// program's name, in UTF-8.
std::vector<std::string> startTerminal(int argc, char** argv);

// Ctrl-C and termination requests set a flag instead of ending the process, so that the
// engine can stop the converter and reap it. Repeated requests keep setting the flag.
void installStopHandlers();
// True once a stop was requested. Safe from any thread.
bool stopRequested();

bool stdinIsTerminal();
bool stdoutIsTerminal();
bool stderrIsTerminal();
// Columns of the terminal on standard output; 0 when unknown.
int terminalColumns();
// Readies the terminal on standard output for the escape sequences that move the cursor up
// and clear lines; false when it takes none.
bool enableCursorMovement();

// One line from standard input without its line end; nothing at end of input or once a stop
// was requested (checked every 100 ms while waiting).
std::optional<std::string> readAnswerLine();

}  // namespace cli
