// The batch form of the scripts as cmd runs them (Windows build only, run under Wine here):
// the file's bytes, paths that cmd would otherwise take apart, the exit status, the probe's
// error log, and the process layer's pipes.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "converter.h"
#include "converter_arguments.h"
#include "engine_test_support.h"
#include "platform.h"
#include "process.h"
#include "script.h"
#include "temp_dir.h"

namespace {

using testing_support::fsPath;
using testing_support::readAll;
using testing_support::TempDir;

const char* const kFullScreen = "-vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25";

// Copies the fake converter to a folder of the test's choosing (its name is part of what
// cmd must leave alone).
std::string installConverter(const TempDir& dir, const std::string& folder) {
    std::filesystem::create_directories(fsPath(dir.file(folder)));
    const std::string tool = dir.file(folder + "/xcoder.exe");
    std::filesystem::copy_file(fsPath(KESTROVA_FAKE_CONVERTER), fsPath(tool));
    return tool;
}

std::vector<std::string> recordedArguments(const std::string& path) {
    const std::string raw = readAll(path);
    std::vector<std::string> arguments;
    std::size_t start = 0;
    for (std::size_t end; (end = raw.find('\0', start)) != std::string::npos; start = end + 1) {
        arguments.push_back(raw.substr(start, end - start));
    }
    return arguments;
}

struct ScriptRun {
    platform::Process::WaitResult result = platform::Process::WaitResult::Failed;
    int status = -1;
    std::string output;
};

// Runs a script to its end with both pipes, collecting its console text.
ScriptRun runToEnd(const std::string& script) {
    platform::Process::Options options;
    options.pipeOutput = true;
    options.pipeInput = true;
    auto child = platform::Process::startScript(script, options);
    ScriptRun run;
    if (!child) {
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        run.result = child->wait(300);
        for (std::size_t got; (got = child->readOutput(buffer, sizeof buffer)) > 0;) {
            run.output.append(buffer, got);
        }
        if (run.result != platform::Process::WaitResult::Timeout) {
            break;
        }
    }
    run.status = child->exitStatus();
    return run;
}

TEST(BatchFileTest, BytesOnDiskAreUtf8WithCrLfAndNoByteOrderMark) {
    TempDir dir;
    testing_support::ScopedDataHome home(dir.path());
    const std::string source = "D:\\Vid\xC3\xA9o\\100% trip.mkv";
    const ScriptCommand command{"C:\\Apps\\Tool\\core\\xcoder.exe", source, kFullScreen,
                                std::string("E:\\Out\\trip.avi")};
    const std::string path = writeScriptFile(command);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(dir.file("Vantrel\\bjob"), 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".bat");

    const std::string bytes = readAll(path);
    EXPECT_EQ(bytes,
              "chcp 65001\r\n"
              "\r\n"
              "\"C:\\Apps\\Tool\\core\\xcoder.exe\" -y -i \"D:\\Vid\xC3\xA9o\\100%% "
              "trip.mkv\" -vcodec wmv2 -acodec wmav2 -b:v 1000k -b:a 160k -r 25 "
              "\"E:\\Out\\trip.avi\"\r\n"
              "\r\n"
              "del \"" +
                  path + "\" & exit /b %ERRORLEVEL%");
    platform::removeFile(path);
}

// Each name is the source's file name and, with ".avi", the output's. The folder of the data
// (and so of the scripts) and the converter's folder hold characters cmd treats specially too,
// and a defined variable's name between percent signs.
TEST(BatchRunTest, HostileNamesReachTheConverterIntactAndRunNothing) {
    TempDir dir;
    testing_support::ScopedDataHome home(dir.file("data & %PATH% 100% caf\xC3\xA9 (x) ^!"));
    platform::makeDirectory(dir.file("data & %PATH% 100% caf\xC3\xA9 (x) ^!"));
    const std::string tool = installConverter(dir, "tool & dir (x86) ^%PATH%!");
    // A command that got loose would run in the current folder.
    const std::string marker = "kestrova-pwned";
    std::filesystem::remove(marker);
    const std::string args = dir.file("args");
    const std::vector<std::string> names = {
        "plain blanks.mkv",
        "100% sure %PATH% %%.mkv",
        "a & md " + marker + " & .mkv",
        "b ^& md " + marker + " %% & md " + marker + ".mkv",
        "caret ^ and ^^ and ^& amp.mkv",
        "bang! !PATH! and !.mkv",
        "paren (1) ) ( ; , = '.mkv",
        "caf\xC3\xA9 \xE2\x80\x94 \xD0\xBA\xD0\xB8\xD0\xBD\xD0\xBE \xE6\x98\xA0\xE7\x94\xBB.mkv",
        "-leading dash.mkv",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string folder = dir.file("in & out %CD% \xC3\xBC");
        std::filesystem::create_directories(fsPath(folder));
        const std::string source = folder + "\\" + name;
        const std::string output = folder + "\\out " + name + ".avi";
        std::filesystem::remove(fsPath(args));
        std::filesystem::remove(fsPath(output));
        dir.write("in & out %CD% \xC3\xBC/" + name,
                  "duration 00:00:05.00\nargs " + args + "\noutput RIFF\n");

        const std::string script = writeScriptFile({tool, source, kFullScreen, output});
        ASSERT_FALSE(script.empty());
        const ScriptRun run = runToEnd(script);
        ASSERT_EQ(run.result, platform::Process::WaitResult::Exited) << run.output;
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(recordedArguments(args),
                  testing_support::convertArguments(source, kFullScreen, output))
            << run.output;
        EXPECT_TRUE(platform::fileExists(output)) << run.output;
        EXPECT_FALSE(std::filesystem::exists(marker));
        EXPECT_FALSE(platform::pathExists(script)) << "the script deletes itself";
    }
}

TEST(BatchRunTest, ConverterExitStatusSurvivesTheSelfDelete) {
    TempDir dir;
    testing_support::ScopedDataHome home(dir.path());
    const std::string tool = installConverter(dir, "core");
    for (const int status : {3, 0, 1, 255}) {
        const std::string source = dir.write(
            "in.mkv", "print frame= 25 time=00:00:01.00 bitrate=1\\r\noutput RIFF\nexit " +
                          std::to_string(status) + "\n");
        const std::string script = writeScriptFile({tool, source, "", dir.file("out.avi")});
        const ScriptRun run = runToEnd(script);
        ASSERT_EQ(run.result, platform::Process::WaitResult::Exited) << run.output;
        EXPECT_EQ(run.status, status) << run.output;
        EXPECT_FALSE(platform::pathExists(script));
        // cmd echoes the command, and the converter's own text shares the pipe with it.
        EXPECT_NE(run.output.find("xcoder.exe\" -y -i"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("time=00:00:01.00 "), std::string::npos) << run.output;
    }
}

TEST(BatchRunTest, ProbeErrorTextGoesWholeToTheLog) {
    TempDir dir;
    testing_support::ScopedDataHome home(dir.file("app data %PATH% \xC3\xA9 & co"));
    platform::makeDirectory(dir.file("app data %PATH% \xC3\xA9 & co"));
    const std::string tool = installConverter(dir, "core");
    const std::string source = dir.write("clip \xC3\xA9.mkv", "duration 00:42:17.52\n");
    const std::string script = writeScriptFile({tool, source, "", std::nullopt});
    platform::HeldFile log;
    ASSERT_EQ(platform::createHeldFile(dir.file("app data %PATH% \xC3\xA9 & co/xcoder1.txt"), "",
                                       log),
              platform::CreateResult::Created);

    platform::Process::Options options;
    options.errorLog = &log;
    auto child = platform::Process::startScript(script, options);
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(60000), platform::Process::WaitResult::Exited);
    const std::string text = log.readStart(1 << 20);
    EXPECT_NE(text.find("Duration: 00:42:17.52, start:"), std::string::npos) << text;
    EXPECT_NE(text.find("At least one output file"), std::string::npos) << text;
    EXPECT_FALSE(platform::pathExists(script));
}

// The engine end to end through cmd: names that cmd would take apart, in a batch.
class BatchEngineTest : public engine_testing::EngineRunTest {};

TEST_F(BatchEngineTest, SourcesWithHostileNamesAreConverted) {
    const std::vector<std::string> names = {
        "a & b.mkv", "100% %PATH% %%.mkv", "caret ^^ ^& (x) !PATH!.mkv",
        "caf\xC3\xA9 \xE2\x80\x94 \xD0\xBA\xD0\xB8\xD0\xBD\xD0\xBE.mkv"};
    std::filesystem::create_directories(fsPath(work.file("in & %CD% \xC3\xBC")));
    for (const std::string& name : names) {
        core.addJob(source("in & %CD% \xC3\xBC/" + name,
                           "duration 00:00:04.00\nprint frame= 1 time=00:00:02.00 \\r\n"
                           "sleep 400\noutput RIFF\n"));
    }
    runBatch();
    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), std::vector<int>(names.size(), 100));
    for (const std::string& name : names) {
        EXPECT_EQ(readAll(outputFor("in & %CD% \xC3\xBC/" + name)), "RIFF") << name;
        EXPECT_EQ(core.jobSnapshots().at(static_cast<int>(&name - names.data())).durationSeconds, 4)
            << name;
    }
}

// Folders beyond MAX_PATH's reach, for the source and the output, made and read through the
// platform layer as the engine makes and reads its own files.
TEST_F(BatchEngineTest, PathsLongerThanMaxPathAreConverted) {
    const std::string a(120, 'a');
    const std::string b(120, 'b');
    for (const std::string top : {"in", "out"}) {
        ASSERT_TRUE(platform::makeDirectory(work.file(top)));
        ASSERT_TRUE(platform::makeDirectory(work.file(top + "/" + a)));
        ASSERT_TRUE(platform::makeDirectory(work.file(top + "/" + a + "/" + b)));
    }
    core.outputFolder = work.file("out/" + a + "/" + b);
    const std::string clip = work.file("in/" + a + "/" + b + "/clip.mkv");
    ASSERT_GT(clip.size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_EQ(platform::createFileExclusive(clip, "duration 00:00:04.00\noutput RIFF\n"),
              platform::CreateResult::Created);
    core.addJob(clip);
    runBatch();
    EXPECT_EQ(core.runState, Finished);
    EXPECT_EQ(core.jobPercents(), std::vector<int>{100});
    EXPECT_EQ(core.jobSnapshots().at(0).durationSeconds, 4);
    std::string text;
    EXPECT_TRUE(platform::readFile(core.outputFolder + "\\clip.avi", text));
    EXPECT_EQ(text, "RIFF");
}

// Windows form of the runner's ladder: the converter cannot catch termination, so the whole job
// is ended at once rather than asked and then forced. The steps are shortened here.
TEST_F(BatchEngineTest, ConverterDeafToQIsTerminatedOnTheLaddersSteps) {
    using namespace engine_testing;
    core.stopTimings = {100ms, 1000ms, 500ms};
    core.addJob(source("deaf.mkv", "duration 00:01:00.00\n" + eventsLine() +
                                       "on-q ignore\noutput partial\nsleep 60000\n"));
    core.start();
    ASSERT_TRUE(waitFor([&] { return !eventTimes(readEvents(eventsPath()), "start").empty(); }));
    core.requestStop();
    waitForEnd();
    const std::int64_t ended = monotonicMs();

    EXPECT_EQ(core.runState, Stopped);
    const auto events = readEvents(eventsPath());
    const auto quits = eventTimes(events, "q");
    ASSERT_FALSE(quits.empty());
    EXPECT_GE(ended - quits.front(), 900);
    EXPECT_LT(ended - quits.front(), 6000);
    EXPECT_TRUE(eventTimes(events, "end").empty()) << "it never ended by itself";
    const auto pids = eventTimes(events, "pid");
    ASSERT_EQ(pids.size(), 2u) << "the probe's and the converter's";
    EXPECT_TRUE(waitFor([&] { return processGone(pids.back()); }));
    EXPECT_EQ(core.jobPercents(), std::vector<int>{0});
    EXPECT_EQ(testing_support::filesUnder(core.outputFolder), std::vector<std::string>{})
        << "no partial output, no temporary file";
}

}  // namespace
