#pragma once

// kestrova-cli as a library: the whole program behind run(), with the terminal, the streams,
// the stop signal and the converter's place handed in, so that tests run it in-process.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "time_left.h"

namespace cli {

// Exit statuses.
inline constexpr int kExitAllFinished = 0;
inline constexpr int kExitSomeNotFinished = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitInterrupted = 130;

struct Console {
    Console(std::ostream& outStream, std::ostream& errStream) : out(outStream), err(errStream) {}

    std::ostream& out;  // progress, "Complete", the final line, "not finished:" lines
    std::ostream& err;  // refusals, "skipped:" lines, usage, questions, the debug channel

    // Standard output is a terminal: the progress line is rewritten in place.
    bool outIsTerminal = false;
    // Width of that terminal, asked on every refresh (it may change); 0 when unknown.
    std::function<int()> columns;
    // That terminal can move the cursor up, so that several conversions each get a line.
    bool cursorMoves = true;
    // When the time left is first told on the terminal, and how it is smoothed.
    TimeLeft::Timing timeLeftTiming;

    // A user can answer the overwrite question (input and the question's stream are a
    // terminal). Without it an existing output is kept unless -y was given.
    bool canAsk = false;
    // Reads one answer line; nothing at end of input or when interrupted() became true.
    // Called on an engine's worker thread, one question at a time.
    std::function<std::optional<std::string>()> readAnswer;

    // True once the user asked the program to stop (Ctrl-C). Read from both threads.
    std::function<bool()> interrupted;

    // The converter; empty means core/xcoder beside the running executable.
    std::string toolPath;
    // Folder that relative FILEs and DIR are taken from; empty means the current folder.
    std::string workingFolder;
    // Cores of the machine, for -j 0; 0 asks the system.
    unsigned cores = 0;
};

// Runs the program on the arguments after its name; returns the exit status.
int run(const std::vector<std::string>& args, Console& console);

}  // namespace cli
