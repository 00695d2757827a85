#include "ExposureCorrection.h"

#include "imaging/Bitmap.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int Clamp255(long long value) {
    return int(std::clamp<long long>(value, 0, 255));
}

// Ties to even, as the default rounding mode does.
long long RoundHalfEven(double value) {
    return std::llrint(value);
}

// The per-pixel form of the tables: the channel's scaled level plus its offset, shifted so
// that every sum with a grey offset is an index of Out, and Out = GC[BCT[clamp(...)]].
// Grey offsets lie in -257 to 255, scaled levels in 0 to 513, offsets in -64 to 64.
int Offset(int value) {
    return std::clamp(value, -64, 64);
}

constexpr int OutBias = 384;
constexpr int OutSize = 1280;

struct PixelTables {
    std::array<int32_t, 768> Grey;
    std::array<int32_t, 256> Blue, Green, Red; // ST + offset + OutBias
    std::array<uint8_t, OutSize> Out;
};

PixelTables MakePixelTables(const ExposureTables& t, const ExposureSettings& s) {
    PixelTables p;
    p.Grey = t.GT;
    const int dB = Offset(s.Blue), dG = Offset(s.Green), dR = Offset(s.Red);
    for (int i = 0; i < 256; ++i) {
        p.Blue[size_t(i)] = t.ST[size_t(i)] + dB + OutBias;
        p.Green[size_t(i)] = t.ST[size_t(i)] + dG + OutBias;
        p.Red[size_t(i)] = t.ST[size_t(i)] + dR + OutBias;
    }
    for (int i = 0; i < OutSize; ++i)
        p.Out[size_t(i)] = uint8_t(t.GC[t.BCT[size_t(Clamp255(i - OutBias))]]);
    return p;
}

// Rows first to last of source into target (which may be source itself).
void CorrectRows(const uint8_t* source, qsizetype sourceStride, uint8_t* target,
                 qsizetype targetStride, int width, int first, int last, const PixelTables& p,
                 bool highlight) {
    for (int y = first; y < last; ++y) {
        const uint8_t* in = source + y * sourceStride;
        uint8_t* out = target + y * targetStride;
        uint8_t* const end = out + 3 * qsizetype(width);
        if (highlight) {
            for (; out != end; in += 3, out += 3) {
                const int b = in[0], g = in[1], r = in[2];
                const int base = p.Grey[size_t(b + g + r)];
                const uint8_t b2 = p.Out[size_t(base + p.Blue[size_t(b)])];
                const uint8_t g2 = p.Out[size_t(base + p.Green[size_t(g)])];
                const uint8_t r2 = p.Out[size_t(base + p.Red[size_t(r)])];
                const bool white = (b2 & g2 & r2) == 255;
                out[0] = white ? 0 : b2;
                out[1] = white ? 0 : g2;
                out[2] = r2;
            }
        } else {
            for (; out != end; in += 3, out += 3) {
                const int b = in[0], g = in[1], r = in[2];
                const int base = p.Grey[size_t(b + g + r)];
                out[0] = p.Out[size_t(base + p.Blue[size_t(b)])];
                out[1] = p.Out[size_t(base + p.Green[size_t(g)])];
                out[2] = p.Out[size_t(base + p.Red[size_t(r)])];
            }
        }
    }
}

void CorrectAll(const uint8_t* source, qsizetype sourceStride, uint8_t* target,
                qsizetype targetStride, int width, int height, const ExposureSettings& settings,
                bool highlight) {
    const PixelTables tables = MakePixelTables(BuildExposureTables(settings), settings);
    // Small images are not worth the hand-over to the workers.
    const int parts = width * qsizetype(height) < 65536 ? 1 : std::min(ThreadPoolSize(), height);
    RunParts(parts, [&](int part) {
        CorrectRows(source, sourceStride, target, targetStride, width, height * part / parts,
                    height * (part + 1) / parts, tables, highlight);
    });
}

} // namespace

ExposureTables BuildExposureTables(const ExposureSettings& s) {
    ExposureTables t;
    const int contrast = s.Contrast == 100 ? 99 : s.Contrast;
    const double k = contrast > 0 ? 1.0 / std::cos(contrast * std::numbers::pi / 200.0)
                                  : std::cos(contrast * 0.015708);
    for (int i = 0; i < 256; ++i)
        t.CT[size_t(i)] = uint8_t(Clamp255(RoundHalfEven((i - 170) * k + 170)));
    const long long B = s.Brightness;
    for (int j = 0; j < 256; ++j)
        t.BCT[size_t(j)] = t.CT[size_t(Clamp255((j * B + 256 - B) / 256))];
    const long long S = std::clamp(s.Saturation, 0, 512);
    for (int i = 0; i < 256; ++i)
        t.ST[size_t(i)] = uint16_t(((i + 1) * S) >> 8);
    for (int a = 0; a < 256; ++a)
        for (int m = 0; m < 3; ++m)
            t.GT[size_t(3 * a + m)] = a - t.ST[size_t(a)];
    const double G = s.Gamma;
    for (int m = 0; m < 256; ++m) {
        const long long r = RoundHalfEven(256.0 * (1.0 - std::exp(-(m / 128.0) * (G / 128.0))));
        const long long value = G >= 0 ? m + ((r * (255 - m)) >> 8) : m - ((-r * (255 - m)) >> 8);
        t.GC[size_t(m)] = Clamp255(value);
    }
    return t;
}

Bgr CorrectPixel(const ExposureTables& t, const ExposureSettings& s, Bgr pixel,
                 bool highlightOverexposure) {
    const int base = t.GT[size_t(pixel.b + pixel.g + pixel.r)];
    const int b1 = Clamp255(base + t.ST[pixel.b] + Offset(s.Blue));
    const int g1 = Clamp255(base + t.ST[pixel.g] + Offset(s.Green));
    const int r1 = Clamp255(base + t.ST[pixel.r] + Offset(s.Red));
    Bgr out{uint8_t(t.GC[t.BCT[size_t(b1)]]), uint8_t(t.GC[t.BCT[size_t(g1)]]),
            uint8_t(t.GC[t.BCT[size_t(r1)]])};
    if (highlightOverexposure && out.b + out.g + out.r > 764)
        out.b = out.g = 0;
    return out;
}

void CorrectExposure(QImage& bitmap, const ExposureSettings& settings, bool highlightOverexposure) {
    if (bitmap.isNull())
        return;
    if (bitmap.format() != QImage::Format_BGR888)
        bitmap = ToBitmap24(bitmap);
    uint8_t* bits = bitmap.bits(); // detaches a shared bitmap before it is changed
    CorrectAll(bits, bitmap.bytesPerLine(), bits, bitmap.bytesPerLine(), bitmap.width(),
               bitmap.height(), settings, highlightOverexposure);
}

void CorrectExposure(const QImage& source, QImage& target, const ExposureSettings& settings,
                     bool highlightOverexposure) {
    if (source.isNull()) {
        target = QImage();
        return;
    }
    const QImage input = ToBitmap24(source);
    if (&target == &source || target.size() != input.size() ||
        target.format() != QImage::Format_BGR888 || !target.isDetached())
        target = NewBitmap(input.width(), input.height());
    CorrectAll(input.constBits(), input.bytesPerLine(), target.bits(), target.bytesPerLine(),
               input.width(), input.height(), settings, highlightOverexposure);
}
