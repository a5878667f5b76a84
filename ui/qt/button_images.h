#pragma once

// The pictures and tooltips of the main window's image controls: one table ties each control
// to its picture among the program's resources and to its tip.

#include <QImage>
#include <QString>
#include <optional>

struct ImageButtonRow {
    int controlId;            // 0 ends the table
    const char* picture;      // Qt resource path of the PNG picture
    const char* tooltipText;  // null: no tip
    const char* caption;      // the control's name for screen readers
};

extern const ImageButtonRow imageButtonTable[];

// Decodes every picture of the table into buttonImages, once, at start-up. A missing picture
// leaves its control without an entry; one that does not decode is kept as a null image, so
// that its control shows only its background. The twice-as-large drawings that decode go into
// sharpButtonImages. Always true.
bool loadButtonImages();

// Where the twice-as-large drawing of a picture is: "name@2x.png" beside "name.png".
QString sharpPicturePath(const QString& path);

// The decoded picture at a resource path: none when there is no such resource or it is empty,
// a null image when it does not decode.
std::optional<QImage> loadPngResource(const QString& path);

// Gives each control of the table that the main window has its tip (the panel gets none), and
// its caption as its accessible name.
void createTooltips();
