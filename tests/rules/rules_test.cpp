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
#include "source_lines.h"
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
    const std::string nowhere = dir.path() + "/nowhere";
    const struct {
        std::string folder;
        rules::ShowAnswer desktop;
        bool asked;
        std::string said;
    } rows[] = {
        {"", {}, false, ""},
        {dir.path(), {}, true, ""},
        {dir.path(),
         {false, ""},
         true,
         rules::openFolderFailure(dir.path(), rules::OpenFolderProblem::NoOpener)},
        {dir.path(),
         {false, "access denied"},
         true,
         "Cannot open the folder '" + dir.path() + "':\naccess denied."},
        {nowhere, {}, false, rules::openFolderFailure(nowhere, rules::OpenFolderProblem::Missing)},
    };
    for (const auto& row : rows) {
        bool asked = false;
        EXPECT_EQ(rules::showFolder(row.folder,
                                    [&] {
                                        asked = true;
                                        return row.desktop;
                                    }),
                  row.said)
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

TEST(SourceLinesTest, OneOrderForBothProgramsFoldingOnlyAsciiCase) {
    // Each row sorts before the next; the order is total, so no two names tie.
    const std::vector<std::string> ordered = {
        "/v/A.mkv",
        "/v/a.mkv",
        "/v/a.mkv2",
        "/v/B.mkv",
        "/v/b.mkv",
        "/v/c d.mkv",
        "/v/cd.mkv",
        "/v/z.mkv",
        "/v/\xc3\x89t\xc3\xa9.mkv",
        "/v/\xc3\xa9t\xc3\xa9.mkv",
        "/v/\xfe.mkv",
        "/v/\xff.mkv",
    };
    for (std::size_t k = 0; k + 1 < ordered.size(); ++k) {
        EXPECT_TRUE(rules::listsBefore(ordered[k], ordered[k + 1])) << ordered[k];
        EXPECT_FALSE(rules::listsBefore(ordered[k + 1], ordered[k])) << ordered[k];
        EXPECT_FALSE(rules::listsBefore(ordered[k], ordered[k])) << ordered[k];
    }
    // Whatever order the names come in, they take their places.
    std::vector<std::string> list;
    for (const std::size_t k : {5u, 0u, 11u, 3u, 7u, 1u, 10u, 2u, 9u, 4u, 8u, 6u}) {
        const int row = rules::sortedRow(static_cast<int>(list.size()), ordered[k],
                                         [&](int r) { return list[static_cast<std::size_t>(r)]; });
        list.insert(list.begin() + row, ordered[k]);
    }
    EXPECT_EQ(list, ordered);
}

TEST(SourceLinesTest, DuplicatesAreTheSameBytes) {
    rules::ListedNames names;
    names.add("/v/a\xff.mkv");
    names.add("/v/a.mkv");
    names.add("/v/a.mkv");
    EXPECT_TRUE(names.contains("/v/a\xff.mkv"));
    EXPECT_FALSE(names.contains("/v/a\xfe.mkv"));
    EXPECT_FALSE(names.contains("/v/A.mkv"));
    EXPECT_FALSE(names.contains(""));
    names.remove("/v/a.mkv");
    EXPECT_TRUE(names.contains("/v/a.mkv"));
    names.remove("/v/a.mkv");
    EXPECT_FALSE(names.contains("/v/a.mkv"));
    names.remove("/v/never.mkv");
    EXPECT_EQ(names.size(), 1u);
}

TEST(SourceLinesTest, FileUrisGiveTheirBytes) {
    const struct {
        const char* uri;
        std::optional<std::string> file;
    } rows[] = {
#ifdef _WIN32
        {"file:///C:/v/caf%C3%A9%20x.mkv", "C:\\v\\caf\xc3\xa9 x.mkv"},
        {"file://server/share/x.mkv", "\\\\server\\share\\x.mkv"},
#else
        {"file:///v/caf%E9.mkv", "/v/caf\xe9.mkv"},
        {"FILE://localhost/v/a%20b.mkv#part", "/v/a b.mkv"},
        {"file:/v/plain.mkv", "/v/plain.mkv"},
        {"file://server/v/x.mkv", std::nullopt},
        {"file:///v/100%.mkv", "/v/100%.mkv"},
        {"file:///v/nul%00.mkv", std::nullopt},
#endif
        {"https://example.com/x.mkv", std::nullopt},
        {"file:relative.mkv", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rules::localFileFromUri(row.uri), row.file) << row.uri;
    }
#ifndef _WIN32
    EXPECT_EQ(rules::localFilesFromUriList("# a comment\r\nfile:///v/a.mkv\r\nhttp://x/y.mkv\r\n"
                                           "file:///v/b%FF.mkv  \n\r\n"),
              (std::vector<std::string>{"/v/a.mkv", "/v/b\xff.mkv"}));
#endif
}

TEST(SourceLinesTest, CommandLineNamesArePathsOrFileUris) {
    testing_support::TempDir dir;
    // A file whose name reads as an address is still that file.
    const std::string odd = dir.write("http:x.mkv", "x");
    EXPECT_EQ(rules::commandLineFile(odd), odd);
    EXPECT_EQ(rules::commandLineFile("https://example.com/x.mkv"), std::nullopt);
    EXPECT_EQ(rules::commandLineFile(""), std::nullopt);
#ifndef _WIN32
    EXPECT_EQ(rules::commandLineFile("file:///v/a%FF.mkv"), "/v/a\xff.mkv");
    EXPECT_EQ(rules::commandLineFile("/v/./a.mkv"), "/v/a.mkv");
    EXPECT_EQ(rules::commandLineFile("a.mkv"),
              rules::absolutePath("a.mkv", std::filesystem::current_path().string()));
#else
    EXPECT_EQ(rules::commandLineFile("file:///C:/v/a.mkv"), "C:\\v\\a.mkv");
#endif
}

TEST(ConvertChecksTest, OutputFoldersBecomeAbsolute) {
    const std::string here = rules::absolutePath("x", {});
    const std::string current = here.substr(0, here.size() - 2);
    const char sep = platform::kPathSeparator;
    const struct {
        std::string typed;
        std::string home;
        std::string folder;
    } rows[] = {
        {"", "/home/u", ""},
        {"relout", "", current + sep + "relout"},
        {".", "", current},
#ifndef _WIN32
        {"~/out", "/home/u", "/home/u/out"},
        {"~", "/home/u", "/home/u"},
        {"~/out", "", current + "/~/out"},
        {"~other/out", "/home/u", current + "/~other/out"},
        {"/srv/out//", "/home/u", "/srv/out"},
        {"/", "/home/u", "/"},
#else
        {"C:\\out\\", "", "C:\\out"}, {"C:\\", "", "C:\\"},
#endif
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rules::absoluteOutputFolder(row.typed, row.home), row.folder) << row.typed;
    }
}

ConvertJob ended(int index, JobOutcome outcome, int percent) {
    ConvertJob result = job("/v/" + std::to_string(index) + ".mkv", percent, outcome);
    result.index = index;
    return result;
}

TEST(BatchOutcomeTest, NoticeCountsConvertedKeptPartialAndTheRest) {
    std::vector<ConvertJob> jobs;
    for (int k = 0; k < 12; ++k) {
        jobs.push_back(ended(k, JobOutcome::Converted, 100));
    }
    jobs.push_back(ended(12, JobOutcome::Kept, 100));
    jobs.push_back(ended(13, JobOutcome::Failed, 0));
    EXPECT_EQ(rules::batchNotice(jobs, false), "12 of 14 files converted, 1 kept, 1 not converted");
    jobs.push_back(ended(14, JobOutcome::Short, 40));
    EXPECT_EQ(rules::batchNotice(jobs, false),
              "12 of 15 files converted, 1 kept, 1 converted only in part, 1 not converted");
    EXPECT_EQ(rules::batchNotice({ended(0, JobOutcome::Converted, 100)}, false),
              "1 of 1 file converted");
    std::vector<ConvertJob> stopped(14, ended(0, JobOutcome::NotStarted, 0));
    for (int k = 0; k < 5; ++k) {
        stopped[static_cast<std::size_t>(k)] = ended(k, JobOutcome::Converted, 100);
    }
    stopped[5] = ended(5, JobOutcome::Stopped, 0);
    EXPECT_EQ(rules::batchNotice(stopped, true), "Stopped: 5 of 14 converted");
}

TEST(ProgressViewTest, TheTaskbarFollowsTheBarTurnsRedOnAFailureAndClearsAtTheEnd) {
    ConvertCore core;
    for (const char* source : {"/v/a.mkv", "/v/b.mkv", "/v/c.mkv"}) {
        core.addJob(source);
    }
    rules::TaskbarWatch watch;
    const auto tickAt = [&](int state, int index, int percent) {
        rules::ProgressInput input;
        input.state = state;
        input.count = 3;
        if (index >= 0) {
            input.job = ended(index, JobOutcome::NotStarted, percent);
        }
        return watch.tick(core, input, rules::progressView(input));
    };
    using rules::TaskbarState;
    EXPECT_EQ(tickAt(Running, -1, 0), (rules::TaskbarProgress{TaskbarState::Normal, 0, 1}));
    EXPECT_EQ(tickAt(Running, 0, 50), (rules::TaskbarProgress{TaskbarState::Normal, 50, 300}));
    core.setJobOutcome(0, JobOutcome::Failed, "broken");
    // Read again only once the next job is under way.
    EXPECT_EQ(tickAt(Running, 0, 60).state, TaskbarState::Normal);
    EXPECT_EQ(tickAt(Running, 1, 0), (rules::TaskbarProgress{TaskbarState::Error, 100, 300}));
    EXPECT_EQ(tickAt(Running, 2, 10).state, TaskbarState::Error);
    EXPECT_EQ(tickAt(Finished, -1, 0), rules::TaskbarProgress{});
    EXPECT_EQ(tickAt(Stopped, -1, 0), rules::TaskbarProgress{});
}

}  // namespace
