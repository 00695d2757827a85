#include "measure/DisplayGeometry.h"

#include "measure/DisplaySizes.h"

#include <gtest/gtest.h>

namespace {

int ItemFor(int length) {
    for (size_t i = 0; i < FotoSizeLengths.size(); ++i)
        if (FotoSizeLengths[i] == length)
            return int(i) + 2;
    return -1;
}

} // namespace

TEST(WorkImageSize, ItemsOnBoxesAndShapes) {
    struct Case {
        int item;
        QSize original, box;
        bool useWidth;
        QSize expected;
    };
    const Case cases[] = {
        {FotoSizeFitToWindow, {4000, 3000}, {1000, 600}, true, {796, 596}},
        {FotoSizeFitToWindow, {3000, 4000}, {1000, 600}, true, {446, 596}},
        {FotoSizeFitToWindow, {4000, 1000}, {1000, 600}, true, {996, 246}},
        {FotoSizeOriginal, {4000, 3000}, {1000, 600}, true, {4000, 3000}},
        {ItemFor(640), {4000, 3000}, {1000, 600}, false, {853, 640}},
        {ItemFor(640), {4000, 3000}, {1000, 600}, true, {640, 480}},
        {ItemFor(1600), {6000, 4000}, {1000, 600}, true, {1600, 1067}},
        // Degenerate boxes and shapes clamp to one pixel instead of dividing by zero.
        {FotoSizeFitToWindow, {4000, 3000}, {0, 0}, true, {1, 1}},
        {FotoSizeFitToWindow, {4000, 3000}, {3, 3}, true, {1, 1}},
        {ItemFor(80), {10000, 1}, {1000, 600}, true, {80, 1}},
        {ItemFor(80), {1, 10000}, {1000, 600}, false, {1, 80}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WorkImageSize(c.item, c.original, c.box, c.useWidth), c.expected)
            << c.item << " " << c.original.width() << "x" << c.original.height();
}

TEST(FotoSizeItems, TwentyNineItemsWithTheWord) {
    const QStringList width = FotoSizeItems(true);
    ASSERT_EQ(width.size(), 29);
    EXPECT_EQ(width[0], "Original Size (G)");
    EXPECT_EQ(width[1], "Fit to Window (F)");
    EXPECT_EQ(width[2], "Width = 80");
    EXPECT_EQ(width[28], "Width = 4608");
    EXPECT_EQ(FotoSizeItems(false)[10], "Height = 640");
}

TEST(ResizeItemCaption, TheLongWordBeforeTheBlankAndEqualsSign) {
    struct Case {
        QString item;
        bool useWidth;
        QString expected;
    };
    const Case cases[] = {
        {"Width = 640", true, "Width in pixels = 640"},
        {"Width in pixels = 640", true, "Width in pixels = 640"}, // a second run
        {"Width in pixels = 640", false, "Height in pixels = 640"},
        {"Height = 4608", false, "Height in pixels = 4608"},
        {"Fit to Window (F)", true, "Fit to Window (F)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResizeItemCaption(c.item, c.useWidth), c.expected) << c.item.toStdString();
    EXPECT_EQ(ImgWidthLabelCaption(true), "Set Image Width in pixels:");
    EXPECT_EQ(ImgWidthLabelCaption(false), "Set Image Height in pixels:");
}
