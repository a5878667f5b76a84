#include "terminal.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <atomic>
#include <cstdlib>

namespace cli {

namespace {

std::atomic<bool> stopFlag{false};
UINT savedOutputCodePage = 0;

// Ctrl-C, Ctrl-Break and closing the console window. The converter runs without a console of
// ours (CREATE_NO_WINDOW), so only this program hears them and can make it quit cleanly.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            stopFlag.store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

bool isConsole(DWORD stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}

std::string utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string result(static_cast<std::size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
    return result;
}

void restoreOutputCodePage() {
    SetConsoleOutputCP(savedOutputCodePage);
}

}  // namespace

std::vector<std::string> startTerminal(int /*argc*/, char** /*argv*/) {
    // The program writes UTF-8; a console shows it as such only in code page 65001. The
    // console's own page comes back at exit, since the console outlives the program.
    if (isConsole(STD_OUTPUT_HANDLE) || isConsole(STD_ERROR_HANDLE)) {
        savedOutputCodePage = GetConsoleOutputCP();
        if (savedOutputCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            std::atexit(restoreOutputCodePage);
        }
    }
    // argv is in the ANSI code page, which cannot hold every file name: the wide command
    // line can.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.push_back(utf8(wide[i]));
    }
    LocalFree(wide);
    return args;
}

void installStopHandlers() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() {
    return stopFlag.load();
}

bool stdinIsTerminal() {
    return isConsole(STD_INPUT_HANDLE);
}

bool stdoutIsTerminal() {
    return isConsole(STD_OUTPUT_HANDLE);
}

bool stderrIsTerminal() {
    return isConsole(STD_ERROR_HANDLE);
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool enableCursorMovement() {
    // Consoles from Windows 10 on take them once asked to; older ones refuse.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(output, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::optional<std::string> readAnswerLine() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const bool pipe = GetFileType(input) == FILE_TYPE_PIPE;
    std::string line;
    for (;;) {
        if (stopRequested()) {
            return std::nullopt;
        }
        if (pipe) {
            // A pipe cannot be waited on; look every 100 ms so that a stop is seen.
            DWORD available = 0;
            if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) && available == 0) {
                Sleep(100);
                continue;
            }
        }
        // A console read ends at Enter, or early when Ctrl-C sets the stop flag.
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
            if (stopRequested() || line.empty()) {
                return std::nullopt;
            }
            return line;
        }
        if (c == '\n') {
            return line;
        }
        if (c != '\r') {
            line += c;
        }
    }
}

}  // namespace cli
