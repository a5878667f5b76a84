#include "single_instance.h"

#include <commctrl.h>
#include <sddl.h>

#include <utility>

#include "app_state.h"
#include "convert_core.h"
#include "source_list.h"

namespace single_instance {
namespace {

// Marks the main window that takes handed files, and the data that carries them.
constexpr wchar_t kProperty[] = L"Kestrova.TakesFiles";
constexpr ULONG_PTR kFilesTag = 0x4B455354;
constexpr UINT_PTR kRetryTimer = 0x4B53;
constexpr UINT kRetryMilliseconds = 200;

// Held by the first start's main thread while its window takes files.
HANDLE firstMutex = nullptr;
bool isFirst = false;
bool closing = false;
std::vector<std::wstring> pending;

// One per user and session: another account's program on the same desktop is not ours.
std::wstring mutexName() {
    std::wstring name = L"Local\\Kestrova.FirstWindow";
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size);
        LPWSTR sid = nullptr;
        if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            name += L'.';
            name += sid;
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    return name;
}

// True once this process holds the mutex (also when its last holder ended without letting go).
bool claim(DWORD wait) {
    const DWORD result = WaitForSingleObject(firstMutex, wait);
    isFirst = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return isFirst;
}

HWND servingWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            if (GetPropW(window, kProperty) != nullptr) {
                *reinterpret_cast<HWND*>(data) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring absolute(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size > 0 ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return full;
}

bool send(HWND window, const std::wstring& payload, DWORD answerWait) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // The user started this process; the window it hands to may come to the front.
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data{kFilesTag, static_cast<DWORD>(payload.size() * sizeof(wchar_t)),
                        const_cast<wchar_t*>(payload.data())};
    DWORD_PTR answer = FALSE;
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, answerWait, &answer) != 0 &&
           answer == TRUE;
}

// A batch's lines must not move while it runs or its outcome is shown; a dialog of the window's
// own (the file dialog, a message) disables it.
bool windowIsFree() {
    if (mainWindow == nullptr || !IsWindowEnabled(mainWindow)) {
        return false;
    }
    if (convertCore == nullptr) {
        return true;
    }
    const int state = convertCore->runState;
    return state != Running && state != StopRequested;
}

void addPending() {
    if (pending.empty() || !windowIsFree()) {
        return;
    }
    KillTimer(mainWindow, kRetryTimer);
    addFiles(std::exchange(pending, {}));
}

void takeFiles(const COPYDATASTRUCT& data) {
    const auto* text = static_cast<const wchar_t*>(data.lpData);
    const std::size_t units = data.cbData / sizeof(wchar_t);
    std::size_t start = 0;
    for (std::size_t at = 0; at < units; ++at) {
        if (text[at] == L'\0') {
            if (at > start) {
                pending.emplace_back(text + start, at - start);
            }
            start = at + 1;
        }
    }
    if (start < units) {
        pending.emplace_back(text + start, units - start);
    }
    addPending();
    if (!pending.empty()) {
        SetTimer(mainWindow, kRetryTimer, kRetryMilliseconds, nullptr);
    }
}

void showToUser(HWND window) {
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
    }
    SetForegroundWindow(GetLastActivePopup(window));
}

void stopServing(HWND window) {
    closing = true;
    RemovePropW(window, kProperty);
    KillTimer(window, kRetryTimer);
    // A start from now on opens its own window rather than waiting for this process to end.
    if (isFirst) {
        ReleaseMutex(firstMutex);
        isFirst = false;
    }
}

LRESULT CALLBACK servingSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR) {
    switch (message) {
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (data == nullptr || data->dwData != kFilesTag) {
                break;
            }
            // Files taken now would be lost with the window.
            if (closing) {
                return FALSE;
            }
            takeFiles(*data);
            showToUser(window);
            return TRUE;
        }
        case WM_TIMER:
            if (wParam == kRetryTimer) {
                addPending();
                return 0;
            }
            break;
        case WM_COMMAND:
            // Every way of closing the main window comes as this command.
            if (LOWORD(wParam) == IDCANCEL) {
                stopServing(window);
            }
            break;
        case WM_NCDESTROY:
            stopServing(window);
            RemoveWindowSubclass(window, servingSubclass, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

bool handOver(const std::vector<std::wstring>& files, const Timings& timings) {
    if (firstMutex == nullptr) {
        firstMutex = CreateMutexW(nullptr, FALSE, mutexName().c_str());
    }
    if (firstMutex == nullptr || claim(0) || files.empty()) {
        return false;
    }
    std::wstring payload;
    for (const std::wstring& file : files) {
        payload += absolute(file);
        payload += L'\0';
    }
    const ULONGLONG deadline = GetTickCount64() + timings.windowWait;
    for (;;) {
        if (HWND window = servingWindow();
            window != nullptr && send(window, payload, timings.answerWait)) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        // The first one may be ending: then this one becomes the first.
        if (claim(100)) {
            return false;
        }
    }
}

void serve(HWND window) {
    if (!isFirst || window == nullptr) {
        return;
    }
    closing = false;
    SetWindowSubclass(window, servingSubclass, 1, 0);
    SetPropW(window, kProperty, reinterpret_cast<HANDLE>(1));
}

}  // namespace single_instance
