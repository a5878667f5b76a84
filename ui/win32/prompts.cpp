#include "prompts.h"

#include "app_state.h"
#include "key_guard.h"
#include "messages.h"
#include "replace_dialog.h"
#include "taskbar.h"

namespace prompts {
namespace {

void messageBox(HWND owner, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), widen(rules::kCaption).c_str(), MB_OK);
}

bool questionBox(HWND owner, const std::wstring& text) {
    guardKeyPresses();
    return MessageBoxW(owner, text.c_str(), widen(rules::kCaption).c_str(), MB_YESNO) == IDYES;
}

rules::ReplaceChoice replaceDialog(HWND owner, const std::wstring& text) {
    return askReplace(owner, text);
}

void flash(HWND window, const std::wstring&) {
    taskbar::askForAttention(window);
}

}  // namespace

Message message = messageBox;
Question question = questionBox;
ReplaceQuestion replaceQuestion = replaceDialog;
TaskbarProgress taskbarProgress = taskbar::showProgress;
BatchEnded batchEnded = flash;

void restore() {
    message = messageBox;
    question = questionBox;
    replaceQuestion = replaceDialog;
    taskbarProgress = taskbar::showProgress;
    batchEnded = flash;
}

}  // namespace prompts
