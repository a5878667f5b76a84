#pragma once

// The desktop program's process-wide objects, one of each.

#include <QIcon>
#include <QImage>
#include <map>

class ConvertCore;
class MediaPreset;
class QDialog;

// The preset catalogue: created at start-up, lives until the process ends.
extern MediaPreset* presetCatalogue;
// The main window while it exists.
extern QDialog* mainWindow;
// The program's icon.
extern QIcon appIcon;
// The engine: created when the main window opens, deleted when it closes.
extern ConvertCore* convertCore;
// Decoded button pictures by control id: filled once at start-up, emptied at shutdown.
extern std::map<int, QImage> buttonImages;
// The same pictures drawn at twice the size (device pixel ratio 2), for screens that scale.
extern std::map<int, QImage> sharpButtonImages;
