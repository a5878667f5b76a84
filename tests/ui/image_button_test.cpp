#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include "app_state.h"
#include "button_images.h"
#include "controls.h"
#include "image_button.h"
#include "temp_dir.h"

namespace {

constexpr int testId = 4242;
const QColor red(255, 0, 0);

// Paints one control into a transparent image of the given size.
QImage paint(const DrawItem& item, QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawImageButton(painter, item);
    painter.end();
    return image;
}

// The smallest rectangle holding every pixel of colour.
QRect boundsOf(const QImage& image, QColor colour) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

class ImageButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QApplication::palette();
        QPalette distinct = saved;
        distinct.setColor(QPalette::Base, QColor(0, 200, 0));
        distinct.setColor(QPalette::Button, QColor(0, 0, 200));
        QApplication::setPalette(distinct);
        buttonImages.clear();
        loadButtonImages();
        QImage square(32, 32, QImage::Format_ARGB32_Premultiplied);
        square.fill(red);
        buttonImages[testId] = square;
    }
    void TearDown() override {
        buttonImages.erase(testId);
        sharpButtonImages.erase(testId);
        QApplication::setPalette(saved);
    }

    QPalette saved;
};

TEST_F(ImageButtonTest, PictureIsCentredWithTheRemainderDroppedAndMovesWhenPressed) {
    EXPECT_EQ(boundsOf(paint({testId, QRect(0, 0, 54, 41), false}, QSize(54, 41)), red),
              QRect(11, 4, 32, 32));
    EXPECT_EQ(boundsOf(paint({testId, QRect(0, 0, 54, 41), true}, QSize(54, 41)), red),
              QRect(12, 5, 32, 32));
    EXPECT_EQ(boundsOf(paint({testId, QRect(0, 0, 55, 42), false}, QSize(55, 42)), red),
              QRect(11, 5, 32, 32));
    EXPECT_EQ(boundsOf(paint({testId, QRect(100, 50, 54, 41), false}, QSize(160, 100)), red),
              QRect(111, 54, 32, 32));
}

TEST_F(ImageButtonTest, BackgroundIsTheWindowColourForThePanelAndTheButtonFaceElsewhere) {
    const QImage button = paint({testId, QRect(0, 0, 54, 41), false}, QSize(54, 41));
    EXPECT_EQ(button.pixelColor(0, 0), QColor(0, 0, 200));
    EXPECT_EQ(button.pixelColor(53, 40), QColor(0, 0, 200));
    const QImage panel = paint({ids::DropPanel, QRect(0, 0, 378, 44), false}, QSize(378, 44));
    EXPECT_EQ(panel.pixelColor(0, 0), QColor(0, 200, 0));
    EXPECT_EQ(panel.pixelColor(377, 43), QColor(0, 200, 0));
}

TEST_F(ImageButtonTest, WithoutAPictureNothingIsPaintedAndABrokenOneGetsOnlyItsBackground) {
    const QImage none = paint({9999, QRect(0, 0, 20, 20), false}, QSize(20, 20));
    EXPECT_EQ(none.pixelColor(10, 10).alpha(), 0);

    buttonImages[testId] = QImage();
    const QImage broken = paint({testId, QRect(0, 0, 20, 20), false}, QSize(20, 20));
    EXPECT_EQ(broken.pixelColor(10, 10), QColor(0, 0, 200));
}

TEST_F(ImageButtonTest, RealButtonDrawsItsPictureAndNoCaptionOrFrame) {
    QWidget parent;
    ImageButton button(testId, &parent);
    button.setGeometry(0, 0, 54, 41);
    button.setText(QStringLiteral("Add"));
    button.setFocus();

    const auto render = [&button] {
        QImage image(button.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        button.render(&image);
        return image;
    };
    const QImage resting = render();
    EXPECT_EQ(boundsOf(resting, red), QRect(11, 4, 32, 32));
    // Everything else is the plain button face.
    EXPECT_EQ(boundsOf(resting, QColor(0, 0, 200)), QRect(0, 0, 54, 41));
    int faces = 0;
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 54; ++x) {
            faces += resting.pixelColor(x, y) == QColor(0, 0, 200) ? 1 : 0;
        }
    }
    EXPECT_EQ(faces, 54 * 41 - 32 * 32);

    button.setDown(true);
    EXPECT_EQ(boundsOf(render(), red), QRect(12, 5, 32, 32));
}

TEST_F(ImageButtonTest, PicturesAreEightBitRgbaPngsOfTheirSizes) {
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        const QString picture = QString::fromLatin1(row->picture);
        for (const QString& path : {picture, sharpPicturePath(picture)}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray bytes = file.readAll();
            ASSERT_GT(bytes.size(), 26) << path.toStdString();
            EXPECT_TRUE(bytes.startsWith("\x89PNG\r\n\x1a\n")) << path.toStdString();
            EXPECT_EQ(bytes[24], 8) << path.toStdString();  // bit depth
            EXPECT_EQ(bytes[25], 6) << path.toStdString();  // colour type: RGB with alpha
        }

        const QSize expected = row->controlId == ids::DropPanel ? QSize(280, 32) : QSize(32, 32);
        ASSERT_EQ(buttonImages.count(row->controlId), 1u) << row->picture;
        EXPECT_EQ(buttonImages[row->controlId].size(), expected) << row->picture;
        ASSERT_EQ(sharpButtonImages.count(row->controlId), 1u) << row->picture;
        EXPECT_EQ(sharpButtonImages[row->controlId].size(), expected * 2) << row->picture;
    }
}

TEST_F(ImageButtonTest, AScalingDeviceGetsTheLargerDrawingInTheSamePlace) {
    QImage sharp(64, 64, QImage::Format_ARGB32_Premultiplied);
    sharp.fill(Qt::yellow);
    sharp.setDevicePixelRatio(2);
    sharpButtonImages[testId] = sharp;
    QImage device(QSize(54, 41) * 2, QImage::Format_ARGB32);
    device.setDevicePixelRatio(2);
    device.fill(Qt::transparent);
    QPainter painter(&device);
    drawImageButton(painter, {testId, QRect(0, 0, 54, 41), false});
    painter.end();
    sharpButtonImages.erase(testId);
    EXPECT_EQ(boundsOf(device, QColor(Qt::yellow)), QRect(22, 8, 64, 64));
    EXPECT_EQ(boundsOf(device, red), QRect());
}

TEST_F(ImageButtonTest, PanelWordsAreLightGreyAntiAliasedThroughAlpha) {
    const QImage words = QImage(QStringLiteral(":/pictures/drag-and-drop.png"))
                             .convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(words.isNull());
    int opaque = 0;
    int partial = 0;
    int wrongColour = 0;
    for (int y = 0; y < words.height(); ++y) {
        for (int x = 0; x < words.width(); ++x) {
            const QColor pixel = words.pixelColor(x, y);
            if (pixel.alpha() == 0) {
                continue;
            }
            (pixel.alpha() == 255 ? opaque : partial) += 1;
            wrongColour +=
                pixel.red() == 192 && pixel.green() == 192 && pixel.blue() == 192 ? 0 : 1;
        }
    }
    EXPECT_GT(opaque, 500);
    EXPECT_GT(partial, 200);
    EXPECT_EQ(wrongColour, 0);
    EXPECT_EQ(words.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(words.pixelColor(279, 31).alpha(), 0);
}

TEST(PngResourceTest, MissingOrEmptyGivesNoneAndUndecodableGivesANullImage) {
    testing_support::TempDir folder;
    EXPECT_FALSE(loadPngResource(QStringLiteral(":/pictures/missing.png")).has_value());
    EXPECT_FALSE(
        loadPngResource(QString::fromStdString(folder.write("empty.png", ""))).has_value());
    const auto garbage =
        loadPngResource(QString::fromStdString(folder.write("bad.png", "not a png")));
    ASSERT_TRUE(garbage.has_value());
    EXPECT_TRUE(garbage->isNull());
    const auto film = loadPngResource(QStringLiteral(":/pictures/film-strip.png"));
    ASSERT_TRUE(film.has_value());
    EXPECT_EQ(film->size(), QSize(32, 32));
}

}  // namespace
