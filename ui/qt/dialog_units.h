#pragma once

// Windows lays dialogs out in dialog units: a quarter of the font's average character width
// across, an eighth of its height down. The main window keeps its layout in those units and
// converts them for the font it is shown with, as the Windows dialog manager does.

#include <QRect>
#include <QSize>

class QFont;

class DialogUnits {
public:
    // Base units of a font: the average width of the Latin letters, rounded as Windows rounds
    // it, and the font's height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

    // Pixels of horizontal and vertical units, rounded half away from zero.
    int x(int units) const;
    int y(int units) const;
    // Each field converted on its own, as the dialog manager creates a control.
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int baseWidth_;
    int baseHeight_;
};
