#pragma once

// Process-wide state of the Windows desktop program: one of each, shared by its windows.

#include <windows.h>

#include <string>
#include <string_view>

class ConvertCore;
class MediaPreset;

extern HINSTANCE appInstance;
extern HWND mainWindow;
extern HICON appIcon;
extern HWND tooltipWindow;
extern ConvertCore* convertCore;
extern MediaPreset* presetCatalogue;

// The engine's text is UTF-8; every window call takes UTF-16.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// The whole text of a window; "" for none.
std::wstring windowText(HWND window);

// The child control with this id of the main window, or null.
HWND mainControl(int id);
