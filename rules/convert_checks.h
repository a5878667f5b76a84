#pragma once

// The checks of the Convert command, in their order, and their texts.

#include <string>

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

// The first check that fails, looking at the file system for the folder and the converter.
Refusal checkConvert(const ConvertInput& input);

// The text shown for a refusal; "" for None.
std::string refusalText(Refusal refusal);

}  // namespace rules
