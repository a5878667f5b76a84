// The Windows desktop program's entry: pictures and catalogue up, the main window run until it
// closes, everything released.

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app_state.h"
#include "image_buttons.h"
#include "key_guard.h"
#include "main_window.h"
#include "media_preset.h"
#include "single_instance.h"
#include "source_list.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (single_instance::handOver(commandLineFiles())) {
        return 0;
    }
    // The folder browser needs a single-threaded apartment.
    const HRESULT ole = OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    guardKeyPresses();
    startPictures();
    presetCatalogue = new MkvAvi;
    if (loadButtonImages(instance)) {
        DialogBoxParamW(appInstance, MAKEINTRESOURCEW(mainTemplateFor(*presetCatalogue)), nullptr,
                        mainDialogProc, 0);
    }
    releaseButtonImages();
    if (SUCCEEDED(ole)) {
        OleUninitialize();
    }
    return 0;
}
