#pragma once

// The Convert command: checks the input, hands the batch to the engine, follows it in the
// progress window, then selects the entries that finished and says why the others did not.

#include <string>

class ConvertCore;
class QWidget;

// Returns true when the progress window was shown.
bool onConvert();

// The converter's path: core/xcoder beside the running executable.
std::string buildToolPath();

// After a batch: selects exactly the source list lines whose job finished, gives each of the
// others its outcome as tip (and takes it from the finished ones), then, when jobs failed,
// tells which and why in one message.
void showBatchOutcome();

// The current index of the combo box `controlId` of `window`; -1 when there is no such control
// or nothing is selected.
int comboSelection(const QWidget* window, int controlId);

// Returns once no worker of an earlier batch is left, with a busy cursor while one is still
// ending (a stop can outlast the engine's one-second wait). Events other than user input go on
// being processed meanwhile, so a question that worker may still be asking gets its answer.
void waitForConversionEnd(ConvertCore& core);
