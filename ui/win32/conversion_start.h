#pragma once

// The Convert command: the checks, the engine's settings and jobs, the progress window, and
// what the list shows afterwards.

#include <string>

class ConvertCore;

// True when the progress window was shown.
bool onConvert();

// The converter's path: core\xcoder.exe beside the program.
std::string buildToolPath();

// After a batch: selects the lines whose job finished and deselects the others, in one change;
// lines whose job did not finish get their outcome as tooltip, the others lose theirs; when
// jobs failed, one message tells which and why.
void showBatchOutcome();

// Waits, answering the windows meanwhile, until a stopped batch's worker has ended.
void waitForConversionEnd(ConvertCore& core);
