#include <gtest/gtest.h>

#include "convert_core.h"

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

}  // namespace
