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
#include "key_guard.h"

const ImageButtonRow imageButtonTable[] = {
    {IDC_ADD, IDR_PNG_ADD, L"Add"},          {IDC_REMOVE, IDR_PNG_REMOVE, L"Remove"},
    {IDC_CLEAR, IDR_PNG_CLEAR, L"Clear"},    {IDC_CONVERT, IDR_PNG_CONVERT, L"Convert"},
    {IDC_DROP_PANEL, IDR_PNG_DROP, nullptr}, {0, 0, nullptr},
};

namespace {

ULONG_PTR gdiplusToken = 0;
std::map<int, std::unique_ptr<Gdiplus::Bitmap>> buttonImages;
// The twice-as-large drawings, by control id.
std::map<int, std::unique_ptr<Gdiplus::Bitmap>> sharpButtonImages;
int currentDpi = USER_DEFAULT_SCREEN_DPI;
constexpr int kSharpFromDpi = 144;

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
        HRSRC sharp = FindResourceW(
            instance, MAKEINTRESOURCEW(row->pngResourceId + IDR_PNG_SHARP_OFFSET), L"PNG");
        if (sharp == nullptr) {
            continue;
        }
        if (auto image = loadPngResource(sharp, instance)) {
            sharpButtonImages[row->controlId] = std::move(image);
        }
    }
    return true;
}

void releaseButtonImages() {
    buttonImages.clear();
    sharpButtonImages.clear();
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

void setPictureDpi(int dpi) {
    currentDpi = dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int pictureDpi() {
    return currentDpi;
}

int windowDpi(HWND window) {
    // Windows 10 1607 and later (and Wine) know each window's; earlier ones one for all.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow != nullptr && window != nullptr) {
        if (const UINT dpi = forWindow(window); dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

namespace {

// The picture to draw at a dpi, and the size to draw it at.
Gdiplus::Bitmap* pictureFor(int controlId, int dpi, SIZE& size) {
    const auto found = buttonImages.find(controlId);
    if (found == buttonImages.end() || found->second == nullptr) {
        size = {0, 0};
        return nullptr;
    }
    Gdiplus::Bitmap* image = found->second.get();
    size = {static_cast<LONG>(image->GetWidth()), static_cast<LONG>(image->GetHeight())};
    const auto sharp = sharpButtonImages.find(controlId);
    if (dpi >= kSharpFromDpi && sharp != sharpButtonImages.end() && sharp->second != nullptr) {
        size = {MulDiv(size.cx, dpi, USER_DEFAULT_SCREEN_DPI),
                MulDiv(size.cy, dpi, USER_DEFAULT_SCREEN_DPI)};
        return sharp->second.get();
    }
    return image;
}

}  // namespace

SIZE pictureSize(int controlId, int dpi) {
    SIZE size{};
    pictureFor(controlId, dpi, size);
    return size;
}

void drawImageButton(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) {
        return;
    }
    SIZE size{};
    Gdiplus::Bitmap* image = pictureFor(static_cast<int>(item.CtlID), currentDpi, size);
    if (image == nullptr) {
        return;
    }
    const bool pressed =
        (item.itemAction & ODA_SELECT) != 0 || (item.itemState & ODS_SELECTED) != 0;
    const POINT offset = imageOffset(item.rcItem, size.cx, size.cy, pressed);
    const int colour = item.CtlID == IDC_DROP_PANEL ? COLOR_WINDOW : COLOR_BTNFACE;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(colour));
    {
        Gdiplus::Graphics graphics(item.hDC);
        if (static_cast<UINT>(size.cx) != image->GetWidth()) {
            graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
            graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
        }
        graphics.DrawImage(image, static_cast<INT>(item.rcItem.left + offset.x),
                           static_cast<INT>(item.rcItem.top + offset.y), static_cast<INT>(size.cx),
                           static_cast<INT>(size.cy));
    }
    // Once a key was pressed in the window, unless the system hides focus cues there.
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0 &&
        keyboardUsedIn(item.hwndItem)) {
        RECT frame = item.rcItem;
        const int inset = MulDiv(kFocusInset, currentDpi, USER_DEFAULT_SCREEN_DPI);
        InflateRect(&frame, -inset, -inset);
        DrawFocusRect(item.hDC, &frame);
    }
}

void createTooltips() {
    tooltipWindow = CreateWindowExW(
        0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mainWindow, nullptr, appInstance, nullptr);
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
