#include "preset_list.h"

#include <QComboBox>
#include <QDialog>

#include "app_state.h"
#include "controls.h"
#include "media_preset.h"

void fillPresetList() {
    auto* list = control<QComboBox>(mainWindow, ids::PresetList);
    if (list == nullptr) {
        return;
    }
    const int count = presetCatalogue->presetCount();
    for (int index = 0; index < count; ++index) {
        const std::string name = presetCatalogue->presetName(index);
        if (!name.empty()) {
            list->addItem(QString::fromStdString(name));
        }
    }
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);
}
