// The parser on console text recorded from real converters, and on status lines constructed
// from later versions' source (tests/data/README.md says how each was made).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "output_parser.h"
#include "temp_dir.h"

namespace {

std::string recorded(const std::string& name) {
    const std::string text = testing_support::readAll(std::string(KESTROVA_TEST_DATA) + "/" + name);
    EXPECT_FALSE(text.empty()) << name;
    return text;
}

// The status lines of a recording, each with its CR.
std::vector<std::string> statusLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = text.find("frame=");
    while (start != std::string::npos) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(text.substr(start, end - start + 1));
        start = text.find("frame=", end);
    }
    return lines;
}

struct Reading {
    std::vector<int> percents;
    std::optional<double> position;
};

// Feeds the text cut at each of `cuts` (ascending), then ends the run.
Reading readCut(const std::string& text, int duration, const std::vector<std::size_t>& cuts) {
    ProgressReader reader;
    Reading reading;
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        if (const auto percent = reader.take(text.substr(start, cut - start), duration)) {
            reading.percents.push_back(*percent);
        }
        start = cut;
    }
    if (const auto percent = reader.take(text.substr(start), duration)) {
        reading.percents.push_back(*percent);
    }
    reader.finish();
    reading.position = reader.newestPosition();
    return reading;
}

Reading readByteByByte(const std::string& text, int duration) {
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        cuts.push_back(cut);
    }
    return readCut(text, duration, cuts);
}

// True when every element of `part` appears in `whole`, in order.
bool isSubsequence(const std::vector<int>& part, const std::vector<int>& whole) {
    auto at = whole.begin();
    for (int value : part) {
        at = std::find(at, whole.end(), value);
        if (at == whole.end()) {
            return false;
        }
        ++at;
    }
    return true;
}

constexpr const char* kShort = "; the source may be damaged or cut short";

// One converting run: the percentages it gives fed a byte at a time, against the duration its
// source's probe gives; its newest position; and, when the converter exited 0, the reason it
// is short ("" when whole).
struct Transcript {
    const char* name;
    const char* probe;
    std::vector<int> percents;
    std::optional<double> position;
    bool exitedZero;
    std::string shortReason;
};

std::string testName(const std::string& file) {
    std::string name = file.substr(0, file.find('.'));
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

const Transcript kTranscripts[] = {
    // Whole conversions of a 3 s clip with each preset: the clock passes the probe's
    // 3.02 s, or stops 0.01 s short of it (29.97 frames a second).
    {"ffmpeg51_convert_whole_fullscreen.txt", "ffmpeg51_probe_whole.txt", {100}, 3.04, true, ""},
    {"ffmpeg51_convert_whole_widescreen.txt", "ffmpeg51_probe_whole.txt", {100}, 3.01, true, ""},
    {"ffmpeg51_convert_whole_widescreenanamorphic.txt",
     "ffmpeg51_probe_whole.txt",
     {100},
     3.04,
     true,
     ""},
    {"ffmpeg51_convert_whole_mscompatible.txt", "ffmpeg51_probe_whole.txt", {100}, 3.08, true, ""},
    {"ffmpeg41_convert_whole_fullscreen.txt", "ffmpeg41_probe_whole.txt", {100}, 3.04, true, ""},
    {"ffmpeg41_convert_whole_widescreen.txt", "ffmpeg41_probe_whole.txt", {100}, 3.01, true, ""},
    {"ffmpeg41_convert_whole_widescreenanamorphic.txt",
     "ffmpeg41_probe_whole.txt",
     {100},
     3.04,
     true,
     ""},
    {"ffmpeg41_convert_whole_mscompatible.txt", "ffmpeg41_probe_whole.txt", {100}, 3.08, true, ""},
    // A subtitle or an unmapped audio track 3 s longer than the video doubles the
    // container's duration: the percentage, measured against it, ends at 50; the judgement
    // expects the mapped streams' 3.02 s.
    {"ffmpeg51_convert_subtitle.txt", "ffmpeg51_probe_subtitle.txt", {50}, 3.04, true, ""},
    {"ffmpeg51_convert_audio2.txt", "ffmpeg51_probe_audio2.txt", {50}, 3.04, true, ""},
    {"ffmpeg41_convert_subtitle.txt", "ffmpeg41_probe_subtitle.txt", {50}, 3.04, true, ""},
    {"ffmpeg41_convert_audio2.txt", "ffmpeg41_probe_audio2.txt", {50}, 3.04, true, ""},
    // Timestamps that start at 5 s: the container's 8 s run from 0, the clock from the start.
    {"ffmpeg51_convert_offset.txt", "ffmpeg51_probe_offset.txt", {37}, 3.04, true, ""},
    {"ffmpeg41_convert_offset.txt", "ffmpeg41_probe_offset.txt", {37}, 3.04, true, ""},
    {"ffmpeg51_convert_source30.txt", "ffmpeg51_probe_source30.txt", {100}, 30.04, true, ""},
    {"ffmpeg41_convert_source30.txt", "ffmpeg41_probe_source30.txt", {100}, 30.04, true, ""},
    {"ffmpeg51_convert_3s.txt",
     "ffmpeg51_probe_2s.txt",
     {50, 50, 100, 100, 100, 100},
     3.0,
     true,
     ""},
    {"ffmpeg41_convert_3s.txt",
     "ffmpeg41_probe_2s.txt",
     {50, 50, 100, 100, 100, 100},
     3.0,
     true,
     ""},
    // Cut sources: each exits 0.
    {"ffmpeg51_convert_half.txt",
     "ffmpeg51_probe_half.txt",
     {46},
     13.88,
     true,
     std::string("converted 0:13 of 0:30") + kShort},
    {"ffmpeg41_convert_half.txt",
     "ffmpeg41_probe_half.txt",
     {46},
     13.88,
     true,
     std::string("converted 0:13 of 0:30") + kShort},
    {"ffmpeg51_convert_damaged.txt",
     "ffmpeg51_probe_damaged.txt",
     {},
     0.08,
     true,
     std::string("converted 0:00 of 0:30") + kShort},
    {"ffmpeg41_convert_damaged.txt",
     "ffmpeg41_probe_damaged.txt",
     {},
     0.08,
     true,
     std::string("converted 0:00 of 0:30") + kShort},
    // A zeroed middle third: the demuxer finds the next cluster and the clock runs to the
    // end, with a third of the frames missing. The position cannot tell.
    {"ffmpeg51_convert_middle.txt", "ffmpeg51_probe_middle.txt", {100}, 30.04, true, ""},
    {"ffmpeg41_convert_middle.txt", "ffmpeg41_probe_middle.txt", {100}, 30.04, true, ""},
    // Status lines of later versions, constructed from their source: KiB, N/A and a
    // negative clock before the first packets, dup= drop=, elapsed=.
    {"ffmpeg61_constructed.txt", "ffmpeg51_probe_whole.txt", {33, 66, 100}, 3.0, true, ""},
    {"ffmpeg71_constructed.txt", "ffmpeg51_probe_whole.txt", {33, 66, 100}, 3.0, true, ""},
    {"ffmpeg81_constructed.txt", "ffmpeg51_probe_whole.txt", {33, 66, 100}, 3.0, true, ""},
    // Failures (ErrorLineTest reads their reasons). A disk that fills while the trailer is
    // written leaves the clock at the end and the exit status 0.
    {"ffmpeg51_fail_garbage.txt", "ffmpeg51_probe_garbage.txt", {}, std::nullopt, false, ""},
    {"ffmpeg41_fail_garbage.txt", "ffmpeg41_probe_garbage.txt", {}, std::nullopt, false, ""},
    {"ffmpeg51_fail_encoder.txt", "ffmpeg51_probe_whole.txt", {}, std::nullopt, false, ""},
    {"ffmpeg41_fail_encoder.txt", "ffmpeg41_probe_whole.txt", {}, std::nullopt, false, ""},
    {"ffmpeg51_fail_permission.txt", "ffmpeg51_probe_whole.txt", {}, std::nullopt, false, ""},
    {"ffmpeg41_fail_permission.txt", "ffmpeg41_probe_whole.txt", {}, std::nullopt, false, ""},
    {"ffmpeg51_fail_nospace.txt", "ffmpeg51_probe_source30.txt", {13}, 3.94, false, ""},
    {"ffmpeg41_fail_nospace.txt", "ffmpeg41_probe_source30.txt", {13}, 4.08, false, ""},
    {"ffmpeg51_fail_nospace_trailer.txt", "ffmpeg51_probe_whole.txt", {100}, 3.04, true, ""},
    {"ffmpeg41_fail_nospace_trailer.txt", "ffmpeg41_probe_whole.txt", {100}, 3.04, true, ""},
};

class TranscriptTest : public ::testing::TestWithParam<Transcript> {};

INSTANTIATE_TEST_SUITE_P(Converters, TranscriptTest, ::testing::ValuesIn(kTranscripts),
                         [](const auto& info) { return testName(info.param.name); });

TEST_P(TranscriptTest, SameReadingWhateverTheSplit) {
    const Transcript& row = GetParam();
    const std::string text = recorded(row.name);
    const int duration = readProbe(recorded(row.probe)).durationSeconds;

    const Reading bytes = readByteByByte(text, duration);
    EXPECT_EQ(bytes.percents, row.percents);
    EXPECT_EQ(bytes.position, row.position);
    // In two pieces the oldest line of each piece sets the percentage, so fewer may come; none
    // that a byte at a time would not give, and the position stays.
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const Reading pieces = readCut(text, duration, {cut});
        ASSERT_EQ(pieces.position, row.position) << "cut at " << cut;
        ASSERT_TRUE(isSubsequence(pieces.percents, bytes.percents)) << "cut at " << cut;
    }
}

TEST(RecordedShortTest, OnlyACutSourceIsShort) {
    for (const Transcript& row : kTranscripts) {
        // A failed run is not judged: its converter's reason stands.
        if (row.exitedZero) {
            const ProbeFacts probe = readProbe(recorded(row.probe));
            EXPECT_EQ(fellShort(row.position, probe), !row.shortReason.empty()) << row.name;
            if (!row.shortReason.empty()) {
                EXPECT_EQ(shortReason(row.position, probe), row.shortReason);
            }
        }
    }
}

TEST(RecordedProbeTest, ProbesGiveTheirFacts) {
    const struct {
        const char* name;
        int duration;
        std::optional<double> container;
        std::optional<double> expected;
    } rows[] = {
        {"ffmpeg51_probe_2s.txt", 2, 2.0, 2.0},
        {"ffmpeg41_probe_2s.txt", 2, 2.0, 2.0},
        {"ffmpeg51_convert_3s.txt", 3, 3.0, 3.0},
        {"ffmpeg41_convert_3s.txt", 3, 3.0, 3.0},
        {"ffmpeg51_probe_no_duration.txt", 0, std::nullopt, std::nullopt},
        {"ffmpeg51_probe_garbage.txt", 0, std::nullopt, std::nullopt},
        {"ffmpeg41_probe_garbage.txt", 0, std::nullopt, std::nullopt},
        {"ffmpeg51_probe_whole.txt", 3, 3.02, 3.02},
        {"ffmpeg41_probe_whole.txt", 3, 3.02, 3.02},
        // The mapped streams' own DURATION tags, not the container's 6.02 s.
        {"ffmpeg51_probe_subtitle.txt", 6, 6.02, 3.023},
        {"ffmpeg41_probe_subtitle.txt", 6, 6.02, 3.023},
        {"ffmpeg51_probe_audio2.txt", 6, 6.02, 3.023},
        {"ffmpeg41_probe_audio2.txt", 6, 6.02, 3.023},
        {"ffmpeg51_probe_offset.txt", 8, 8.0, 8.0 - 4.977},
        {"ffmpeg41_probe_offset.txt", 8, 8.0, 8.0 - 4.977},
        // A cut or damaged file keeps its header, and with it the whole length.
        {"ffmpeg51_probe_half.txt", 30, 30.02, 30.02},
        {"ffmpeg41_probe_half.txt", 30, 30.02, 30.02},
        {"ffmpeg51_probe_damaged.txt", 30, 30.02, 30.02},
        {"ffmpeg41_probe_damaged.txt", 30, 30.02, 30.02},
    };
    for (const auto& row : rows) {
        const ProbeFacts facts = readProbe(recorded(row.name));
        EXPECT_EQ(facts.durationSeconds, row.duration) << row.name;
        EXPECT_EQ(facts.durationSeconds, durationFromProbeText(recorded(row.name))) << row.name;
        EXPECT_EQ(facts.containerSeconds, row.container) << row.name;
        EXPECT_EQ(facts.expectedSeconds, row.expected) << row.name;
    }
}

TEST(RecordedErrorLineTest, FailuresGiveTheConvertersReason) {
    const struct {
        const char* name;
        std::vector<std::string> paths;  // the source and the output, as the command named them
        std::string reason;
        std::string reported;  // the path the converter could not read or write
    } rows[] = {
        {"ffmpeg51_fail_garbage.txt",
         {"garbage.mkv", "garbage.avi"},
         "Invalid data found when processing input",
         "garbage.mkv"},
        {"ffmpeg41_fail_garbage.txt",
         {"garbage.mkv", "garbage.avi"},
         "Invalid data found when processing input",
         "garbage.mkv"},
        {"ffmpeg51_fail_encoder.txt",
         {"whole.mkv", "whole.avi"},
         "Unknown encoder 'libvo_aacenc'",
         ""},
        {"ffmpeg41_fail_encoder.txt",
         {"whole.mkv", "whole.avi"},
         "Unknown encoder 'libvo_aacenc'",
         ""},
        {"ffmpeg51_fail_permission.txt",
         {"whole.mkv", "/sys/out.avi"},
         "Permission denied",
         "/sys/out.avi"},
        {"ffmpeg41_fail_permission.txt",
         {"whole.mkv", "Z:\\sys\\out.avi"},
         "Permission denied",
         "Z:\\sys\\out.avi"},
        {"ffmpeg51_fail_nospace.txt",
         {"source30.mkv", "full/source30.avi"},
         "No space left on device",
         "full/source30.avi"},
        // Wine hands the full disk to the Windows converter as "Invalid argument".
        {"ffmpeg41_fail_nospace.txt",
         {"source30.mkv", "full\\source30.avi"},
         "Invalid argument",
         "full\\source30.avi"},
        {"ffmpeg51_fail_nospace_trailer.txt",
         {"whole.mkv", "full/whole.avi"},
         "No space left on device",
         "full/whole.avi"},
        {"ffmpeg41_fail_nospace_trailer.txt",
         {"whole.mkv", "full\\whole.avi"},
         "Invalid argument",
         "full\\whole.avi"},
    };
    for (const auto& row : rows) {
        const std::string text = recorded(row.name);
        ErrorLineReader whole(row.paths);
        whole.take(text);
        ErrorLineReader bytes(row.paths);
        for (char c : text) {
            bytes.take(std::string_view(&c, 1));
        }
        for (const ErrorLineReader* reader : {&whole, &bytes}) {
            EXPECT_EQ(reader->lastLine(), row.reason) << row.name;
            for (const std::string& path : row.paths) {
                EXPECT_EQ(reader->reported(path), path == row.reported) << row.name << " " << path;
            }
        }
    }
}

TEST(RecordedOutputTest, EveryLineEndIsExaminedAsItArrives) {
    for (const char* name : {"ffmpeg51_convert_3s.txt", "ffmpeg41_convert_3s.txt"}) {
        const std::string text = recorded(name);
        // Times round to whole seconds of 3 (5.1: 0.56 and 1.08 s to 1 s, 1.62 and 2.13 s to
        // 2 s; 4.1: 0.80 and 1.32 s to 1 s, 1.85 and 2.36 s to 2 s); 0.04 s is no percentage.
        EXPECT_EQ(readByteByByte(text, 3).percents, (std::vector<int>{33, 33, 66, 66, 100, 100}));

        // The whole run in one piece: only its oldest status line counts, and it is under half
        // a second; the position is the newest line's all the same.
        ProgressReader reader;
        EXPECT_EQ(reader.take(text, 3), std::nullopt) << name;
        EXPECT_EQ(reader.pendingSize(), 0u);
        EXPECT_EQ(reader.newestPosition(), 3.0);
    }
}

TEST(RecordedOutputTest, OfSeveralLinesBeforeALineEndOnlyTheFirstCounts) {
    const auto lines = statusLines(recorded("ffmpeg51_convert_3s.txt"));
    ASSERT_EQ(lines.size(), 7u);
    // Lines 2 to 5 arrive in one piece whose end is cut off; the cut-off end brings the CR.
    std::string piled = lines[2] + lines[3] + lines[4] + lines[5];
    piled.pop_back();
    ProgressReader reader;
    EXPECT_EQ(reader.take(piled, 3), std::nullopt);
    EXPECT_EQ(reader.newestPosition(), 2.13) << "lines 2 to 4 ended inside the piece";
    EXPECT_EQ(reader.take("\r", 3), 33) << "time=00:00:01.08 of line 2";
    EXPECT_EQ(reader.newestPosition(), 2.64);
}

TEST(RecordedOutputTest, WithoutADurationOnlyThePositionIsKept) {
    const std::string probe = recorded("ffmpeg51_probe_no_duration.txt");
    const ProbeFacts facts = readProbe(probe);
    EXPECT_EQ(facts.durationSeconds, 0);
    ProgressReader reader;
    EXPECT_EQ(reader.take(recorded("ffmpeg51_convert_3s.txt"), facts.durationSeconds),
              std::nullopt);
    EXPECT_EQ(reader.pendingSize(), 0u);
    EXPECT_EQ(reader.newestPosition(), 3.0);
    EXPECT_FALSE(fellShort(std::nullopt, facts)) << "without a length, never short";
}

TEST(RecordedOutputTest, TimePastTheDurationIsClampedTo100) {
    // The run is measured against a 2 s probe, so 2.64 s is 132 percent.
    const auto lines = statusLines(recorded("ffmpeg51_convert_3s.txt"));
    ProgressReader reader;
    EXPECT_EQ(reader.take(lines[5], 2), 100);
    // A clock far beyond any duration neither overflows nor leaves the range.
    EXPECT_EQ(reader.take("frame= 1 time=99999999:00:00.00 bitrate=1\r", 2), 100);
}

TEST(RecordedOutputTest, NegativeTimesGiveNeitherPercentNorPosition) {
    const auto lines = statusLines(recorded("ffmpeg51_convert_negative.txt"));
    ASSERT_EQ(lines.size(), 7u);
    const struct {
        std::size_t line;
        std::optional<int> percent;
        std::optional<double> position;
    } rows[] = {
        {0, std::nullopt, std::nullopt},  // time=-00:00:00.96
        {1, std::nullopt, std::nullopt},  // time=-00:00:00.40
        {2, std::nullopt, 0.0},           // time=00:00:00.00
        {3, 50, 0.52},                    // time=00:00:00.52
        {5, 100, 1.56},                   // time=00:00:01.56
    };
    ProgressReader reader;
    for (const auto& row : rows) {
        EXPECT_EQ(reader.take(lines[row.line], 2), row.percent) << lines[row.line];
        if (row.position) {
            EXPECT_EQ(reader.newestPosition(), row.position) << lines[row.line];
        }
    }
}

TEST(RecordedOutputTest, TextWithoutLineEndsIsBounded) {
    ProgressReader reader;
    const std::string piece(64 * 1024, 'x');
    for (int i = 0; i < 48; ++i) {
        reader.take(piece, 10);
    }
    EXPECT_EQ(reader.pendingSize(), 1u << 20);
    // The newest text is what is kept, so a status line arriving now still counts.
    EXPECT_EQ(reader.take("frame= 1 time=00:00:05.00 bitrate=1\r", 10), 50);
    EXPECT_EQ(reader.pendingSize(), 0u);
    // The position reads a line's first "time=", however long the line before it.
    reader.take(piece + " time=00:00:07.25 x", 10);
    reader.finish();
    EXPECT_EQ(reader.newestPosition(), 7.25);
}

}  // namespace
