#include "measure/XorDraw.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <cstring>
#include <random>

namespace {

// Every byte random, row padding included, so that a write into the padding shows.
QImage NoisyImage(int w, int h, QImage::Format format) {
    QImage image(w, h, format);
    std::mt19937 random(uint32_t(w * 1000 + h));
    uchar* bits = image.bits();
    for (qsizetype i = 0; i < image.sizeInBytes(); ++i)
        bits[i] = uchar(random());
    return image;
}

QByteArray AllBytes(const QImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
}

// The toggle of each byte of a pixel in memory order (blue, green, red; the fourth byte of
// a 32-bit pixel is never touched).
std::array<uchar, 4> ToggleBytes(QRgb colour) {
    if ((colour & 0xFFFFFF) == 0)
        return {0xFF, 0xFF, 0xFF, 0};
    return {uchar(qBlue(colour)), uchar(qGreen(colour)), uchar(qRed(colour)), 0};
}

struct Changes {
    int Count = 0;
    QRect Box;
};

// Compares the images pixel by pixel: each pixel must be unchanged or toggled exactly
// once (a pixel toggled twice would look unchanged, so callers also check coverage).
Changes ExpectToggledOrSame(const QImage& before, const QImage& after, QRgb colour) {
    const int bytes = before.depth() / 8;
    const std::array<uchar, 4> t = ToggleBytes(colour);
    Changes changes;
    for (int y = 0; y < before.height(); ++y) {
        const uchar* b = before.constScanLine(y);
        const uchar* a = after.constScanLine(y);
        for (int x = 0; x < before.width(); ++x) {
            const uchar* p = b + x * bytes;
            const uchar* q = a + x * bytes;
            if (std::memcmp(p, q, size_t(bytes)) == 0)
                continue;
            for (int i = 0; i < bytes; ++i)
                EXPECT_EQ(q[i], uchar(p[i] ^ t[size_t(i)])) << "pixel " << x << "," << y;
            ++changes.Count;
            changes.Box |= QRect(x, y, 1, 1);
        }
    }
    return changes;
}

bool Changed(const QImage& before, const QImage& after, int x, int y) {
    const int bytes = before.depth() / 8;
    return std::memcmp(before.constScanLine(y) + x * bytes, after.constScanLine(y) + x * bytes,
                       size_t(bytes)) != 0;
}

struct ShapeCase {
    const char* name;
    XorShape shape;
    QPoint a, b;
    bool visible; // on the 37 x 23 image
};

const ShapeCase Shapes[] = {
    {"line inside", XorShape::Line, {3, 4}, {30, 18}, true},
    {"line across top-left", XorShape::Line, {-10, -5}, {20, 15}, true},
    {"line across bottom-right", XorShape::Line, {20, 10}, {60, 40}, true},
    {"line with far ends", XorShape::Line, {-100000, -99990}, {100000, 100010}, true},
    {"line outside", XorShape::Line, {50, 50}, {80, 90}, false},
    {"line of one point", XorShape::Line, {5, 5}, {5, 5}, true},
    {"line on the last column", XorShape::Line, {36, -3}, {36, 30}, true},
    {"ellipse inside", XorShape::Ellipse, {5, 3}, {30, 20}, true},
    {"ellipse across every edge", XorShape::Ellipse, {-4, -3}, {40, 25}, true},
    {"ellipse around the image", XorShape::Ellipse, {-30, -30}, {66, 52}, false},
    {"huge circle through the image",
     XorShape::Ellipse,
     {18 - 200000, 11 - 100000},
     {18, 100011},
     true},
    {"tiny ellipse", XorShape::Ellipse, {10, 10}, {12, 12}, true},
    {"rectangle inside", XorShape::Rectangle, {2, 2}, {34, 20}, true},
    {"rectangle across the bottom", XorShape::Rectangle, {-5, 5}, {20, 40}, true},
    {"rectangle around the image", XorShape::Rectangle, {-10, -10}, {50, 40}, false},
    {"huge rectangle with a side inside", XorShape::Rectangle, {-90000, 7}, {90000, 90000}, true},
    {"rectangle of one pixel", XorShape::Rectangle, {10, 10}, {10, 10}, true},
};

const QRgb Colours[] = {0xFFFFFFFF, 0xFF000000, 0xFFFF0000, 0xFF123456};

} // namespace

TEST(XorDraw, DrawingTwiceRestoresEveryByte) {
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32})
        for (const ShapeCase& s : Shapes)
            for (const int penWidth : {1, 2, 3, 7})
                for (const QRgb colour : Colours) {
                    SCOPED_TRACE(testing::Message()
                                 << s.name << ", pen " << penWidth << ", colour " << std::hex
                                 << colour << ", format " << std::dec << int(format));
                    const QImage original = NoisyImage(37, 23, format);
                    QImage image = original;
                    const QRect drawn = XorDraw(image, s.shape, s.a, s.b, penWidth, colour);
                    const Changes changes = ExpectToggledOrSame(original, image, colour);
                    EXPECT_EQ(changes.Count > 0, s.visible);
                    EXPECT_EQ(drawn, changes.Box) << "the damaged rectangle is exact";
                    const QRect erased = XorDraw(image, s.shape, s.a, s.b, penWidth, colour);
                    EXPECT_EQ(erased, drawn);
                    EXPECT_EQ(AllBytes(image), AllBytes(original));
                }
}

TEST(XorDraw, OnePixelImage) {
    for (const ShapeCase& s : Shapes)
        for (const int penWidth : {1, 5}) {
            SCOPED_TRACE(testing::Message() << s.name << ", pen " << penWidth);
            const QImage original = NoisyImage(1, 1, QImage::Format_BGR888);
            QImage image = original;
            const QRect drawn = XorDraw(image, s.shape, s.a, s.b, penWidth, 0xFF00FF00);
            EXPECT_TRUE(QRect(0, 0, 1, 1).contains(drawn) || drawn.isEmpty());
            XorDraw(image, s.shape, s.a, s.b, penWidth, 0xFF00FF00);
            EXPECT_EQ(AllBytes(image), AllBytes(original));
        }
}

TEST(XorDraw, LineTogglesExactlyThePixelsUnderIt) {
    struct Case {
        QRgb colour;
        std::array<uchar, 3> bgrToggle;
    };
    const Case cases[] = {
        {0xFFFF0000, {0, 0, 0xFF}}, // red is the third byte of a BGR888 pixel
        {0xFF0000FF, {0xFF, 0, 0}},
        {0xFF000000, {0xFF, 0xFF, 0xFF}}, // black inverts
        {0xFF102030, {0x30, 0x20, 0x10}},
    };
    for (const auto& c : cases) {
        const QImage original = NoisyImage(37, 23, QImage::Format_BGR888);
        QImage image = original;
        EXPECT_EQ(XorLine(image, {2, 5}, {30, 5}, 1, c.colour), QRect(2, 5, 29, 1));
        for (int x = 2; x <= 30; ++x)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(image.constScanLine(5)[x * 3 + i],
                          uchar(original.constScanLine(5)[x * 3 + i] ^ c.bgrToggle[size_t(i)]))
                    << std::hex << c.colour << std::dec << " x " << x << " byte " << i;
        EXPECT_EQ(ExpectToggledOrSame(original, image, c.colour).Count, 29);
    }
}

TEST(XorDraw, OverlappingStrokesToggleEachPixelOnce) {
    // Strokes that overlap themselves: every covered pixel is toggled, none twice.
    struct Case {
        const char* name;
        XorShape shape;
        QPoint a, b;
        int penWidth;
        QPoint inside[3];
    };
    const Case cases[] = {
        {"thick short line", XorShape::Line, {10, 10}, {12, 10}, 7, {{11, 10}, {11, 12}, {10, 8}}},
        {"thick line of one point",
         XorShape::Line,
         {10, 10},
         {10, 10},
         5,
         {{10, 10}, {9, 9}, {11, 11}}},
        {"tiny ellipse", XorShape::Ellipse, {10, 10}, {12, 12}, 5, {{9, 9}, {12, 12}, {11, 8}}},
        {"tiny rectangle",
         XorShape::Rectangle,
         {10, 10},
         {11, 11},
         5,
         {{10, 10}, {11, 11}, {10, 11}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage original = NoisyImage(37, 23, QImage::Format_BGR888);
        QImage image = original;
        XorDraw(image, c.shape, c.a, c.b, c.penWidth, 0xFFFFFFFF);
        ExpectToggledOrSame(original, image, 0xFFFFFFFF);
        for (const QPoint p : c.inside)
            EXPECT_TRUE(Changed(original, image, p.x(), p.y())) << p.x() << "," << p.y();
        XorDraw(image, c.shape, c.a, c.b, c.penWidth, 0xFFFFFFFF);
        EXPECT_EQ(AllBytes(image), AllBytes(original));
    }
}

TEST(XorDraw, OtherFormatsAndEmptyImagesAreLeftAlone) {
    QImage argb = NoisyImage(37, 23, QImage::Format_ARGB32);
    const QByteArray before = AllBytes(argb);
    EXPECT_TRUE(XorLine(argb, {0, 0}, {30, 20}, 3, 0xFFFFFFFF).isEmpty());
    EXPECT_EQ(AllBytes(argb), before);
    QImage none;
    EXPECT_TRUE(XorLine(none, {0, 0}, {30, 20}, 3, 0xFFFFFFFF).isEmpty());
}

TEST(XorDraw, EllipseBoundsAreTheOutlinesSpan) {
    // A circle of radius 5 about (18, 11), as the circle band draws it.
    const QImage original = NoisyImage(37, 23, QImage::Format_BGR888);
    QImage image = original;
    EXPECT_EQ(XorEllipse(image, QRect(13, 6, 10, 10), 1, 0xFFFFFFFF), QRect(13, 6, 11, 11));
    for (const QPoint p : {QPoint(13, 11), QPoint(23, 11), QPoint(18, 6), QPoint(18, 16)})
        EXPECT_TRUE(Changed(original, image, p.x(), p.y())) << p.x() << "," << p.y();
    EXPECT_FALSE(Changed(original, image, 18, 11));
}

TEST(XorDraw, TogglesWhatQPainterPaintsForTheSameOutline) {
    // Lines and rectangles: the mask is cleared and read only near the outline; a pixel
    // that QPainter paints outside those spans would be lost. Ellipses are computed, not
    // painted: they keep QPainter's outline to within a pixel.
    struct Case {
        const char* name;
        XorShape shape;
        QPoint a, b;
        int reach = 0; // how far from a painted pixel a toggled one may be, and back
    };
    const Case cases[] = {
        {"steep line", XorShape::Line, {10, 5}, {30, 290}},
        {"shallow line", XorShape::Line, {5, 150}, {395, 160}},
        {"line across a corner", XorShape::Line, {-20, 250}, {60, 320}},
        {"circle", XorShape::Ellipse, {60, 10}, {340, 290}, 1},
        {"flat ellipse", XorShape::Ellipse, {10, 140}, {390, 152}, 1},
        {"narrow ellipse", XorShape::Ellipse, {195, 5}, {203, 295}, 1},
        {"ellipse across the edges", XorShape::Ellipse, {-100, -50}, {250, 200}, 1},
        {"huge circle through the image",
         XorShape::Ellipse,
         {200 - 200000, 150 - 100000},
         {200, 100150},
         2}, // QPainter's own curve strays from the true one here
        {"rectangle", XorShape::Rectangle, {20, 30}, {380, 270}},
        {"flat rectangle", XorShape::Rectangle, {20, 30}, {380, 33}},
    };
    for (const auto& c : cases)
        for (const int penWidth : {1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << c.name << ", pen " << penWidth);
            QImage painted(400, 300, QImage::Format_ARGB32_Premultiplied);
            painted.fill(0);
            {
                QPainter painter(&painted);
                const bool rectangle = c.shape == XorShape::Rectangle;
                painter.setPen(QPen(Qt::black, penWidth, Qt::SolidLine,
                                    rectangle ? Qt::SquareCap : Qt::RoundCap,
                                    rectangle ? Qt::MiterJoin : Qt::RoundJoin));
                const QRectF box = QRectF(QPointF(c.a), QPointF(c.b)).normalized();
                QPainterPath ellipse;
                ellipse.addEllipse(box);
                if (c.shape == XorShape::Line)
                    painter.drawLine(QLineF(c.a, c.b));
                else if (rectangle)
                    painter.drawRect(box);
                else if (box.width() > 10000)
                    painter.drawPath(ellipse);
                else
                    painter.drawEllipse(box);
            }
            const QImage original = NoisyImage(400, 300, QImage::Format_BGR888);
            QImage image = original;
            XorDraw(image, c.shape, c.a, c.b, penWidth, 0xFFFFFFFF);
            const auto toggled = [&](int x, int y) { return Changed(original, image, x, y); };
            const auto paints = [&](int x, int y) { return painted.pixel(x, y) != 0; };
            // Whether a pixel within `reach` of (x, y) is set.
            const auto near = [](auto set, int x, int y, int reach) {
                for (int dy = -reach; dy <= reach; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx)
                        if (x + dx >= 0 && x + dx < 400 && y + dy >= 0 && y + dy < 300 &&
                            set(x + dx, y + dy))
                            return true;
                return false;
            };
            const int reach = c.reach;
            int differences = 0;
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 400; ++x)
                    differences += (toggled(x, y) && !near(paints, x, y, reach)) ||
                                   (paints(x, y) && !near(toggled, x, y, reach));
            EXPECT_EQ(differences, 0);
        }
}

TEST(XorDraw, CircleTogglesThePixelsWithinHalfThePenOfIt) {
    // Pixels are points at their coordinates: a pixel is on the outline when its distance
    // from the circle is at most half the pen's width.
    struct Case {
        QRect bounds; // as the circle band passes it
        int penWidth;
    };
    const Case cases[] = {
        {{40, 30, 100, 100}, 1}, {{40, 30, 100, 100}, 3}, {{41, 30, 99, 99}, 1},
        {{41, 30, 99, 99}, 2},   {{80, 70, 2, 2}, 7},     {{-300, -100, 400, 400}, 3},
        {{60, 50, 0, 0}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bounds " << c.bounds.x() << "," << c.bounds.y()
                                        << " size " << c.bounds.width() << ", pen " << c.penWidth);
        const QImage original = NoisyImage(200, 160, QImage::Format_RGB32);
        QImage image = original;
        XorEllipse(image, c.bounds, c.penWidth, 0xFFFFFFFF);
        const double cx = c.bounds.x() + c.bounds.width() / 2.0;
        const double cy = c.bounds.y() + c.bounds.height() / 2.0;
        const double radius = c.bounds.width() / 2.0;
        int wrong = 0, toggled = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const double away = std::abs(std::hypot(x - cx, y - cy) - radius);
                const bool changed = Changed(original, image, x, y);
                toggled += changed;
                wrong += changed != (away <= c.penWidth / 2.0);
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(toggled, 0);
    }
}
