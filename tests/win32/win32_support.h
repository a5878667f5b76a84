#pragma once

// Helpers for tests of the Windows desktop program's windows.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "waiting.h"

namespace testing_support {

// Answers this thread's windows until the condition holds or the deadline passes.
inline bool pumpUntil(const std::function<bool()>& condition,
                      std::chrono::steady_clock::duration limit = kWaitLimit) {
    return waitFor(
        [&condition]() {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            return condition();
        },
        limit);
}

// A control's rectangle in its parent's client coordinates.
inline RECT childRect(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// A dialog-unit rectangle in pixels of the dialog: position and size each converted, as the
// dialog manager converts them.
inline RECT dialogRect(HWND dialog, int x, int y, int width, int height) {
    RECT units{x, y, width, height};
    MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

// The text of a window, also of another process's.
inline std::wstring textOf(HWND window) {
    wchar_t buffer[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                        5000, &ignored);
    return buffer;
}

// A visible top-level window of the process with this caption, or null.
inline HWND windowOf(DWORD process, const std::wstring& caption) {
    struct Search {
        DWORD process;
        const std::wstring& caption;
        HWND found;
    } search{process, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == wanted.process && IsWindowVisible(window) &&
                textOf(window) == wanted.caption) {
                wanted.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND waitForWindow(DWORD process, const std::wstring& caption) {
    HWND window = nullptr;
    waitFor([&]() { return (window = windowOf(process, caption)) != nullptr; });
    return window;
}

}  // namespace testing_support
