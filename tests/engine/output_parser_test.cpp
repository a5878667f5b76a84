#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "output_parser.h"

namespace {

using Fields = std::vector<std::string>;

TEST(SplitFieldsTest, SplitsAtEveryColon) {
    EXPECT_EQ(splitFields("00:01:23.45"), (Fields{"00", "01", "23.45"}));
    EXPECT_EQ(splitFields("a:"), (Fields{"a"}));
    EXPECT_EQ(splitFields(""), Fields{});
    EXPECT_EQ(splitFields("::"), (Fields{"", ""}));
}

TEST(HmsToSecondsTest, RoundsHalfUpAndNeedsThreeFields) {
    EXPECT_EQ(hmsToSeconds(" 00:42:17.52"), 2538);
    EXPECT_EQ(hmsToSeconds("01:30:00.50"), 5401);
    EXPECT_EQ(hmsToSeconds("00:00:00.40"), 0);
    EXPECT_EQ(hmsToSeconds("N/A"), 0);
    EXPECT_EQ(hmsToSeconds("63.40"), 0);
    EXPECT_EQ(hmsToSeconds("05:00"), 0);
    EXPECT_EQ(hmsToSeconds("1:00:00:00"), 0);
    EXPECT_EQ(hmsToSeconds("xx:01:02"), 62);
    EXPECT_EQ(hmsToSeconds("-01:00:00.00"), -3599);
    EXPECT_EQ(hmsToSeconds("1e300:00:00"), 2147483647);
    // Too small to represent is zero, not "too large".
    EXPECT_EQ(hmsToSeconds("00:00:1e-400"), 0);
    EXPECT_EQ(hmsToSeconds("00:01:-1e-999"), 60);
}

TEST(ProgressReaderTest, KeepsTheUnfinishedLineAndGivesAPercentAtItsEnd) {
    ProgressReader reader;
    EXPECT_EQ(reader.take("frame= 1 time=00:00:0", 10), std::nullopt);
    EXPECT_EQ(reader.take("5.00 bitrate=1", 10), std::nullopt);
    EXPECT_EQ(reader.take("\r", 10), 50);
    EXPECT_EQ(reader.pendingSize(), 0u);
    EXPECT_EQ(reader.take("frame= 2 time=00:00:05.00 x\r", 0), std::nullopt) << "no duration";
    EXPECT_EQ(reader.pendingSize(), 0u);
}

// The newest position of a text fed in one piece, then finished.
std::optional<double> positionOf(const std::string& text) {
    ProgressReader reader;
    reader.take(text, 0);
    reader.finish();
    return reader.newestPosition();
}

TEST(ProgressReaderTest, ReadsEachLinesPositionToAFraction) {
    const struct {
        std::string line;
        std::optional<double> position;
    } rows[] = {
        {"frame= 1 size= 11kB time=00:00:00.04 bitrate=1\r", 0.04},
        {"size= 59KiB time=00:00:00.48 bitrate=1 elapsed=0:00:00.01\r", 0.48},
        {"time=00:00:00.00 x\n", 0.0},
        {"time=01:02:03.5 x\n", 3723.5},
        {"time=123:00:00 x\n", 442800.0},
        {"time=-00:00:00.40 x\r", std::nullopt},
        {"time=00:-1:00.00 x\r", std::nullopt},
        {"time=N/A bitrate=N/A\r", std::nullopt},
        {"time=63.40 x\r", std::nullopt},
        {"time=05:00 x\r", std::nullopt},
        {"time=1:00:00:00 x\r", std::nullopt},
        {"time=1e3:00:00 x\r", std::nullopt},
        {"time=00:00:05. x\r", std::nullopt},
        {"time=00:00.5:05 x\r", std::nullopt},
        {"time= 00:00:05.00 x\r", std::nullopt},
        {"time=00:00:05.00\r", std::nullopt},
        {"time=" + std::string(40, '1') + ":00:00 x\r", std::nullopt},
        // A line's first "time=" counts, as for the percentage.
        {"time=N/A time=00:00:05.00 x\r", std::nullopt},
        {"tim time=00:00:05.00 x\r", 5.0},
        {"ttime=00:00:02.50 x\r", 2.5},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(positionOf(row.line), row.position) << row.line;
    }
}

TEST(ProgressReaderTest, TheNewestUsableLineCountsWhateverTheDuration) {
    ProgressReader reader;
    EXPECT_EQ(reader.newestPosition(), std::nullopt);
    // Three lines before one line end: the percentage takes the oldest, the position the newest.
    EXPECT_EQ(reader.take("time=00:00:01.00 a\rtime=00:00:02.00 b\rtime=00:00:03.50 c\r", 10), 10);
    EXPECT_EQ(reader.newestPosition(), 3.5);
    // Unusable lines leave it; no duration does not stop it.
    reader.take("time=N/A x\rtime=-00:00:01.00 x\r", 10);
    EXPECT_EQ(reader.newestPosition(), 3.5);
    reader.take("time=00:00:0", 0);
    EXPECT_EQ(reader.newestPosition(), 3.5) << "a line counts once ended";
    reader.take("4.25 x", 0);
    reader.finish();
    EXPECT_EQ(reader.newestPosition(), 4.25) << "the run's end ends its last line";
    reader.take("time=00:00:09.00 x", 0);
    reader.clear();
    EXPECT_EQ(reader.newestPosition(), std::nullopt);
    EXPECT_EQ(reader.pendingSize(), 0u);
    reader.take("\r", 10);
    EXPECT_EQ(reader.newestPosition(), std::nullopt) << "the cleared line is gone";
}

ProbeFacts probeOf(const std::string& streams, const std::string& duration = "00:00:30.02",
                   const std::string& start = "0.000000") {
    return readProbe("Input #0, matroska,webm, from 'a.mkv':\n  Duration: " + duration +
                     ", start: " + start + ", bitrate: 355 kb/s\n" + streams +
                     "At least one output file must be specified\n");
}

const std::string kVideo30 =
    "  Stream #0:0: Video: mpeg4 (Simple Profile), yuv420p, 320x240, 25 fps\n"
    "    Metadata:\n      DURATION        : 00:00:30.000000000\n";

TEST(ReadProbeTest, ExpectsTheMappedStreamsLengthElseTheContainers) {
    const auto audio = [](const std::string& length, const std::string& key = "DURATION") {
        return "  Stream #0:1(eng): Audio: aac (LC), 44100 Hz, stereo, fltp\n    Metadata:\n"
               "      " +
               key + "        : " + length + "\n";
    };
    const struct {
        std::string streams;
        std::string duration;
        std::optional<double> expected;
    } rows[] = {
        {kVideo30 + audio("00:00:30.023000000"), "00:00:30.02", 30.02},
        {kVideo30 + audio("00:00:31.000000000"), "00:00:31.00", 31.0},
        // A longer subtitle, or a second audio track, only lengthens the container.
        {kVideo30 + audio("00:00:30.000000000") +
             "  Stream #0:2: Subtitle: subrip\n    Metadata:\n      DURATION : 00:01:00.0\n",
         "00:01:00.00", 30.0},
        {kVideo30 + audio("00:00:29.000000000") + audio("00:01:00.000000000"), "00:01:00.00", 30.0},
        {kVideo30 + audio("00:00:30.000000000", "DURATION-eng"), "00:00:30.00", 30.0},
        // Streams without their own length: the container's.
        {"  Stream #0:0: Video: mpeg4, 320x240\n  Stream #0:1: Audio: aac\n", "00:00:30.02", 30.02},
        {kVideo30 + "  Stream #0:1: Audio: aac\n", "00:01:00.00", 30.0},
        // A cover picture has no length of its own.
        {kVideo30 + "  Stream #0:1: Video: mjpeg, 600x600 (attached pic)\n", "00:00:30.00", 30.0},
        // A tag longer than the container is stale.
        {"  Stream #0:0: Video: mpeg4\n    Metadata:\n      DURATION : 01:00:00.000\n",
         "00:00:30.00", 30.0},
        {kVideo30, "N/A", std::nullopt},
        {kVideo30, "00:00:00.00", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(probeOf(row.streams, row.duration).expectedSeconds, row.expected) << row.streams;
    }
}

TEST(ReadProbeTest, APositiveStartIsTakenOffTheLengths) {
    const struct {
        std::string start;
        double startSeconds;
        std::optional<double> expected;
    } rows[] = {
        // Timestamps from 5 s: Matroska's durations (here 30 s) run from 0.
        {"5.000000", 5.0, 25.0},
        {"4.977000", 4.977, 30.0 - 4.977},
        // A negative start (an encoder's priming) lengthens nothing.
        {"-0.021000", -0.021, 30.0},
        {"N/A", 0.0, 30.0},
        {"5e3", 0.0, 30.0},
        {"30.000000", 30.0, std::nullopt},
    };
    for (const auto& row : rows) {
        const ProbeFacts facts = probeOf(kVideo30, "00:00:30.00", row.start);
        EXPECT_EQ(facts.startSeconds, row.startSeconds) << row.start;
        EXPECT_EQ(facts.expectedSeconds, row.expected) << row.start;
    }
}

TEST(ReadProbeTest, ANameThatHoldsDurationTextStandsInForNothing) {
    const std::string name =
        "x.mkv':\n  Duration: 09:00:00.00, start: 0\n  Stream #0:0: Video: "
        "h264\n    Metadata:\n      DURATION : 09:00:00.0\n";
    const ProbeFacts facts = readProbe("Input #0, matroska,webm, from '" + name +
                                       "':\n  Duration: 00:00:30.02, start: 0.000000\n" + kVideo30);
    EXPECT_EQ(facts.containerSeconds, 30.02);
    EXPECT_EQ(facts.expectedSeconds, 30.0);
    // The percentage keeps the first "Duration:".
    EXPECT_EQ(facts.durationSeconds, 32400);
}

TEST(ShortTest, ShortByMoreThanTwoSecondsOrTwoPercent) {
    const auto expecting = [](std::optional<double> seconds) {
        ProbeFacts facts;
        facts.expectedSeconds = seconds;
        return facts;
    };
    const struct {
        std::optional<double> position;
        std::optional<double> expected;
        bool shortOfIt;
        std::string reason;
    } rows[] = {
        {14.88, 30.02, true, "converted 0:14 of 0:30; the source may be damaged or cut short"},
        {28.01, 30.0, false, ""},
        {27.99, 30.0, true, "converted 0:27 of 0:30; the source may be damaged or cut short"},
        {196.0, 200.0, false, ""},
        {195.99, 200.0, true, "converted 3:15 of 3:20; the source may be damaged or cut short"},
        {std::nullopt, 30.0, true,
         "converted 0:00 of 0:30; the source may be damaged or cut short"},
        {0.04, 1.5, false, ""},
        {std::nullopt, 1.5, true, "converted 0:00 of 0:01; the source may be damaged or cut short"},
        {3599.99, 5400.5, true,
         "converted 59:59 of 1:30:00; the source may be damaged or cut short"},
        {36000.0, 1e13, true,
         "converted 10:00:00 of 277777777:46:40; the source may be damaged or cut short"},
        {3.04, 3.02, false, ""},
        {std::nullopt, std::nullopt, false, ""},
        {1.0, std::nullopt, false, ""},
    };
    for (const auto& row : rows) {
        const ProbeFacts facts = expecting(row.expected);
        EXPECT_EQ(fellShort(row.position, facts), row.shortOfIt)
            << row.position.value_or(-1) << " of " << row.expected.value_or(-1);
        if (row.shortOfIt || !row.expected) {
            EXPECT_EQ(shortReason(row.position, facts), row.reason);
        }
    }
}

TEST(ErrorLineReaderTest, KeepsTheLastErrorLineWithoutTagsAndPaths) {
    const struct {
        std::string text;
        std::string line;
    } rows[] = {
        {"[matroska @ 0x55] EBML header parsing failed\n/in/x.mkv: Invalid data found when "
         "processing input\n",
         "Invalid data found when processing input"},
        {"av_interleaved_write_frame(): No space left on device\nError closing file "
         "/out/.x.1.part.avi: No space left on device\nvideo:255kB audio:0kB\nConversion "
         "failed!\n",
         "No space left on device"},
        {"Unknown encoder 'wmv9'\nframe= 1 time=00:00:01.00 x\r  Stream #0:0\n",
         "Unknown encoder 'wmv9'"},
        {"Z:\\data>\"Z:\\tool.exe\" -y -i x\nreal error\nZ:\\data>del \"Z:\\data\\bjob1.bat\"\n",
         "real error"},
        {"no line end", ""},
        {"real error\nOutput #0, avi, to '/out/.x.1.part.avi':\nExiting normally, received "
         "signal 15.\n",
         "real error"},
        {"/in/a\nb.mkv: Invalid data found when processing input\n",
         "Invalid data found when processing input"},
        {"/in/e?[2J time=1: Invalid data found when processing input\n",
         "Invalid data found when processing input"},
    };
    for (const auto& row : rows) {
        ErrorLineReader reader(
            {"/in/x.mkv", "/out/.x.1.part.avi", "/in/a\nb.mkv", "/in/e\x1b[2J time=1"},
            {"bjob1.bat", "tool.exe"});
        for (char c : row.text) {
            reader.take(std::string(1, c));
        }
        EXPECT_EQ(reader.lastLine(), row.line) << row.text;
        EXPECT_EQ(reader.caughtSignal(), row.text.find("signal 15") != std::string::npos ? 15 : 0);
    }
}

}  // namespace
