#include "source_list.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "app_state.h"
#include "convert_core.h"
#include "file_types.h"
#include "ids.h"
#include "source_lines.h"

namespace {

// The lines' names, so that the duplicate test takes the same time for the ten-thousandth file
// as for the first. Every change of the list goes through this file.
rules::ListedNames listed;
HWND indexedList = nullptr;
std::map<std::wstring, std::wstring> tooltips;

HWND sourceList() {
    return mainControl(IDC_SOURCE_LIST);
}

int lineCount(HWND list) {
    return list != nullptr ? static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)) : -1;
}

// Someone may have sent the list box messages of their own; then the index is rebuilt.
void syncListed(HWND list) {
    const int count = lineCount(list);
    if (count < 0 || (list == indexedList && static_cast<std::size_t>(count) == listed.size())) {
        return;
    }
    if (list != indexedList) {
        tooltips.clear();
    }
    indexedList = list;
    listed.clear();
    for (int line = 0; line < count; ++line) {
        listed.add(narrow(lineText(list, line)));
    }
}

void forget(const std::wstring& path) {
    listed.remove(narrow(path));
    tooltips.erase(path);
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return full;
}

}  // namespace

std::wstring lineText(HWND list, int line) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(line), 0);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

bool isListed(const std::wstring& path) {
    HWND list = sourceList();
    if (list == nullptr || path.empty()) {
        return false;
    }
    syncListed(list);
    return listed.contains(narrow(path));
}

int addSourceFile(const std::wstring& path) {
    HWND list = sourceList();
    const std::string name = narrow(path);
    if (list == nullptr || isListed(path) || !isAcceptedFile(name)) {
        return -1;
    }
    // The order both programs share, rather than the list box's own.
    const int row = rules::sortedRow(lineCount(list), name,
                                     [list](int at) { return narrow(lineText(list, at)); });
    const LRESULT line = SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(row),
                                      reinterpret_cast<LPARAM>(path.c_str()));
    if (line < 0) {
        return -1;
    }
    listed.add(name);
    updateListControls();
    return static_cast<int>(line);
}

void addFiles(const std::vector<std::wstring>& paths) {
    HWND list = sourceList();
    if (list == nullptr) {
        return;
    }
    // One repaint for the whole lot.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const std::wstring& path : paths) {
        addSourceFile(fullPath(path));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void updateListControls() {
    HWND list = sourceList();
    const int count = lineCount(list);
    if (list != nullptr) {
        EnableWindow(list, count > 0);
    }
    if (HWND panel = mainControl(IDC_DROP_PANEL)) {
        ShowWindow(panel, count == 0 ? SW_SHOW : SW_HIDE);
    }
}

void onAddFiles() {
    // Room for many long names: a choice that does not fit adds nothing.
    std::wstring buffer(1 << 16, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = mainWindow;
    dialog.hInstance = appInstance;
    dialog.lpstrFilter = L"Media Files (*.mkv)\0*.mkv\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = L"Select Files";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    if (!GetOpenFileNameW(&dialog)) {
        return;
    }
    // One file: its full path. Several: the folder, then each name, each ended by a zero.
    std::vector<std::wstring> files;
    if (dialog.nFileOffset > 0 && buffer[dialog.nFileOffset - 1] != L'\0') {
        files.emplace_back(buffer.c_str());
    } else {
        std::wstring folder(buffer.c_str());
        if (!folder.empty() && folder.back() != L'\\') {
            folder += L'\\';
        }
        for (const wchar_t* name = buffer.c_str() + dialog.nFileOffset; *name != L'\0';
             name += wcslen(name) + 1) {
            files.push_back(folder + name);
        }
    }
    addFiles(files);
}

void onDropFiles(HDROP drop) {
    if (convertCore != nullptr && convertCore->runState == Running) {
        DragFinish(drop);
        return;
    }
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> files;
    for (UINT item = 0; item < count; ++item) {
        const UINT length = DragQueryFileW(drop, item, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(DragQueryFileW(drop, item, path.data(), length + 1));
        files.push_back(path);
    }
    DragFinish(drop);
    addFiles(files);
}

void onRemoveSelected() {
    HWND list = sourceList();
    if (list == nullptr) {
        return;
    }
    syncListed(list);
    const auto selected = static_cast<int>(SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    if (selected > 0) {
        std::vector<int> lines(static_cast<std::size_t>(selected));
        SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(selected),
                     reinterpret_cast<LPARAM>(lines.data()));
        std::sort(lines.begin(), lines.end(), std::greater<>());
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (int line : lines) {
            forget(lineText(list, line));
            SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(line), 0);
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    updateListControls();
}

void onClearList() {
    if (HWND list = sourceList()) {
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        listed.clear();
        tooltips.clear();
    }
    updateListControls();
}

std::vector<std::wstring> commandLineFiles() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> files;
    if (arguments != nullptr) {
        for (int index = 1; index < count; ++index) {
            // A file URI ("file:///C:/v/x.mkv") as some programs pass one; other addresses
            // name no file here.
            if (const std::optional<std::string> file =
                    rules::commandLineFile(narrow(arguments[index]))) {
                files.push_back(widen(*file));
            }
        }
        LocalFree(arguments);
    }
    return files;
}

std::wstring lineTooltip(const std::wstring& path) {
    const auto found = tooltips.find(path);
    return found != tooltips.end() ? found->second : std::wstring();
}

void setLineTooltip(const std::wstring& path, const std::wstring& text) {
    if (text.empty()) {
        tooltips.erase(path);
    } else {
        tooltips[path] = text;
    }
}
