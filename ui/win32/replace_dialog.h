#pragma once

// The replace question: a dialog of the program's own, since a message box has three buttons at
// most and the question has five answers (rules::kReplaceButtons): Yes the default, Cancel also
// for Esc and the close box. Caption "Kestrova", no icon.

#include <windows.h>

#include <string>

#include "replace_question.h"

// Asks modally over owner; the user's answer.
rules::ReplaceChoice askReplace(HWND owner, const std::wstring& text);

INT_PTR CALLBACK replaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
