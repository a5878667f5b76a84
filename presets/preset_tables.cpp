#include "preset_tables.h"

namespace {

constexpr const char* kFullScreen = "-vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25";
constexpr const char* kWidescreen =
    "-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 29.97 -vf scale=320:240";
constexpr const char* kAnamorphic =
    "-vcodec wmv2 -acodec wmav2 -b:v 1200k -b:a 160k -r 25 -vf scale=720:480";
constexpr const char* kMsCompatible =
    "-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 23.97 -vf scale=320:240";
constexpr const char* kMp3 = "-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";

#define KESTROVA_MP4_TUNING                                                                   \
    "-maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 " \
    "-subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 "         \
    "-level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 "     \
    "-b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc "  \
    "-b:a 112k -ar 48000 -ac 2"

}  // namespace

const PresetEntry aviPresetTable[] = {
    {"XviD FullScreen", kFullScreen, nullptr},
    {"XviD Widescreen", kWidescreen, nullptr},
    {"XviD Widescreen Anamorphic", kAnamorphic, nullptr},
    {"MS Compatible AVI", kMsCompatible, nullptr},
    {nullptr, nullptr, nullptr},
};

const PresetEntry mp4PresetTable[] = {
    {"MPEG-4 H.264 video (high quality)",
     "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 "
     "-rc_lookahead 50 -threads 0",
     nullptr},
    {"MPEG-4 H.264 video (super high quality)",
     "-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 "
     "-rc_lookahead 60 -threads 0",
     nullptr},
    {"MPEG-4 H.264 video (very high quality)",
     "-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 "
     "-rc_lookahead 60 -threads 0",
     nullptr},
    {"MP4 Fullscreen",
     "-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v "
     "1250k " KESTROVA_MP4_TUNING,
     nullptr},
    {"MP4 Widescreen",
     "-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect "
     "16:9 " KESTROVA_MP4_TUNING,
     nullptr},
    {nullptr, nullptr, nullptr},
};

#undef KESTROVA_MP4_TUNING

const PresetEntry wmvPresetTable[] = {
    {"WMV2 Generic", kFullScreen, nullptr},
    {"WMV for Web Use", kWidescreen, nullptr},
    {"Xbox 360", kAnamorphic, nullptr},
    {"Zune", kMsCompatible, nullptr},
    {"Power Point",
     "-vcodec wmv2 -acodec wmav2 -aspect 4:3 -b:v 500k -b:a 32k -ac 1 -ar 22050 -vf scale=320:240",
     nullptr},
    {nullptr, nullptr, nullptr},
};

const PresetEntry mp3PresetTable[] = {
    {"MP3", kMp3, nullptr},
    {nullptr, nullptr, nullptr},
};

const PresetEntry audioPresetTable[] = {
    {"WAV", "-vn -ar 44100", "wav"},
    {"MPEG4 Audio", "-vn -acodec libvo_aacenc -b:a 112k -ac 2 -ar 48000", "m4a"},
    {"Ac3 DVD - 192kbps Stereo", "-f ac3 -acodec ac3 -b:a 192k -ar 48000 -ac 2", "ac3"},
    {"Ac3 DVD - 384kbps Stereo", "-f ac3 -acodec ac3 -b:a 384k -ar 48000 -ac 2", "ac3"},
    {"MP3", kMp3, "mp3"},
    {"OGG", "-acodec libvorbis -aq 3 -vn -ac 2", "ogg"},
    {"WMA", "-vn -acodec wmav2 -b:a 160k", "wma"},
    {nullptr, nullptr, nullptr},
};
