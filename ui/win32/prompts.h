#pragma once

// The program's message boxes (caption "Kestrova", no icon), replaceable so that tests answer
// them.

#include <windows.h>

#include <string>

namespace prompts {

// An OK box.
using Message = void (*)(HWND owner, const std::wstring& text);
// A Yes/No box; true for Yes.
using Question = bool (*)(HWND owner, const std::wstring& text);

extern Message message;
extern Question question;

// Put the message boxes back.
void restore();

}  // namespace prompts
