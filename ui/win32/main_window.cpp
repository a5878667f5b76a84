#include "main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app_state.h"
#include "conversion_start.h"
#include "convert_core.h"
#include "ids.h"
#include "image_buttons.h"
#include "key_guard.h"
#include "media_preset.h"
#include "messages.h"
#include "open_folder_text.h"
#include "progress_window.h"
#include "prompts.h"
#include "settings_store.h"
#include "single_instance.h"
#include "source_list.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "1.0"
#endif

namespace {

void fillPresetList() {
    HWND presets = mainControl(IDC_PRESET_LIST);
    if (presets == nullptr || presetCatalogue == nullptr) {
        return;
    }
    const int count = presetCatalogue->presetCount();
    for (int index = 0; index < count; ++index) {
        const std::wstring name = widen(presetCatalogue->presetName(index));
        if (!name.empty()) {
            SendMessageW(presets, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
    }
    SendMessageW(presets, CB_SETCURSEL, count > 0 ? 0 : static_cast<WPARAM>(-1), 0);
}

int CALLBACK browseCallback(HWND browser, UINT event, LPARAM, LPARAM data) {
    if (event == BFFM_INITIALIZED && data != 0) {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

std::wstring chooseFolder(const std::wstring& initialFolder, HWND owner) {
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = L"Select a folder";
    browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    browse.lpfn = browseCallback;
    browse.lParam = initialFolder.empty() ? 0 : reinterpret_cast<LPARAM>(initialFolder.c_str());
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
    if (item == nullptr) {
        return {};
    }
    std::wstring folder(32768, L'\0');
    if (!SHGetPathFromIDListEx(item, folder.data(), static_cast<DWORD>(folder.size()),
                               GPFIDL_DEFAULT)) {
        folder.clear();
    }
    CoTaskMemFree(item);
    folder.resize(wcslen(folder.c_str()));
    return folder;
}

// Tips of the source list: the outcome of the line under the mouse.
void answerListTip(NMTTDISPINFOW& info) {
    static std::wstring text;
    HWND list = mainControl(IDC_SOURCE_LIST);
    text.clear();
    if (list != nullptr) {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(list, &cursor);
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(cursor.x, cursor.y));
        if (HIWORD(hit) == 0) {
            const std::wstring line = lineText(list, LOWORD(hit));
            text = lineTooltip(line);
            // A line wider than the list shows whole in its tip.
            if (text.empty()) {
                RECT client;
                GetClientRect(list, &client);
                HDC context = GetDC(list);
                const HGDIOBJ font = SelectObject(
                    context, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
                SIZE extent{};
                GetTextExtentPoint32W(context, line.c_str(), static_cast<int>(line.size()),
                                      &extent);
                SelectObject(context, font);
                ReleaseDC(list, context);
                if (extent.cx > client.right - client.left) {
                    text = line;
                }
            }
        }
    }
    info.lpszText = text.data();
}

// A new line under the mouse gets its own tip.
LRESULT CALLBACK listSubclass(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
    static LRESULT lastHit = -1;
    if (message == WM_MOUSEMOVE && tooltipWindow != nullptr) {
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
        if (hit != lastHit) {
            lastHit = hit;
            SendMessageW(tooltipWindow, TTM_POP, 0, 0);
        }
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

// The main window's commands by control id; false for an id that is none of them.
bool runCommand(int id) {
    switch (id) {
        case IDCANCEL:
            onClose();
            return true;
        case IDC_CONVERT:
            onConvert();
            return true;
        case IDC_BROWSE_FOLDER:
            onBrowseFolder();
            return true;
        case IDC_ADD:
            onAddFiles();
            return true;
        case IDC_REMOVE:
            onRemoveSelected();
            return true;
        case IDC_CLEAR:
            onClearList();
            return true;
        case IDC_OPEN_FOLDER:
            onOpenFolder();
            return true;
        default:
            return false;
    }
}

}  // namespace

int mainTemplateFor(const MediaPreset& catalogue) {
    return catalogue.presetCount() >= 2 ? IDD_MAIN_WITH_PRESETS : IDD_MAIN_WITHOUT_PRESETS;
}

std::wstring mainCaption() {
    return widen(rules::kCaption) + L" " + widen(KESTROVA_VERSION);
}

bool onInitDialog(HWND window) {
    mainWindow = window;
    guardKeyPresses();
    setPictureDpi(windowDpi(window));
    // Focus cues as the system decides from the last input; the first key press shows them.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    appIcon = LoadIconW(appInstance, MAKEINTRESOURCEW(IDI_APP));
    DragAcceptFiles(window, TRUE);
    SetWindowTextW(window, mainCaption().c_str());
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    // The caption's icon from the icon's own small picture rather than the big one shrunk.
    HANDLE smallIcon =
        LoadImageW(appInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(smallIcon != nullptr ? smallIcon : appIcon));
    // The panel lies over the list and is drawn after it.
    if (HWND panel = mainControl(IDC_DROP_PANEL)) {
        SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (HWND list = mainControl(IDC_SOURCE_LIST)) {
        SetWindowSubclass(list, listSubclass, 1, 0);
    }

    convertCore = new ConvertCore;
    const bool ready = convertCore->isReady();
    if (ready) {
        fillPresetList();
    }
    SetDlgItemTextW(window, IDC_OUTPUT_FOLDER, loadOutputFolder().c_str());
    createTooltips();
    updateListControls();
    // A file manager opening Matroska files with the program.
    addFiles(commandLineFiles());
    single_instance::serve(window);
    return ready;
}

void onClose() {
    saveOutputFolder(outputFolderText());
    if (convertCore != nullptr) {
        waitForConversionEnd(*convertCore);
        convertCore->clearJobs();
        delete convertCore;
        convertCore = nullptr;
    }
    if (tooltipWindow != nullptr) {
        DestroyWindow(tooltipWindow);
        tooltipWindow = nullptr;
    }
    if (mainWindow != nullptr) {
        if (HWND list = mainControl(IDC_SOURCE_LIST)) {
            RemoveWindowSubclass(list, listSubclass, 1);
        }
        EndDialog(mainWindow, 2);
    }
}

std::wstring outputFolderText() {
    return windowText(mainControl(IDC_OUTPUT_FOLDER));
}

void onBrowseFolder() {
    const std::wstring chosen = chooseFolder(outputFolderText(), mainWindow);
    if (!chosen.empty()) {
        SetDlgItemTextW(mainWindow, IDC_OUTPUT_FOLDER, chosen.c_str());
    }
}

std::string openFolderReason(DWORD error) {
    switch (error) {
        case ERROR_NO_ASSOCIATION:
        case SE_ERR_NOASSOC:
            return {};  // no program to show folders
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "it doesn't exist";
        case ERROR_CANCELLED:
            return "the desktop was asked not to";
        default:
            break;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
    LocalFree(text);
    // The system's sentence, without its line end and full stop: the message adds its own.
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L'.' || words.back() == L' ')) {
        words.pop_back();
    }
    if (words.empty()) {
        return "the desktop could not show it (error " + std::to_string(error) + ")";
    }
    if (words.front() >= L'A' && words.front() <= L'Z') {
        words.front() = static_cast<wchar_t>(words.front() - L'A' + L'a');
    }
    return narrow(words);
}

namespace {

// The system's file browser started on the folder directly: its command line is never
// expanded. Wine's shell expands %NAME% in the path even of a folder given by its item.
bool browseFolder(const std::wstring& folder) {
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    const std::wstring browser = std::wstring(windows) + L"\\explorer.exe";
    // A trailing backslash would escape the closing quote.
    const std::wstring path = !folder.empty() && folder.back() == L'\\' ? folder + L"." : folder;
    std::wstring command = L"\"" + browser + L"\" \"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // None of the program's standard handles: the browser outlives it.
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(browser.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

}  // namespace

void onOpenFolder() {
    const std::wstring folder = outputFolderText();
    const std::string failure = rules::showFolder(narrow(folder), [&folder]() {
        // By the folder's item, not its name: the shell's command templates never see the
        // name, so a '%' in it is only a '%'.
        PIDLIST_ABSOLUTE item = ILCreateFromPathW(folder.c_str());
        SHELLEXECUTEINFOW open{};
        open.cbSize = sizeof(open);
        open.fMask =
            SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (item != nullptr ? SEE_MASK_IDLIST : 0);
        open.hwnd = mainWindow;
        open.lpVerb = L"open";
        open.lpFile = item != nullptr ? nullptr : folder.c_str();
        open.lpIDList = item;
        open.nShow = SW_SHOWNORMAL;
        const bool shown = ShellExecuteExW(&open) != FALSE;
        const DWORD error = shown ? 0 : GetLastError();
        if (item != nullptr) {
            ILFree(item);
        }
        // The folder exists (checked before): a shell that lost it expanded a '%' in its name.
        if (!shown && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
            folder.find(L'%') != std::wstring::npos && browseFolder(folder)) {
            return rules::ShowAnswer{};
        }
        return shown ? rules::ShowAnswer{} : rules::ShowAnswer{false, openFolderReason(error)};
    });
    if (!failure.empty()) {
        prompts::message(mainWindow, widen(failure));
    }
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (!onInitDialog(window)) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                // Enter presses the focused button, the picture buttons included, as a focused
                // push button is pressed in any dialog.
                return runCommand(GetDlgCtrlID(GetFocus())) ? TRUE : FALSE;
            }
            return runCommand(LOWORD(wParam)) ? TRUE : FALSE;
        case WM_DRAWITEM:
            if (lParam != 0) {
                drawImageButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            }
            return TRUE;
        case WM_DROPFILES:
            onDropFiles(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED || wParam == SIZE_RESTORED) {
                followOwner(window, wParam == SIZE_MINIMIZED);
            }
            return FALSE;
        case WM_DPICHANGED: {
            // Moved to a screen of another density: the pictures follow it, and the window
            // takes the place Windows suggests (the dialog manager scales the rest).
            setPictureDpi(LOWORD(wParam));
            if (const auto* place = reinterpret_cast<const RECT*>(lParam)) {
                SetWindowPos(window, nullptr, place->left, place->top, place->right - place->left,
                             place->bottom - place->top, SWP_NOZORDER | SWP_NOACTIVATE);
            }
            InvalidateRect(window, nullptr, TRUE);
            return TRUE;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header != nullptr && header->code == TTN_GETDISPINFOW &&
                header->idFrom == reinterpret_cast<UINT_PTR>(mainControl(IDC_SOURCE_LIST))) {
                answerListTip(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}
