#include <gtest/gtest.h>

#include "media_preset.h"
#include "preset_tables.h"

namespace {

// A catalogue over any table, to exercise the table walk itself.
class TableCatalogue : public MediaPreset {
public:
    using MediaPreset::MediaPreset;
    const char* presetExtension(int) const override { return "x"; }
};

int tableLength(const PresetEntry* table) {
    return TableCatalogue(table).presetCount();
}

TEST(MkvAviTest, OffersTheFourAviPresetsInOrder) {
    MkvAvi catalogue;
    ASSERT_EQ(catalogue.presetCount(), 4);
    EXPECT_EQ(catalogue.presetName(0), "XviD FullScreen");
    EXPECT_EQ(catalogue.presetName(1), "XviD Widescreen");
    EXPECT_EQ(catalogue.presetName(2), "XviD Widescreen Anamorphic");
    EXPECT_EQ(catalogue.presetName(3), "MS Compatible AVI");
    EXPECT_EQ(catalogue.presetArguments(0),
              "-vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25");
    EXPECT_EQ(catalogue.presetArguments(1),
              "-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 29.97 -vf scale=320:240");
    EXPECT_EQ(catalogue.presetArguments(2),
              "-vcodec wmv2 -acodec wmav2 -b:v 1200k -b:a 160k -r 25 -vf scale=720:480");
    EXPECT_EQ(catalogue.presetArguments(3),
              "-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 23.97 -vf scale=320:240");
}

TEST(MkvAviTest, OutOfRangeIndexesGiveEmptyTextsAndAviAlways) {
    MkvAvi catalogue;
    const MediaPreset& base = catalogue;
    for (int index : {-1, 4, 99}) {
        EXPECT_EQ(base.presetName(index), "") << index;
        EXPECT_EQ(base.presetArguments(index), "") << index;
    }
    for (int index : {-5, 0, 3, 99}) {
        EXPECT_STREQ(base.presetExtension(index), "avi") << index;
    }
}

TEST(MediaPresetTest, CatalogueWithoutTableIsEmpty) {
    TableCatalogue empty(nullptr);
    EXPECT_EQ(empty.presetCount(), 0);
    EXPECT_EQ(empty.presetName(0), "");
    EXPECT_EQ(empty.presetArguments(0), "");
}

TEST(MediaPresetTest, OnlyTheDisplayNameEndsATable) {
    static const PresetEntry table[] = {
        {"One", "-a", nullptr},
        {nullptr, "-b", "ext"},
        {"Hidden", "-c", nullptr},
        {nullptr, nullptr, nullptr},
    };
    TableCatalogue catalogue(table);
    EXPECT_EQ(catalogue.presetCount(), 1);
    EXPECT_EQ(catalogue.presetName(1), "");
    EXPECT_EQ(catalogue.presetArguments(2), "");
}

TEST(PresetTablesTest, OtherTablesHoldTheirRows) {
    EXPECT_EQ(tableLength(mp4PresetTable), 5);
    EXPECT_EQ(tableLength(wmvPresetTable), 5);
    EXPECT_EQ(tableLength(mp3PresetTable), 1);
    EXPECT_EQ(tableLength(audioPresetTable), 7);

    EXPECT_STREQ(mp4PresetTable[0].arguments,
                 "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 "
                 "-rc_lookahead 50 -threads 0");
    const std::string fullscreen = mp4PresetTable[3].arguments;
    const std::string widescreen = mp4PresetTable[4].arguments;
    EXPECT_EQ(fullscreen.rfind("-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 "
                               "-b:v 1250k -maxrate 1500k",
                               0),
              0u);
    EXPECT_NE(fullscreen.find("-wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar "
                              "48000 -ac 2"),
              std::string::npos);
    std::string expectedWide = fullscreen;
    const std::string from = "-vf scale=640:480 -aspect 4:3 -b:v 1250k";
    expectedWide.replace(expectedWide.find(from), from.size(),
                         "-vf scale=704:384 -b:v 1250k -aspect 16:9");
    EXPECT_EQ(widescreen, expectedWide);

    EXPECT_STREQ(wmvPresetTable[2].displayName, "Xbox 360");
    EXPECT_STREQ(wmvPresetTable[2].arguments, aviPresetTable[2].arguments);
    EXPECT_STREQ(wmvPresetTable[4].arguments,
                 "-vcodec wmv2 -acodec wmav2 -aspect 4:3 -b:v 500k -b:a 32k -ac 1 -ar 22050 -vf "
                 "scale=320:240");
    EXPECT_STREQ(mp3PresetTable[0].arguments, "-acodec libmp3lame -b:a 160k -ac 2 -ar 44100");
    EXPECT_STREQ(audioPresetTable[2].displayName, "Ac3 DVD - 192kbps Stereo");
    EXPECT_STREQ(audioPresetTable[5].arguments, "-acodec libvorbis -aq 3 -vn -ac 2");
    const char* extensions[] = {"wav", "m4a", "ac3", "ac3", "mp3", "ogg", "wma"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(audioPresetTable[i].extension, extensions[i]);
    }
    EXPECT_EQ(aviPresetTable[0].extension, nullptr);
}

}  // namespace
