// The parser on console text recorded from the real converter (see tests/data/README.md).

#include <algorithm>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "output_parser.h"

namespace {

using testing_support::readAll;

std::string recorded(const std::string& name) {
    const std::string text = readAll(std::string(KESTROVA_TEST_DATA) + "/" + name);
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

// A job's reader of its converting run's text, and the percent it last gave.
class RecordedOutputTest : public ::testing::Test {
protected:
    void setDuration(int seconds) { duration_ = seconds; }
    int percent() const { return percent_; }
    void setPercent(int percent) { percent_ = percent; }
    void take(std::string_view chunk) {
        if (const auto percent = reader.take(chunk, duration_)) {
            percent_ = *percent;
        }
    }

    ProgressReader reader;

private:
    int duration_ = 0;
    int percent_ = 0;
};

// One row per converter version: its probe of the 2 s clip and its run on the 3 s clip.
struct Recording {
    const char* version;
    const char* probe;
    const char* convert;
};

class RecordedVersionTest : public RecordedOutputTest,
                            public ::testing::WithParamInterface<Recording> {};

INSTANTIATE_TEST_SUITE_P(
    Converters, RecordedVersionTest,
    ::testing::Values(
        // Debian's ffmpeg 5.1: LF line ends.
        Recording{"ffmpeg51", "ffmpeg51_probe_2s.txt", "ffmpeg51_convert_3s.txt"},
        // The Windows ffmpeg 4.1 of the Wine tests: CR LF line ends.
        Recording{"ffmpeg41", "ffmpeg41_probe_2s.txt", "ffmpeg41_convert_3s.txt"}),
    [](const auto& info) { return std::string(info.param.version); });

TEST_P(RecordedVersionTest, ProbeTextGivesTheDuration) {
    EXPECT_EQ(durationFromProbeText(recorded(GetParam().probe)), 2);
    EXPECT_EQ(durationFromProbeText(recorded(GetParam().convert)), 3);
}

TEST_P(RecordedVersionTest, EveryLineEndIsExaminedAsItArrives) {
    const std::string text = recorded(GetParam().convert);
    setDuration(3);
    std::vector<int> seen;
    for (char byte : text) {
        take(std::string_view(&byte, 1));
        if (seen.empty() || seen.back() != percent()) {
            seen.push_back(percent());
        }
    }
    // Times round to whole seconds of 3 (5.1: 0.56 and 1.08 s to 1 s, 1.62 and 2.13 s to 2 s;
    // 4.1: 0.80 and 1.32 s to 1 s, 1.85 and 2.36 s to 2 s).
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));

    // The whole run in one piece: only its oldest status line counts (under half a second).
    setPercent(0);
    take(text);
    EXPECT_EQ(percent(), 0);
    EXPECT_EQ(reader.pendingSize(), 0u);
}

TEST_F(RecordedOutputTest, ProbeTextWithoutADurationGivesNone) {
    EXPECT_EQ(durationFromProbeText(recorded("ffmpeg51_probe_no_duration.txt")), 0);
    EXPECT_EQ(durationFromProbeText(""), 0);
    EXPECT_EQ(durationFromProbeText("Duration: 00:00:05.00 no comma"), 0);
}

TEST_F(RecordedOutputTest, StatusLineSplitAcrossChunksCountsOnceComplete) {
    setDuration(3);
    const auto lines = statusLines(recorded("ffmpeg51_convert_3s.txt"));
    ASSERT_EQ(lines.size(), 7u);
    const std::string& line = lines[3];  // time=00:00:01.62
    const auto cut = line.find("01.62");
    ASSERT_NE(cut, std::string::npos);
    take(line.substr(0, cut));
    EXPECT_EQ(percent(), 0);
    take(line.substr(cut));
    EXPECT_EQ(percent(), 66);
}

TEST_F(RecordedOutputTest, OfSeveralLinesBeforeALineEndOnlyTheFirstCounts) {
    setDuration(3);
    const auto lines = statusLines(recorded("ffmpeg51_convert_3s.txt"));
    ASSERT_EQ(lines.size(), 7u);
    // Lines 2 to 5 arrive in one piece whose end is cut off; the cut-off end brings the CR.
    std::string piled = lines[2] + lines[3] + lines[4] + lines[5];
    piled.pop_back();
    take(piled);
    EXPECT_EQ(percent(), 0);
    take("\r");
    EXPECT_EQ(percent(), 33) << "time=00:00:01.08 of line 2";
}

TEST_F(RecordedOutputTest, WithoutADurationTheTextIsDropped) {
    setDuration(durationFromProbeText(recorded("ffmpeg51_probe_no_duration.txt")));
    take(recorded("ffmpeg51_convert_3s.txt"));
    EXPECT_EQ(percent(), 0);
    EXPECT_EQ(reader.pendingSize(), 0u);
}

TEST_F(RecordedOutputTest, TimePastTheDurationIsClampedTo100) {
    // The run is measured against a 2 s probe, so 2.64 s is 132 percent.
    setDuration(durationFromProbeText(recorded("ffmpeg51_probe_2s.txt")));
    const auto lines = statusLines(recorded("ffmpeg51_convert_3s.txt"));
    take(lines[5]);
    EXPECT_EQ(percent(), 100);
    setPercent(10);
    // A clock far beyond any duration neither overflows nor leaves the range.
    take("frame= 1 time=99999999:00:00.00 bitrate=1\r");
    EXPECT_EQ(percent(), 100);
}

TEST_F(RecordedOutputTest, NegativeTimesLeaveThePercentAsItWas) {
    setDuration(2);
    const auto lines = statusLines(recorded("ffmpeg51_convert_negative.txt"));
    ASSERT_EQ(lines.size(), 7u);
    setPercent(40);
    take(lines[0]);  // time=-00:00:00.96
    EXPECT_EQ(percent(), 40);
    take(lines[1]);  // time=-00:00:00.40
    EXPECT_EQ(percent(), 40);
    take(lines[2]);  // time=00:00:00.00
    EXPECT_EQ(percent(), 40);
    take(lines[3]);  // time=00:00:00.52
    EXPECT_EQ(percent(), 50);
    take(lines[5]);  // time=00:00:01.56
    EXPECT_EQ(percent(), 100);
}

TEST_F(RecordedOutputTest, TextWithoutLineEndsIsBounded) {
    setDuration(10);
    const std::string piece(64 * 1024, 'x');
    for (int i = 0; i < 48; ++i) {
        take(piece);
    }
    EXPECT_EQ(reader.pendingSize(), 1u << 20);
    // The newest text is what is kept, so a status line arriving now still counts.
    take("frame= 1 time=00:00:05.00 bitrate=1\r");
    EXPECT_EQ(percent(), 50);
    EXPECT_EQ(reader.pendingSize(), 0u);
}

}  // namespace
