#include "options.h"

#include <gtest/gtest.h>

#include "media_preset.h"
#include "platform.h"
#include "progress_text.h"

namespace {

cli::ParseResult parse(const std::vector<std::string>& args) {
    static const MkvAvi presets;
    return cli::parseArguments(args, presets);
}

TEST(OptionsTest, ShortLongAndJoinedFormsMeanTheSame) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-o", "/out", "-p", "2", "-y", "a.mkv"},
             {"--output", "/out", "--preset", "2", "--overwrite", "a.mkv"},
             {"--output=/out", "--preset=XviD Widescreen Anamorphic", "a.mkv", "-y"},
             {"-yo/out", "-p2", "a.mkv"},
         }) {
        const auto result = parse(args);
        ASSERT_EQ(result.error, "") << args[0];
        EXPECT_EQ(result.options.outputFolder, "/out");
        EXPECT_EQ(result.options.preset, 2);
        EXPECT_EQ(result.options.overwrite, cli::Overwrite::Yes);
        EXPECT_EQ(result.options.files, std::vector<std::string>{"a.mkv"});
    }
}

TEST(OptionsTest, DefaultsAndFileOrder) {
    const auto result = parse({"b.mkv", "-n", "a.mkv", "--", "-c.mkv", "-"});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.options.preset, 0);
    EXPECT_EQ(result.options.outputFolder, "");
    EXPECT_EQ(result.options.overwrite, cli::Overwrite::No);
    EXPECT_EQ(result.options.files, (std::vector<std::string>{"b.mkv", "a.mkv", "-c.mkv", "-"}));
    EXPECT_EQ(parse({"x.mkv"}).options.overwrite, cli::Overwrite::Ask);
    EXPECT_TRUE(parse({"--list-presets"}).options.listPresets);
    EXPECT_TRUE(parse({"-h"}).options.help);
}

TEST(OptionsTest, PresetIsAnIndexInRangeOrAnExactName) {
    EXPECT_EQ(parse({"-p", "3"}).options.preset, 3);
    EXPECT_EQ(parse({"-p", "MS Compatible AVI"}).options.preset, 3);
    EXPECT_EQ(parse({"-p", "0"}).options.preset, 0);
    for (const char* bad : {"4", "-1", "ms compatible avi", "XviD", "", "99999999999"}) {
        EXPECT_EQ(parse({"-p", bad}).error,
                  std::string("unknown preset '") + bad + "' (see --list-presets)")
            << bad;
    }
}

TEST(OptionsTest, JobsAndJson) {
    const struct {
        std::vector<std::string> args;
        int jobs;
        bool json;
    } rows[] = {
        {{"a.mkv"}, 1, false},      {{"-j", "2", "--json"}, 2, true},    {{"-j0"}, 0, false},
        {{"--jobs=32"}, 32, false}, {{"--jobs", "4", "-yj3"}, 3, false},
    };
    for (const auto& row : rows) {
        const auto result = parse(row.args);
        ASSERT_EQ(result.error, "") << row.args[0];
        EXPECT_EQ(result.options.jobs, row.jobs) << row.args[0];
        EXPECT_EQ(result.options.json, row.json) << row.args[0];
    }
    for (const char* bad : {"33", "-1", "", "x", "2.5", "0010"}) {
        EXPECT_EQ(parse({"-j", bad}).error,
                  std::string("the number of jobs must be 0 to 32, not '") + bad + "'")
            << bad;
    }
    EXPECT_EQ(parse({"--json=yes"}).error, "option '--json' takes no value");
    EXPECT_EQ(parse({"a.mkv", "-j"}).error, "option '-j' needs a value");
}

TEST(OptionsTest, EnginesForABatch) {
    const struct {
        int jobs;
        unsigned cores;
        int files;
        int engines;
    } rows[] = {
        {1, 8, 10, 1}, {4, 2, 10, 4}, {4, 8, 3, 3},  {0, 8, 10, 4},
        {0, 2, 10, 1}, {0, 1, 10, 1}, {0, 0, 10, 1}, {0, 128, 100, 32},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(cli::engineCount(row.jobs, row.cores, row.files), row.engines)
            << row.jobs << " " << row.cores << " " << row.files;
    }
}

TEST(OptionsTest, MistakesAreNamed) {
    EXPECT_EQ(parse({"--frobnicate"}).error, "unknown option '--frobnicate'");
    EXPECT_EQ(parse({"-x"}).error, "unknown option '-x'");
    EXPECT_EQ(parse({"a.mkv", "-o"}).error, "option '-o' needs a value");
    EXPECT_EQ(parse({"--preset"}).error, "option '--preset' needs a value");
    EXPECT_EQ(parse({"--overwrite=yes"}).error, "option '--overwrite' takes no value");
    EXPECT_EQ(parse({"-y", "-n"}).error, "-y and -n exclude each other");
}

TEST(ProgressTextTest, LongLinesKeepTheEndOfTheSource) {
    const std::string line = "1 / 2 (50%) /videos/holiday/beach día.mkv";
    const std::size_t sourceStart = line.find('/', 8);
    EXPECT_EQ(cli::fitToWidth(line, sourceStart, 0), line);
    EXPECT_EQ(cli::fitToWidth(line, sourceStart, 80), line);
    const std::string fitted = cli::fitToWidth(line, sourceStart, 30);
    EXPECT_EQ(fitted, "1 / 2 (50%) .../beach día.mkv");
    EXPECT_EQ(cli::displayLength(fitted), 29u);
    // Narrower than the counter: the line itself is cut, never inside a character.
    EXPECT_EQ(cli::fitToWidth("1 / 2 (50%) día", 12, 15), "1 / 2 (50%) dí");
}

TEST(ProgressTextTest, PrintedNamesHoldNoControlCharacters) {
    const struct {
        std::string name, shown;
    } rows[] = {
        {"plain día.mkv", "plain día.mkv"},
        {"a\x1b]0;t\x07.mkv", "a\\x1b]0;t\\x07.mkv"},
        {"a\nb\x7f", "a\\nb\\x7f"},
        {"csi\xC2\x9B", "csi\\xc2\\x9b"},           // a C1 control in UTF-8
        {"bad\xFF\xE2\x82", "bad\\xff\\xe2\\x82"},  // not UTF-8
    };
    for (const auto& row : rows) {
        EXPECT_EQ(cli::printable(row.name), row.shown);
    }
    if (platform::kPathSeparator == '/') {
        // A backslash is doubled only where it could be read as the start of an escape.
        EXPECT_EQ(cli::printable("a\\b\\"), "a\\b\\");
        EXPECT_EQ(cli::printable("a\\x1b\\\\n"), "a\\\\x1b\\\\\\\\n");
        EXPECT_EQ(cli::printable("a\\\n"), "a\\\\\\n");
    }
}

}  // namespace
