#pragma once

// Fills the main window's preset list from presetCatalogue, in catalogue order, skipping
// empty names, and selects the first entry. Does nothing when the window has no preset list.
void fillPresetList();
