// kestrova-cli: the terminal front end. Everything but the terminal's wiring is in cli_app.

#include <iostream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "terminal.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args = cli::startTerminal(argc, argv);
    cli::installStopHandlers();

    cli::Console console{std::cout, std::cerr};
    console.outIsTerminal = cli::stdoutIsTerminal();
    console.columns = cli::terminalColumns;
    console.cursorMoves = console.outIsTerminal && cli::enableCursorMovement();
    console.canAsk = cli::stdinIsTerminal() && cli::stderrIsTerminal();
    console.readAnswer = cli::readAnswerLine;
    console.interrupted = cli::stopRequested;
    return cli::run(args, console);
}
