#pragma once

// The checks of the Convert command, in their order, and their texts; and how a batch that
// passed them is handed to the engine.

#include <string>
#include <vector>

class ConvertCore;
class MediaPreset;

namespace rules {

enum class Refusal {
    None,
    NoSources,       // "Please add source files."
    NoOutputFolder,  // "Please select output folder."
    FolderMissing,   // "The output folder doesn't exist."
    NoConverter,     // "There isn't a core file."
    NoDataFolder,    // no per-user data folder to write scripts in
};

struct ConvertInput {
    int sourceCount = 0;
    std::string outputFolder;  // as the user gave it; empty when none
    std::string toolPath;      // the converter's path
};

// The output folder as the batch uses it, and as the window then shows and stores it: "~" and
// "~/..." under home (given only where that is the custom: Linux), then made absolute against
// the program's current folder, without trailing separators (a root keeps its own). The
// converter runs in another folder, so a relative folder would name another place there.
// "" stays "".
std::string absoluteOutputFolder(const std::string& typed, const std::string& home);

// The first check that fails, looking at the file system for the folder and the converter.
Refusal checkConvert(const ConvertInput& input);

// The text shown for a refusal; "" for None.
std::string refusalText(Refusal refusal);

// Gives the engine what a batch needs besides its jobs: the converter, the output folder, and
// the chosen preset's extension and arguments.
void setUpBatch(ConvertCore& core, const std::string& toolPath, const std::string& outputFolder,
                const MediaPreset& presets, int preset);

// Queues the list's lines in their order in place of the earlier batch's jobs, empty lines
// skipped; false when nothing was queued.
bool queueLines(ConvertCore& core, const std::vector<std::string>& lines);

}  // namespace rules
