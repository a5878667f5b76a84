#pragma once

#include "media_preset.h"

// Static preset tables, each closed by an all-null entry.
extern const PresetEntry aviPresetTable[];
extern const PresetEntry mp4PresetTable[];
extern const PresetEntry wmvPresetTable[];
extern const PresetEntry mp3PresetTable[];
extern const PresetEntry audioPresetTable[];
