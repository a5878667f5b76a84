// kestrova.exe started while another runs, as Explorer starts it once per file it opens: the
// later starts hand their files to the first window and end.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app_state.h"
#include "ids.h"
#include "temp_dir.h"
#include "win32_support.h"

namespace {

using testing_support::fsPath;
using testing_support::TempDir;
using testing_support::textOf;
using testing_support::waitFor;
using testing_support::waitForWindow;
using testing_support::windowOf;

const std::wstring kCaption = L"Kestrova 1.0";

// A started kestrova.exe; ended by force if a test leaves it running.
class Program {
public:
    Program(const std::string& exe, const std::wstring& arguments, const std::string& folder) {
        std::wstring command = L"\"" + widen(exe) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           widen(folder).c_str(), &startup, &started)) {
            CloseHandle(started.hThread);
            process_ = started.hProcess;
            id_ = started.dwProcessId;
        }
    }
    ~Program() {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_, 1);
                WaitForSingleObject(process_, 10000);
            }
            CloseHandle(process_);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD id() const { return id_; }
    // The exit status once it has ended in time; -1 otherwise.
    long endStatus() const {
        if (process_ == nullptr ||
            !waitFor([this]() { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; })) {
            return -1;
        }
        DWORD status = 1;
        GetExitCodeProcess(process_, &status);
        return static_cast<long>(status);
    }
    void kill() { TerminateProcess(process_, 1); }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

int visibleMainWindows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            if (IsWindowVisible(window) && textOf(window) == kCaption) {
                ++*reinterpret_cast<int*>(data);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

std::vector<std::wstring> lines(HWND main) {
    HWND list = GetDlgItem(main, IDC_SOURCE_LIST);
    std::vector<std::wstring> texts;
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int line = 0; line < count; ++line) {
        wchar_t text[1024] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

bool listIs(HWND main, const std::vector<std::wstring>& expected) {
    return waitFor([&]() { return lines(main) == expected; });
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(fsPath(app.file("core")));
        std::filesystem::copy_file(fsPath(std::string(KESTROVA_BIN_DIR) + "/kestrova.exe"),
                                   fsPath(exe));
        std::filesystem::copy_file(fsPath(KESTROVA_FAKE_CONVERTER),
                                   fsPath(app.file("core/xcoder.exe")));
    }

    std::wstring clip(const std::string& name) { return widen(sources.write(name, "")); }

    std::unique_ptr<Program> start(const std::wstring& arguments) {
        return std::make_unique<Program>(exe, arguments, sources.path());
    }

    void close(HWND main, Program& program) {
        PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.endStatus(), 0);
    }

    TempDir app;
    TempDir sources;
    const std::string exe = app.file("kestrova.exe");
};

TEST_F(SingleInstanceTest, LaterStartsHandTheirFilesToTheFirstWindowAndEnd) {
    const std::wstring a = clip("a.mkv");
    const std::wstring b = clip("b 100% & (x)!.mkv");
    auto first = start(L"\"" + a + L"\"");
    HWND main = waitForWindow(first->id(), kCaption);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(listIs(main, {a}));

    // Relative to the later start's own folder of work.
    auto second = start(L"\"b 100% & (x)!.mkv\"");
    EXPECT_EQ(second->endStatus(), 0);
    EXPECT_TRUE(listIs(main, {a, b}));

    // Explorer opening four files at once.
    std::vector<std::unique_ptr<Program>> many;
    std::vector<std::wstring> expected{a, b};
    for (const char* name : {"c.mkv", "d.mkv", "e.mkv", "f.mkv"}) {
        expected.push_back(clip(name));
        many.push_back(start(L"\"" + expected.back() + L"\""));
    }
    for (const auto& program : many) {
        EXPECT_EQ(program->endStatus(), 0);
    }
    EXPECT_TRUE(listIs(main, expected));
    EXPECT_EQ(visibleMainWindows(), 1);
    close(main, *first);
}

TEST_F(SingleInstanceTest, HandedFilesWaitWhileTheWindowShowsADialog) {
    auto first = start(L"");
    HWND main = waitForWindow(first->id(), kCaption);
    ASSERT_NE(main, nullptr);
    // Convert with an empty list: a message over the window.
    PostMessageW(GetDlgItem(main, IDC_CONVERT), BM_CLICK, 0, 0);
    HWND message = waitForWindow(first->id(), L"Kestrova");
    ASSERT_NE(message, nullptr);

    const std::wstring a = clip("a.mkv");
    auto second = start(L"\"" + a + L"\"");
    EXPECT_EQ(second->endStatus(), 0);
    EXPECT_TRUE(lines(main).empty());

    PostMessageW(message, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(listIs(main, {a}));
    close(main, *first);
}

TEST_F(SingleInstanceTest, AStartAfterTheFirstEndedOrWasKilledOpensTheWindowOthersJoin) {
    auto killed = start(L"");
    ASSERT_NE(waitForWindow(killed->id(), kCaption), nullptr);
    killed->kill();
    EXPECT_EQ(killed->endStatus(), 1);

    const std::wstring a = clip("a.mkv");
    const std::wstring b = clip("b.mkv");
    auto next = start(L"\"" + a + L"\"");
    HWND main = waitForWindow(next->id(), kCaption);
    ASSERT_NE(main, nullptr);
    auto joining = start(L"\"" + b + L"\"");
    EXPECT_EQ(joining->endStatus(), 0);
    EXPECT_TRUE(listIs(main, {a, b}));
    close(main, *next);

    // Closed in turn: the next start with a file has a window of its own.
    auto after = start(L"\"" + b + L"\"");
    HWND own = waitForWindow(after->id(), kCaption);
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(listIs(own, {b}));
    close(own, *after);
}

}  // namespace
