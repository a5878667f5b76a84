// The JSON events as written, one row per kind of field: names that are not UTF-8, missing
// values, each outcome.

#include "json_events.h"

#include <gtest/gtest.h>

namespace {

namespace json = cli::json;

ConvertJob job(JobOutcome outcome, int percent, const std::string& reason = {}) {
    ConvertJob result;
    result.index = 2;
    result.sourcePath = "/v/a.mkv";
    result.outputPath = "/o/a.avi";
    result.outcome = outcome;
    result.percent = percent;
    result.reason = reason;
    return result;
}

TEST(JsonEventsTest, Lines) {
    const struct {
        std::string line;
        std::string expected;
    } rows[] = {
        {json::skipped("bad\xff\xfe.mkv", "not found"),
         R"({"event":"skipped","file":"bad)"
         "\xEF\xBF\xBD\xEF\xBF\xBD"
         R"(.mkv","file_hex":"626164fffe2e6d6b76","reason":"not found"})"},
        {json::batchStart({3, 1, 2, "XviD Widescreen Anamorphic", "/o", 2}),
         R"({"event":"batch_start","files":3,"skipped":1,"preset":2,)"
         R"("preset_name":"XviD Widescreen Anamorphic","output_folder":"/o","parallel":2})"},
        {json::jobStart(0, "/v/\"a\"\n.mkv", "/o/a.avi", 0.04),
         R"({"event":"job_start","index":0,"source":"/v/\"a\"\n.mkv","output":"/o/a.avi",)"
         R"("elapsed":0.0})"},
        {json::progress({1, 33, 30, 16, 41.6, 12.345}),
         R"({"event":"progress","index":1,"percent":33,"position":9.9,"duration":30,)"
         R"("batch_percent":16,"seconds_left":42,"elapsed":12.3})"},
        {json::progress({1, 0, 0, 0, std::nullopt, 0.5}),
         R"({"event":"progress","index":1,"percent":0,"position":null,"duration":null,)"
         R"("batch_percent":0,"seconds_left":null,"elapsed":0.5})"},
        {json::jobEnd(job(JobOutcome::Converted, 100), 4),
         R"({"event":"job_end","index":2,"source":"/v/a.mkv","outcome":"converted",)"
         R"("finished":true,"reason":null,"output":"/o/a.avi","elapsed":4.0})"},
        {json::jobEnd(job(JobOutcome::Short, 48,
                          "converted 0:14 of 0:30; the source may be "
                          "damaged or cut short"),
                      4),
         R"({"event":"job_end","index":2,"source":"/v/a.mkv","outcome":"short",)"
         R"("finished":false,"reason":"converted 0:14 of 0:30; the source may be damaged or )"
         R"(cut short","output":"/o/a.avi","elapsed":4.0})"},
        {json::jobEnd(job(JobOutcome::NotStarted, 0), 4),
         R"({"event":"job_end","index":2,"source":"/v/a.mkv","outcome":"not_started",)"
         R"("finished":false,"reason":"not started","output":"/o/a.avi","elapsed":4.0})"},
        {json::batchEnd(2, 3, true, 9.81, 130),
         R"({"event":"batch_end","finished":2,"total":3,"state":"stopped","elapsed":9.8,)"
         R"("exit_status":130})"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.line, row.expected + "\n");
    }
    for (const auto& [outcome, name] : {std::pair{JobOutcome::Kept, "kept"},
                                        {JobOutcome::Failed, "failed"},
                                        {JobOutcome::Stopped, "stopped"}}) {
        EXPECT_STREQ(json::outcomeName(outcome), name);
    }
}

}  // namespace
