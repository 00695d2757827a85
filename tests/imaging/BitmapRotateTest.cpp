#include "imaging/BitmapRotate.h"
#include "imaging/Bitmap.h"

#include "ImageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

QImage RandomBitmap(int w, int h, QImage::Format format, unsigned seed) {
    QImage image = NewBitmap(w, h, format);
    std::mt19937 random(seed);
    const int bytes = image.depth() / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * bytes; ++x)
            image.scanLine(y)[x] = (bytes == 4 && x % 4 == 3) ? 0xFF : uchar(random());
    return image;
}

using imagetest::SamePixels;

const uchar* Pixel(const QImage& image, int x, int y) {
    return image.constScanLine(y) + x * (image.depth() / 8);
}

struct Size {
    int w, h;
};
// 1-pixel images, odd and prime sizes, and sizes that cross the tile edges.
constexpr Size Sizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {13, 5}, {64, 64}, {131, 67}, {67, 200}};
constexpr QImage::Format Formats[] = {Bitmap24Format, Bitmap32Format};

} // namespace

TEST(Rotate, EveryPixelLandsWhereTheQuarterAndHalfTurnsPutIt) {
    for (QImage::Format format : Formats)
        for (Size s : Sizes) {
            const QImage src = RandomBitmap(s.w, s.h, format, unsigned(s.w * 7 + s.h));
            const int bytes = src.depth() / 8;
            QImage left = src, right = src, half = src;
            RotateLeft90(left);
            RotateRight90(right);
            Rotate180(half);
            ASSERT_EQ(left.size(), QSize(s.h, s.w));
            ASSERT_EQ(right.size(), QSize(s.h, s.w));
            ASSERT_EQ(half.size(), src.size());
            EXPECT_EQ(left.format(), format);
            for (int y = 0; y < s.h; ++y)
                for (int x = 0; x < s.w; ++x) {
                    const uchar* p = Pixel(src, x, y);
                    ASSERT_EQ(std::memcmp(Pixel(left, y, s.w - 1 - x), p, size_t(bytes)), 0)
                        << s.w << "x" << s.h << " left at " << x << "," << y;
                    ASSERT_EQ(std::memcmp(Pixel(right, s.h - 1 - y, x), p, size_t(bytes)), 0)
                        << s.w << "x" << s.h << " right at " << x << "," << y;
                    ASSERT_EQ(std::memcmp(Pixel(half, s.w - 1 - x, s.h - 1 - y), p, size_t(bytes)),
                              0)
                        << s.w << "x" << s.h << " half at " << x << "," << y;
                }
        }
}

TEST(Rotate, RoundTripsGiveBackTheOriginalPixels) {
    for (QImage::Format format : Formats)
        for (Size s : Sizes) {
            const QImage src = RandomBitmap(s.w, s.h, format, unsigned(s.w + 3 * s.h));
            QImage image = src.copy();
            for (int i = 0; i < 4; ++i)
                RotateLeft90(image);
            EXPECT_TRUE(SamePixels(image, src)) << "four lefts " << s.w << "x" << s.h;
            RotateLeft90(image);
            RotateRight90(image);
            EXPECT_TRUE(SamePixels(image, src)) << "left, right " << s.w << "x" << s.h;
            Rotate180(image);
            Rotate180(image);
            EXPECT_TRUE(SamePixels(image, src)) << "two half turns " << s.w << "x" << s.h;
        }
}

TEST(Rotate, ThreadCountDoesNotChangeTheResult) {
    const QImage src = RandomBitmap(517, 389, Bitmap24Format, 9);
    for (auto rotate : {RotateLeft90, RotateRight90, Rotate180}) {
        QImage one = src.copy(), many = src.copy();
        rotate(one, 1);
        rotate(many, 7);
        EXPECT_TRUE(SamePixels(one, many));
    }
}

TEST(Rotate, LeavesSharedCopiesAloneAndSwapsTheResolution) {
    QImage src = RandomBitmap(5, 3, Bitmap24Format, 2);
    src.setDotsPerMeterX(1000);
    src.setDotsPerMeterY(2000);
    const QImage before = src.copy();
    QImage shared = src;
    RotateRight90(shared);
    Rotate180(src);
    QImage image = before;
    RotateLeft90(image);
    EXPECT_TRUE(SamePixels(before, RandomBitmap(5, 3, Bitmap24Format, 2)));
    EXPECT_EQ(shared.dotsPerMeterX(), 2000);
    EXPECT_EQ(shared.dotsPerMeterY(), 1000);
}

TEST(Rotate, OtherFormatsAreRotatedAs24BitAndNullStaysNull) {
    QImage gray(3, 2, QImage::Format_Grayscale8);
    gray.fill(77);
    RotateLeft90(gray);
    EXPECT_EQ(gray.format(), Bitmap24Format);
    EXPECT_EQ(gray.size(), QSize(2, 3));
    EXPECT_EQ(gray.pixel(1, 2), qRgb(77, 77, 77));
    QImage null;
    RotateLeft90(null);
    Rotate180(null);
    EXPECT_TRUE(null.isNull());
}
