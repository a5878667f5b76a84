#include "main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app_state.h"
#include "conversion_start.h"
#include "convert_core.h"
#include "ids.h"
#include "image_buttons.h"
#include "media_preset.h"
#include "messages.h"
#include "open_folder_text.h"
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
            text = lineTooltip(lineText(list, LOWORD(hit)));
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

void onOpenFolder() {
    const std::wstring folder = outputFolderText();
    const std::string failure = rules::showFolder(narrow(folder), [&folder]() {
        // Values above 32 mean the shell took the folder.
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(mainWindow, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
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
