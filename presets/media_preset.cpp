#include "media_preset.h"

#include "preset_tables.h"

int MediaPreset::presetCount() const {
    int count = 0;
    if (entries != nullptr) {
        while (entries[count].displayName != nullptr) {
            ++count;
        }
    }
    return count;
}

// The end entry is the only bound: walk to the index rather than trust arithmetic.
const PresetEntry* MediaPreset::entryAt(int index) const {
    if (entries == nullptr || index < 0) {
        return nullptr;
    }
    for (int position = 0; entries[position].displayName != nullptr; ++position) {
        if (position == index) {
            return &entries[position];
        }
    }
    return nullptr;
}

std::string MediaPreset::presetName(int index) const {
    const PresetEntry* entry = entryAt(index);
    return entry != nullptr ? std::string(entry->displayName) : std::string();
}

std::string MediaPreset::presetArguments(int index) const {
    const PresetEntry* entry = entryAt(index);
    return entry != nullptr && entry->arguments != nullptr ? std::string(entry->arguments)
                                                           : std::string();
}

const char* VideoAvi::presetExtension(int /*index*/) const {
    return "avi";
}

MkvAvi::MkvAvi() : VideoAvi(aviPresetTable) {}
