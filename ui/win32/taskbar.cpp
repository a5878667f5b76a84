#include "taskbar.h"

#include <objbase.h>
#include <shobjidl.h>

namespace taskbar {

namespace {

// Created on first use on the user-interface thread, kept for the program's life.
ITaskbarList3* list() {
    static ITaskbarList3* shell = []() -> ITaskbarList3* {
        ITaskbarList3* created = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskbarList3, reinterpret_cast<void**>(&created))) ||
            created == nullptr) {
            return nullptr;
        }
        if (FAILED(created->HrInit())) {
            created->Release();
            return nullptr;
        }
        return created;
    }();
    return shell;
}

}  // namespace

void showProgress(HWND window, const rules::TaskbarProgress& progress) {
    ITaskbarList3* shell = list();
    if (shell == nullptr || window == nullptr) {
        return;
    }
    switch (progress.state) {
        case rules::TaskbarState::None:
            shell->SetProgressState(window, TBPF_NOPROGRESS);
            return;
        case rules::TaskbarState::Normal:
            shell->SetProgressState(window, TBPF_NORMAL);
            break;
        case rules::TaskbarState::Error:
            shell->SetProgressState(window, TBPF_ERROR);
            break;
    }
    shell->SetProgressValue(window, static_cast<ULONGLONG>(progress.position),
                            static_cast<ULONGLONG>(progress.maximum));
}

void askForAttention(HWND window) {
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
}

}  // namespace taskbar
