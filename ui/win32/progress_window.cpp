#include "progress_window.h"

#include <commctrl.h>

#include "app_state.h"
#include "batch_outcome.h"
#include "convert_core.h"
#include "ids.h"
#include "messages.h"
#include "progress_view.h"
#include "prompts.h"
#include "replace_question.h"

namespace {

constexpr UINT_PTR kTimerId = 100;
constexpr UINT kTickMs = 100;
// Sent by the worker: ask the replace question; the answer is the message's result.
constexpr UINT kAskOverwrite = WM_APP + 1;

// The one open progress window. Only the user-interface thread reads or writes these.
HWND openWindow = nullptr;
ConvertCore* openCore = nullptr;
UINT_PTR timerId = 0;
int ticks = 0;
// Shows the file line's whole path, which the line itself shortens in the middle.
HWND fileTip = nullptr;
// The answers of the batch under way: a "to all" settles every later question on the worker
// thread, without a trip to the window's.
rules::ReplaceAnswers batchAnswers;
// What the taskbar entry shows of the batch, and whether its end was seen.
rules::TaskbarWatch taskbarWatch;
bool taskbarShown = false;
bool endSeen = false;
// Hidden because the main window was minimised, to come back with it.
bool hiddenWithOwner = false;

// The taskbar entry is the main window's: the progress window has none of its own.
HWND ownerOf(HWND window) {
    HWND owner = GetWindow(window, GW_OWNER);
    return owner != nullptr ? owner : window;
}

// At the batch's end, when no window of the program is the active one: the taskbar entry asks
// for attention.
void tellEnd(HWND window, bool finished) {
    DWORD process = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &process);
    if (process == GetCurrentProcessId()) {
        return;
    }
    prompts::batchEnded(ownerOf(window),
                        widen(rules::batchNotice(openCore->jobSnapshots(), !finished)));
}

// A button that went hidden under the focus (Stop, when a late stop's question closes after
// the batch ended) hands it to the one that shows.
void keepFocusVisible(HWND window) {
    HWND focus = GetFocus();
    if (focus != nullptr && GetParent(focus) == window && !IsWindowVisible(focus)) {
        const int shown = IsWindowVisible(GetDlgItem(window, IDC_STOP)) ? IDC_STOP : IDC_CLOSE;
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, shown)),
                     TRUE);
    }
}

TTTOOLINFOW fileTool(HWND window, wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, IDC_FILE_LINE));
    tool.hinst = appInstance;
    tool.lpszText = text;
    return tool;
}

void createFileTip(HWND window) {
    fileTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                              nullptr, appInstance, nullptr);
    if (fileTip != nullptr) {
        TTTOOLINFOW tool = fileTool(window, const_cast<wchar_t*>(L""));
        SendMessageW(fileTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(fileTip, TTM_SETMAXTIPWIDTH, 0, 800);
    }
}

void setFileLine(HWND window, const std::wstring& text) {
    SetDlgItemTextW(window, IDC_FILE_LINE, text.c_str());
    if (fileTip != nullptr) {
        TTTOOLINFOW tool = fileTool(window, const_cast<wchar_t*>(text.c_str()));
        SendMessageW(fileTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void show(HWND window, int id, bool visible) {
    if (HWND control = GetDlgItem(window, id)) {
        ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
    }
}

// The visible one of Stop and Close is the default button, so Enter presses it.
void showButton(HWND window, int id) {
    const int other = id == IDC_STOP ? IDC_CLOSE : IDC_STOP;
    const bool wasFocused = GetFocus() == GetDlgItem(window, other);
    show(window, id, true);
    show(window, other, false);
    SendMessageW(window, DM_SETDEFID, static_cast<WPARAM>(id), 0);
    SendDlgItemMessageW(window, other, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendDlgItemMessageW(window, id, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    if (wasFocused || GetFocus() == nullptr) {
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, id)), TRUE);
    }
}

void progressTick(HWND window) {
    ++ticks;
    const rules::ProgressInput input = rules::readProgress(*openCore);
    const rules::ProgressView view = rules::progressView(input);
    const rules::TaskbarProgress taskbar = taskbarWatch.tick(*openCore, input, view);
    if (taskbarShown || taskbar.state != rules::TaskbarState::None) {
        prompts::taskbarProgress(ownerOf(window), taskbar);
        taskbarShown = taskbar.state != rules::TaskbarState::None;
    }

    if (view.finished) {
        show(window, IDC_PROGRESS_BAR, false);
        if (timerId != 0) {
            KillTimer(window, timerId);
            timerId = 0;
        }
    }
    // Unchanged texts are not set again: each set repaints.
    const std::wstring line = widen(view.batchLine);
    if (!line.empty() && windowText(GetDlgItem(window, IDC_BATCH_LINE)) != line) {
        SetDlgItemTextW(window, IDC_BATCH_LINE, line.c_str());
    }
    const std::wstring fileText = widen(view.fileLine);
    if (!fileText.empty() && windowText(GetDlgItem(window, IDC_FILE_LINE)) != fileText) {
        setFileLine(window, fileText);
    }
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, view.barMaximum);
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(view.barPosition),
                        0);

    keepFocusVisible(window);
    if (view.ended) {
        if (!endSeen) {
            endSeen = true;
            tellEnd(window, view.finished);
        }
        if (IsWindowVisible(GetDlgItem(window, IDC_STOP))) {
            showButton(window, IDC_CLOSE);
        }
        if (view.closeWindow) {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0), 0);
        }
    }
}

bool progressInit(HWND window, ConvertCore* core) {
    openWindow = window;
    openCore = core;
    ticks = 0;
    core->confirmCallback = askOverwrite;
    core->confirmContext = reinterpret_cast<std::intptr_t>(window);
    batchAnswers.reset();
    taskbarWatch = {};
    taskbarShown = false;
    endSeen = false;
    hiddenWithOwner = false;
    if (!core->start()) {
        return false;
    }
    if (appIcon != nullptr) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    }
    showButton(window, IDC_STOP);
    createFileTip(window);
    timerId = SetTimer(window, kTimerId, kTickMs, nullptr);
    progressTick(window);
    return true;
}

void confirmStop(HWND window) {
    if (prompts::question(window, widen(rules::kStopQuestion))) {
        openCore->requestStop();
    }
    keepFocusVisible(window);
}

// On the window's thread: the question, unless the batch is being stopped.
int askOnWindowThread() {
    if (openWindow == nullptr || openCore == nullptr || openCore->runState != Running) {
        return 0;
    }
    if (const auto standing = batchAnswers.standing()) {
        return *standing;
    }
    ConvertJob job;
    if (!openCore->getCurrentJob(job)) {
        return 0;
    }
    const rules::ReplaceChoice choice =
        prompts::replaceQuestion(openWindow, widen(rules::replaceQuestion(job.outputPath)));
    return batchAnswers.take(choice);
}

void endWindow(HWND window, INT_PTR result) {
    if (taskbarShown) {
        prompts::taskbarProgress(ownerOf(window), {});
        taskbarShown = false;
    }
    if (timerId != 0) {
        KillTimer(window, timerId);
        timerId = 0;
    }
    if (openWindow == window) {
        openWindow = nullptr;
    }
    EndDialog(window, result);
}

}  // namespace

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (!progressInit(window, reinterpret_cast<ConvertCore*>(lParam))) {
                endWindow(window, 2);
            }
            return TRUE;
        case WM_CLOSE:
            return TRUE;
        case WM_SYSCOMMAND:
            // The window has no box of its own; minimised any other way, it takes the main
            // window along, whose entry on the taskbar brings both back.
            if ((wParam & 0xFFF0) == SC_MINIMIZE && ownerOf(window) != window) {
                ShowWindow(ownerOf(window), SW_MINIMIZE);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_STOP:
                    // A Stop still queued once the batch has ended asks nothing.
                    if (openWindow == window && openCore->runState == Running) {
                        confirmStop(window);
                    }
                    return TRUE;
                case IDC_CLOSE:
                    endWindow(window, 1);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_TIMER:
            if (openWindow == window) {
                progressTick(window);
            }
            return TRUE;
        case kAskOverwrite:
            SetWindowLongPtrW(window, DWLP_MSGRESULT,
                              openWindow == window ? askOnWindowThread() : 0);
            return TRUE;
        case WM_DESTROY:
            if (openWindow == window) {
                openWindow = nullptr;
            }
            // Owned by the window, the tip goes with it.
            fileTip = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

int askOverwrite(int code, std::intptr_t context) {
    if (code != ConfirmOverwrite) {
        return 0;
    }
    auto* window = reinterpret_cast<HWND>(context);
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        return openWindow == window ? askOnWindowThread() : 0;
    }
    // A "to all" answers at once.
    if (const auto standing = batchAnswers.standing()) {
        return *standing;
    }
    // Blocks the worker until the window's thread has answered; a window that has gone answers
    // at once with 0, and the existing file is kept.
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, kAskOverwrite, 0, 0, SMTO_NORMAL, INFINITE, &answer)) {
        return 0;
    }
    return static_cast<int>(answer);
}

void followOwner(HWND owner, bool minimised) {
    if (openWindow == nullptr || GetWindow(openWindow, GW_OWNER) != owner) {
        return;
    }
    if (minimised && IsWindowVisible(openWindow)) {
        hiddenWithOwner = true;
        ShowWindow(openWindow, SW_HIDE);
    } else if (!minimised && hiddenWithOwner) {
        hiddenWithOwner = false;
        ShowWindow(openWindow, SW_SHOW);
    }
}

INT_PTR runProgressWindow(ConvertCore& core, HWND owner) {
    return DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_PROGRESS), owner, progressDialogProc,
                           reinterpret_cast<LPARAM>(&core));
}

int progressTicks() {
    return ticks;
}
