#include "imaging/ExposureCorrection.h"

#include <array>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

namespace {

// Every (b, g, r) with each channel a multiple of 5, and the levels 0 to 3, 128 and 254:
// enough pixels to cover the workers' row split.
QImage Sampler() {
    std::vector<int> levels;
    for (int v = 0; v <= 255; v += 5)
        levels.push_back(v);
    for (int v : {1, 2, 3, 128, 254})
        levels.push_back(v);
    const int n = int(levels.size());
    QImage image(n * n, n, QImage::Format_BGR888);
    for (int y = 0; y < n; ++y) {
        uint8_t* row = image.scanLine(y);
        for (int x = 0; x < n * n; ++x) {
            row[3 * x] = uint8_t(levels[size_t(x % n)]);
            row[3 * x + 1] = uint8_t(levels[size_t(x / n)]);
            row[3 * x + 2] = uint8_t(levels[size_t(y)]);
        }
    }
    return image;
}

QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    std::mt19937 random(27);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.scanLine(y);
        for (int x = 0; x < 3 * width; ++x)
            row[x] = uint8_t(random());
    }
    return image;
}

Bgr At(const QImage& image, int x, int y) {
    const uint8_t* p = image.constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

QImage Corrected(QImage image, const ExposureSettings& settings, bool highlight = false) {
    CorrectExposure(image, settings, highlight);
    return image;
}

} // namespace

TEST(ExposureCorrection, DefaultsDropEveryLevelFromTwoByOne) {
    const ExposureTables t = BuildExposureTables({});
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(t.CT[size_t(i)], i);
        EXPECT_EQ(t.ST[size_t(i)], i);
        EXPECT_EQ(t.GC[size_t(i)], i);
        EXPECT_EQ(t.BCT[size_t(i)], i < 2 ? i : i - 1) << i;
    }
    const QImage in = Sampler();
    const QImage out = Corrected(in, {});
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            const Bgr a = At(in, x, y), b = At(out, x, y);
            auto drop = [](int v) { return v < 2 ? v : v - 1; };
            ASSERT_EQ(b, (Bgr{uint8_t(drop(a.b)), uint8_t(drop(a.g)), uint8_t(drop(a.r))}));
        }
}

TEST(ExposureCorrection, BrightnessTwoFiftySixLeavesTheImage) {
    ExposureSettings settings;
    settings.Brightness = 256;
    const QImage in = Noise(300, 300);
    EXPECT_EQ(Corrected(in, settings), in);
}

TEST(ExposureCorrection, Contrast) {
    ExposureSettings at99, at100, lowest;
    at99.Contrast = 99;
    at100.Contrast = 100;
    lowest.Contrast = -100;
    EXPECT_EQ(BuildExposureTables(at100).CT, BuildExposureTables(at99).CT);
    // k = 1 / cos(99 pi / 200), about 63.66: 169 goes to round(170 - 63.66) = 106.
    const double k = 1 / std::cos(99 * std::numbers::pi / 200);
    EXPECT_NEAR(k, 63.66, 0.01);
    const ExposureTables t = BuildExposureTables(at100);
    EXPECT_EQ(t.CT[169], 106);
    EXPECT_EQ(t.CT[170], 170);
    EXPECT_EQ(t.CT[171], 234);
    EXPECT_EQ(t.CT[0], 0);
    EXPECT_EQ(t.CT[255], 255);
    const ExposureTables flat = BuildExposureTables(lowest);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(flat.CT[size_t(i)], 170);
    const QImage out = Corrected(Noise(64, 64), lowest);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            ASSERT_EQ(At(out, x, y), (Bgr{170, 170, 170}));
}

TEST(ExposureCorrection, Saturation) {
    ExposureSettings grey, doubled;
    grey.Saturation = 0;
    grey.Brightness = 256;
    doubled.Saturation = 512;
    doubled.Brightness = 256;
    const QImage in = Sampler();
    const QImage greyOut = Corrected(in, grey);
    const QImage doubledOut = Corrected(in, doubled);
    auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            const Bgr p = At(in, x, y);
            const int average = (p.b + p.g + p.r) / 3;
            ASSERT_EQ(At(greyOut, x, y),
                      (Bgr{uint8_t(average), uint8_t(average), uint8_t(average)}));
            ASSERT_EQ(At(doubledOut, x, y), (Bgr{clamp(2 * p.b - average), clamp(2 * p.g - average),
                                                 clamp(2 * p.r - average)}));
        }
}

TEST(ExposureCorrection, GammaOffsetsAndTheTableDefinition) {
    // Values worked out from the correction's formulas, not by the code under test:
    // CT[i] = round((i - 170) k + 170); BCT[j] = CT[(j B + 256 - B) div 256];
    // ST[i] = ((i + 1) S) >> 8; GC[m] = m +/- ((|r| (255 - m)) >> 8) with
    // r = round(256 (1 - e^(-(m / 128)(G / 128)))); a pixel is GC[BCT[clamp(a - ST[a] +
    // ST[v] + offset)]] per channel, a the channel average. All clamped to 0 to 255.
    struct Case {
        ExposureSettings s;
        std::array<int, 5> ct;  // at 0, 100, 169, 200, 255
        std::array<int, 5> bct; // at 0, 1, 100, 200, 255
        std::array<int, 3> st;  // at 0, 100, 255
        std::array<int, 5> gc;  // at 0, 64, 128, 200, 255
        std::array<Bgr, 4> out; // of (b, g, r) 10,20,30; 200,100,50; 128,128,128; white
    } cases[] = {
        {{300, 40, 400, 200, 30, -20, 64},
         {0, 83, 169, 207, 255},
         {0, 0, 104, 249, 255},
         {1, 157, 400},
         {0, 167, 228, 250, 255},
         {{{159, 0, 152}, {255, 164, 76}, {254, 221, 248}, {255, 255, 255}}}},
        {{128, -60, 100, -40, -64, 64, 0},
         {70, 129, 169, 188, 220},
         {70, 71, 99, 129, 145},
         {0, 39, 100},
         {0, 32, 82, 166, 255},
         {{{40, 54, 36}, {69, 75, 41}, {64, 81, 49}, {99, 99, 81}}}},
        {{384, 100, 512, 255, 64, 64, 64},
         {0, 0, 106, 255, 255},
         {0, 0, 0, 255, 255},
         {2, 202, 512},
         {0, 184, 237, 252, 255},
         {{{0, 0, 0}, {255, 255, 0}, {255, 255, 255}, {255, 255, 255}}}},
        {{200, 0, 0, -30, 0, 0, -64},
         {0, 100, 169, 200, 255},
         {0, 1, 78, 156, 199},
         {0, 0, 0},
         {0, 41, 95, 176, 255},
         {{{0, 9, 9}, {25, 61, 61}, {30, 70, 70}, {116, 175, 175}}}},
    };
    const Bgr pixels[] = {{10, 20, 30}, {200, 100, 50}, {128, 128, 128}, {255, 255, 255}};
    QImage in(4, 1, QImage::Format_BGR888);
    for (int x = 0; x < 4; ++x) {
        uint8_t* p = in.scanLine(0) + 3 * x;
        p[0] = pixels[x].b, p[1] = pixels[x].g, p[2] = pixels[x].r;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "gamma " << c.s.Gamma);
        const ExposureTables t = BuildExposureTables(c.s);
        const int at5[] = {0, 100, 169, 200, 255}, bctAt[] = {0, 1, 100, 200, 255},
                  stAt[] = {0, 100, 255}, gcAt[] = {0, 64, 128, 200, 255};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(t.CT[size_t(at5[i])], c.ct[size_t(i)]) << "CT " << at5[i];
            EXPECT_EQ(t.BCT[size_t(bctAt[i])], c.bct[size_t(i)]) << "BCT " << bctAt[i];
            EXPECT_EQ(t.GC[size_t(gcAt[i])], c.gc[size_t(i)]) << "GC " << gcAt[i];
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(t.ST[size_t(stAt[i])], c.st[size_t(i)]) << "ST " << stAt[i];
        const QImage out = Corrected(in, c.s);
        for (int x = 0; x < 4; ++x) {
            const Bgr got = At(out, x, 0);
            EXPECT_EQ(got, c.out[size_t(x)])
                << x << ": " << int(got.b) << "," << int(got.g) << "," << int(got.r);
        }
    }
    // The whole image agrees with the pixel rule, over the workers' row split.
    const QImage sampler = Sampler();
    const ExposureSettings mixed = cases[0].s;
    const QImage all = Corrected(sampler, mixed);
    const ExposureTables mixedTables = BuildExposureTables(mixed);
    for (int y = 0; y < sampler.height(); ++y)
        for (int x = 0; x < sampler.width(); ++x)
            ASSERT_EQ(At(all, x, y), CorrectPixel(mixedTables, mixed, At(sampler, x, y), false))
                << x << "," << y;
    // The curve: G = 128 at level 128 gives r = round(256 (1 - 1/e)) = 162, and
    // 128 + (162 x 127 >> 8) = 208.
    ExposureSettings curve;
    curve.Gamma = 128;
    EXPECT_EQ(BuildExposureTables(curve).GC[128], 208);
    curve.Gamma = -128;
    // r = round(256 (1 - e)) = -440; 128 - (440 x 127 >> 8) = -90, clamped.
    EXPECT_EQ(BuildExposureTables(curve).GC[128], 0);
    EXPECT_EQ(BuildExposureTables(curve).GC[255], 255);
    // Offsets reach the channels by name: blue is stored first.
    ExposureSettings red;
    red.Brightness = 256;
    red.Red = 40;
    QImage one(1, 1, QImage::Format_BGR888);
    one.scanLine(0)[0] = 10, one.scanLine(0)[1] = 20, one.scanLine(0)[2] = 30;
    EXPECT_EQ(At(Corrected(one, red), 0, 0), (Bgr{10, 20, 70}));
}

TEST(ExposureCorrection, OverexposureShowsRedOnlyWhenAsked) {
    ExposureSettings bright;
    bright.Brightness = 384;
    QImage in(2, 1, QImage::Format_BGR888);
    uint8_t* p = in.scanLine(0);
    p[0] = p[1] = p[2] = 250; // becomes white
    p[3] = 10, p[4] = 250, p[5] = 250;
    const QImage plain = Corrected(in, bright);
    EXPECT_EQ(At(plain, 0, 0), (Bgr{255, 255, 255}));
    const QImage marked = Corrected(in, bright, true);
    EXPECT_EQ(At(marked, 0, 0), (Bgr{0, 0, 255}));
    EXPECT_EQ(At(marked, 1, 0), At(plain, 1, 0));
}

TEST(ExposureCorrection, OtherFormatsAndSharedBitmaps) {
    QImage rgb32(3, 2, QImage::Format_RGB32);
    rgb32.fill(QColor(30, 20, 10));
    ExposureSettings s;
    s.Brightness = 256;
    s.Red = 10;
    CorrectExposure(rgb32, s);
    EXPECT_EQ(rgb32.format(), QImage::Format_BGR888);
    EXPECT_EQ(At(rgb32, 2, 1), (Bgr{10, 20, 40}));

    const QImage original = Noise(8, 8);
    QImage shared = original;
    CorrectExposure(shared, s);
    EXPECT_EQ(original, Noise(8, 8)) << "a shared bitmap is detached, not changed for both";
    QImage empty;
    CorrectExposure(empty, s);
    EXPECT_TRUE(empty.isNull());
}

TEST(ExposureCorrection, IntoATargetReusesOnlyItsOwnPixels) {
    const QImage source = Noise(300, 260);
    const ExposureSettings s{320, 30, 380, 40, 12, -8, 5};
    const QImage expected = Corrected(source, s, true);

    QImage target;
    CorrectExposure(source, target, s, true);
    EXPECT_EQ(target, expected);
    const uchar* pixels = target.constBits();
    CorrectExposure(source, target, s, true);
    EXPECT_EQ(target.constBits(), pixels) << "the same size again: no new pixels";
    EXPECT_EQ(target, expected);

    // A target that shares its pixels (with the source here) gets pixels of its own.
    QImage shared = source;
    CorrectExposure(source, shared, s, true);
    EXPECT_EQ(shared, expected);
    EXPECT_EQ(source, Noise(300, 260));
    QImage small = Noise(10, 10);
    CorrectExposure(source, small, s, true);
    EXPECT_EQ(small, expected);
}
