#include "imaging/Bitmap.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/resource.h>

TEST(Bitmap, SizesOutsideTheLimitsAreRefusedBeforeAllocating) {
    EXPECT_EQ(NewBitmap(3, 2).format(), Bitmap24Format);
    for (auto [w, h] : {std::pair{0, 5}, {5, -1}, {70000, 1}, {60000, 60000}})
        EXPECT_THROW(NewBitmap(w, h), QuvarError) << w << "x" << h;
}

namespace {

long PageFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

void Fill(QImage& image, uchar value) {
    for (int y = 0; y < image.height(); ++y)
        std::memset(image.scanLine(y), value, size_t(image.bytesPerLine()));
}

} // namespace

// An image opened after another writes into the pages of the one freed before it, instead
// of faulting in 72 MB of fresh memory page by page.
TEST(Bitmap, ALargeBitmapTakesTheMemoryOfOneFreedBeforeIt) {
    {
        QImage first = NewBitmap(6000, 4000);
        Fill(first, 1);
    }
    for (int round = 0; round < 3; ++round) {
        const long before = PageFaults();
        QImage next = NewBitmap(6000, 4000);
        Fill(next, uchar(round));
        EXPECT_LT(PageFaults() - before, 100) << "round " << round;
        EXPECT_EQ(next.bytesPerLine(), 18000);
        EXPECT_EQ(next.constScanLine(3999)[17999], round);
    }
}

TEST(Bitmap, CopiesOfALargeBitmapKeepTheirOwnPixels) {
    QImage image = NewBitmap(4000, 3000, Bitmap32Format);
    image.fill(Qt::red);
    QImage copy = image;
    copy.setPixel(0, 0, qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(copy.pixel(0, 0), qRgb(0, 0, 255));
    image = QImage(); // the first block goes back while the copy lives on
    const QImage other = NewBitmap(4000, 3000, Bitmap32Format);
    EXPECT_NE(other.constBits(), copy.constBits());
    EXPECT_EQ(copy.pixel(3999, 2999), qRgb(255, 0, 0));
}
