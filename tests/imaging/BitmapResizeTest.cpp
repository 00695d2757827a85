#include "imaging/BitmapResize.h"
#include "imaging/Bitmap.h"

#include "ImageTestSupport.h"
#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

QImage RandomBitmap(int w, int h, QImage::Format format, unsigned seed) {
    QImage image = NewBitmap(w, h, format);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y) {
        uchar* line = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i)
            line[i] = uchar(random());
    }
    if (format == Bitmap32Format)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.scanLine(y)[4 * x + 3] = 0xFF;
    return image;
}

// Flat 2 x 2 blocks of every byte value, which put many half-size area sums near a rounding
// tie: a flat 250 sums to 249.50025.
QImage FlatBlocks(int w, int h, QImage::Format format) {
    QImage image = NewBitmap(w, h, format);
    const int bytes = image.depth() / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bytes; ++c)
                image.scanLine(y)[x * bytes + c] =
                    c == 3 ? 0xFF : uchar((x / 2 + 7 * (y / 2) + 85 * c) % 256);
    return image;
}

QImage Flat(int w, int h, QImage::Format format, uchar value) {
    QImage image = NewBitmap(w, h, format);
    for (int y = 0; y < h; ++y)
        std::memset(image.scanLine(y), value, size_t(image.bytesPerLine()));
    return image;
}

using imagetest::SamePixels;

// Byte c of pixel (x, y) of a 24-bit bitmap.
int At(const QImage& image, int x, int y, int c = 0) {
    return image.constScanLine(y)[x * (image.depth() / 8) + c];
}

// The bilinear resize written the plain way, pixel by pixel, to compare the fast one with.
QImage PlainBilinear(const QImage& src, int dw, int dh) {
    auto mulDiv = [](uint64_t a, uint64_t b, uint64_t c) { return uint32_t((a * b + c / 2) / c); };
    const int sw = src.width(), sh = src.height();
    QImage out = NewBitmap(dw, dh);
    const uint32_t xstep = mulDiv(uint32_t(sw - 1), 65536, uint32_t(dw));
    const uint32_t ystep = mulDiv(uint32_t(sh - 1), 65536, uint32_t(dh));
    uint32_t y = 0;
    for (int j = 0; j < dh; ++j, y += ystep) {
        const int sy = int(y >> 16);
        const uchar* a = src.constScanLine(sy);
        const uchar* b = src.constScanLine(sy < sh - 1 ? sy + 1 : sy);
        const uint32_t fy = y & 0xFFFF, wa = 65536 - fy, wb = fy + 1;
        uint32_t x = 0;
        for (int i = 0; i < dw; ++i, x += xstep) {
            const int sx = int(x >> 16);
            const int sx1 = sx < sw - 1 ? sx + 1 : sx;
            const uint32_t fx = x & 0xFFFF;
            const uint32_t w2 = mulDiv(fx, wa, 65536), w1 = wa - w2;
            const uint32_t w4 = mulDiv(fx, wb, 65536), w3 = wb - w4;
            for (int c = 0; c < 3; ++c)
                out.scanLine(j)[3 * i + c] = uchar((a[3 * sx + c] * w1 + a[3 * sx1 + c] * w2 +
                                                    b[3 * sx + c] * w3 + b[3 * sx1 + c] * w4) >>
                                                   16);
        }
    }
    return out;
}

// The area-average weight of source row or column `at` of a span [start, end) that covers
// first to last.
float PlainAreaWeight(float start, float end, int first, int last, int at, float scale) {
    float w = 1.0f;
    if (at == first)
        w = 1.0f - (start - float(first));
    if (at == last)
        w = w - (float(last + 1) - end);
    return std::max(w, 0.0f) / scale;
}

// The area average written the plain way: per destination pixel, its covered rows and
// columns in turn.
QImage PlainAreaAverage(const QImage& src, int dw, int dh) {
    const int sw = src.width(), sh = src.height();
    const float sx = float(sw) / float(dw), sy = float(sh) / float(dh);
    const auto weight = PlainAreaWeight;
    QImage out = NewBitmap(dw, dh, Bitmap32Format);
    for (int j = 0; j < dh; ++j) {
        const float y0 = float(j) * sy, y1 = std::min(y0 + 0.999f * sy, float(sh));
        const int top = int(y0), bottom = std::min(int(y1), sh - 1);
        for (int i = 0; i < dw; ++i) {
            const float x0 = float(i) * sx, x1 = std::min(x0 + 0.999f * sx, float(sw));
            const int left = int(x0), right = std::min(int(x1), sw - 1);
            float sum[3] = {0, 0, 0};
            for (int r = top; r <= bottom; ++r)
                for (int c = left; c <= right; ++c) {
                    // The pixel's weight in double precision, each term added to a float.
                    const double w = double(weight(y0, y1, top, bottom, r, sy)) *
                                     double(weight(x0, x1, left, right, c, sx));
                    for (int k = 0; k < 3; ++k)
                        sum[k] = float(double(sum[k]) + w * src.constScanLine(r)[4 * c + k]);
                }
            for (int k = 0; k < 3; ++k)
                out.scanLine(j)[4 * i + k] = uchar(std::nearbyint(sum[k]));
            out.scanLine(j)[4 * i + 3] = 0xFF;
        }
    }
    return out;
}

// A 32-bit source for a half-size area average whose blue sums lie on a rounding tie or
// next to one, where a quicker sum than the defined one can round the other way: the last
// pixel of every 2 x 2 block takes the blue value whose defined sum (formed as
// PlainAreaAverage forms it) comes nearest to a half.
QImage NearTieHalfSource(int dw, int dh, unsigned seed) {
    QImage src = RandomBitmap(2 * dw, 2 * dh, Bitmap32Format, seed);
    const float step = 2.0f;
    auto weights = [&](int index, int length) {
        const float start = float(index) * step;
        const float end = std::min(start + 0.999f * step, float(length));
        const int first = int(start), last = std::min(int(end), length - 1);
        return std::pair{PlainAreaWeight(start, end, first, last, 2 * index, step),
                         PlainAreaWeight(start, end, first, last, 2 * index + 1, step)};
    };
    for (int j = 0; j < dh; ++j) {
        const auto [top, bottom] = weights(j, 2 * dh);
        uchar* row0 = src.scanLine(2 * j);
        uchar* row1 = src.scanLine(2 * j + 1);
        for (int i = 0; i < dw; ++i) {
            const auto [left, right] = weights(i, 2 * dw);
            float sum = float(double(top) * double(left) * row0[8 * i]);
            sum = float(double(sum) + double(top) * double(right) * row0[8 * i + 4]);
            sum = float(double(sum) + double(bottom) * double(left) * row1[8 * i]);
            const double last = double(bottom) * double(right);
            double nearest = 1.0;
            for (int v = 0; v < 256; ++v) {
                const float total = float(double(sum) + last * v);
                const double off = std::abs(double(total) - std::floor(total) - 0.5);
                if (off < nearest) {
                    nearest = off;
                    row1[8 * i + 4] = uchar(v);
                }
            }
        }
    }
    return src;
}

// A bitmap whose last byte is followed by an inaccessible page: reading past the last
// row or column faults instead of passing unnoticed.
class GuardedBitmap {
public:
    GuardedBitmap(int w, int h, QImage::Format format, uchar value) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t stride = size_t(w) * size_t(QImage::toPixelFormat(format).bitsPerPixel() / 8);
        const size_t bytes = stride * size_t(h);
        size_ = (bytes + page - 1) / page * page + page;
        void* map =
            mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(map, MAP_FAILED);
        map_ = static_cast<uchar*>(map);
        mprotect(map_ + size_ - page, page, PROT_NONE);
        uchar* data = map_ + size_ - page - bytes;
        std::memset(data, value, bytes);
        image = QImage(data, w, h, qsizetype(stride), format);
    }
    ~GuardedBitmap() {
        image = QImage();
        munmap(map_, size_);
    }
    GuardedBitmap(const GuardedBitmap&) = delete;
    GuardedBitmap& operator=(const GuardedBitmap&) = delete;

    QImage image;

private:
    uchar* map_ = nullptr;
    size_t size_ = 0;
};

QImage TwoByTwo() {
    // Blue channel 10 250 / 90 170; green and red hold other values.
    QImage src = NewBitmap(2, 2);
    const uchar rows[2][6] = {{10, 1, 2, 250, 3, 4}, {90, 5, 6, 170, 7, 8}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(src.scanLine(y), rows[y], 6);
    return src;
}

QImage BilinearResized(const QImage& src, int w, int h, int threads = 0) {
    QImage out = NewBitmap(w, h);
    BilinearResize(src, out, threads);
    return out;
}

QImage AreaAverageResized(const QImage& src, int w, int h, int threads = 0) {
    QImage out = NewBitmap(w, h, Bitmap32Format);
    AreaAverageResize(src, out, threads);
    return out;
}

} // namespace

TEST(BilinearResize, TwoByTwoToFourByFourUsesTheFixedPointWeights) {
    QImage out = NewBitmap(4, 4);
    BilinearResize(TwoByTwo(), out);
    // xstep = ystep = 16384. Row 0: row A weighs 65536, row B 1. Row 1: fy = 16384.
    struct Case {
        int x, y;
        uint32_t w1, w2, w3, w4;
    };
    for (const Case& c :
         {Case{0, 0, 65536, 0, 1, 0}, Case{1, 0, 49152, 16384, 1, 0},
          Case{2, 0, 32768, 32768, 0, 1}, Case{3, 0, 16384, 49152, 0, 1},
          Case{0, 1, 49152, 0, 16385, 0}, Case{1, 1, 36864, 12288, 12289, 4096},
          Case{2, 1, 24576, 24576, 8192, 8193}, Case{3, 3, 4096, 12288, 12288, 36865}}) {
        const uint32_t expected = (10 * c.w1 + 250 * c.w2 + 90 * c.w3 + 170 * c.w4) >> 16;
        EXPECT_EQ(At(out, c.x, c.y), int(expected)) << c.x << "," << c.y;
    }
    EXPECT_EQ(At(out, 0, 0, 1), 1);
    EXPECT_EQ(At(out, 0, 0, 2), 2);
}

TEST(BilinearResize, FourByFourToTwoByTwo) {
    QImage src = NewBitmap(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 12; ++x)
            src.scanLine(y)[x] = uchar(16 * y + x);
    QImage out = NewBitmap(2, 2);
    BilinearResize(src, out);
    // xstep = ystep = 98304: pixel (1, 1) sits half way between columns 1, 2 and rows 1, 2,
    // with weights 16384, 16384, 16384, 16385.
    auto blue = [](int x, int y) { return uint32_t(16 * y + 3 * x); };
    const uint32_t expected =
        (blue(1, 1) * 16384 + blue(2, 1) * 16384 + blue(1, 2) * 16384 + blue(2, 2) * 16385) >> 16;
    EXPECT_EQ(At(out, 1, 1), int(expected));
    EXPECT_EQ(At(out, 0, 0), (0 * 65536 + 16 * 1) >> 16);
}

TEST(BilinearResize, MatchesThePlainFormulaAtOddAndPrimeSizes) {
    struct Case {
        int sw, sh, dw, dh;
    };
    for (const Case& c :
         {Case{1, 1, 5, 3}, Case{5, 3, 1, 1}, Case{1, 7, 4, 13}, Case{7, 1, 13, 2},
          Case{7, 5, 13, 11}, Case{13, 11, 7, 5}, Case{97, 89, 31, 211}, Case{640, 480, 211, 1031},
          Case{3, 3, 2, 2}, Case{600, 400, 300, 200}, Case{601, 401, 160, 107}}) {
        const QImage src = RandomBitmap(c.sw, c.sh, Bitmap24Format, unsigned(c.sw * 31 + c.dh));
        const QImage expected = PlainBilinear(src, c.dw, c.dh);
        for (int threads : {1, 3, 8}) {
            QImage out = NewBitmap(c.dw, c.dh);
            BilinearResize(src, out, threads);
            EXPECT_TRUE(SamePixels(out, expected))
                << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << ", " << threads;
        }
    }
}

TEST(BilinearResize, OnePixelWideSourceRepeatsItsColumn) {
    const QImage src = RandomBitmap(1, 9, Bitmap24Format, 5);
    const QImage out = BilinearResized(src, 6, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 1; x < 6; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(At(out, x, y, c), At(out, 0, y, c)) << x << "," << y;
    // Row 0 is source row 0 with weight 65536 and row 1 with weight 1.
    EXPECT_EQ(At(out, 0, 0), (At(src, 0, 0) * 65536 + At(src, 0, 1)) >> 16);
}

TEST(BilinearResize, SameSizeCopiesAndOtherFormatsBecome24Bit) {
    const QImage src = RandomBitmap(9, 4, Bitmap24Format, 7);
    QImage out = NewBitmap(9, 4, Bitmap32Format);
    BilinearResize(src, out);
    EXPECT_TRUE(SamePixels(out, src));
    EXPECT_NE(out.constBits(), src.constBits());

    QImage out32 = NewBitmap(5, 3);
    BilinearResize(src.convertToFormat(Bitmap32Format), out32);
    EXPECT_TRUE(SamePixels(out32, PlainBilinear(src, 5, 3)));
}

TEST(BilinearResize, ResizingIntoItselfReadsTheOriginal) {
    QImage image = RandomBitmap(6, 6, Bitmap24Format, 11);
    const QImage original = image.copy();
    BilinearResize(image, image);
    EXPECT_TRUE(SamePixels(image, original));
}

TEST(AreaAverageResize, WeightsCoverPointNineNineNineOfTheSpan) {
    // 4 x 4 to 2 x 2: columns and rows 0 and 2 weigh 0.5, 1 and 3 weigh 0.499.
    QImage src = Flat(4, 4, Bitmap32Format, 0);
    src.scanLine(0)[0] = 100;
    src.scanLine(0)[4] = 200;
    src.scanLine(1)[0] = 40;
    src.scanLine(2)[4 * 2 + 1] = 255;
    src.scanLine(3)[4 * 3 + 1] = 255;
    QImage out = NewBitmap(2, 2, Bitmap32Format);
    AreaAverageResize(src, out);
    EXPECT_EQ(At(out, 0, 0), 85);     // 100 x 0.25 + 200 x 0.2495 + 40 x 0.2495 = 84.88
    EXPECT_EQ(At(out, 1, 1, 1), 127); // 255 x 0.25 + 255 x 0.249001 = 127.25
    EXPECT_EQ(At(out, 0, 0, 3), 0xFF);

    // 2 x 2 to 4 x 4: every destination pixel takes 0.999 x 0.999 of one source pixel.
    QImage up = NewBitmap(4, 4, Bitmap32Format);
    AreaAverageResize(out, up);
    EXPECT_EQ(At(up, 0, 0), 85);     // 84.83
    EXPECT_EQ(At(up, 3, 3, 1), 127); // 126.75
    EXPECT_EQ(At(up, 2, 0, 1), 0);
}

TEST(Resize, FlatWhiteStaysWhiteBilinearAndLosesOneByAreaAverage) {
    struct Case {
        int sw, sh, dw, dh;
    };
    for (const Case& c : {Case{1, 1, 3, 2}, Case{4, 4, 2, 2}, Case{2, 2, 4, 4}, Case{13, 7, 5, 11},
                          Case{600, 400, 160, 107}, Case{64, 48, 205, 154}}) {
        const QImage bilinear = BilinearResized(Flat(c.sw, c.sh, Bitmap24Format, 255), c.dw, c.dh);
        const QImage area = AreaAverageResized(Flat(c.sw, c.sh, Bitmap32Format, 255), c.dw, c.dh);
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x)
                for (int k = 0; k < 3; ++k) {
                    ASSERT_EQ(At(bilinear, x, y, k), 255) << c.sw << "x" << c.sh;
                    ASSERT_EQ(At(area, x, y, k), 254) << c.sw << "x" << c.sh;
                }
    }
}

TEST(AreaAverageResize, MatchesThePlainFormulaAtOddAndPrimeSizes) {
    struct Case {
        int sw, sh, dw, dh;
    };
    for (const Case& c : {Case{1, 1, 5, 3}, Case{5, 3, 1, 1}, Case{7, 5, 13, 11},
                          Case{13, 11, 7, 5}, Case{97, 89, 31, 211}, Case{640, 480, 211, 101},
                          Case{3, 3, 2, 2}, Case{600, 400, 300, 200}, Case{601, 401, 160, 107}}) {
        const QImage src = RandomBitmap(c.sw, c.sh, Bitmap32Format, unsigned(c.sh * 17 + c.dw));
        const QImage expected = PlainAreaAverage(src, c.dw, c.dh);
        for (int threads : {1, 3, 8}) {
            QImage out = NewBitmap(c.dw, c.dh, Bitmap32Format);
            AreaAverageResize(src, out, threads);
            EXPECT_TRUE(SamePixels(out, expected))
                << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << ", " << threads;
        }
    }
}

// Half size takes a path of its own (single-precision sums, with values near a rounding
// tie recomputed term by term): it must give the plain formula's bytes for both pixel
// sizes, any width, and images that put many sums right at a tie.
TEST(AreaAverageResize, HalfSizeMatchesThePlainFormula) {
    struct Case {
        int dw, dh;
    };
    std::mt19937 seeds(20240517);
    for (const Case& c :
         {Case{1, 1}, Case{2, 3}, Case{7, 5}, Case{10, 4}, Case{11, 2}, Case{97, 89}, Case{211, 31},
          Case{1031, 7}, Case{4099, 3}, Case{1000, 667}}) {
        for (const QImage::Format format : {Bitmap24Format, Bitmap32Format}) {
            for (const QImage& src : {RandomBitmap(2 * c.dw, 2 * c.dh, format, unsigned(seeds())),
                                      FlatBlocks(2 * c.dw, 2 * c.dh, format)}) {
                QImage expected = PlainAreaAverage(src.convertToFormat(Bitmap32Format), c.dw, c.dh);
                if (format == Bitmap24Format)
                    expected = expected.convertToFormat(Bitmap24Format);
                for (int threads : {1, 3}) {
                    QImage out = NewBitmap(c.dw, c.dh, format);
                    AreaAverageResize(src, out, threads);
                    ASSERT_TRUE(SamePixels(out, expected))
                        << 2 * c.dw << "x" << 2 * c.dh << " -> " << c.dw << "x" << c.dh << ", "
                        << out.depth() << " bits, " << threads << " threads";
                }
            }
        }
    }
}

TEST(Resize, NeverReadPastTheLastRowOrColumn) {
    // 9946 rows to 9945: in single precision the last row span ends at 9946.0 exactly, one
    // past the last row.
    {
        GuardedBitmap src(3, 9946, Bitmap32Format, 255);
        const QImage out = AreaAverageResized(src.image, 2, 9945);
        for (int y : {0, 9943, 9944})
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(At(out, x, y), 254) << y;
    }
    {
        GuardedBitmap src(9946, 1, Bitmap32Format, 255);
        EXPECT_EQ(At(AreaAverageResized(src.image, 9945, 1), 9944, 0), 254);
    }
    // Half size reads the source in 64-byte windows.
    for (auto [w, h] : {std::pair{22, 2}, {62, 4}, {64, 2}, {2, 2}}) {
        for (const QImage::Format format : {Bitmap24Format, Bitmap32Format}) {
            GuardedBitmap src(w, h, format, 255);
            QImage out = NewBitmap(w / 2, h / 2, format);
            AreaAverageResize(src.image, out);
            EXPECT_EQ(At(out, w / 2 - 1, h / 2 - 1, 2), 254) << w << "x" << h;
        }
    }
    for (auto [w, h] : {std::pair{7, 5}, {1, 1}, {1, 9}, {9, 1}}) {
        GuardedBitmap src(w, h, Bitmap24Format, 200);
        const QImage out = BilinearResized(src.image, 2 * w + 1, 3 * h + 2);
        EXPECT_EQ(At(out, 2 * w, 3 * h + 1, 2), 200);
    }
}

TEST(AreaAverageResize, TwentyFourBitBitmapsGiveTheSameColours) {
    const QImage src = RandomBitmap(11, 7, Bitmap24Format, 3);
    QImage out = NewBitmap(4, 3);
    AreaAverageResize(src, out);
    EXPECT_EQ(out.format(), Bitmap24Format);
    const QImage expected = PlainAreaAverage(src.convertToFormat(Bitmap32Format), 4, 3);
    EXPECT_TRUE(SamePixels(out, expected.convertToFormat(Bitmap24Format)));
    QImage other(4, 3, QImage::Format_Grayscale8);
    AreaAverageResize(src, other);
    EXPECT_TRUE(SamePixels(other, expected));
}

TEST(ForEachRowBand, BandsRunOnTheSameThreadsEveryCall) {
    const int threads = ThreadPoolSize();
    if (threads < 2)
        GTEST_SKIP() << "one processor: every band runs on the caller";
    auto bandThreads = [&] {
        std::mutex mutex;
        std::set<pid_t> ids;
        std::atomic<int> started{0};
        ForEachRowBand(threads, int64_t(1) << 30, 0, [&](int, int) {
            // Wait for all bands to start, so that each runs on a thread of its own.
            ++started;
            while (started.load() < threads) {
            }
            std::lock_guard lock(mutex);
            ids.insert(gettid());
        });
        return ids;
    };
    const std::set<pid_t> first = bandThreads();
    EXPECT_EQ(int(first.size()), threads);
    EXPECT_EQ(bandThreads(), first) << "threads made anew for a call";
}

TEST(Resize, EmptyBitmapsAreLeftAlone) {
    const QImage src = RandomBitmap(4, 4, Bitmap24Format, 1);
    QImage empty;
    BilinearResize(src, empty);
    AreaAverageResize(src, empty);
    EXPECT_TRUE(empty.isNull());
    QImage out = NewBitmap(3, 3);
    const QImage before = out.copy();
    BilinearResize(QImage(), out);
    AreaAverageResize(QImage(), out);
    EXPECT_TRUE(SamePixels(out, before));
}

// Every vector level is a path of its own (byte permutes, gathered neighbours, AVX2 or
// baseline loops, the half-size area sums): each must give the plain formulas' bytes. A
// level the processor lacks is skipped.
class ResizeAtEveryLevel : public ::testing::TestWithParam<ResizeVectors> {
protected:
    void SetUp() override {
        if (LimitResizeVectors(GetParam()) != GetParam())
            GTEST_SKIP() << "the processor lacks this level";
    }
    void TearDown() override { LimitResizeVectors(ResizeVectors::Avx512Vbmi); }
};

TEST_P(ResizeAtEveryLevel, BilinearMatchesThePlainFormula) {
    struct Case {
        int sw, sh, dw, dh;
    };
    std::vector<Case> cases = {
        // Half size, even and odd, and rows of many blocks.
        {600, 400, 300, 200},
        {601, 401, 300, 200},
        {6000, 6, 3000, 3},
        {5999, 5, 3000, 2},
        // A 1600-wide window of a 6000-wide photograph; reductions near and past the limit
        // of one source window per block, where fewer pixels fill a block or the gathered
        // path takes over.
        {6000, 9, 1600, 3},
        {1000, 3, 385, 2},
        {1000, 3, 370, 2},
        // Reductions near 3 x, where a 16-byte window stops holding four destination bytes;
        // an odd number of rows, which the two-row loops end with one.
        {1000, 3, 334, 2},
        {1000, 3, 333, 2},
        {1001, 7, 331, 5},
        {1000, 3, 200, 2},
        {1000, 3, 120, 2},
        // Enlargements, block boundaries, one-pixel sides.
        {640, 4, 2048, 13},
        {5, 3, 16, 2},
        {9, 2, 17, 3},
        {40, 3, 31, 2},
        {40, 3, 33, 2},
        {1, 7, 4, 13},
        {7, 1, 13, 2},
        {1, 1, 5, 3},
        {5, 3, 1, 1},
        {2, 2, 4, 4}};
    std::mt19937 random(7);
    for (int n = 0; n < 40; ++n) {
        const int sw = 1 + int(random() % 300), dw = 1 + int(random() % 300);
        cases.push_back({sw, 1 + int(random() % 5), dw, 1 + int(random() % 5)});
    }
    for (const Case& c : cases) {
        const QImage src = RandomBitmap(c.sw, c.sh, Bitmap24Format, unsigned(c.sw * 7 + c.dw));
        const QImage expected = PlainBilinear(src, c.dw, c.dh);
        for (int threads : {1, 3}) {
            QImage out = NewBitmap(c.dw, c.dh);
            BilinearResize(src, out, threads);
            ASSERT_TRUE(SamePixels(out, expected))
                << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << ", " << threads;
        }
    }
}

TEST_P(ResizeAtEveryLevel, AreaAverageMatchesThePlainFormula) {
    struct Case {
        int sw, sh, dw, dh;
    };
    std::vector<Case> cases = {{2000, 6, 1000, 3},
                               {2001, 5, 1000, 2},
                               {601, 401, 160, 107},
                               {97, 89, 31, 211},
                               {13, 11, 7, 5}};
    // Half size at every width up to a few groups of the vector loops.
    for (int dw = 1; dw <= 40; ++dw)
        cases.push_back({2 * dw + dw % 2, 4, dw, 2});
    struct Check {
        QImage src;
        int dw, dh;
    };
    std::vector<Check> checks;
    for (const Case& c : cases)
        for (const QImage::Format format : {Bitmap24Format, Bitmap32Format}) {
            checks.push_back({RandomBitmap(c.sw, c.sh, format, unsigned(c.sw + c.sh)), c.dw, c.dh});
            checks.push_back({FlatBlocks(c.sw, c.sh, format), c.dw, c.dh});
        }
    // Sums near a tie, where the half-size loops must recompute the value the defined way.
    static const QImage nearTies = NearTieHalfSource(200, 100, 3);
    checks.push_back({nearTies, 200, 100});
    checks.push_back({nearTies.convertToFormat(Bitmap24Format), 200, 100});
    for (const Check& check : checks) {
        const QImage& src = check.src;
        QImage expected = PlainAreaAverage(src.convertToFormat(Bitmap32Format), check.dw, check.dh);
        if (src.format() == Bitmap24Format)
            expected = expected.convertToFormat(Bitmap24Format);
        QImage out = NewBitmap(check.dw, check.dh, src.format());
        AreaAverageResize(src, out, 1);
        ASSERT_TRUE(SamePixels(out, expected))
            << src.width() << "x" << src.height() << " -> " << check.dw << "x" << check.dh << ", "
            << out.depth() << " bits";
    }
}

TEST_P(ResizeAtEveryLevel, NeverReadPastTheLastRowOrColumn) {
    // Windows and groups that would pass the source's last byte, reducing and enlarging.
    for (auto [sw, sh, dw, dh] : {std::array{62, 4, 31, 2},
                                  {2, 2, 1, 1},
                                  {130, 3, 65, 1},
                                  {6000, 2, 3000, 1},
                                  {6000, 2, 1600, 1},
                                  {7, 5, 15, 17},
                                  {43, 2, 128, 3}}) {
        GuardedBitmap src(sw, sh, Bitmap24Format, 200);
        const QImage out = BilinearResized(src.image, dw, dh);
        EXPECT_EQ(At(out, dw - 1, dh - 1, 2), 200) << sw << " -> " << dw;
    }
    for (auto [w, h] : {std::pair{22, 2}, {62, 4}, {64, 2}, {2, 2}, {18, 2}, {6000, 2}}) {
        for (const QImage::Format format : {Bitmap24Format, Bitmap32Format}) {
            GuardedBitmap src(w, h, format, 255);
            QImage out = NewBitmap(w / 2, h / 2, format);
            AreaAverageResize(src.image, out);
            EXPECT_EQ(At(out, w / 2 - 1, h / 2 - 1, 2), 254) << w << "x" << h;
        }
    }
}

std::string LevelName(const ::testing::TestParamInfo<ResizeVectors>& level) {
    static const char* const Names[] = {"Baseline", "Avx2", "Avx512", "Avx512Vbmi"};
    return Names[int(level.param)];
}

INSTANTIATE_TEST_SUITE_P(Levels, ResizeAtEveryLevel,
                         ::testing::Values(ResizeVectors::Baseline, ResizeVectors::Avx2,
                                           ResizeVectors::Avx512, ResizeVectors::Avx512Vbmi),
                         LevelName);
