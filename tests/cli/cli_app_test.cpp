// kestrova-cli run in-process: the checks, the skipped files, the answers to the overwrite
// question and the progress display, with given arguments and captured streams.

#include "cli_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "child_process.h"
#include "cli_harness.h"
#include "progress_text.h"
#include "temp_dir.h"

namespace {

using testing_support::expectNotFinished;
using testing_support::readAll;
using testing_support::splitLines;
using testing_support::TempDir;
using testing_support::writeExecutable;

class CliAppTest : public ::testing::Test, protected testing_support::CliHarness {};

TEST_F(CliAppTest, ChecksComeInOrderWithTheirTexts) {
    const std::string clip = source("a.mkv");
    const std::string out = temp.path();
    const std::string notAFolder = temp.write("file", "x");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {{}, "Please add source files.\n"},
             {{"-o", out}, "Please add source files.\n"},
             {{"b.avi"}, "skipped: b.avi: not found\nPlease select output folder.\n"},
             {{clip}, "Please select output folder.\n"},
             {{"-o", "", clip}, "Please select output folder.\n"},
             {{"-o", temp.file("missing"), clip}, "The output folder doesn't exist.\n"},
             {{"-o", notAFolder, clip}, "The output folder doesn't exist.\n"},
         }) {
        const Result result = run(c.args);
        EXPECT_EQ(result.status, cli::kExitRefused) << c.err;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
    }

    const Result noTool = run({"-o", out, clip}, [&](cli::Console& console) {
        console.toolPath = temp.file("core/xcoder");
    });
    EXPECT_EQ(noTool.status, cli::kExitRefused);
    EXPECT_EQ(noTool.err, "There isn't a core file.\n");

    // Every FILE skipped: the command was right, but nothing is left to do.
    const Result nothingLeft = run({"-o", out, "b.avi", notAFolder + ".mkv"});
    EXPECT_EQ(nothingLeft.status, cli::kExitSomeNotFinished);
    EXPECT_EQ(nothingLeft.err, "skipped: b.avi: not found\nskipped: " + notAFolder +
                                   ".mkv: not found\nNo file left to convert.\n");
    EXPECT_EQ(nothingLeft.out, "");
}

TEST_F(CliAppTest, LeftoversOfAKilledRunAreSweptAndNamed) {
    // What a run killed whole leaves: a job's private folder whose lock no one holds.
    const std::string left = temp.file("out/.kestrova-job-0000dead0000");
    std::filesystem::create_directories(left);
    temp.write("out/.kestrova-job-0000dead0000/lock", "");
    temp.write("out/.kestrova-job-0000dead0000/output.avi", "half");
    const Result result = run({"-o", "out", source("clip.mkv")});
    EXPECT_NE(result.err.find("swept: " + left + "\n"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(left));
}

TEST_F(CliAppTest, UsageErrorsHelpAndPresetList) {
    const Result unknown = run({"--frobnicate", source("a.mkv")});
    EXPECT_EQ(unknown.status, cli::kExitRefused);
    EXPECT_EQ(unknown.err.rfind("kestrova-cli: unknown option '--frobnicate'\nUsage: ", 0), 0u)
        << unknown.err;
    EXPECT_EQ(unknown.out, "");
    const Result preset = run({"-p", "\x1b[2J", "-o", temp.path(), "a.mkv"});
    EXPECT_EQ(preset.status, cli::kExitRefused);
    EXPECT_EQ(preset.err.rfind("kestrova-cli: unknown preset '\\x1b[2J' (see --list-presets)\n", 0),
              0u)
        << preset.err;

    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(
                  "Usage: kestrova-cli [-p N|NAME] -o DIR [-y|-n] [-j N] [--json] FILE...\n", 0),
              0u);

    const Result list = run({"--list-presets"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.err, "");
    EXPECT_EQ(list.out,
              "0\tXviD FullScreen\t-vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25\n"
              "1\tXviD Widescreen\t-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 29.97 -vf "
              "scale=320:240\n"
              "2\tXviD Widescreen Anamorphic\t-vcodec wmv2 -acodec wmav2 -b:v 1200k -b:a 160k -r "
              "25 -vf scale=720:480\n"
              "3\tMS Compatible AVI\t-vcodec wmv2 -acodec wmav2 -b:v 640k -b:a 128k -r 23.97 -vf "
              "scale=320:240\n");
}

TEST_F(CliAppTest, RefusedFilesAreSkippedWithTheirReasonsAndJobsRunInArgumentOrder) {
    const std::string b = source("b.mkv");
    const std::string a = source("a.MKV");
    source("c.avi");
    std::filesystem::create_directory(temp.file("sub"));
    ASSERT_EQ(::mkfifo(temp.file("fifo.mkv").c_str(), 0600), 0);
    std::filesystem::create_hard_link(a, temp.file("hard.mkv"));
    // "link/.." is real/, not the temporary folder: x.mkv and out exist only there.
    std::filesystem::create_directories(temp.file("real/inner"));
    std::filesystem::create_directory(temp.file("real/out"));
    std::filesystem::create_directory_symlink("real/inner", temp.file("link"));
    const std::string x = source("real/x.mkv");

    const Result result =
        run({"-o", "link/../out/", "b.mkv", "a.MKV", "./b.mkv", "sub/../a.MKV", a, "hard.mkv",
             "c.avi", "missing.mkv", "sub", "fifo.mkv", "link/../x.mkv"});
    EXPECT_EQ(result.err,
              "skipped: ./b.mkv: listed twice\nskipped: sub/../a.MKV: listed twice\nskipped: " + a +
                  ": listed twice\nskipped: hard.mkv: listed twice\nskipped: c.avi: not a "
                  "Matroska name\nskipped: missing.mkv: not found\nskipped: sub: not a regular "
                  "file\nskipped: fifo.mkv: not a regular file\n");
    // The converter fails, so no job finishes; the batch still walks them all, in order.
    const std::string viaLink = temp.file("link/../x.mkv");
    const std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 8u) << result.out;
    EXPECT_EQ(lines[0], "1 / 3 (0%) " + b);
    EXPECT_EQ(lines[1], "2 / 3 (33%) " + a);
    EXPECT_EQ(lines[2], "3 / 3 (66%) " + viaLink);
    EXPECT_EQ(lines[3], "Complete");
    EXPECT_EQ(lines[4], "0 / 3 (0%)");
    expectNotFinished(lines[5], b);
    expectNotFinished(lines[6], a);
    expectNotFinished(lines[7], viaLink);
    EXPECT_EQ(result.status, cli::kExitSomeNotFinished);
}

TEST_F(CliAppTest, ASkippedFileMakesTheStatusOneUnlessItWasListedTwice) {
    const std::string clip = source("clip.mkv");
    std::filesystem::create_directory(temp.file("out"));
    temp.write("out/clip.avi", "keep me");
    EXPECT_EQ(run({"-n", "-o", "out", clip, "clip.mkv"}).status, cli::kExitAllFinished);
    EXPECT_EQ(run({"-n", "-o", "out", clip, "missing.mkv"}).status, cli::kExitSomeNotFinished);
}

TEST_F(CliAppTest, NamesArePrintedWithControlCharactersEscaped) {
    const std::string hostile = "\x1b]0;owned\x07\x1b[2J\nx.mkv";
    const std::string shown = "\\x1b]0;owned\\x07\\x1b[2J\\nx.mkv";
    const std::string clip = source(hostile);
    std::filesystem::create_directory(temp.file("out"));
    temp.write("out/" + hostile.substr(0, hostile.size() - 3) + "avi", "keep me");
    const Result result = run({"-o", "out", clip, "gone\x1b[2J.mkv"}, [](cli::Console& console) {
        console.canAsk = true;
        console.readAnswer = [] { return std::optional<std::string>("n"); };
    });
    const std::string output = temp.file("out/" + shown.substr(0, shown.size() - 3) + "avi");
    EXPECT_EQ(result.err, "skipped: gone\\x1b[2J.mkv: not found\n'" + output +
                              "' already exists.\nDo you want to replace it? [y/N/a/o/q] kept: " +
                              output + "\n");
    EXPECT_EQ(result.out, "1 / 1 (0%) " + temp.file(shown) + "\nComplete\n1 / 1 (100%)\n");
}

TEST_F(CliAppTest, ExistingOutputIsKeptUnlessReplacingWasChosen) {
    const std::string clip = source("clip.mkv");
    std::filesystem::create_directory(temp.file("out"));
    const std::string question = "'" + temp.file("out/clip.avi") +
                                 "' already exists.\nDo you want to replace it? [y/N/a/o/q] ";
    const std::string kept = "kept: " + temp.file("out/clip.avi") + "\n";

    struct Case {
        const char* what;
        std::vector<std::string> flags;
        bool canAsk;
        std::optional<std::string> answer;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {"-n", {"-n"}, true, "y", kept},
             {"no terminal", {}, false, "y", kept},
             {"answer no", {}, true, "n", question + kept},
             {"empty answer", {}, true, "", question + kept},
             {"end of input", {}, true, std::nullopt, question + "\n" + kept},
         }) {
        temp.write("out/clip.avi", "keep me");
        std::vector<std::string> args = c.flags;
        args.insert(args.end(), {"-o", "out", clip});
        int asked = 0;
        const Result result = run(args, [&](cli::Console& console) {
            console.canAsk = c.canAsk;
            console.readAnswer = [&] {
                ++asked;
                return c.answer;
            };
        });
        EXPECT_EQ(readAll(temp.file("out/clip.avi")), "keep me") << c.what;
        EXPECT_EQ(asked, c.err == kept ? 0 : 1) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        // A kept output counts as finished.
        EXPECT_EQ(result.out, "1 / 1 (0%) " + clip + "\nComplete\n1 / 1 (100%)\n") << c.what;
        EXPECT_EQ(result.status, 0) << c.what;
    }
}

// From here on the real converter runs: Debian's ffmpeg behind the build's core/xcoder.
class CliConvertTest : public CliAppTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(realTool)) << realTool;
        clip = temp.file("clip ü.mkv");
        ASSERT_TRUE(testing_support::makeClip(clip));
        std::filesystem::create_directory(temp.file("out"));
        output = temp.file("out/clip ü.avi");
    }

    bool isAvi(const std::string& path) { return readAll(path).rfind("RIFF", 0) == 0; }

    std::string clip;
    std::string output;
};

TEST_F(CliConvertTest, ReplacingConvertsOverTheExistingOutput) {
    const std::string question =
        "'" + output + "' already exists.\nDo you want to replace it? [y/N/a/o/q] ";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {{"-y", "-o", "out", clip}, ""},
             {{"-o", "out", clip}, question},
         }) {
        temp.write("out/clip ü.avi", "old");
        const Result result = run(c.args, [&](cli::Console& console) {
            console.toolPath = realTool;
            console.canAsk = true;
            console.readAnswer = [] { return std::optional<std::string>(" Yes\r"); };
        });
        EXPECT_TRUE(isAvi(output)) << c.args[0];
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(result.out, "1 / 1 (0%) " + clip + "\nComplete\n1 / 1 (100%)\n");
        EXPECT_EQ(result.err, c.err);
    }
}

// A converter that holds its conversion open until the test lets it go, so that the display
// can be watched at a known percentage: its probe reports 4 s, its status line 1 s.
std::string writeHeldTool(const TempDir& dir, const std::string& release) {
    return writeExecutable(
        dir, "held-xcoder",
        "#!/bin/sh\n"
        "if [ \"$#\" -le 2 ]; then\n"
        "  echo '  Duration: 00:00:04.00, start: 0.000000, bitrate: 8 kb/s' >&2; exit 1\n"
        "fi\n"
        "for out; do :; done\n"
        "printf 'frame=   25 fps=0.0 q=2.0 size=       1kB time=00:00:01.00 bitrate=8.0kbits/s "
        "speed=1x\\r' >&2\n"
        "n=0\n"
        "while [ ! -e '" +
            release +
            "' ] && [ \"$n\" -lt 1200 ]; do sleep 0.05; n=$((n + 1)); done\n"
            "printf 'frame=  100 fps=0.0 q=2.0 Lsize=       4kB time=00:00:04.00 "
            "bitrate=8.0kbits/s\\n' >&2\n"
            "echo converted > \"$out\"\n");
}

TEST_F(CliAppTest, TerminalLineIsRewrittenInPlaceAndEndedBeforeTheSummary) {
    const std::string clip = source("clip.mkv");
    std::filesystem::create_directory(temp.file("out"));
    const std::string release = temp.file("release");
    const std::string tool = writeHeldTool(temp, release);
    const std::string expected = "1 / 1 (25%) " + clip;

    const Result result = run({"-o", "out", clip}, [&](cli::Console& console) {
        console.toolPath = tool;
        console.outIsTerminal = true;
        auto& shown = dynamic_cast<std::ostringstream&>(console.out);
        // Asked on the displaying thread just before each redraw, so reading the stream is safe.
        console.columns = [&shown, expected, release] {
            if (shown.str().find(expected) != std::string::npos) {
                std::ofstream(release) << "go";
            }
            return 0;
        };
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string summary = "\nComplete\n1 / 1 (100%)\n";
    ASSERT_GT(result.out.size(), summary.size());
    EXPECT_EQ(result.out.substr(result.out.size() - summary.size()), summary);
    // Before the summary: only redraws of one line, each from its start.
    const std::string progress = result.out.substr(0, result.out.size() - summary.size());
    EXPECT_EQ(progress.find('\n'), std::string::npos) << progress;
    EXPECT_EQ(progress.rfind('\r', 0), 0u) << progress;
    // The held line was shown; the converter's last report may have been drawn after it.
    EXPECT_NE(progress.find(expected), std::string::npos) << progress;
    const std::string last = progress.substr(progress.rfind('\r') + 1);
    EXPECT_TRUE(last == expected || last == "1 / 1 (100%) " + clip) << last;
}

TEST_F(CliAppTest, SeveralConversionsShowTheBatchLineAndALineEach) {
    const std::string a = source("a.mkv");
    const std::string b = source("b.mkv");
    std::filesystem::create_directory(temp.file("out"));
    const std::string release = temp.file("release");
    const std::string tool = writeHeldTool(temp, release);
    // Both at 25%: the batch at (25 + 25) / 2; each line its percent, right-aligned, and file.
    const std::string block = "\r2 / 2 (25%)\x1b[K\n   25% " + a + "\x1b[K\n   25% " + b + "\x1b[J";

    const Result result = run({"-j", "2", "-o", "out", a, b}, [&](cli::Console& console) {
        console.toolPath = tool;
        console.outIsTerminal = true;
        auto& shown = dynamic_cast<std::ostringstream&>(console.out);
        // Asked on the displaying thread just before each redraw.
        console.columns = [&shown, block, release] {
            if (shown.str().find(block) != std::string::npos) {
                std::ofstream(release) << "go";
            }
            return 0;
        };
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find(block), std::string::npos) << result.out;
    // At the end the block (up to its first line) gives way to the summary.
    const std::string end = "A\r\x1b[JComplete\n2 / 2 (100%)\n";
    ASSERT_GT(result.out.size(), end.size());
    EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end) << result.out;
}

TEST_F(CliAppTest, StopEndsTheRunWithoutTheCompletionLines) {
    // The fake converter plays a long conversion at 50% that quits on "q".
    const std::string clip = temp.write(
        "clip.mkv", "duration 00:00:10.00\nprint time=00:00:05.00 bitrate=1k\\r\nsleep 60000\n");
    std::filesystem::create_directory(temp.file("out"));
    const std::string atHalf = "1 / 1 (50%) " + clip;
    std::chrono::steady_clock::time_point stoppedAt;

    const Result result = run({"-o", "out", clip}, [&](cli::Console& console) {
        console.toolPath = KESTROVA_FAKE_CONVERTER;
        console.outIsTerminal = true;
        auto& shown = dynamic_cast<std::ostringstream&>(console.out);
        // Polled on the displaying thread only.
        console.interrupted = [&shown, &stoppedAt, atHalf] {
            if (shown.str().find(atHalf) == std::string::npos) {
                return false;
            }
            if (stoppedAt == std::chrono::steady_clock::time_point()) {
                stoppedAt = std::chrono::steady_clock::now();
            }
            return true;
        };
    });
    const auto took = std::chrono::steady_clock::now() - stoppedAt;
    EXPECT_EQ(result.status, cli::kExitInterrupted);
    EXPECT_EQ(result.err, "Stopping the conversion...\n");
    // The line may have been drawn at 0% first; no "Complete" after a stop.
    const std::string end =
        "\r" + atHalf + "\nStopped\n0 / 1 (0%)\nnot finished: " + clip + ": stopped\n";
    ASSERT_GE(result.out.size(), end.size());
    EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end);
    EXPECT_EQ(result.out.find('\n'), result.out.size() - end.size() + 1 + atHalf.size());
    // "q" goes out at the runner's first 300 ms check.
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(CliAppTest, AStopAfterTheLastJobEndedIsStillAStop) {
    const std::string clip = source("clip.mkv", "duration 00:00:01.00\noutput done\n");
    std::filesystem::create_directory(temp.file("out"));
    const std::string output = temp.file("out/clip.avi");

    const Result result = run({"-o", "out", clip}, [&](cli::Console& console) {
        console.toolPath = KESTROVA_FAKE_CONVERTER;
        // SIGTERM to the whole session just as the batch ends.
        console.interrupted = [output] { return std::filesystem::exists(output); };
    });
    EXPECT_EQ(result.status, cli::kExitInterrupted);
    EXPECT_EQ(readAll(output), "done");
    EXPECT_EQ(result.out, "1 / 1 (0%) " + clip + "\nStopped\n1 / 1 (100%)\n");
}

// The fields of each event in the examples of the events' documentation.
std::map<std::string, std::set<std::string>> documentedFields() {
    std::ifstream page(std::string(KESTROVA_DOCS) + "/json-events.md");
    std::map<std::string, std::set<std::string>> fields;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind("{\"event\":", 0) == 0) {
            const auto example = nlohmann::json::parse(line);
            for (const auto& item : example.items()) {
                fields[example["event"]].insert(item.key());
            }
        }
    }
    return fields;
}

// Its fields but those that only names that are not UTF-8 have.
std::set<std::string> fieldsOf(const nlohmann::json& event) {
    std::set<std::string> fields;
    for (const auto& item : event.items()) {
        if (item.key().size() < 4 || item.key().substr(item.key().size() - 4) != "_hex") {
            fields.insert(item.key());
        }
    }
    return fields;
}

TEST_F(CliConvertTest, JsonEventsOfAMixedBatchParseAndTellEachJobsOutcome) {
    // Long enough for progress to be reported; its name is not UTF-8.
    const std::string good = temp.file("good \xff.mkv");
    ASSERT_TRUE(testing_support::makeLongClip(good, temp.file("short.mkv"), 20));
    const std::string kept = temp.file("kept.mkv");
    ASSERT_TRUE(testing_support::makeClip(kept));
    temp.write("out/kept.avi", "old");
    const std::string broken = temp.write("broken.mkv", readAll(kept).substr(0, 3000));
    const std::string first = temp.file("one/same.mkv");
    const std::string second = temp.file("two/same.mkv");
    std::filesystem::create_directories(temp.file("one"));
    std::filesystem::create_directories(temp.file("two"));
    std::filesystem::copy_file(kept, first);
    std::filesystem::copy_file(kept, second);

    const Result result = run(
        {"--json", "-j", "2", "-o", "out", good, "missing.mkv", kept, broken, first, second, good},
        [&](cli::Console& console) { console.toolPath = realTool; });
    EXPECT_EQ(result.status, cli::kExitSomeNotFinished);
    EXPECT_EQ(result.err, "skipped: missing.mkv: not found\nskipped: " + cli::printable(good) +
                              ": listed twice\nkept: " + temp.file("out/kept.avi") + "\n");

    std::vector<nlohmann::json> events;
    for (const std::string& line : splitLines(result.out)) {
        ASSERT_NO_THROW(events.push_back(nlohmann::json::parse(line))) << line;
    }
    const auto documented = documentedFields();
    for (const nlohmann::json& event : events) {
        ASSERT_TRUE(event.is_object() && event.contains("event")) << event;
        EXPECT_EQ(fieldsOf(event), documented.at(event["event"])) << event;
    }

    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], nlohmann::json::parse(
                             R"({"event":"skipped","file":"missing.mkv","reason":"not found"})"));
    EXPECT_EQ(events[1]["event"], "skipped");
    EXPECT_EQ(events[1]["file_hex"], cli::hexBytes(good));
    EXPECT_EQ(events[1]["reason"], "listed twice");
    EXPECT_EQ(events[2]["event"], "batch_start");
    EXPECT_EQ(events[2]["files"], 5);
    EXPECT_EQ(events[2]["skipped"], 2);
    EXPECT_EQ(events[2]["parallel"], 2);
    EXPECT_EQ(events[2]["output_folder"], temp.file("out"));
    const nlohmann::json& end = events.back();
    EXPECT_EQ(end["event"], "batch_end");
    EXPECT_EQ(end["finished"], 3);
    EXPECT_EQ(end["total"], 5);
    EXPECT_EQ(end["state"], "complete");
    EXPECT_EQ(end["exit_status"], result.status);

    // Each job starts once, ends once, and reports progress only in between, never backwards.
    const std::vector<std::string> sources = {good, kept, broken, first, second};
    std::map<int, std::string> outcomes;
    std::map<int, int> percents;
    std::set<int> startedJobs;
    int progressEvents = 0;
    for (std::size_t k = 3; k + 1 < events.size(); ++k) {
        const nlohmann::json& event = events[k];
        const int index = event["index"];
        ASSERT_TRUE(index >= 0 && index < 5) << event;
        const std::string source = sources[static_cast<std::size_t>(index)];
        if (event["event"] == "job_start") {
            EXPECT_TRUE(startedJobs.insert(index).second) << event;
        } else if (event["event"] == "progress") {
            ++progressEvents;
            EXPECT_TRUE(startedJobs.count(index) == 1 && outcomes.count(index) == 0) << event;
            EXPECT_GE(event["percent"], percents[index]) << event;
            EXPECT_LE(event["percent"], 100) << event;
            percents[index] = event["percent"];
        } else {
            ASSERT_EQ(event["event"], "job_end") << event;
            EXPECT_TRUE(startedJobs.count(index) == 1) << event;
            EXPECT_TRUE(outcomes.emplace(index, event["outcome"]).second) << event;
            EXPECT_EQ(event["finished"],
                      event["outcome"] == "converted" || event["outcome"] == "kept");
        }
        if (event.contains("source_hex")) {
            EXPECT_EQ(event["source_hex"], cli::hexBytes(source)) << event;
            EXPECT_EQ(event["source"], *cli::repairedUtf8(source)) << event;
        } else if (event.contains("source")) {
            EXPECT_EQ(event["source"], source) << event;
        }
    }
    EXPECT_GT(progressEvents, 0);
    EXPECT_EQ(outcomes,
              (std::map<int, std::string>{
                  {0, "converted"}, {1, "kept"}, {2, "failed"}, {3, "converted"}, {4, "failed"}}));
    for (const nlohmann::json& event : events) {
        if (event["event"] == "job_end" && event["index"] == 4) {
            EXPECT_EQ(event["reason"], "same output as " + first);
        }
        if (event["event"] == "job_end" && event["index"] == 0) {
            EXPECT_TRUE(isAvi(temp.file("out/good \xff.avi")));
            EXPECT_EQ(event["output_hex"], cli::hexBytes(temp.file("out/good \xff.avi")));
        }
    }
}

}  // namespace
