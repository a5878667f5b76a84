// Process-wide objects of the desktop program for the test binaries, until the program's own
// definitions are in the tree.

#include "app_state.h"
#include "prompts.h"

#include <cstdlib>

MediaPreset* presetCatalogue = nullptr;
QDialog* mainWindow = nullptr;
QIcon appIcon;
ConvertCore* convertCore = nullptr;
std::map<int, QImage> buttonImages;

namespace {
Prompts* installed = nullptr;
}

Prompts& prompts() {
    if (installed == nullptr) {
        std::abort();
    }
    return *installed;
}

void setPrompts(Prompts* replacement) {
    installed = replacement;
}
