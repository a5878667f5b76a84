#pragma once

// The program's message boxes (caption "Kestrova", no icon), its questions and what it tells
// the taskbar, replaceable so that tests answer and watch them.

#include <windows.h>

#include <string>

#include "progress_view.h"
#include "replace_question.h"

namespace prompts {

// An OK box.
using Message = void (*)(HWND owner, const std::wstring& text);
// A Yes/No box; true for Yes.
using Question = bool (*)(HWND owner, const std::wstring& text);
// The replace question with its five answers.
using ReplaceQuestion = rules::ReplaceChoice (*)(HWND owner, const std::wstring& text);
// The batch's progress on window's taskbar entry; TaskbarState::None clears it.
using TaskbarProgress = void (*)(HWND window, const rules::TaskbarProgress& progress);
// A batch has ended while the program was not the active one: window's taskbar entry asks for
// attention (notice says how the batch went; Windows shows no notification for it).
using BatchEnded = void (*)(HWND window, const std::wstring& notice);

extern Message message;
extern Question question;
extern ReplaceQuestion replaceQuestion;
extern TaskbarProgress taskbarProgress;
extern BatchEnded batchEnded;

// Put the real ones back.
void restore();

}  // namespace prompts
