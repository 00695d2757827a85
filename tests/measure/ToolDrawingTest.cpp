// The rectangle a drawing routine returns is what the window repaints: a pixel changed
// outside it would stay stale on screen.

#include "measure/ToolDrawing.h"
#include "measure/ToolGeometry.h"

#include <QImage>
#include <QPen>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The measuring pen as the window makes it.
QPen Pen(int width) {
    TMainFields Main;
    Main.MeasurePenColor = 0x281EC8;
    Main.MeasurePenWidth = width;
    return MeasurePen(Main);
}

// Every pixel that differs between before and after, outside returned.
int ChangedOutside(const QImage& before, const QImage& after, QRect returned) {
    int outside = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y) && !returned.contains(x, y))
                ++outside;
    return outside;
}

struct Drawing {
    const char* name;
    std::function<QRect(QImage&, const QPen&)> draw;
};

} // namespace

TEST(ToolDrawing, EveryChangedPixelLiesInsideTheReturnedRectangle) {
    const ArrowShape arrow = *ArrowGeometry(QPoint(70, 20), QPoint(15, 80), 0);
    const CurvatureResult arc = *MeasureCurvatureGeometry(
        ChordBisectorOf(QPoint(20, 60), QPoint(80, 55), 100), QPoint(52, 30));
    const Drawing drawings[] = {
        {"line",
         [](QImage& i, const QPen& p) {
             return PaintLine(i, {10, 12}, {83, 71}, p);
         }},
        {"steep line",
         [](QImage& i, const QPen& p) {
             return PaintLine(i, {50, 5}, {52, 90}, p);
         }},
        {"short line",
         [](QImage& i, const QPen& p) {
             return PaintLine(i, {40, 40}, {41, 41}, p);
         }},
        {"line past the edge",
         [](QImage& i, const QPen& p) {
             return PaintLine(i, {-5, 30}, {104, 96}, p);
         }},
        {"ellipse",
         [](QImage& i, const QPen& p) { return PaintEllipse(i, QRect(20, 25, 50, 31), p); }},
        {"dot",
         [](QImage& i, const QPen& p) {
             return PaintDot(i, {33, 47}, p);
         }},
        {"filled arrow", [&](QImage& i, const QPen& p) { return PaintArrow(i, arrow, p, true); }},
        {"open arrow", [&](QImage& i, const QPen& p) { return PaintArrow(i, arrow, p, false); }},
        {"arc", [&](QImage& i, const QPen& p) { return PaintArc(i, arc, p); }},
    };
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32})
        for (const Drawing& drawing : drawings)
            for (const int width : {1, 4, 8}) {
                QImage image(100, 100, format);
                image.fill(Qt::white);
                const QImage before = image.copy();
                const QRect returned = drawing.draw(image, Pen(width));
                EXPECT_NE(image, before) << drawing.name << " drew nothing";
                EXPECT_EQ(ChangedOutside(before, image, returned), 0)
                    << drawing.name << " at pen " << width << " returned " << returned.x() << ","
                    << returned.y() << " " << returned.width() << "x" << returned.height();
            }
}
