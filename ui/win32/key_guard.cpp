#include "key_guard.h"

#include <set>

namespace {

HHOOK filter = nullptr;
// The top-level windows in which a key has been pressed.
std::set<HWND> keyboardWindows;

// Bit 30 of a key message: the key was down already.
constexpr LPARAM kRepeated = LPARAM{1} << 30;

bool isButton(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, L"Button") == 0;
}

void showKeyboardCues(const MSG& message) {
    HWND window = GetAncestor(message.hwnd, GA_ROOT);
    if (window == nullptr || keyboardWindows.contains(window)) {
        return;
    }
    // Handles of windows that have gone may come back for new ones.
    std::erase_if(keyboardWindows, [](HWND known) { return !IsWindow(known); });
    keyboardWindows.insert(window);
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
    if (HWND focus = GetFocus()) {
        InvalidateRect(focus, nullptr, TRUE);
    }
}

LRESULT CALLBACK filterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && lParam != 0) {
        const MSG& message = *reinterpret_cast<const MSG*>(lParam);
        if (dropsRepeatedKey(message)) {
            return 1;
        }
        if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
            showKeyboardCues(message);
        }
    }
    return CallNextHookEx(filter, code, wParam, lParam);
}

}  // namespace

bool dropsRepeatedKey(const MSG& message) {
    if ((message.lParam & kRepeated) == 0) {
        return false;
    }
    switch (message.message) {
        case WM_KEYDOWN:
            // Enter and Esc press a dialog's buttons wherever the focus is; Space the focused
            // button. Other keys repeat where they should (in the folder field, the list).
            return message.wParam == VK_RETURN || message.wParam == VK_ESCAPE ||
                   (message.wParam == VK_SPACE && isButton(message.hwnd));
        case WM_CHAR:
            // A letter on a button is a mnemonic ("N&o to All").
            return isButton(message.hwnd) || message.wParam == L'\r' || message.wParam == 27;
        case WM_SYSKEYDOWN:
        case WM_SYSCHAR:
            // Alt and a letter: a mnemonic wherever the focus is.
            return true;
        default:
            return false;
    }
}

bool keyboardUsedIn(HWND window) {
    HWND root = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    return root != nullptr && keyboardWindows.contains(root);
}

void guardKeyPresses() {
    if (filter == nullptr) {
        filter = SetWindowsHookExW(WH_MSGFILTER, filterProc, nullptr, GetCurrentThreadId());
    }
}
