#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "batch_outcome.h"
#include "batch_text.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "file_checks.h"
#include "media_preset.h"
#include "messages.h"
#include "open_folder_text.h"
#include "outcome_text.h"
#include "platform.h"
#include "progress_view.h"
#include "replace_question.h"
#include "temp_dir.h"

namespace {

TEST(BatchTextTest, RunningLineTruncatesTheBatchPercent) {
    EXPECT_EQ(rules::jobLine(0, 40, 1, "/v/a.mkv"), "1 / 1 (40%) /v/a.mkv");
    EXPECT_EQ(rules::runningLine(2, 50, 4), "3 / 4 (62%)");
    // Several at once: the fourth of ten started, two over, the running two at 40% and 70%.
    EXPECT_EQ(rules::batchLine(4, 2, 110, 10), "4 / 10 (31%)");
    EXPECT_EQ(rules::batchLine(3, 2, 50, 4), rules::runningLine(2, 50, 4));
    EXPECT_EQ(rules::batchPercent(1, 99, 3), 66);
    EXPECT_EQ(rules::batchPercent(3, 100, 4), 100);
    EXPECT_EQ(rules::batchPercent(0, 0, 0), 0);
    // Past what an int holds in 100 * index.
    EXPECT_EQ(rules::batchPercent(30'000'000, 0, 30'000'001), 99);
}

TEST(BatchTextTest, FinalLineRoundsHalvesUp) {
    const struct {
        int finished, count;
        const char* line;
    } rows[] = {{2, 3, "2 / 3 (67%)"},  {1, 2, "1 / 2 (50%)"}, {0, 3, "0 / 3 (0%)"},
                {1, 3, "1 / 3 (33%)"},  {1, 8, "1 / 8 (13%)"}, {3, 8, "3 / 8 (38%)"},
                {5, 5, "5 / 5 (100%)"}, {0, 0, "0 / 0 (0%)"}};
    for (const auto& row : rows) {
        EXPECT_EQ(rules::finalLine(row.finished, row.count), row.line);
    }
}

TEST(ConvertChecksTest, RefusalsComeInTheirOrder) {
    testing_support::TempDir dir;
    const std::string tool = dir.write("xcoder", "");
    const std::string missing = dir.path() + "/nowhere";
    EXPECT_EQ(rules::checkConvert({0, "", ""}), rules::Refusal::NoSources);
    EXPECT_EQ(rules::checkConvert({1, "", tool}), rules::Refusal::NoOutputFolder);
    EXPECT_EQ(rules::checkConvert({1, missing, tool}), rules::Refusal::FolderMissing);
    EXPECT_EQ(rules::checkConvert({1, tool, tool}), rules::Refusal::FolderMissing);
    EXPECT_EQ(rules::checkConvert({1, dir.path(), missing}), rules::Refusal::NoConverter);
    EXPECT_EQ(rules::checkConvert({1, dir.path(), tool}), rules::Refusal::None);
    EXPECT_EQ(rules::refusalText(rules::Refusal::FolderMissing),
              "The output folder doesn't exist.");
}

TEST(ConvertChecksTest, ABatchReplacesTheLastOneAndSkipsEmptyLines) {
    ConvertCore core;
    const MkvAvi presets;
    rules::setUpBatch(core, "/opt/xcoder", "/out", presets, 1);
    EXPECT_EQ(core.outputExt, "avi");
    EXPECT_EQ(core.presetArgs, presets.presetArguments(1));
    ASSERT_TRUE(rules::queueLines(core, {"/a.mkv", "", "/b.mkv"}));
    ASSERT_TRUE(rules::queueLines(core, {"", "/c.mkv"}));
    EXPECT_EQ(core.jobCount(), 1);
    EXPECT_FALSE(rules::queueLines(core, {""}));
}

TEST(MessagesTest, ReplaceQuestionNamesTheOutput) {
    EXPECT_EQ(rules::replaceQuestion("/o/a.avi"),
              "'/o/a.avi' already exists.\nDo you want to replace it?");
}

TEST(OpenFolderTextTest, SaysWhyTheFolderCannotBeShown) {
    testing_support::TempDir dir;
    const std::string file = dir.write("a.avi", "");
    const std::string missing = dir.path() + "/nowhere";
    EXPECT_EQ(rules::checkOpenFolder(dir.path()), rules::OpenFolderProblem::None);
    EXPECT_EQ(rules::checkOpenFolder(missing), rules::OpenFolderProblem::Missing);
    EXPECT_EQ(rules::checkOpenFolder(file), rules::OpenFolderProblem::NotAFolder);
    EXPECT_EQ(rules::openFolderFailure("/o", rules::OpenFolderProblem::Missing),
              "Cannot open the folder '/o':\nit doesn't exist.");
    EXPECT_EQ(rules::openFolderFailure("/o", rules::OpenFolderProblem::None), "");
}

TEST(OpenFolderTextTest, OnlyAFolderThatIsThereIsHandedToTheDesktop) {
    testing_support::TempDir dir;
    const struct {
        std::string folder;
        bool desktopShows;
        bool asked;
        rules::OpenFolderProblem problem;
    } rows[] = {
        {"", true, false, rules::OpenFolderProblem::None},
        {dir.path(), true, true, rules::OpenFolderProblem::None},
        {dir.path(), false, true, rules::OpenFolderProblem::NoOpener},
        {dir.path() + "/nowhere", true, false, rules::OpenFolderProblem::Missing},
    };
    for (const auto& row : rows) {
        bool asked = false;
        EXPECT_EQ(rules::showFolder(row.folder,
                                    [&] {
                                        asked = true;
                                        return row.desktopShows;
                                    }),
                  rules::openFolderFailure(row.folder, row.problem))
            << row.folder;
        EXPECT_EQ(asked, row.asked) << row.folder;
    }
}

ConvertJob job(const std::string& source, int percent, JobOutcome outcome,
               std::string reason = {}) {
    ConvertJob result;
    result.sourcePath = source;
    result.percent = percent;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

TEST(OutcomeTextTest, OnlyUnfinishedJobsHaveATooltip) {
    EXPECT_EQ(rules::outcomeTooltip(job("/a.mkv", 100, JobOutcome::Converted)), "");
    EXPECT_EQ(rules::outcomeTooltip(job("/a.mkv", 100, JobOutcome::Kept)), "");
    EXPECT_EQ(rules::outcomeTooltip(job("/a.mkv", 0, JobOutcome::Failed, "Invalid data")),
              "Not converted: Invalid data");
    EXPECT_EQ(rules::outcomeTooltip(job("/a.mkv", 0, JobOutcome::Stopped)),
              "Not converted: stopped");
    EXPECT_EQ(rules::outcomeTooltip(job("/a.mkv", 48, JobOutcome::Short, "converted 0:14 of 0:30")),
              "Converted only in part: converted 0:14 of 0:30");
    EXPECT_EQ(rules::unfinishedEntry(job("/a.mkv", 0, JobOutcome::NotStarted)),
              "/a.mkv: not started");
}

TEST(OutcomeTextTest, SummaryListsFailuresOnlyAndAtMostTen) {
    std::vector<ConvertJob> jobs{job("/s.mkv", 0, JobOutcome::Stopped),
                                 job("/k.mkv", 100, JobOutcome::Kept)};
    EXPECT_EQ(rules::failureSummary(jobs), "");
    jobs.push_back(job("/f.mkv", 0, JobOutcome::Failed, "No space left on device"));
    EXPECT_EQ(rules::failureSummary(jobs),
              "This file was not converted:\n\n/f.mkv: No space left on device");
    for (int k = 0; k < 11; ++k) {
        jobs.push_back(job("/g" + std::to_string(k) + ".mkv", 0, JobOutcome::Failed, "bad"));
    }
    const std::string summary = rules::failureSummary(jobs);
    EXPECT_NE(summary.find("/g8.mkv: bad\nand 2 more"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("/g9.mkv"), std::string::npos);
}

TEST(OutcomeTextTest, ShortConversionsHaveTheirOwnHeadingAfterTheFailures) {
    const std::vector<ConvertJob> jobs{
        job("/p.mkv", 48, JobOutcome::Short, "converted 0:14 of 0:30"),
        job("/f.mkv", 0, JobOutcome::Failed, "bad")};
    EXPECT_EQ(rules::failureSummary(jobs),
              "This file was not converted:\n\n/f.mkv: bad\n\n"
              "This file was converted only in part:\n\n/p.mkv: converted 0:14 of 0:30");
    EXPECT_EQ(rules::failureSummary({jobs[0], jobs[0]}).substr(0, 40),
              "These files were converted only in part:");
}

TEST(BatchOutcomeTest, FinishedLinesAreSelectedAndTheOthersSayWhy) {
    const std::vector<ConvertJob> jobs{
        job("/a.mkv", 100, JobOutcome::Converted), job("/b.mkv", 0, JobOutcome::Failed, "bad"),
        job("/c.mkv", 40, JobOutcome::NotStarted), job("/d.mkv", 0, JobOutcome::NotStarted)};
    // The third job is the one a worker still ending after a stop is on.
    const rules::BatchOutcome outcome = rules::batchOutcome(jobs, 2);
    const struct {
        const char* source;
        bool selected;
        const char* tooltip;
    } rows[] = {{"/a.mkv", true, ""},
                {"/b.mkv", false, "Not converted: bad"},
                {"/c.mkv", false, "Not converted: stopped"},
                {"/d.mkv", false, "Not converted: not started"}};
    ASSERT_EQ(outcome.lines.size(), std::size(rows));
    for (std::size_t k = 0; k < std::size(rows); ++k) {
        EXPECT_EQ(outcome.lines[k].sourcePath, rows[k].source);
        EXPECT_EQ(outcome.lines[k].selected, rows[k].selected) << rows[k].source;
        EXPECT_EQ(outcome.lines[k].tooltip, rows[k].tooltip) << rows[k].source;
    }
    EXPECT_EQ(outcome.failureSummary, rules::failureSummary(jobs));
    EXPECT_EQ(rules::batchOutcome({jobs[0]}, -1).failureSummary, "");
}

TEST(ProgressViewTest, RunningFinishedAndStoppedBatches) {
    ConvertJob current = job("/v/b.mkv", 50, JobOutcome::NotStarted);
    current.index = 1;
    ConvertJob last = current;
    last.index = INT_MAX - 1;
    const struct {
        rules::ProgressInput input;
        const char* batchLine;
        const char* fileLine;
        int barMaximum, barPosition;
        bool finished, ended, closeWindow;
    } rows[] = {
        {{Running, 4, current, 0}, "2 / 4 (37%)", "/v/b.mkv", 400, 150, false, false, false},
        // Running, no job picked yet: the lines stay as they are and the bar is empty.
        {{Running, 4, std::nullopt, 0}, "", "", 0, 0, false, false, false},
        {{Finished, 4, std::nullopt, 3}, "3 / 4 (75%)", "Complete", 0, 0, true, true, false},
        {{StopRequested, 4, std::nullopt, 0}, "", "", 0, 0, false, true, true},
        {{Stopped, 4, std::nullopt, 0}, "", "", 0, 0, false, true, true},
        // 100 * count past an int: both ends shrink alike (by 100 here).
        {{Running, INT_MAX, last, 0},
         "2147483647 / 2147483647 (99%)",
         "/v/b.mkv",
         INT_MAX,
         INT_MAX - 1,
         false,
         false,
         false},
    };
    for (const auto& row : rows) {
        const rules::ProgressView view = rules::progressView(row.input);
        EXPECT_EQ(view.batchLine, row.batchLine) << row.input.state;
        EXPECT_EQ(view.fileLine, row.fileLine);
        EXPECT_EQ(view.fileIsPath, row.input.job.has_value() && row.input.state == Running);
        EXPECT_EQ(view.barMaximum, row.barMaximum) << row.batchLine;
        EXPECT_EQ(view.barPosition, row.barPosition) << row.batchLine;
        EXPECT_EQ(view.finished, row.finished);
        EXPECT_EQ(view.ended, row.ended);
        EXPECT_EQ(view.closeWindow, row.closeWindow);
    }
}

TEST(FileChecksTest, NamedFilesAreCheckedInOrderAndByIdentity) {
    testing_support::TempDir dir;
    const std::string clip = dir.write("a.mkv", "x");
    dir.write("b.avi", "x");
    std::filesystem::create_directory(testing_support::fsPath(dir.file("sub.mkv")));
    const std::string sep(1, platform::kPathSeparator);
    const struct {
        std::string path;
        rules::FileRefusal refusal;
    } rows[] = {
        {clip, rules::FileRefusal::None},
        {dir.file("sub.mkv") + sep + ".." + sep + "a.mkv", rules::FileRefusal::ListedTwice},
        {dir.file("b.avi"), rules::FileRefusal::NotMatroska},
        {dir.file("missing.mkv"), rules::FileRefusal::NotFound},
        {dir.file("sub.mkv"), rules::FileRefusal::NotRegular},
    };
    rules::FileList list;
    for (const auto& row : rows) {
        EXPECT_EQ(list.add(row.path), row.refusal) << row.path;
    }
    EXPECT_EQ(rules::fileRefusalText(rules::FileRefusal::NotMatroska), "not a Matroska name");
}

#ifndef _WIN32
TEST(FileChecksTest, AbsolutePathsKeepDotDotForTheSystem) {
    const struct {
        const char* path;
        const char* absolute;
    } rows[] = {
        {"x.mkv", "/b/x.mkv"},
        {"./l//../x.mkv", "/b/l/../x.mkv"},
        {"/abs/./x.mkv", "/abs/x.mkv"},
        {"out/", "/b/out/"},
        {".", "/b/"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rules::absolutePath(row.path, "/b"), row.absolute);
    }
}
#endif

TEST(ReplaceQuestionTest, TerminalLettersAndToAllLastingTheBatch) {
    const struct {
        const char* typed;
        std::optional<rules::ReplaceChoice> choice;
    } rows[] = {{"y", rules::ReplaceChoice::Yes},
                {" Yes\n", rules::ReplaceChoice::Yes},
                {"", rules::ReplaceChoice::No},
                {"N", rules::ReplaceChoice::No},
                {"a", rules::ReplaceChoice::YesToAll},
                {"O", rules::ReplaceChoice::NoToAll},
                {"q", rules::ReplaceChoice::Cancel},
                {"maybe", std::nullopt},
                {"yn", std::nullopt}};
    for (const auto& row : rows) {
        EXPECT_EQ(rules::terminalChoice(row.typed), row.choice) << row.typed;
    }
    rules::ReplaceAnswers answers;
    EXPECT_EQ(answers.standing(), std::nullopt);
    EXPECT_EQ(answers.take(rules::ReplaceChoice::Yes), ConfirmReplace);
    EXPECT_EQ(answers.standing(), std::nullopt);
    EXPECT_EQ(answers.take(rules::ReplaceChoice::Cancel), ConfirmKeepAndStop);
    EXPECT_EQ(answers.take(rules::ReplaceChoice::NoToAll), ConfirmKeep);
    EXPECT_EQ(answers.standing(), ConfirmKeep);
    answers.reset();
    EXPECT_EQ(answers.standing(), std::nullopt);
    EXPECT_EQ(answers.take(rules::ReplaceChoice::YesToAll), ConfirmReplace);
    EXPECT_EQ(answers.standing(), ConfirmReplace);
}

}  // namespace
