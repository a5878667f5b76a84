#pragma once

// The one setting kept between runs: the last output folder, as the REG_SZ value "out_dir" of a
// key under HKEY_CURRENT_USER.

#include <string>

// "Software\Morvanta\<the catalogue's output extension>": Software\Morvanta\avi.
std::wstring settingsKeyPath();

// The stored folder, at any length; "" when there is none or it is not REG_SZ.
// Leaves the key behind, empty, on a first run.
std::wstring loadOutputFolder(const std::wstring& keyPath = settingsKeyPath());

// Stores the folder without a terminator (an empty folder as 0 bytes); false when no key could
// be had.
bool saveOutputFolder(const std::wstring& folder, const std::wstring& keyPath = settingsKeyPath());
