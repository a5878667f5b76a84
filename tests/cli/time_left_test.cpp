// The time-left estimate's arithmetic with a clock the test moves, and its text.

#include "time_left.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using cli::TimeLeft;
using std::chrono::milliseconds;
using std::chrono::seconds;

// One look at the batch: when, which jobs ended just before it, which run and how far.
struct Look {
    double at = 0;                            // seconds since the first look
    std::vector<std::pair<int, bool>> ended;  // index, converted
    std::vector<TimeLeft::Running> running;
    bool working = true;
};

struct Row {
    const char* what;
    std::vector<std::int64_t> bytes;
    int engines;
    std::vector<Look> looks;
    std::optional<double> expected;  // after the last look
};

std::optional<double> estimate(const Row& row, TimeLeft::Timing timing) {
    TimeLeft left(row.bytes, row.engines, timing);
    const TimeLeft::Clock::time_point zero{};
    std::optional<double> result;
    for (const Look& look : row.looks) {
        for (const auto& [index, converted] : look.ended) {
            left.jobEnded(index, converted);
        }
        const auto at = zero + std::chrono::duration_cast<TimeLeft::Clock::duration>(
                                   std::chrono::duration<double>(look.at));
        result = left.update(at, look.running, look.working);
    }
    return result;
}

TEST(TimeLeftTest, BytesStillToConvertAtTheRateSoFar) {
    // Without smoothing, so that each row shows the arithmetic alone.
    const TimeLeft::Timing unsmoothed{seconds(5), milliseconds(0)};
    const std::vector<Row> rows = {
        {"nothing before five seconds of work",
         {100, 100},
         1,
         {{0, {}, {{0, 0}}}, {4.9, {}, {{0, 0.5}}}},
         std::nullopt},
        // 50 bytes in 5 s: 10 a second; 50 + 100 to go.
        {"half of the first file after five seconds",
         {100, 100},
         1,
         {{0, {}, {{0, 0}}}, {5, {}, {{0, 0.5}}}},
         15.0},
        {"nothing converted yet, no rate",
         {100, 100},
         1,
         {{0, {}, {{0, 0}}}, {8, {}, {{0, 0}}}},
         std::nullopt},
        // 100 + 25 bytes in 10 s; 75 to go.
        {"a converted file and a part of the next",
         {100, 100},
         1,
         {{0, {}, {{0, 0}}}, {10, {{0, true}}, {{1, 0.25}}}},
         6.0},
        // The kept file's bytes neither count as done nor remain: 50 in 5 s, 50 to go.
        {"a kept file leaves the batch",
         {100, 100},
         1,
         {{0, {{0, false}}, {{1, 0}}}, {5, {}, {{1, 0.5}}}},
         5.0},
        // 10 s of waiting for an answer are no work: 50 bytes in 5 s of work.
        {"waiting for an answer is not work",
         {100, 100},
         1,
         {{0, {}, {{0, 0}}}, {10, {}, {{0, 0}}, false}, {15, {}, {{0, 0.5}}}},
         15.0},
        // Two engines, 150 bytes in 10 s together; the 400-byte file is at a quarter, so one
        // engine alone needs 300 / 7.5 = 40 s for the rest, more than 300 / 15.
        {"a long file left for one of two engines",
         {400, 50, 50},
         2,
         {{0, {}, {{0, 0}, {1, 0}}}, {10, {{1, true}, {2, false}}, {{0, 0.25}}}},
         40.0},
        {"everything converted", {100}, 1, {{0, {}, {{0, 0}}}, {6, {{0, true}}, {}}}, 0.0},
    };
    for (const Row& row : rows) {
        const auto result = estimate(row, unsmoothed);
        ASSERT_EQ(result.has_value(), row.expected.has_value()) << row.what;
        if (result) {
            EXPECT_NEAR(*result, *row.expected, 1e-6) << row.what;
        }
    }
}

TEST(TimeLeftTest, TheFigureCountsDownAndBendsTowardsANewOne) {
    const TimeLeft::Timing timing{seconds(5), seconds(5)};
    TimeLeft left({100, 100}, 1, timing);
    const TimeLeft::Clock::time_point zero{};
    left.update(zero, {{0, 0}}, true);
    // The first figure is taken whole: 50 bytes in 5 s, 150 to go.
    EXPECT_NEAR(*left.update(zero + seconds(5), {{0, 0.5}}, true), 15.0, 1e-6);
    // One second later the rate has not changed (60 in 6 s): the fresh figure is 14, which
    // is also the old one counted down, so nothing bends.
    EXPECT_NEAR(*left.update(zero + seconds(6), {{0, 0.6}}, true), 14.0, 1e-6);
    // The file stalls for a second: the fresh figure jumps to 140 / (60 / 7) = 16.33, the shown
    // one moves from 13 only by 1 - e^(-1/5) of the way.
    const double shown = *left.update(zero + seconds(7), {{0, 0.6}}, true);
    EXPECT_NEAR(shown, 13 + (1 - std::exp(-0.2)) * (140.0 * 7 / 60 - 13), 1e-6);
    // While an answer is awaited the figure stands still.
    EXPECT_NEAR(*left.update(zero + seconds(30), {{0, 0.6}}, false), shown, 1e-9);
}

TEST(TimeLeftTest, Text) {
    const struct {
        double seconds;
        const char* text;
    } rows[] = {
        {0, "less than a minute left"},
        {44.9, "less than a minute left"},
        {45, "about 1 min left"},
        {89, "about 1 min left"},
        {90, "about 2 min left"},
        {180, "about 3 min left"},
        {59 * 60 + 29, "about 59 min left"},
        {59 * 60 + 31, "about 1 h left"},
        {80 * 60, "about 1 h 20 min left"},
        {25 * 3600 + 60, "about 25 h 1 min left"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(cli::timeLeftText(row.seconds), row.text) << row.seconds;
    }
}

}  // namespace
