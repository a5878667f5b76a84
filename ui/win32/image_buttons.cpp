#include "image_buttons.h"

#include <commctrl.h>
#include <objidl.h>
// GDI+ uses min and max.
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <map>
#include <memory>

#include "app_state.h"
#include "ids.h"

const ImageButtonRow imageButtonTable[] = {
    {IDC_ADD, IDR_PNG_ADD, L"Add"},          {IDC_REMOVE, IDR_PNG_REMOVE, L"Remove"},
    {IDC_CLEAR, IDR_PNG_CLEAR, L"Clear"},    {IDC_CONVERT, IDR_PNG_CONVERT, L"Convert"},
    {IDC_DROP_PANEL, IDR_PNG_DROP, nullptr}, {0, 0, nullptr},
};

namespace {

ULONG_PTR gdiplusToken = 0;
std::map<int, std::unique_ptr<Gdiplus::Bitmap>> buttonImages;

// Decodes a PNG resource into a bitmap that owns its pixels, so that nothing of the resource's
// copy is needed afterwards.
std::unique_ptr<Gdiplus::Bitmap> loadPngResource(HRSRC resource, HINSTANCE instance) {
    const DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = size != 0 ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return nullptr;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr) {
        return nullptr;
    }
    void* copy = GlobalLock(block);
    if (copy == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    CopyMemory(copy, bytes, size);
    GlobalUnlock(block);
    std::unique_ptr<Gdiplus::Bitmap> result;
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, FALSE, &stream) == S_OK) {
        Gdiplus::Bitmap decoded(stream);
        if (decoded.GetLastStatus() == Gdiplus::Ok) {
            const auto width = static_cast<INT>(decoded.GetWidth());
            const auto height = static_cast<INT>(decoded.GetHeight());
            result.reset(decoded.Clone(0, 0, width, height, PixelFormat32bppPARGB));
            if (result != nullptr && result->GetLastStatus() != Gdiplus::Ok) {
                result.reset();
            }
        }
        stream->Release();
    }
    GlobalFree(block);
    return result;
}

}  // namespace

bool startPictures() {
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) == Gdiplus::Ok;
}

bool loadButtonImages(HINSTANCE instance) {
    appInstance = instance;
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(row->pngResourceId), L"PNG");
        if (resource == nullptr) {
            continue;
        }
        if (auto image = loadPngResource(resource, instance)) {
            buttonImages[row->controlId] = std::move(image);
        }
    }
    return true;
}

void releaseButtonImages() {
    buttonImages.clear();
    if (gdiplusToken != 0) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusToken = 0;
    }
}

bool hasButtonImage(int controlId) {
    return buttonImages.contains(controlId);
}

POINT imageOffset(const RECT& item, int width, int height, bool pressed) {
    POINT offset{(item.right - width - item.left) / 2, (item.bottom - height - item.top) / 2};
    if (pressed) {
        ++offset.x;
        ++offset.y;
    }
    return offset;
}

void drawImageButton(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) {
        return;
    }
    const auto found = buttonImages.find(static_cast<int>(item.CtlID));
    if (found == buttonImages.end() || found->second == nullptr) {
        return;
    }
    Gdiplus::Bitmap& image = *found->second;
    const auto width = static_cast<int>(image.GetWidth());
    const auto height = static_cast<int>(image.GetHeight());
    const bool pressed =
        (item.itemAction & ODA_SELECT) != 0 || (item.itemState & ODS_SELECTED) != 0;
    const POINT offset = imageOffset(item.rcItem, width, height, pressed);
    const int colour = item.CtlID == IDC_DROP_PANEL ? COLOR_WINDOW : COLOR_BTNFACE;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(colour));
    Gdiplus::Graphics graphics(item.hDC);
    graphics.DrawImage(&image, static_cast<INT>(item.rcItem.left + offset.x),
                       static_cast<INT>(item.rcItem.top + offset.y), width, height);
}

void createTooltips() {
    tooltipWindow = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    mainWindow, nullptr, appInstance, nullptr);
    if (tooltipWindow == nullptr) {
        return;
    }
    const auto addTool = [](HWND control, wchar_t* text) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = mainWindow;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.hinst = appInstance;
        tool.lpszText = text;
        SendMessageW(tooltipWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        if (HWND control = mainControl(row->controlId)) {
            addTool(control, const_cast<wchar_t*>(row->tooltipText));
        }
    }
    // A source line's tip tells what happened to it in the last batch.
    if (HWND list = mainControl(IDC_SOURCE_LIST)) {
        addTool(list, LPSTR_TEXTCALLBACKW);
    }
    // Long outcome texts wrap instead of running off the screen.
    SendMessageW(tooltipWindow, TTM_SETMAXTIPWIDTH, 0, 600);
}
