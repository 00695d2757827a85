// Area-averaging resize: every destination pixel the weighted sum of the source pixels
// under it, row by row and tap by tap.

#include "BitmapResize.h"

#include "Bitmap.h"
#include "BitmapResizeArea.h"

#include <algorithm>
#include <cstring>
#include <vector>

// The area average is defined as double products added to float sums one by one: a fused
// multiply-add would round once where the definition rounds twice.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

using namespace resize;

namespace resize {

AreaAxis AreaSpans(int sourceLength, int destinationLength) {
    const float step = float(sourceLength) / float(destinationLength);
    const float span = 0.999f * step;
    const float end = float(sourceLength);
    AreaAxis axis;
    axis.first.resize(destinationLength);
    std::vector<int32_t> last(destinationLength);
    std::vector<float> lo(destinationLength), hi(destinationLength);
    for (int i = 0; i < destinationLength; ++i) {
        const float a = float(i) * step;
        // The float ends drift past the last source pixel at large sizes: clamp them.
        const float b = std::min(a + span, end);
        const int l = std::min(int(a), sourceLength - 1);
        const int r = std::min(int(b), sourceLength - 1);
        axis.first[i] = std::min(l, r);
        last[i] = r;
        lo[i] = a;
        hi[i] = b;
        axis.taps = std::max(axis.taps, r - axis.first[i] + 1);
    }
    axis.weight.assign(size_t(destinationLength) * axis.taps, 0.0f);
    for (int i = 0; i < destinationLength; ++i) {
        const int l = axis.first[i];
        for (int c = l; c <= last[i]; ++c) {
            float w = 1.0f;
            if (c == l)
                w = 1.0f - (lo[i] - float(l));
            if (c == last[i])
                w = w - (float(last[i] + 1) - hi[i]);
            axis.weight[size_t(i) * axis.taps + (c - l)] = std::max(w, 0.0f) / step;
        }
    }
    return axis;
}

} // namespace resize

namespace {

// Adds one tap (one source row, one column offset) to the sums of every destination
// pixel of a row. Each term is a double product added to a float sum; the lanes are
// destination pixels, so the order of terms within a pixel is the plain one.
QUVAR_INLINE_BODY void AccumulateTapBody(double rowWeight, const double* __restrict columnWeight,
                                         const uint32_t* __restrict pixel,
                                         float* __restrict sumBlue, float* __restrict sumGreen,
                                         float* __restrict sumRed, int width) {
    for (int i = 0; i < width; ++i) {
        const double w = rowWeight * columnWeight[i];
        const uint32_t p = pixel[i];
        sumBlue[i] = float(double(sumBlue[i]) + w * double(p & 0xff));
        sumGreen[i] = float(double(sumGreen[i]) + w * double((p >> 8) & 0xff));
        sumRed[i] = float(double(sumRed[i]) + w * double((p >> 16) & 0xff));
    }
}
QUVAR_EVERY_LEVEL(AccumulateTap,
                  (double rowWeight, const double* __restrict columnWeight,
                   const uint32_t* __restrict pixel, float* __restrict sumBlue,
                   float* __restrict sumGreen, float* __restrict sumRed, int width),
                  (rowWeight, columnWeight, pixel, sumBlue, sumGreen, sumRed, width))

// One tap's source pixels as words (blue in the low byte); the first `wide` are read as
// whole words, the rest of a 24-bit row byte by byte.
void GatherTap(const uint8_t* __restrict row, const int32_t* __restrict offset,
               uint32_t* __restrict pixel, int width, int wide) {
    int i = 0;
    for (; i < wide; ++i)
        std::memcpy(&pixel[i], row + offset[i], 4);
    for (; i < width; ++i) {
        const uint8_t* p = row + offset[i];
        pixel[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
}

// The rounded sums as 0xffRRGGBB words: the fourth byte of Format_RGB32 stays 0xff.
QUVAR_INLINE_BODY void PackRowBody(const float* __restrict sumBlue,
                                   const float* __restrict sumGreen, const float* __restrict sumRed,
                                   uint32_t* __restrict word, int width) {
    for (int i = 0; i < width; ++i)
        word[i] = RoundedByte(sumBlue[i]) | RoundedByte(sumGreen[i]) << 8 |
                  RoundedByte(sumRed[i]) << 16 | 0xff000000u;
}
QUVAR_EVERY_LEVEL(PackRow,
                  (const float* __restrict sumBlue, const float* __restrict sumGreen,
                   const float* __restrict sumRed, uint32_t* __restrict word, int width),
                  (sumBlue, sumGreen, sumRed, word, width))

template <int DestinationBytes>
void StoreRow(const uint32_t* __restrict word, uchar* __restrict line, int width) {
    if constexpr (DestinationBytes == 4) {
        std::memcpy(line, word, size_t(width) * 4);
    } else {
        // Overlapping 4-byte stores, each next one overwriting the spare byte; the last
        // pixel is stored as 3 bytes so as not to pass the row.
        for (int i = 0; i + 1 < width; ++i)
            std::memcpy(line + 3 * i, &word[i], 4);
        std::memcpy(line + 3 * (width - 1), &word[width - 1], 3);
    }
}

// Planar tables per column tap, shared by all rows: byte offset into a source row and
// weight, per destination pixel, and how many leading offsets may be read as words.
struct AreaColumns {
    int taps = 0;
    std::vector<int32_t> offset;
    std::vector<double> weight;
    std::vector<int> wide;
};

AreaColumns AreaColumnsOf(const AreaAxis& cols, const QImage& source, int width) {
    AreaColumns columns;
    const int taps = columns.taps = cols.taps;
    const int bytes = source.depth() / 8;
    columns.offset.resize(size_t(taps) * width);
    columns.weight.resize(size_t(taps) * width);
    const int lastColumn = source.width() - 1;
    for (int k = 0; k < taps; ++k)
        for (int i = 0; i < width; ++i) {
            columns.offset[size_t(k) * width + i] = std::min(cols.first[i] + k, lastColumn) * bytes;
            columns.weight[size_t(k) * width + i] = cols.weight[size_t(i) * taps + k];
        }
    columns.wide.resize(taps);
    for (int k = 0; k < taps; ++k)
        columns.wide[k] =
            WideCount(columns.offset.data() + size_t(k) * width, width, source.bytesPerLine());
    return columns;
}

template <int SourceBytes, int DestinationBytes>
void AreaAverageRows(const QImage& source, QImage& destination, uchar* out,
                     const AreaColumns& columns, const AreaAxis& rows, ResizeVectors level,
                     int first, int last) {
    const auto accumulateTap = AccumulateTapFor(level);
    const auto packRow = PackRowFor(level);
    const int width = destination.width();
    const int sourceHeight = source.height();
    const int taps = columns.taps;
    const std::vector<int32_t>& offset = columns.offset;
    const std::vector<double>& weight = columns.weight;
    const std::vector<int>& wide = columns.wide;
    std::vector<uint32_t> pixel(width);
    std::vector<float> sumBlue(width), sumGreen(width), sumRed(width);
    const qsizetype stride = destination.bytesPerLine();
    for (int j = first; j < last; ++j) {
        std::fill(sumBlue.begin(), sumBlue.end(), 0.0f);
        std::fill(sumGreen.begin(), sumGreen.end(), 0.0f);
        std::fill(sumRed.begin(), sumRed.end(), 0.0f);
        for (int r = 0; r < rows.taps; ++r) {
            const float rowWeight = rows.weight[size_t(j) * rows.taps + r];
            if (rowWeight == 0.0f)
                continue; // a padding tap: every term would be +0
            const uint8_t* row =
                source.constScanLine(std::min(rows.first[j] + r, sourceHeight - 1));
            for (int k = 0; k < taps; ++k) {
                GatherTap(row, offset.data() + size_t(k) * width, pixel.data(), width, wide[k]);
                accumulateTap(rowWeight, weight.data() + size_t(k) * width, pixel.data(),
                              sumBlue.data(), sumGreen.data(), sumRed.data(), width);
            }
        }
        packRow(sumBlue.data(), sumGreen.data(), sumRed.data(), pixel.data(), width);
        StoreRow<DestinationBytes>(pixel.data(), out + j * stride, width);
    }
}

} // namespace

void AreaAverageResize(const QImage& source, QImage& destination, int threads) {
    const int sw = source.width(), sh = source.height();
    const int dw = destination.width(), dh = destination.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    const QImage src =
        source.format() == Bitmap24Format ? source : ConvertedOrThrow(source, Bitmap32Format);
    if (destination.format() != Bitmap24Format)
        EnsureFormat(destination, Bitmap32Format);
    uchar* out = WritableBits(destination);
    const AreaAxis cols = AreaSpans(sw, dw);
    const AreaAxis rows = AreaSpans(sh, dh);
    const ResizeVectors level = ResizeVectorsInUse();
    if (HalfAreaAverage(src, destination, out, cols, rows, threads, level))
        return;
    const bool source24 = src.format() == Bitmap24Format;
    const bool destination24 = destination.format() == Bitmap24Format;
    const int64_t work = int64_t(dw) * dh * cols.taps * rows.taps;
    const AreaColumns columns = AreaColumnsOf(cols, src, dw);
    ForEachRowBand(dh, work, threads, [&](int first, int last) {
        if (source24 && destination24)
            AreaAverageRows<3, 3>(src, destination, out, columns, rows, level, first, last);
        else if (source24)
            AreaAverageRows<3, 4>(src, destination, out, columns, rows, level, first, last);
        else if (destination24)
            AreaAverageRows<4, 3>(src, destination, out, columns, rows, level, first, last);
        else
            AreaAverageRows<4, 4>(src, destination, out, columns, rows, level, first, last);
    });
}
