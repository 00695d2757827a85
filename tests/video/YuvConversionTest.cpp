#include "video/YuvConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Yuv {
    double y, u, v;
};

// ITU-R BT.601 in floating point, the standard's own form.
Yuv Reference(double r, double g, double b, bool full) {
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double u = (b - y) / 1.772, v = (r - y) / 1.402;
    if (full)
        return {y, std::min(255.0, 128 + u), std::min(255.0, 128 + v)};
    return {16 + y * 219 / 255, 128 + u * 224 / 255, 128 + v * 224 / 255};
}

// Planes of exactly the picture's size, followed by guard bytes that must stay untouched.
struct Planes {
    Planes(int width, int height)
        : cw((width + 1) / 2), ch((height + 1) / 2), y(size_t(width * height) + 16, 0xAA),
          u(size_t(cw * ch) + 16, 0xAA), v(size_t(cw * ch) + 16, 0xAA), w(width), h(height) {}
    TYuvPlanes View() { return {y.data(), w, u.data(), cw, v.data(), cw}; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < 16; ++i)
            if (y[size_t(w * h) + i] != 0xAA || u[size_t(cw * ch) + i] != 0xAA ||
                v[size_t(cw * ch) + i] != 0xAA)
                return false;
        return true;
    }
    int cw, ch;
    std::vector<uint8_t> y, u, v;
    int w, h;
};

TEST(BgrToYuv420, PrimariesAndGreysMatchTheStandardInBothRanges) {
    struct Colour {
        int r, g, b;
    };
    for (const bool full : {false, true})
        for (const int bytes : {3, 4})
            for (const Colour c :
                 {Colour{0, 0, 0}, Colour{255, 255, 255}, Colour{128, 128, 128}, Colour{255, 0, 0},
                  Colour{0, 255, 0}, Colour{0, 0, 255}, Colour{10, 200, 90}}) {
                SCOPED_TRACE(testing::Message() << (full ? "full " : "limited ") << bytes
                                                << " bytes " << c.r << "," << c.g << "," << c.b);
                // 34 pixels wide: the vector loops and their scalar ends both run.
                const int width = 34, height = 4, stride = width * bytes + 5;
                std::vector<uint8_t> bgr(size_t(stride * height), 0);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        uint8_t* p = &bgr[size_t(y * stride + x * bytes)];
                        p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
                    }
                Planes out(width, height);
                BgrToYuv420(bgr.data(), stride, bytes, width, height, out.View(), full);
                const Yuv expected = Reference(c.r, c.g, c.b, full);
                for (int i = 0; i < width * height; ++i)
                    ASSERT_NEAR(out.y[size_t(i)], expected.y, 1.0) << i;
                for (int i = 0; i < out.cw * out.ch; ++i) {
                    ASSERT_NEAR(out.u[size_t(i)], expected.u, 1.0) << i;
                    ASSERT_NEAR(out.v[size_t(i)], expected.v, 1.0) << i;
                }
                EXPECT_TRUE(out.GuardsIntact());
            }
}

// Each chroma sample is the colour of its 2 x 2 block's mean; an odd last row and column
// stand alone; nothing is written beyond the planes.
TEST(BgrToYuv420, ChromaTakesTheMeanOfEachBlockAtEvenAndOddSizes) {
    for (const auto& [width, height] : {std::pair{6, 4}, {5, 3}, {1, 1}, {35, 7}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const int stride = width * 3;
        std::vector<uint8_t> bgr(size_t(stride * height));
        for (size_t i = 0; i < bgr.size(); ++i)
            bgr[i] = uint8_t(i * 37 + 11);
        Planes out(width, height);
        BgrToYuv420(bgr.data(), stride, 3, width, height, out.View(), false);
        EXPECT_TRUE(out.GuardsIntact());
        for (int cy = 0; cy < out.ch; ++cy)
            for (int cx = 0; cx < out.cw; ++cx) {
                double r = 0, g = 0, b = 0;
                int n = 0;
                for (int y = 2 * cy; y < std::min(height, 2 * cy + 2); ++y)
                    for (int x = 2 * cx; x < std::min(width, 2 * cx + 2); ++x, ++n) {
                        const uint8_t* p = &bgr[size_t(y * stride + x * 3)];
                        b += p[0], g += p[1], r += p[2];
                    }
                const Yuv expected = Reference(r / n, g / n, b / n, false);
                EXPECT_NEAR(out.u[size_t(cy * out.cw + cx)], expected.u, 1.5) << cx << "," << cy;
                EXPECT_NEAR(out.v[size_t(cy * out.cw + cx)], expected.v, 1.5) << cx << "," << cy;
            }
    }
}

// Every luma and chroma sample of detailed pictures, for both pixel layouts and ranges, at
// widths below, at and around whole blocks of 32 pixels and with rows padded: the vector loop
// and the columns after it put each sample in its place.
TEST(BgrToYuv420, EverySampleOfADetailedPictureMatchesTheStandard) {
    for (const auto& [width, height] :
         {std::pair{31, 3}, {32, 2}, {33, 5}, {64, 4}, {97, 6}, {130, 3}})
        for (const bool full : {false, true})
            for (const int bytes : {3, 4}) {
                SCOPED_TRACE(testing::Message() << width << " x " << height << " "
                                                << (full ? "full " : "limited ") << bytes);
                const int stride = width * bytes + 3;
                std::vector<uint8_t> bgr(size_t(stride * height));
                for (size_t i = 0; i < bgr.size(); ++i)
                    bgr[i] = uint8_t(i * i * 7 + i * 13 + 5);
                Planes out(width, height);
                BgrToYuv420(bgr.data(), stride, bytes, width, height, out.View(), full);
                EXPECT_TRUE(out.GuardsIntact());
                auto pixel = [&](int x, int y) { return &bgr[size_t(y * stride + x * bytes)]; };
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const uint8_t* p = pixel(x, y);
                        ASSERT_NEAR(out.y[size_t(y * width + x)],
                                    Reference(p[2], p[1], p[0], full).y, 1.0)
                            << x << "," << y;
                    }
                for (int cy = 0; cy < out.ch; ++cy)
                    for (int cx = 0; cx < out.cw; ++cx) {
                        double r = 0, g = 0, b = 0;
                        int n = 0;
                        for (int y = 2 * cy; y < std::min(height, 2 * cy + 2); ++y)
                            for (int x = 2 * cx; x < std::min(width, 2 * cx + 2); ++x, ++n)
                                b += pixel(x, y)[0], g += pixel(x, y)[1], r += pixel(x, y)[2];
                        const Yuv expected = Reference(r / n, g / n, b / n, full);
                        ASSERT_NEAR(out.u[size_t(cy * out.cw + cx)], expected.u, 1.5)
                            << cx << "," << cy;
                        ASSERT_NEAR(out.v[size_t(cy * out.cw + cx)], expected.v, 1.5)
                            << cx << "," << cy;
                    }
            }
}

} // namespace
