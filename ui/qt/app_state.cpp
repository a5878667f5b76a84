#include "app_state.h"

MediaPreset* presetCatalogue = nullptr;
QDialog* mainWindow = nullptr;
QIcon appIcon;
ConvertCore* convertCore = nullptr;
std::map<int, QImage> buttonImages;
std::map<int, QImage> sharpButtonImages;
