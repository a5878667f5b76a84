#include "image_button.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "app_state.h"
#include "controls.h"

ImageButton::ImageButton(int controlId, QWidget* parent)
    : QAbstractButton(parent), controlId_(controlId) {
    setObjectName(controlName(controlId));
    setFocusPolicy(Qt::StrongFocus);
}

void ImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawImageButton(painter, DrawItem{controlId_, rect(), isDown()});
    if (hasFocus()) {
        // The style's own frame, which it draws only once the keyboard has moved the focus in
        // this window: mouse users keep the picture alone.
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
        frame.backgroundColor = palette().color(QPalette::Button);
        // Some styles tint the frame's inside too; the picture keeps its colours.
        const QRect inside =
            frame.rect.adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
        painter.setClipRegion(QRegion(frame.rect).subtracted(QRegion(inside)));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void drawImageButton(QPainter& painter, const DrawItem& item) {
    const auto entry = buttonImages.find(item.controlId);
    if (entry == buttonImages.end()) {
        return;
    }
    const QImage& image = entry->second;

    // The arithmetic of a Windows RECT, whose right and bottom lie just outside it.
    const int left = item.rect.left();
    const int top = item.rect.top();
    const int right = left + item.rect.width();
    const int bottom = top + item.rect.height();
    int dx = (right - image.width() - left) / 2;
    int dy = (bottom - image.height() - top) / 2;
    if (item.pressed) {
        ++dx;
        ++dy;
    }

    // System colours, the same whatever the control's state.
    const QPalette::ColorRole role =
        item.controlId == ids::DropPanel ? QPalette::Base : QPalette::Button;
    painter.fillRect(item.rect, QApplication::palette().color(QPalette::Active, role));
    if (image.isNull()) {
        return;
    }
    // On a scaling screen the larger drawing takes the picture's place, pixel for pixel.
    const QPaintDevice* device = painter.device();
    const auto sharp = sharpButtonImages.find(item.controlId);
    if (device != nullptr && device->devicePixelRatioF() > 1.0 &&
        sharp != sharpButtonImages.end()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(left + dx, top + dy), image.size()), sharp->second);
    } else {
        painter.drawImage(QPoint(left + dx, top + dy), image);
    }
}
