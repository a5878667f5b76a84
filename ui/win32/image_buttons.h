#pragma once

// The owner-drawn picture buttons of the main window, their pictures (PNG resources decoded
// once with GDI+) and their tooltips.

#include <windows.h>

struct ImageButtonRow {
    int controlId;  // 0 ends the table
    int pngResourceId;
    const wchar_t* tooltipText;  // none for the drop panel
};

extern const ImageButtonRow imageButtonTable[];

// How far inside a picture button its focus rectangle lies, in pixels at 96 dpi.
inline constexpr int kFocusInset = 3;

// Starts GDI+; false when it could not be started (the buttons then show no pictures).
bool startPictures();
// Decodes every picture of the table from the instance's resources and records the instance.
// Always true; a picture that cannot be decoded leaves its control unpainted.
bool loadButtonImages(HINSTANCE instance);
// Deletes every picture, then shuts GDI+ down.
void releaseButtonImages();
// True when a picture was decoded for the control.
bool hasButtonImage(int controlId);

// Where a width x height picture goes in an item rectangle: centred, the remainder dropped,
// one pixel right and down when pressed.
POINT imageOffset(const RECT& item, int width, int height, bool pressed);

// The dots per inch the pictures are drawn for: the main window's, as it opens and as
// WM_DPICHANGED tells later. Below 144 the pictures are drawn as they are; from 144 up their
// twice-as-large drawings, at the picture's size times dpi / 96.
void setPictureDpi(int dpi);
int pictureDpi();
// The dots per inch of a window (the system's where Windows cannot tell a window's).
int windowDpi(HWND window);
// The size a control's picture is drawn at, at this dpi; 0 x 0 without a picture.
SIZE pictureSize(int controlId, int dpi);

// Paints the control's picture over its filled background, and the focus rectangle when the
// button has the focus and the window shows focus cues (after the first key press).
void drawImageButton(const DRAWITEMSTRUCT& item);

// The tooltip window of the main window, one tool per row of the table, and one for the
// source list whose text the main window supplies (TTN_GETDISPINFOW). Texts are shown as they
// are: an '&' in a file name is no mnemonic.
void createTooltips();
