// Drives the installed desktop program from outside for scripts/package-test-windows, as
// Explorer and a user would:
//
//   window_probe open PROGID FILE   opens FILE with the ProgID's open command, as Explorer's
//                                   Open with does; prints "window" once the started program
//                                   shows its main window, or "ended STATUS" when it ends first
//   window_probe list COUNT         prints "windows N" (main windows open) and the list's lines
//                                   once the list has COUNT lines (or after the time limit)
//   window_probe close              closes the main window as Esc does; prints "ended STATUS"
//
// Waits at most 60 s for anything; exit status 0 unless something could not be done at all.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kCaption[] = L"Kestrova 1.0";
constexpr int kSourceList = 1013;
constexpr ULONGLONG kLimit = 60000;

std::wstring textOf(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                        &ignored);
    return text;
}

// The visible main windows, of one process or (0) of any.
std::vector<HWND> mainWindows(DWORD process = 0) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if ((wanted.process == 0 || owner == wanted.process) && IsWindowVisible(window) &&
                textOf(window) == kCaption) {
                wanted.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void print(const std::wstring& line) {
    // UTF-8, for the script on the Linux side.
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, text.data(), size, nullptr, nullptr);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

template <typename Condition>
bool waitFor(Condition condition) {
    const ULONGLONG deadline = GetTickCount64() + kLimit;
    while (!condition()) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

void printEnd(HANDLE process) {
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    print(L"ended " + std::to_wstring(status));
}

// The ProgID's open command with the file in place of %1, started as Explorer starts it (Wine's
// shell does not read the user's own classes, so it is read here).
int open(const std::wstring& progId, const std::wstring& file) {
    const std::wstring key = L"Software\\Classes\\" + progId + L"\\shell\\open\\command";
    wchar_t command[4096] = {};
    DWORD size = sizeof(command);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, command,
                     &size) != ERROR_SUCCESS) {
        print(L"no open command under HKEY_CURRENT_USER\\" + key);
        return 1;
    }
    std::wstring line = command;
    const std::size_t at = line.find(L"%1");
    if (at == std::wstring::npos) {
        print(L"no %1 in " + line);
        return 1;
    }
    line.replace(at, 2, file);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        print(L"could not start " + line + L": error " + std::to_wstring(GetLastError()));
        return 1;
    }
    CloseHandle(started.hThread);
    bool ended = false;
    waitFor([&]() {
        ended = WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0;
        return ended || !mainWindows(started.dwProcessId).empty();
    });
    if (ended) {
        printEnd(started.hProcess);
    } else {
        print(mainWindows(started.dwProcessId).empty() ? L"nothing" : L"window");
    }
    CloseHandle(started.hProcess);
    return 0;
}

std::vector<std::wstring> lines(HWND main) {
    HWND list = GetDlgItem(main, kSourceList);
    std::vector<std::wstring> texts;
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int line = 0; line < count; ++line) {
        wchar_t text[1024] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

int list(int count) {
    waitFor([&]() {
        const std::vector<HWND> windows = mainWindows();
        return windows.size() == 1 && static_cast<int>(lines(windows[0]).size()) == count;
    });
    const std::vector<HWND> windows = mainWindows();
    print(L"windows " + std::to_wstring(windows.size()));
    if (!windows.empty()) {
        for (const std::wstring& line : lines(windows[0])) {
            print(line);
        }
    }
    return 0;
}

int close() {
    const std::vector<HWND> windows = mainWindows();
    if (windows.size() != 1) {
        print(L"windows " + std::to_wstring(windows.size()));
        return 1;
    }
    DWORD id = 0;
    GetWindowThreadProcessId(windows[0], &id);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        return 1;
    }
    PostMessageW(windows[0], WM_COMMAND, IDCANCEL, 0);
    if (waitFor([&]() { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; })) {
        printEnd(process);
    } else {
        print(L"still running");
    }
    CloseHandle(process);
    return 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    const std::vector<std::wstring> words(arguments + 1, arguments + count);
    if (words.size() == 3 && words[0] == L"open") {
        return open(words[1], words[2]);
    }
    if (words.size() == 2 && words[0] == L"list") {
        return list(std::stoi(words[1]));
    }
    if (words.size() == 1 && words[0] == L"close") {
        return close();
    }
    std::fprintf(stderr, "usage: window_probe open PROGID FILE | list COUNT | close\n");
    return 2;
}
