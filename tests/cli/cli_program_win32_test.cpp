// The built kestrova-cli.exe run as a user runs it on Windows: its own process, core\xcoder.exe
// beside it (the fake converter, or the real one on clips made on the Linux side), UTF-8 names
// passed on the wide command line.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host_tools.h"
#include "platform.h"
#include "temp_dir.h"
#include "waiting.h"
#include "win32_text.h"

namespace {

using platform::win32::widen;
using testing_support::fsPath;
using testing_support::readAll;
using testing_support::TempDir;

// One argument for the C runtime's command-line parser. Test paths hold no double quote, and
// a trailing backslash is doubled so that it does not escape the closing quote.
std::wstring quoted(const std::string& argument) {
    std::wstring text = widen(argument);
    if (!text.empty() && text.back() == L'\\') {
        text += L'\\';
    }
    return L"\"" + text + L"\"";
}

// Starts a program with the given arguments, its input on the null device and its output and
// errors in files, and a console of its own without a window, that Ctrl-C can be sent to.
// Returns its process handle, or null.
HANDLE startProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& outPath, const std::string& errPath) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
        return CreateFileW(widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE in = open("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = open(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = open(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring command = quoted(program);
    for (const std::string& arg : args) {
        command += L" " + quoted(arg);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION started{};
    const bool ok = CreateProcessW(widen(program).c_str(), command.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!ok) {
        return nullptr;
    }
    CloseHandle(started.hThread);
    return started.hProcess;
}

// Waits for the program's end and closes its handle. Its exit code, or nothing when it did not
// end within the limit (it is then ended).
std::optional<DWORD> waitForExit(HANDLE process, DWORD limitMs = 120000) {
    std::optional<DWORD> status;
    if (WaitForSingleObject(process, limitMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        status = code;
    } else {
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
    return status;
}

// Presses Ctrl-C in the console of the given process, as a user at that console would.
bool pressCtrlC(DWORD processId) {
    FreeConsole();
    if (!AttachConsole(processId)) {
        return false;
    }
    // This process shares that console now and must not stop itself.
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
    FreeConsole();
    return sent;
}

// A console program's text output on Windows ends its lines with CR LF.
std::string textOf(const std::string& path) {
    std::string text = readAll(path);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

// Scripts and logs the program left behind: logs lie in the data folder itself, scripts in
// its Vantrel folder.
std::vector<std::string> leftovers(const std::string& dataFolder) {
    std::vector<std::string> files;
    for (const std::string& folder : {dataFolder, dataFolder + "\\Vantrel"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(fsPath(folder), error)) {
            const std::string name = testing_support::utf8Path(entry.path().filename());
            if (name.rfind("bjob", 0) == 0 || name.rfind("xcoder", 0) == 0) {
                files.push_back(name);
            }
        }
    }
    return files;
}

class CliProgramWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        // The program with its converter beside it, in a folder whose name cmd would mangle.
        const std::string app = temp.file("app & caf\xC3\xA9 100%");
        std::filesystem::create_directories(fsPath(app + "\\core"));
        program = app + "\\kestrova-cli.exe";
        const std::string bin = platform::executableFolder();
        std::filesystem::copy_file(fsPath(bin + "\\kestrova-cli.exe"), fsPath(program));
        std::filesystem::copy_file(fsPath(converter()), fsPath(app + "\\core\\xcoder.exe"));
        std::filesystem::create_directories(fsPath(temp.file("out")));
        const char* appData = std::getenv("APPDATA");
        ASSERT_NE(appData, nullptr);
        dataFolder = appData;
        ASSERT_EQ(leftovers(dataFolder), std::vector<std::string>{});
    }

    void TearDown() override {
        EXPECT_EQ(leftovers(dataFolder), std::vector<std::string>{})
            << "scripts or logs left behind";
    }

    virtual std::string converter() const { return KESTROVA_FAKE_CONVERTER; }

    std::optional<DWORD> run(const std::vector<std::string>& args) {
        HANDLE process = start(args);
        return process != nullptr ? waitForExit(process) : std::nullopt;
    }
    HANDLE start(const std::vector<std::string>& args) {
        return startProgram(program, args, temp.file("stdout.txt"), temp.file("stderr.txt"));
    }
    std::string out() const { return textOf(temp.file("stdout.txt")); }
    std::string err() const { return textOf(temp.file("stderr.txt")); }

    // Starts the program on the clip, presses Ctrl-C in its console once started() holds, and
    // checks that the program ended soon after with what the user sees of a stop.
    void expectCtrlCStops(const std::string& clip, const std::function<bool()>& started) {
        HANDLE process = start({"-o", temp.file("out"), clip});
        ASSERT_NE(process, nullptr);
        ASSERT_TRUE(testing_support::waitFor(started));

        const auto stopAt = std::chrono::steady_clock::now();
        ASSERT_TRUE(pressCtrlC(GetProcessId(process)));
        const auto status = waitForExit(process, 60000);
        const auto took = std::chrono::steady_clock::now() - stopAt;
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, 130u) << err();
        // "q" is honoured within a few of the runner's 300 ms checks.
        EXPECT_LT(took, std::chrono::seconds(8));
        EXPECT_EQ(out(), "1 / 1 (0%) " + clip + "\nStopped\n0 / 1 (0%)\nnot finished: " + clip +
                             ": stopped\n");
        EXPECT_EQ(err(), "Stopping the conversion...\n");
    }

    TempDir temp;
    std::string program;
    std::string dataFolder;
};

TEST_F(CliProgramWin32Test, ConvertsAndReportsWhatDidNotFinish) {
    const std::string good = temp.write(
        "my clip \xC3\xA9 & 100%.mkv",
        "duration 00:00:04.00\nprint frame= 1 time=00:00:02.00 \\r\nsleep 200\noutput RIFF\n");
    const auto status = run({"-o", temp.file("out"), good});
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0u) << err();
    EXPECT_EQ(readAll(temp.file("out/my clip \xC3\xA9 & 100%.avi")).rfind("RIFF", 0), 0u);
    EXPECT_EQ(out(), "1 / 1 (0%) " + good + "\nComplete\n1 / 1 (100%)\n");
    EXPECT_EQ(err(), "");

    // A converter that fails leaves no fragment and the job unfinished.
    const std::string bad =
        temp.write("broken.mkv", "duration 00:00:04.00\noutput fragment\nexit 1\n");
    const auto failed = run({"-y", "-o", temp.file("out"), good, bad});
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(*failed, 1u) << err();
    EXPECT_TRUE(platform::fileExists(temp.file("out/my clip \xC3\xA9 & 100%.avi")));
    EXPECT_FALSE(platform::pathExists(temp.file("out/broken.avi")));
    // The reason is the engine's to give: here only that there is one.
    EXPECT_NE(out().find("Complete\n1 / 2 (50%)\nnot finished: " + bad + ": "), std::string::npos)
        << out();
    EXPECT_EQ(out().back(), '\n');
}

TEST_F(CliProgramWin32Test, CtrlCStopsTheConverterAndLeavesNoProcessBehind) {
    const std::string events = temp.file("events");
    const std::string clip = temp.write(
        "long.mkv", "duration 00:05:00.00\nevents " + events + "\noutput partial\nsleep 60000\n");
    // The converter records its start once it runs.
    expectCtrlCStops(clip,
                     [&events] { return readAll(events).find("start ") != std::string::npos; });
    const std::string recorded = readAll(events);
    EXPECT_NE(recorded.find("\nq "), std::string::npos) << recorded;
    EXPECT_NE(recorded.find("\nend "), std::string::npos) << "the converter quit by itself";
}

TEST_F(CliProgramWin32Test, RefusesAMissingConverterWithItsText) {
    std::filesystem::remove(fsPath(temp.file("app & caf\xC3\xA9 100%/core/xcoder.exe")));
    const std::string clip = temp.write("a.mkv", "duration 00:00:01.00\n");
    const auto status = run({"-o", temp.file("out"), clip});
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 2u);
    EXPECT_EQ(err(), "There isn't a core file.\n");
}

// The same program with the real converter beside it.
class CliProgramWin32RealTest : public CliProgramWin32Test {
protected:
    std::string converter() const override { return KESTROVA_REAL_CONVERTER; }
};

TEST_F(CliProgramWin32RealTest, ConvertsAClip) {
    const std::string clip = temp.file("it's 100% caf\xC3\xA9 & (x)!.mkv");
    ASSERT_TRUE(host_tools::makeClip(temp, clip, 1));
    const auto status = run({"-o", temp.file("out"), clip});
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0u) << err();
    EXPECT_EQ(readAll(temp.file("out/it's 100% caf\xC3\xA9 & (x)!.avi")).rfind("RIFF", 0), 0u);
    EXPECT_EQ(out(), "1 / 1 (0%) " + clip + "\nComplete\n1 / 1 (100%)\n");
    EXPECT_EQ(err(), "");
}

TEST_F(CliProgramWin32RealTest, CtrlCStopsTheConverter) {
    // Minutes of video, copied from a short clip rather than encoded: a conversion that is still
    // running when Ctrl-C comes.
    const std::string clip = temp.file("long.mkv");
    ASSERT_TRUE(host_tools::makeClip(temp, temp.file("short.mkv"), 2));
    ASSERT_EQ(host_tools::shell(
                  temp, host_tools::quote(KESTROVA_HOST_FFMPEG) +
                            " -nostdin -v error -y -stream_loop 99 -i " +
                            host_tools::quote(host_tools::hostPath(temp.file("short.mkv"))) +
                            " -c copy " + host_tools::quote(host_tools::hostPath(clip)))
                  .status,
              0);
    // The converter writes the output's header as it starts, in whatever file it is given (in
    // the job's private folder inside the output folder).
    const std::string outFolder = temp.file("out");
    expectCtrlCStops(clip, [&outFolder] {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(fsPath(outFolder))) {
            if (platform::fileSize(testing_support::utf8Path(entry.path())) > 0) {
                return true;
            }
        }
        return false;
    });
}

}  // namespace
