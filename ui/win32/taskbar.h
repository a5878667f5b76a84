#pragma once

// The program's taskbar entry: a batch's progress on it (ITaskbarList3), and a flash that asks
// for attention. Where the shell offers neither (older systems, Wine without a taskbar),
// nothing happens.

#include <windows.h>

#include "progress_view.h"

namespace taskbar {

// Shows progress on window's entry; TaskbarState::None clears it.
void showProgress(HWND window, const rules::TaskbarProgress& progress);

// Flashes window's entry until the user comes back to it.
void askForAttention(HWND window);

}  // namespace taskbar
