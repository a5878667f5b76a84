#pragma once

// The program's one remembered setting, the last output folder, kept in the user's native
// settings store through QSettings: the registry key HKEY_CURRENT_USER\Software\Morvanta\avi on
// Windows, the file Morvanta/avi.conf in the user's configuration folder on Linux. Value
// "out_dir", a string.

#include <QString>

// The key as QSettings names it, organisation/application: "Morvanta/" and the catalogue's
// output extension. Needs presetCatalogue.
QString settingsKeyPath();

// The stored folder, at any length; "" when there is none or it is not a string. Text from a
// stored zero unit on is dropped. A first read on a clean profile
// leaves the empty settings file behind.
QString loadOutputFolder();

// Stores folder as it stands, an empty one included. False when the store cannot be written.
bool saveOutputFolder(const QString& folder);
