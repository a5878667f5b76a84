#pragma once

// Keys held down repeat; a repeated press must never press a button or answer a question (a
// held Enter on Convert would otherwise press Stop, then the stop question's Yes). Installed
// once for the whole program by the windows that need it.
//
// It also shows the keyboard focus on every window from the first key pressed there, as
// Windows does once the keyboard is used.
void guardKeyPresses();
