#pragma once

// The Convert command: checks the input, hands the batch to the engine, follows it in the
// progress window, then selects the entries that finished.

#include <string>

class QWidget;

// Returns true when the progress window was shown.
bool onConvert();

// The converter's path: core/xcoder beside the running executable.
std::string buildToolPath();

// Selects exactly the source list lines whose job reached 100.
void selectFinishedItems();
