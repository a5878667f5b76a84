// kestrova.exe as a user runs it: a folder of its own with the converter beside it as
// core\xcoder.exe, files given on the command line, a relative output folder typed, Convert
// pressed with a held Enter, the progress window followed to "Complete", the failure summary
// read, the window closed.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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
using testing_support::windowOf;

void press(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring lineOf(HWND list, int line) {
    wchar_t text[1024] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
    return text;
}

// A key held down: the first press, then repeats (bit 30 of lParam).
void holdEnter(HWND control, int repeats) {
    for (int k = 0; k < repeats; ++k) {
        PostMessageW(control, WM_KEYDOWN, VK_RETURN, (1 << 30) | 1);
    }
}

std::wstring fileUri(const std::string& path) {
    std::wstring uri = L"file:///" + widen(path);
    std::replace(uri.begin(), uri.end(), L'\\', L'/');
    return uri;
}

TEST(Win32EndToEndTest, ConvertsTheFilesOfItsCommandLine) {
    TempDir app;
    TempDir sources;
    // Typed as "relout": the folder of the program's work, not the converter's.
    std::filesystem::create_directory(fsPath(sources.file("relout")));
    const std::string outFolder = sources.file("relout");
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

    // b relative to the program's folder of work, c as a file URI, a twice, and a file of
    // another type.
    std::wstring command = L"\"" + widen(app.file("kestrova.exe")) + L"\" \"" + widen(a) +
                           L"\" b.mkv \"" + fileUri(c) + L"\" \"" + widen(a) + L"\" notes.txt";
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
                 reinterpret_cast<LPARAM>(L"relout"));
    // Enter on Convert, then held: the repeats go to the progress window's focused button
    // (Stop, then Close) and must press neither.
    HWND convert = GetDlgItem(main, IDC_CONVERT);
    PostMessageW(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(convert), TRUE);
    PostMessageW(convert, WM_KEYDOWN, VK_RETURN, 1);

    HWND progress = waitForWindow(process, L"Progress");
    ASSERT_NE(progress, nullptr);
    holdEnter(GetDlgItem(progress, IDC_STOP), 20);
    EXPECT_TRUE(
        waitFor([&]() { return textOf(GetDlgItem(progress, IDC_FILE_LINE)) == L"Complete"; }));
    EXPECT_EQ(textOf(GetDlgItem(progress, IDC_BATCH_LINE)), L"2 / 3 (67%)");
    holdEnter(GetDlgItem(progress, IDC_CLOSE), 20);
    // Answered in turn: once a message sent after them is, the repeats have been seen.
    SendMessageW(progress, WM_NULL, 0, 0);
    EXPECT_TRUE(IsWindowVisible(progress)) << "a repeated Enter pressed Close";
    EXPECT_EQ(windowOf(process, L"Kestrova"), nullptr) << "a repeated Enter asked to stop";
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

    EXPECT_EQ(readAll(outFolder + "\\a.avi").rfind("RIFF", 0), 0u);
    EXPECT_EQ(readAll(outFolder + "\\b.avi").rfind("RIFF", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(fsPath(outFolder + "\\c.avi")));
    // Shown and stored whole.
    EXPECT_EQ(loadOutputFolder(L"Software\\Morvanta\\avi"), widen(outFolder));
}

// Wine has one density for the whole system, its prefix's LogPixels, and sends no
// WM_DPICHANGED: a program started at 192 dpi lays its dialog out at twice the size and draws
// the twice-as-large pictures, pixel for pixel.
TEST(Win32EndToEndTest, At192DpiThePicturesAreTheLargerDrawings) {
    // Wine reads it from the hardware profile's fonts; winecfg writes both places.
    struct Place {
        HKEY root;
        const wchar_t* key;
        HKEY opened = nullptr;
        bool had = false;
        DWORD previous = 0;
    };
    Place places[] = {{HKEY_CURRENT_CONFIG, L"Software\\Fonts"},
                      {HKEY_CURRENT_USER, L"Control Panel\\Desktop"}};
    const DWORD dpi = 192;
    for (Place& place : places) {
        ASSERT_EQ(RegCreateKeyExW(place.root, place.key, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                  nullptr, &place.opened, nullptr),
                  ERROR_SUCCESS);
        DWORD size = sizeof(place.previous);
        place.had =
            RegQueryValueExW(place.opened, L"LogPixels", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&place.previous), &size) == ERROR_SUCCESS;
        RegSetValueExW(place.opened, L"LogPixels", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }

    std::wstring command = L"\"" + widen(std::string(KESTROVA_BIN_DIR) + "/kestrova.exe") + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    const BOOL ran = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &started);
    // Read once, as the program starts: the next programs get the density they had.
    HWND main = ran ? waitForWindow(started.dwProcessId, L"Kestrova 1.0") : nullptr;
    for (Place& place : places) {
        if (place.had) {
            RegSetValueExW(place.opened, L"LogPixels", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&place.previous), sizeof(place.previous));
        } else {
            RegDeleteValueW(place.opened, L"LogPixels");
        }
        RegCloseKey(place.opened);
    }
    ASSERT_TRUE(ran);
    CloseHandle(started.hThread);
    ASSERT_NE(main, nullptr);
    HWND add = GetDlgItem(main, IDC_ADD);
    RECT button;
    GetWindowRect(add, &button);
    // 36 x 25 dialog units of an 8-point font at 192 dpi: about twice 54 x 41.
    EXPECT_GT(button.right - button.left, 90);
    // The picture: what is not the button's face, read from the screen once it has painted.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int left = 0;
    int right = 0;
    waitFor([&]() {
        HDC screen = GetDC(nullptr);
        left = button.right;
        right = button.left - 1;
        for (int x = button.left; x < button.right; ++x) {
            for (int y = button.top; y < button.bottom; y += 2) {
                if (GetPixel(screen, x, y) != face) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        ReleaseDC(nullptr, screen);
        // Until the window has painted, what is under it counts too.
        return right - left + 1 >= 56 && right - left + 1 <= 66;
    });
    EXPECT_GE(right - left + 1, 56) << "the picture spans " << left << " to " << right;
    EXPECT_LE(right - left + 1, 66);

    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(started.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(started.hProcess);
}

}  // namespace
