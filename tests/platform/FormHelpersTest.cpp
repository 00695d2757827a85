#include "platform/ui/FormHelpers.h"
#include "platform/ui/LeftAlignedButton.h"

#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

// How many pixels of image are near colour.
int PixelsNear(const QImage& image, QColor colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 &&
                std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40)
                ++count;
        }
    return count;
}

// The leftmost and rightmost columns holding a pixel much darker than the button's face.
std::pair<int, int> DarkColumns(const QImage& image) {
    const int face = qGray(image.pixel(image.width() / 2, 3));
    int first = image.width(), last = -1;
    for (int y = 3; y < image.height() - 3; ++y)
        for (int x = 3; x < image.width() - 3; ++x)
            if (qGray(image.pixel(x, y)) < face - 80) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

} // namespace

// The label paints in red, and afterwards in whatever colour its parent gives again, a later
// change of the parent's included.
TEST(FormHelpers, RedTextPaintsRedAndThenInheritsTheParentsColourAgain) {
    QWidget parent;
    QPalette blue = parent.palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    parent.setPalette(blue);
    auto* label = new QLabel(QStringLiteral("Not Calibrated! MMMM"), &parent);
    (new QVBoxLayout(&parent))->addWidget(label);
    parent.resize(200, 40);

    SetTextRed(label, true);
    EXPECT_GT(PixelsNear(label->grab().toImage(), Qt::red), 10);
    EXPECT_EQ(PixelsNear(label->grab().toImage(), Qt::blue), 0);

    SetTextRed(label, false);
    EXPECT_EQ(PixelsNear(label->grab().toImage(), Qt::red), 0);
    EXPECT_GT(PixelsNear(label->grab().toImage(), Qt::blue), 10);

    QPalette green = parent.palette();
    green.setColor(QPalette::WindowText, QColor(0, 160, 0));
    parent.setPalette(green);
    EXPECT_GT(PixelsNear(label->grab().toImage(), QColor(0, 160, 0)), 10);
}

// The caption begins within a few pixels of the button's left edge at any width, where a
// plain button centres it.
TEST(LeftAlignedButtonTest, TheCaptionStandsAtTheLeftEdge) {
    for (const int width : {160, 320, 500}) {
        LeftAlignedButton left(QStringLiteral("Set Width"));
        QPushButton centred(QStringLiteral("Set Width"));
        for (QPushButton* b : {static_cast<QPushButton*>(&left), &centred})
            b->resize(width, 28);
        const auto [leftFirst, leftLast] = DarkColumns(left.grab().toImage());
        const auto [centredFirst, centredLast] = DarkColumns(centred.grab().toImage());
        SCOPED_TRACE(width);
        EXPECT_LT(leftFirst, 14);
        EXPECT_EQ(leftLast - leftFirst, centredLast - centredFirst); // the whole caption
        EXPECT_GT(centredFirst, width / 2 - (centredLast - centredFirst));
    }
}
