#include "measure/ScaleBar.h"

#include <QFontMetrics>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

const QString Um = QString::fromUtf8("µm");
const QString Mm = QStringLiteral("mm");
const QString Mil = QStringLiteral("mil");

TEST(ScaleBar, LengthFromMenuTagAndText) {
    struct Case {
        int tag;
        QString unit;
        int length;
        QString text;
    };
    const Case cases[] = {
        {5, Um, 5, QString::fromUtf8("5 µm")},    {50, Um, 50, QString::fromUtf8("50 µm")},
        {5, Mm, 0, QStringLiteral("0.5 mm")},     {10, Mm, 1, QStringLiteral("1 mm")},
        {500, Mil, 50, QStringLiteral("50 mil")}, {20, Mil, 2, QStringLiteral("2 mil")},
    };
    for (const Case& c : cases) {
        const int length = ScaleLengthFromTag(c.tag, c.unit);
        EXPECT_EQ(length, c.length) << c.tag;
        EXPECT_EQ(ScaleText(length, c.unit), c.text) << c.tag;
    }
    EXPECT_EQ(ScaleLengthValue(0), 0.5);
}

TEST(ScaleBar, TickIntervalTable) {
    struct Case {
        int divisions;
        int length;
        QString unit;
        double interval;
    };
    const Case cases[] = {
        {0, 500, Um, 100},
        {0, 100, Um, 20},
        {0, 50, Um, 10},
        {0, 10, Um, 5},
        {0, 50, Mil, 1},
        {1, 50, Um, 1},
        {1, 2, Mil, 0.1},
        {2, 5, Um, 5},
        {2, 5, Mm, 1},
        {2, 5, Mil, 0.2},
        {2, 0, Mm, 1},
        {2, 20, Um, 2},
        {3, 50, Um, 5},
        {4, 50, Um, 10},
        {5, 50, Um, 20},
        {6, 50, Um, 25},
        {7, 500, Um, 50},
        {8, 500, Um, 100},
        {9, 500, Um, 200},
        {10, 500, Um, 250},
        // Outside the range: Auto, never an interval of 0.
        {11, 500, Um, 100},
        {-1, 50, Um, 10},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(TickInterval(c.divisions, c.length, c.unit), c.interval)
            << c.divisions << " " << c.length;
}

TEST(ScaleBar, TicksAreMultiplesOfTheIntervalUpToTheLength) {
    // Tenths of a mil over 2 mil: added up they would drift and stop at 1.9.
    const auto tenths = TickPositions(2.0, 0.1);
    ASSERT_EQ(tenths.size(), 21u);
    EXPECT_DOUBLE_EQ(tenths.front(), 0);
    EXPECT_DOUBLE_EQ(tenths.back(), 2.0);
    EXPECT_DOUBLE_EQ(tenths[7], 0.7);

    EXPECT_EQ(TickPositions(500, 200), (std::vector<double>{0, 200, 400}));
    EXPECT_EQ(TickPositions(0.5, 5), (std::vector<double>{0, 0.5}));
    EXPECT_EQ(TickPositions(50, 0), (std::vector<double>{0, 50}));
}

TEST(ScaleBar, TextStateMachine) {
    struct Case {
        int state;
        bool show;
        bool shown;
        int next;
    };
    const Case cases[] = {
        {0, true, true, 1}, {0, false, false, 0}, {1, false, true, 2},
        {1, true, true, 2}, {2, true, false, 1},  {2, false, false, 1},
    };
    for (const Case& c : cases) {
        const ScaleTextStep step = NextScaleTextState(c.state, c.show);
        EXPECT_EQ(step.Shown, c.shown) << c.state << c.show;
        EXPECT_EQ(step.State, c.next) << c.state << c.show;
        // A colour toggle pre-flips so the re-render keeps the text as it was.
        if (c.state != 0) {
            EXPECT_EQ(NextScaleTextState(PreFlipScaleTextState(c.state, c.show), c.show).Shown,
                      c.state == 2);
        }
    }
    EXPECT_EQ(ToggledScalePenColour(0x0000FF), 0u);
    EXPECT_EQ(ToggledScalePenColour(0xFFFFFF), 0u);
    EXPECT_EQ(ToggledScalePenColour(0), 0xFFFFFFu);
    EXPECT_EQ(ScaleKeyColour(Qt::black), QColor(128, 128, 128));
    EXPECT_EQ(ScaleKeyColour(QColor(128, 128, 128)), QColor(160, 160, 164));
}

TMainSettings BarSettings() {
    TMainSettings s;
    s.LengthUnit = Um;
    s.ScaleType = 1;
    s.ScaleAsPercentage = false;
    s.ScaleWidthPx = 4;
    s.ScaleTextHeightPx = 20;
    s.ScaleTransparent = true;
    s.ShowScaleText = true;
    s.ScalePenColor = 0;
    return s;
}

// Columns of the bitmap that hold the pen colour in row y.
std::vector<int> PenColumns(const QImage& image, int y, QRgb pen) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == pen)
            columns.push_back(x);
    return columns;
}

TEST(ScaleBar, BarOfExactLengthOnTheKeyColour) {
    const TMainSettings s = BarSettings();
    const ScaleBarImage bar = RenderScaleBitmap(s, 50, 0, 0.5, {1000, 750});
    ASSERT_EQ(bar.Refusal, ScaleRefusal::None);
    EXPECT_DOUBLE_EQ(bar.PixelLength, 100);
    EXPECT_EQ(bar.Image.width(), 108);
    ASSERT_TRUE(bar.Key);
    const int barRow = bar.Image.height() - 4 - 1;
    const auto columns = PenColumns(bar.Image, barRow, qRgb(0, 0, 0));
    ASSERT_EQ(columns.size(), 100u);
    EXPECT_EQ(columns.front(), 4);
    EXPECT_EQ(columns.back(), 103);
    // Four rows of bar, nothing below it, the rest clear; the text has no grey edge.
    EXPECT_EQ(PenColumns(bar.Image, barRow - 3, qRgb(0, 0, 0)).size(), 100u);
    EXPECT_TRUE(PenColumns(bar.Image, barRow - 4, qRgb(0, 0, 0)).empty());
    EXPECT_EQ(qAlpha(bar.Image.pixel(0, bar.Image.height() - 1)), 0);
    for (int y = 0; y < bar.Image.height(); ++y)
        for (int x = 0; x < bar.Image.width(); ++x) {
            const QRgb p = bar.Image.pixel(x, y);
            EXPECT_TRUE(qAlpha(p) == 0 || p == qRgb(0, 0, 0)) << x << "," << y;
        }
}

TEST(ScaleBar, RefusalsAndBackgrounds) {
    TMainSettings s = BarSettings();
    EXPECT_EQ(RenderScaleBitmap(s, 50, 0, 0, {1000, 750}).Refusal, ScaleRefusal::NotCalibrated);
    // Exactly the image's width is accepted, a pixel more refused.
    EXPECT_EQ(RenderScaleBitmap(s, 500, 0, 0.5, {1000, 750}).Refusal, ScaleRefusal::None);
    EXPECT_EQ(RenderScaleBitmap(s, 500, 0, 0.5, {999, 750}).Refusal, ScaleRefusal::WiderThanImage);
    s.ScaleTransparent = false;
    s.ScalePenColor = 0xFFFFFF;
    const ScaleBarImage white = RenderScaleBitmap(s, 50, 0, 0.5, {1000, 750});
    EXPECT_FALSE(white.Key);
    EXPECT_EQ(white.Image.pixel(0, 0), qRgb(0, 0, 0));
    s.ScalePenColor = 0x0000FF;
    EXPECT_EQ(RenderScaleBitmap(s, 50, 0, 0.5, {1000, 750}).Image.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(ScaleBar, MillimetresAndMilsConvertTheCalibration) {
    TMainSettings s = BarSettings();
    s.LengthUnit = Mm;
    // 0.5 mm at 1 µm per pixel: 500 pixels.
    EXPECT_DOUBLE_EQ(RenderScaleBitmap(s, 0, 0, 1.0, {1000, 750}).PixelLength, 500);
    s.LengthUnit = Mil;
    EXPECT_DOUBLE_EQ(RenderScaleBitmap(s, 2, 0, 0.254, {1000, 750}).PixelLength, 200);
}

TEST(ScaleBar, RulerTicks) {
    TMainSettings s = BarSettings();
    s.ScaleType = 2;
    s.ScaleWidthPx = 1;
    s.ScaleDivisions = 9;
    s.ShowScaleText = false;
    const ScaleBarImage ruler = RenderScaleBitmap(s, 500, 0, 1.0, {1000, 750});
    ASSERT_EQ(ruler.Refusal, ScaleRefusal::None);
    const int x0 = 0 + 0 + 4;
    EXPECT_EQ(ruler.TickX, (std::vector<int>{x0, x0 + 200, x0 + 400}));
    // The base line ends at the last tick, its end pixel drawn.
    const int baseY = ruler.Image.height() - 1 - 4;
    const auto base = PenColumns(ruler.Image, baseY, qRgb(0, 0, 0));
    ASSERT_FALSE(base.empty());
    EXPECT_EQ(base.front(), x0);
    EXPECT_EQ(base.back(), x0 + 400);
    EXPECT_EQ(base.size(), 401u);
    EXPECT_EQ(PenColumns(ruler.Image, baseY - 1, qRgb(0, 0, 0)), (std::vector<int>{4, 204, 404}));

    s.LengthUnit = Mil;
    s.ScaleDivisions = 1;
    const ScaleBarImage mil = RenderScaleBitmap(s, 2, 0, 0.254, {1000, 750});
    ASSERT_EQ(mil.TickX.size(), 21u);
    EXPECT_EQ(mil.TickX.back() - mil.TickX.front(), 200);
}

// In per mille the ruler's line width is worked out from the thickness t, itself already
// per mille of the image height: round(H x t / 1000) with t = H x ScaleWidthPromil div 1000.
TEST(ScaleBar, RulerLineWidthInPerMille) {
    struct Case {
        int height, promil, lineWidth;
    };
    const Case cases[] = {
        {750, 20, 11},  // t 15: 11.25
        {2000, 10, 40}, // t 20
        {500, 4, 1},    // t 2: 1.0
        {300, 5, 1},    // t 1: 0.3, at least 1
        {2500, 1, 5},   // t 2: 5.0
        {1000, 25, 25}, // t 25: 25.0
    };
    for (const Case& c : cases) {
        TMainSettings s = BarSettings();
        s.ScaleType = 2;
        s.ScaleAsPercentage = true;
        s.ScaleWidthPromil = c.promil;
        s.ScaleTextHeightPromil = 20;
        s.ScaleDivisions = 9; // ticks at 0, 200 and 400
        s.ShowScaleText = false;
        const ScaleBarImage ruler = RenderScaleBitmap(s, 500, 0, 1.0, {1000, c.height});
        ASSERT_EQ(ruler.Refusal, ScaleRefusal::None) << c.height;
        ASSERT_EQ(ruler.TickX.size(), 3u);
        // Between two ticks a column crosses only the base line.
        const int column = (ruler.TickX[0] + ruler.TickX[1]) / 2;
        int rows = 0;
        for (int y = 0; y < ruler.Image.height(); ++y)
            rows += ruler.Image.pixel(column, y) == qRgb(0, 0, 0);
        EXPECT_EQ(rows, c.lineWidth) << c.height << " at " << c.promil;
    }
}

// Opaque pixels of rows [0, rows) of an image.
int OpaquePixels(const QImage& image, int rows) {
    int count = 0;
    for (int y = 0; y < std::min(rows, image.height()); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) == 255;
    return count;
}

TEST(ScaleBar, TheRulersTextIsNeverCutOff) {
    struct Case {
        int length;
        double micrometresPerPixel;
        int lineWidth;
    };
    // Text wider than the ruler, and a ruler a little wider than its text.
    const Case cases[] = {{5, 0.5, 1},   {5, 0.5, 4},  {50, 1.0, 1},
                          {50, 0.75, 1}, {50, 0.5, 4}, {100, 0.5, 1}};
    for (const Case& c : cases) {
        TMainSettings s = BarSettings();
        s.ScaleType = 2;
        s.ScaleWidthPx = c.lineWidth;
        const ScaleBarImage ruler =
            RenderScaleBitmap(s, c.length, 0, c.micrometresPerPixel, {1000, 750});
        ASSERT_EQ(ruler.Refusal, ScaleRefusal::None);
        ASSERT_TRUE(ruler.Text.Shown);
        // The same text drawn alone, with room on both sides.
        QFont font = s.ScaleFont.ToQFont();
        font.setPixelSize(s.ScaleTextHeightPx);
        font.setStyleStrategy(QFont::NoAntialias);
        const QFontMetrics metrics(font);
        const QString text = ScaleText(c.length, s.LengthUnit);
        const int tw = metrics.horizontalAdvance(text);
        QImage alone(tw + 40, metrics.height(), QImage::Format_ARGB32);
        alone.fill(0);
        QPainter painter(&alone);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(20, 0, tw, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
        painter.end();
        // Above the ticks the ruler's bitmap holds only its text.
        const int ticksTop = ruler.Image.height() - 3 * c.lineWidth - 4;
        ASSERT_GE(ticksTop, metrics.height());
        EXPECT_EQ(OpaquePixels(ruler.Image, ticksTop), OpaquePixels(alone, alone.height()))
            << c.length << " at " << c.micrometresPerPixel << ", width " << ruler.Image.width()
            << ", text " << tw;
    }
}

TEST(ScaleBar, Placement) {
    struct Case {
        int position;
        QPoint scale;
        QPoint label;
    };
    // Image 1000 x 750, overlay 108 x 40, margin 6.
    const Case cases[] = {
        {0, {6, 704}, {5, 705}},
        {1, {446, 704}, {446, 705}},
        {2, {886, 704}, {887, 705}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScalePlacement(c.position, {1000, 750}, {108, 40}, 6), c.scale) << c.position;
        EXPECT_EQ(LabelPlacement(c.position, {1000, 750}, {108, 40}), c.label) << c.position;
    }
}

TEST(ScaleBar, ClampingAndCentreSnap) {
    struct Case {
        QPoint at;
        QRect visible;
        int margin;
        QPoint held;
    };
    const QSize image(1000, 750), overlay(100, 40);
    const Case cases[] = {
        {{500, 300}, {0, 0, 1000, 750}, 5, {500, 300}},
        {{990, 740}, {0, 0, 1000, 750}, 5, {895, 705}},
        {{-20, -20}, {0, 0, 1000, 750}, 5, {5, 5}},
        {{-20, -20}, {0, 0, 1000, 750}, 0, {0, 0}},
        {{-20, 100}, {300, 200, 400, 300}, 6, {306, 206}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampOverlay(c.at, overlay, image, c.visible, c.margin), c.held) << c.at.x();
    // Width 1000: within 33 pixels of the centre.
    EXPECT_TRUE(NearImageCentre(450, 100, 1000));
    EXPECT_TRUE(NearImageCentre(450 + 32, 100, 1000));
    EXPECT_FALSE(NearImageCentre(450 + 33, 100, 1000));
    EXPECT_FALSE(NearImageCentre(450 - 33, 100, 1000));
}

TEST(ScaleBar, CompositeLeavesOutClearPixelsAndClips) {
    QImage image(20, 10, QImage::Format_BGR888);
    image.fill(QColor(10, 20, 30));
    QImage overlay(8, 8, QImage::Format_ARGB32);
    overlay.fill(0);
    overlay.setPixel(0, 0, qRgb(255, 0, 0));
    overlay.setPixel(7, 7, qRgb(0, 255, 0));
    const QRect changed = CompositeOverlay(image, overlay, {15, 5});
    EXPECT_EQ(changed, QRect(15, 5, 5, 5));
    EXPECT_EQ(image.pixel(15, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(16, 5), qRgb(10, 20, 30));
    EXPECT_TRUE(CompositeOverlay(image, overlay, {30, 30}).isEmpty());
    EXPECT_EQ(CompositeOverlay(image, overlay, {-4, -4}), QRect(0, 0, 4, 4));
}

TEST(ScaleBar, WrapAndCopyright) {
    struct Case {
        QString text;
        int limit;
        QString wrapped;
    };
    const Case cases[] = {
        {"one two three", 0, "one two three"},
        {"one two three", 20, "one two three"},
        {"one two three", 8, "one two \r\nthree"},
        {"one two three four", 8, "one two \r\nthree \r\nfour"},
        {"well-known fact", 7, "well-\r\nknown \r\nfact"},
        {"say \"a b c d\" now", 6, "say \r\n\"a b c d\" \r\nnow"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrapLabelText(c.text, c.limit), c.wrapped) << c.text.toStdString();
    EXPECT_EQ(WithCopyrightSign("(c) 2024 (c) Lab"), QString::fromUtf8("© 2024 (c) Lab"));
    EXPECT_EQ(ItalicPadded("x", true), "x ");
    EXPECT_EQ(ItalicPadded("x ", true), "x ");
    EXPECT_EQ(ItalicPadded("x", false), "x");
}

} // namespace
