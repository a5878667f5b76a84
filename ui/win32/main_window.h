#pragma once

// The main window: a dialog from the program's resources, with or without the preset row.

#include <windows.h>

#include <string>

class MediaPreset;

// The template for a catalogue: the preset row needs two or more presets.
int mainTemplateFor(const MediaPreset& catalogue);

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// "Kestrova 1.0".
std::wstring mainCaption();

bool onInitDialog(HWND window);
void onClose();
std::wstring outputFolderText();
void onBrowseFolder();
// What to say when the shell could not show a folder, from its error; "" when no program to
// show folders is set up.
std::string openFolderReason(DWORD error);
// "Open": shows the field's folder through the shell; nothing when it is empty, a message with
// the folder and the reason when it cannot be shown.
void onOpenFolder();
