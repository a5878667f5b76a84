#include "prompts.h"

#include "app_state.h"
#include "messages.h"

namespace prompts {
namespace {

void messageBox(HWND owner, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), widen(rules::kCaption).c_str(), MB_OK);
}

bool questionBox(HWND owner, const std::wstring& text) {
    return MessageBoxW(owner, text.c_str(), widen(rules::kCaption).c_str(), MB_YESNO) == IDYES;
}

}  // namespace

Message message = messageBox;
Question question = questionBox;

void restore() {
    message = messageBox;
    question = questionBox;
}

}  // namespace prompts
