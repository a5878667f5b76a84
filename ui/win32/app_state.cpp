#include "app_state.h"

#include "win32_text.h"

HINSTANCE appInstance = nullptr;
HWND mainWindow = nullptr;
HICON appIcon = nullptr;
HWND tooltipWindow = nullptr;
ConvertCore* convertCore = nullptr;
MediaPreset* presetCatalogue = nullptr;

std::wstring widen(std::string_view text) {
    return platform::win32::widen(text);
}

std::string narrow(std::wstring_view text) {
    return platform::win32::narrow(text);
}

std::wstring windowText(HWND window) {
    if (window == nullptr || !IsWindow(window)) {
        return {};
    }
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

HWND mainControl(int id) {
    if (mainWindow == nullptr) {
        return nullptr;
    }
    HWND control = GetDlgItem(mainWindow, id);
    return control != nullptr && IsWindow(control) ? control : nullptr;
}
