#pragma once

// The source list (a list box of full paths in the order of rules::listsBefore) and the
// commands that change it.

#include <windows.h>

#include <string>
#include <vector>

// The text of one line; "" when there is none.
std::wstring lineText(HWND list, int line);

// True when a line is exactly this path (case-sensitive).
bool isListed(const std::wstring& path);

// Adds a Matroska path that is not listed yet (the same text: case counts) at its sorted place;
// its line, or -1 when it was refused (silently).
int addSourceFile(const std::wstring& path);

// Adds each path as a dropped file is added; full paths made of relative ones (command line).
void addFiles(const std::vector<std::wstring>& paths);

// Enables the list while it has lines; shows the drop panel while it has none.
void updateListControls();

void onAddFiles();
void onDropFiles(HDROP drop);
void onRemoveSelected();
void onClearList();

// The files given on the program's command line, made absolute; file URIs give their files.
std::vector<std::wstring> commandLineFiles();

// What a line's tooltip says after a batch; "" for none. Changing or removing a line's
// tooltip, and removing the line, forget it.
std::wstring lineTooltip(const std::wstring& path);
void setLineTooltip(const std::wstring& path, const std::wstring& text);
