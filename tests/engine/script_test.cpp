#include "script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "convert_core.h"
#include "converter.h"
#include "converter_arguments.h"
#include "platform.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace {

using testing_support::readAll;
using testing_support::TempDir;

const char* const kFullScreen = "-vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25";

TEST(BatchScriptTest, WorkedExampleByteForByte) {
    const ScriptCommand command{"C:\\Apps\\Tool\\core\\xcoder.exe", "D:\\Video\\trip.mkv",
                                kFullScreen, std::string("E:\\Out\\trip.avi")};
    const std::string script = "C:\\Users\\user\\AppData\\Roaming\\Vantrel\\bjob5391234.bat";
    EXPECT_EQ(batchScriptText(command, 1252, script),
              "chcp 1252\r\n"
              "\r\n"
              "\"C:\\Apps\\Tool\\core\\xcoder.exe\" -y -i \"D:\\Video\\trip.mkv\" -vcodec wmv2 "
              "-acodec wmav2 -b:v 1000k -b:a 160k -r 25 \"E:\\Out\\trip.avi\"\r\n"
              "\r\n"
              "del \"C:\\Users\\user\\AppData\\Roaming\\Vantrel\\bjob5391234.bat\" & exit /b "
              "%ERRORLEVEL%");

    ScriptCommand probe = command;
    probe.outputPath.reset();
    const std::string probeText = batchScriptText(probe, 65001, script);
    EXPECT_NE(
        probeText.find("\r\n\"C:\\Apps\\Tool\\core\\xcoder.exe\" -i \"D:\\Video\\trip.mkv\"\r\n"),
        std::string::npos);
    EXPECT_EQ(probeText.rfind("chcp 65001\r\n", 0), 0u);
}

TEST(BatchScriptTest, PercentIsDoubledInPathsAndEmptyArgumentsLeaveTwoBlanks) {
    const ScriptCommand command{"C:\\t\\x.exe", "D:\\100% real\\a.mkv", "",
                                std::string("E:\\%PATH%\\a.avi")};
    const std::string text = batchScriptText(command, 65001, "C:\\s%\\bjob1.bat");
    EXPECT_NE(text.find("-y -i \"D:\\100%% real\\a.mkv\"  \"E:\\%%PATH%%\\a.avi\""),
              std::string::npos);
    EXPECT_NE(text.find("del \"C:\\s%%\\bjob1.bat\" & exit /b %ERRORLEVEL%"), std::string::npos);
    // UTF-8 bytes pass through unchanged, without a byte-order mark.
    const ScriptCommand utf8{"x", "D:\\Vid\xC3\xA9o\\a.mkv", "", std::nullopt};
    const std::string utf8Text = batchScriptText(utf8, 65001, "s.bat");
    EXPECT_EQ(utf8Text.rfind("chcp", 0), 0u);
    EXPECT_NE(utf8Text.find("\"D:\\Vid\xC3\xA9o\\a.mkv\""), std::string::npos);
}

TEST(ShellScriptTest, HasTheFiveLineShape) {
    const ScriptCommand command{"/opt/k/core/xcoder", "/v/trip.mkv", kFullScreen,
                                std::string("/out/trip.avi")};
    EXPECT_EQ(shellScriptText(command, "/d/Vantrel/bjob5.sh"),
              "#!/bin/sh\n"
              "\n"
              "'/opt/k/core/xcoder' -y -i '/v/trip.mkv' -vcodec wmv2 -acodec wmav2 -b:v 1000k "
              "-b:a 160k -r 25 '/out/trip.avi'\n"
              "\n"
              "status=$?; rm -f -- '/d/Vantrel/bjob5.sh'; exit \"$status\"");
    ScriptCommand probe = command;
    probe.outputPath.reset();
    EXPECT_NE(shellScriptText(probe, "/s").find("\n'/opt/k/core/xcoder' -i '/v/trip.mkv'\n"),
              std::string::npos);
    ScriptCommand empty = command;
    empty.presetArgs.clear();
    EXPECT_NE(shellScriptText(empty, "/s").find("'/v/trip.mkv'  '/out/trip.avi'"),
              std::string::npos);
}

#ifndef _WIN32
// The shell form is run by /bin/sh, which only POSIX has; the batch form's runs are tested
// through cmd in the Windows build (batch_run_test.cpp).

// Runs a script with /bin/sh and answers its exit status.
int runShell(const std::string& script) {
    const std::string command = "/bin/sh " + shellQuote(script) + " </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A stand-in converter that records each argument it receives, NUL-terminated, then exits
// with the given status.
std::string writeRecordingTool(const TempDir& dir, int exitStatus) {
    const std::string tool = dir.file("tool dir/xcoder");
    std::filesystem::create_directories(dir.file("tool dir"));
    std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > " << shellQuote(dir.file("args"))
                        << "\nexit " << exitStatus << "\n";
    chmod(tool.c_str(), 0755);
    return tool;
}

std::vector<std::string> recordedArguments(const TempDir& dir) {
    const std::string raw = readAll(dir.file("args"));
    std::vector<std::string> arguments;
    std::size_t start = 0;
    for (std::size_t end; (end = raw.find('\0', start)) != std::string::npos; start = end + 1) {
        arguments.push_back(raw.substr(start, end - start));
    }
    return arguments;
}

TEST(ShellScriptTest, HostileNamesReachTheToolIntactAndRunNothing) {
    TempDir dir;
    const std::string tool = writeRecordingTool(dir, 0);
    const std::string marker = dir.file("pwned");
    const std::vector<std::string> names = {
        "it's \"quoted\".mkv",
        "$(touch " + marker + ").mkv",
        "`touch " + marker + "`.mkv",
        "a; touch " + marker + " #.mkv",
        "new\nline.mkv",
        "caf\xC3\xA9 \xE2\x80\x94 clip.mkv",
        "bad\xFF\xFE bytes.mkv",
        "-leading dash.mkv",
        "back\\slash $HOME *.mkv",
        "'; touch " + marker + "; '.mkv",
    };
    for (const std::string& name : names) {
        const std::string source = dir.path() + "/" + name;
        const std::string output = dir.path() + "/out " + name + ".avi";
        const ScriptCommand command{tool, source, kFullScreen, output};
        const std::string script = dir.file("bjob.sh");
        std::ofstream(script, std::ios::binary) << shellScriptText(command, script);
        std::filesystem::remove(dir.file("args"));

        ASSERT_EQ(runShell(script), 0) << name;
        EXPECT_EQ(recordedArguments(dir),
                  testing_support::convertArguments(source, kFullScreen, output))
            << name;
        EXPECT_FALSE(std::filesystem::exists(marker)) << name;
        EXPECT_FALSE(std::filesystem::exists(script)) << "script deletes itself: " << name;
    }
}

TEST(ShellScriptTest, ConverterExitStatusSurvivesTheSelfDelete) {
    TempDir dir;
    const std::string tool = writeRecordingTool(dir, 3);
    const std::string script = dir.file("bjob.sh");
    const ScriptCommand command{tool, "/in.mkv", "", std::nullopt};
    std::ofstream(script, std::ios::binary) << shellScriptText(command, script);
    EXPECT_EQ(runShell(script), 3);
    EXPECT_FALSE(std::filesystem::exists(script));
    EXPECT_EQ(recordedArguments(dir), testing_support::probeArguments("/in.mkv"));
}
#endif

// The script text of the platform the tests run on.
std::string platformScriptText(const ScriptCommand& command, const std::string& path) {
#ifdef _WIN32
    return batchScriptText(command, 65001, path);
#else
    return shellScriptText(command, path);
#endif
}

#ifdef _WIN32
constexpr std::string_view kScriptSuffix = ".bat";
#else
constexpr std::string_view kScriptSuffix = ".sh";
#endif

TEST(ScriptFileTest, WrittenUnderTheDataFolderWithFreshNames) {
    TempDir dir;
    testing_support::ScopedDataHome home(dir.path());

    const std::string base = makeScriptBase();
    EXPECT_EQ(base.rfind(dir.file("Vantrel/bjob"), 0), 0u);
    EXPECT_TRUE(platform::isDirectory(dir.file("Vantrel")));

    ConvertCore core;
    core.toolPath = "/core/xcoder";
    const std::string output = "/out/a.avi";
    std::set<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        const std::string path = core.writeScript("/in/a.mkv", kFullScreen, &output);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(path.substr(path.size() - kScriptSuffix.size()), kScriptSuffix);
        EXPECT_EQ(readAll(path),
                  platformScriptText({"/core/xcoder", "/in/a.mkv", kFullScreen, output}, path));
        paths.insert(path);
    }
    // Twenty scripts written within a few milliseconds all got names of their own.
    EXPECT_EQ(paths.size(), 20u);
}

TEST(ScriptFileTest, SameTickTakesTheNextNumberAndNegativeTicksWork) {
    TempDir dir;
    auto content = [](const std::string& path) { return "for " + path; };
    const std::string first = createUniqueFile(dir.path(), "bjob", 41, ".sh", content);
    const std::string second = createUniqueFile(dir.path(), "bjob", 41, ".sh", content);
    EXPECT_EQ(first, dir.file("bjob41.sh"));
    EXPECT_EQ(second, dir.file("bjob42.sh"));
    EXPECT_EQ(readAll(second), "for " + second);

    EXPECT_EQ(createUniqueFile(dir.path(), "bjob", -2000000000, ".sh", content),
              dir.file("bjob-2000000000.sh"));
    createUniqueFile(dir.path(), "x", 2147483647, ".txt", content);
    EXPECT_EQ(createUniqueFile(dir.path(), "x", 2147483647, ".txt", content),
              dir.file("x-2147483648.txt"));
}

TEST(ScriptFileTest, MissingDataFolderIsCreated) {
    TempDir dir;
    // A fresh account has no ~/.local/share yet.
    testing_support::ScopedDataHome home(dir.file("fresh/.local/share"));
    ConvertCore core;
    const std::string path = core.writeScript("/in.mkv", "", nullptr);
    EXPECT_EQ(path.rfind(dir.file("fresh/.local/share/Vantrel/bjob"), 0), 0u) << path;
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(ScriptFileTest, UnwritableFolderGivesAnEmptyPath) {
    TempDir dir;
    // Missing folders are created, but not below a plain file.
    testing_support::ScopedDataHome home(dir.write("plain", "") + "/deeper");
    ConvertCore core;
    EXPECT_EQ(core.writeScript("/in.mkv", "", nullptr), "");
}

TEST(ConverterTest, ToolLiesInCoreBesideTheProgram) {
    const std::string sep(1, platform::kPathSeparator);
    EXPECT_EQ(converter::toolPathIn("/opt/kestrova"),
              "/opt/kestrova" + sep + "core" + sep + converter::kToolName);
    EXPECT_EQ(testing_support::probeArguments("/a b.mkv"),
              (std::vector<std::string>{"-i", "/a b.mkv"}));
    EXPECT_EQ(
        testing_support::convertArguments("/a.mkv", "-r 25  -vf scale=1:2", "/b.avi"),
        (std::vector<std::string>{"-y", "-i", "/a.mkv", "-r", "25", "-vf", "scale=1:2", "/b.avi"}));
}

}  // namespace
