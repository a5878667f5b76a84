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

void drawImageButton(const DRAWITEMSTRUCT& item);

// The tooltip window of the main window, one tool per row of the table, and one for the
// source list whose text the main window supplies (TTN_GETDISPINFOW).
void createTooltips();
