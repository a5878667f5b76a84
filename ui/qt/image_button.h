#pragma once

// The main window's picture controls: the Add, Remove, Clear and Convert buttons and the
// "Drag and Drop Here" panel show a picture from buttonImages instead of a caption.

#include <QAbstractButton>
#include <QRect>

class QPainter;

class ImageButton : public QAbstractButton {
    Q_OBJECT

public:
    ImageButton(int controlId, QWidget* parent);

    int controlId() const { return controlId_; }

    // How far inside the control its focus frame lies, in pixels.
    static constexpr int kFocusInset = 2;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int controlId_;
};

// One paint of a picture control.
struct DrawItem {
    int controlId;
    QRect rect;    // the whole control
    bool pressed;  // the button is held down
};

// Paints the control's picture unscaled and centred over its filled background (the window
// colour for the panel, the button face for the buttons), one pixel right and down while
// pressed; all in logical pixels, the twice-as-large drawing standing in for the picture on a
// device whose pixel ratio is above 1. A control without an entry in buttonImages is not
// painted at all; one whose picture did not decode gets only its background. No caption or
// border; the button itself adds the style's focus frame once the keyboard is used.
void drawImageButton(QPainter& painter, const DrawItem& item);
