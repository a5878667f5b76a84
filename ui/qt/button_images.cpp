#include "button_images.h"

#include <QDialog>
#include <QFile>
#include <QWidget>

#include "app_state.h"
#include "controls.h"

const ImageButtonRow imageButtonTable[] = {
    {ids::Add, ":/pictures/sheet-add.png", "Add", "Add"},
    {ids::Remove, ":/pictures/sheet-remove.png", "Remove", "Remove"},
    {ids::Clear, ":/pictures/waste-bin.png", "Clear", "Clear"},
    {ids::Convert, ":/pictures/film-strip.png", "Convert", "Convert"},
    {ids::DropPanel, ":/pictures/drag-and-drop.png", nullptr, "Drag and Drop Here"},
    {0, nullptr, nullptr, nullptr},
};

bool loadButtonImages() {
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        const QString picture = QString::fromLatin1(row->picture);
        if (auto image = loadPngResource(picture)) {
            buttonImages[row->controlId] = std::move(*image);
        }
        if (auto sharp = loadPngResource(sharpPicturePath(picture)); sharp && !sharp->isNull()) {
            sharp->setDevicePixelRatio(2);
            sharpButtonImages[row->controlId] = std::move(*sharp);
        }
    }
    return true;
}

QString sharpPicturePath(const QString& path) {
    QString sharp = path;
    if (sharp.endsWith(QStringLiteral(".png"))) {
        sharp.insert(sharp.size() - 4, QStringLiteral("@2x"));
    }
    return sharp;
}

std::optional<QImage> loadPngResource(const QString& path) {
    QFile resource(path);
    if (!resource.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = resource.readAll();
    if (bytes.isEmpty()) {
        return std::nullopt;
    }
    QImage image = QImage::fromData(bytes, "PNG");
    if (!image.isNull()) {
        // Painting then blends without converting each time.
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return image;
}

void createTooltips() {
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        if (auto* widget = control<QWidget>(mainWindow, row->controlId)) {
            const QString tip =
                row->tooltipText != nullptr ? QString::fromLatin1(row->tooltipText) : QString();
            widget->setToolTip(tip);
            // A picture control shows no caption: screen readers say it instead.
            widget->setAccessibleName(QString::fromLatin1(row->caption));
        }
    }
}
