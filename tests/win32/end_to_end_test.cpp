// kestrova.exe as a user runs it: a folder of its own with the converter beside it as
// core\xcoder.exe, files given on the command line, Convert pressed, the progress window
// followed to "Complete", the failure summary read, the window closed.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app_state.h"
#include "host_tools.h"
#include "ids.h"
#include "settings_store.h"
#include "temp_dir.h"
#include "win32_support.h"

namespace {

using testing_support::fsPath;
using testing_support::readAll;
using testing_support::TempDir;
using testing_support::textOf;
using testing_support::waitFor;
using testing_support::waitForWindow;

void press(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring lineOf(HWND list, int line) {
    wchar_t text[1024] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
    return text;
}

TEST(Win32EndToEndTest, ConvertsTheFilesOfItsCommandLine) {
    TempDir app;
    TempDir sources;
    TempDir out;
    std::filesystem::create_directory(fsPath(app.file("core")));
    std::filesystem::copy_file(fsPath(std::string(KESTROVA_BIN_DIR) + "/kestrova.exe"),
                               fsPath(app.file("kestrova.exe")));
    std::filesystem::copy_file(fsPath(KESTROVA_WIN32_CONVERTER),
                               fsPath(app.file("core/xcoder.exe")));
#if KESTROVA_WIN32_CONVERTER_IS_REAL
    // Two clips and a file that is no clip.
    const std::string a = sources.file("a.mkv");
    const std::string b = sources.file("b.mkv");
    ASSERT_TRUE(host_tools::makeClip(sources, a, 1));
    ASSERT_TRUE(host_tools::makeClip(sources, b, 1));
    const std::string c = sources.write("c.mkv", std::string(4096, 'x'));
#else
    const std::string good = "duration 00:00:02.00\noutput RIFF\n";
    const std::string a = sources.write("a.mkv", good);
    const std::string b = sources.write("b.mkv", good);
    const std::string c = sources.write("c.mkv", "duration 00:00:02.00\nexit 1\n");
#endif
    sources.write("notes.txt", "not listed");

    // b relative to the program's folder of work, a twice, and a file of another type.
    std::wstring command = L"\"" + widen(app.file("kestrova.exe")) + L"\" \"" + widen(a) +
                           L"\" b.mkv \"" + widen(c) + L"\" \"" + widen(a) + L"\" notes.txt";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               widen(sources.path()).c_str(), &startup, &started));
    CloseHandle(started.hThread);
    const DWORD process = started.dwProcessId;

    HWND main = waitForWindow(process, L"Kestrova 1.0");
    ASSERT_NE(main, nullptr);
    HWND list = GetDlgItem(main, IDC_SOURCE_LIST);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(lineOf(list, 0), widen(a));
    EXPECT_EQ(lineOf(list, 1), widen(b));
    EXPECT_EQ(lineOf(list, 2), widen(c));

    SendMessageW(GetDlgItem(main, IDC_OUTPUT_FOLDER), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(widen(out.path()).c_str()));
    press(main, IDC_CONVERT);

    HWND progress = waitForWindow(process, L"Progress");
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(
        waitFor([&]() { return textOf(GetDlgItem(progress, IDC_FILE_LINE)) == L"Complete"; }));
    EXPECT_EQ(textOf(GetDlgItem(progress, IDC_BATCH_LINE)), L"2 / 3 (67%)");
    press(progress, IDC_CLOSE);

    HWND summary = waitForWindow(process, L"Kestrova");
    ASSERT_NE(summary, nullptr);
    const std::wstring failures = textOf(GetDlgItem(summary, 0xFFFF));
    EXPECT_NE(failures.find(widen(c)), std::wstring::npos) << narrow(failures);
    EXPECT_EQ(failures.find(widen(a)), std::wstring::npos) << narrow(failures);
    PostMessageW(summary, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitFor([&]() { return !IsWindow(summary); }));

    EXPECT_GT(SendMessageW(list, LB_GETSEL, 0, 0), 0);
    EXPECT_GT(SendMessageW(list, LB_GETSEL, 1, 0), 0);
    EXPECT_EQ(SendMessageW(list, LB_GETSEL, 2, 0), 0);

    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(started.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hProcess);
    EXPECT_EQ(status, 0u);

    EXPECT_EQ(readAll(out.file("a.avi")).rfind("RIFF", 0), 0u);
    EXPECT_EQ(readAll(out.file("b.avi")).rfind("RIFF", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(fsPath(out.file("c.avi"))));
    EXPECT_EQ(loadOutputFolder(L"Software\\Morvanta\\avi"), widen(out.path()));
}

}  // namespace
