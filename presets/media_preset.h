#pragma once

#include <string>

// One row of a preset table. A row whose displayName is null ends the table.
struct PresetEntry {
    const char* displayName;
    const char* arguments;  // converter arguments, split into words by the script
    const char* extension;  // per-entry output extension without dot, or null
};

// The catalogue of presets a product offers, over one static table.
class MediaPreset {
public:
    explicit MediaPreset(const PresetEntry* table) : entries(table) {}
    virtual ~MediaPreset() = default;

    // Output extension without dot for preset index.
    virtual const char* presetExtension(int index) const = 0;

    // Entries before the first one without a display name; 0 without a table.
    int presetCount() const;
    // Copies of the entry's texts; empty for an index outside the table.
    std::string presetName(int index) const;
    std::string presetArguments(int index) const;

protected:
    const PresetEntry* entries;

private:
    const PresetEntry* entryAt(int index) const;
};

// Video presets whose outputs are AVI files.
class VideoAvi : public MediaPreset {
public:
    const char* presetExtension(int index) const override;

protected:
    using MediaPreset::MediaPreset;
};

// This product's catalogue: Matroska sources, AVI outputs.
class MkvAvi : public VideoAvi {
public:
    MkvAvi();
};
