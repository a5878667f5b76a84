#pragma once

// Keys held down repeat; a repeated press must never press a button or answer a question (a
// held Enter on Convert would otherwise press Stop, then the stop question's Yes). One filter
// of the thread's modal loops (the main window, the progress window, the questions and
// message boxes all run in one) drops them before the dialog manager sees them.
//
// It also shows the focus and the mnemonics in a window from the first key pressed there, as
// the dialog manager does on Tab: keyboard users see where they are, mouse users do not.

#include <windows.h>

// Installs the filter for the calling thread; once.
void guardKeyPresses();

// True once a key has been pressed in the window (or the window it belongs to).
bool keyboardUsedIn(HWND window);

// True when the message is a repeated key press that the filter drops.
bool dropsRepeatedKey(const MSG& message);
