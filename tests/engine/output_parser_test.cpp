#include <gtest/gtest.h>

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
