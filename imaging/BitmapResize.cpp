#include "BitmapResize.h"

#include "Bitmap.h"
#include "platform/Errors.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUVAR_X86_VECTORS 1
#endif

// The area average is defined as double products added to float sums one by one: a fused
// multiply-add would round once where the definition rounds twice.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace {

// ---------------------------------------------------------------------------------------
// Vector levels
//
// The loops that vectorise are built once per level and chosen at every call, from the
// processor's level or a lower one asked for. All builds give the same bytes: integer
// arithmetic, plain float and double arithmetic without contraction, or (area average to
// half size) a fast sum whose doubtful values are recomputed the defined way.

#ifdef QUVAR_X86_VECTORS
#define QUVAR_AVX2 __attribute__((target("avx2,fma")))
#define QUVAR_AVX512 __attribute__((target("avx2,fma,avx512f,avx512bw,avx512vl,avx512dq,avx512cd")))
#define QUVAR_AVX512_VBMI                                                                          \
    __attribute__((target("avx2,fma,avx512f,avx512bw,avx512vl,avx512dq,avx512cd,avx512vbmi")))
#endif

ResizeVectors ProcessorVectors() {
#ifdef QUVAR_X86_VECTORS
    static const ResizeVectors level = [] {
        __builtin_cpu_init();
        const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        const bool avx512 =
            avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
            __builtin_cpu_supports("avx512cd");
        if (avx512 && __builtin_cpu_supports("avx512vbmi"))
            return ResizeVectors::Avx512Vbmi;
        return avx512 ? ResizeVectors::Avx512
               : avx2 ? ResizeVectors::Avx2
                      : ResizeVectors::Baseline;
    }();
    return level;
#else
    return ResizeVectors::Baseline;
#endif
}

std::atomic<int> VectorLimit{int(ResizeVectors::Avx512Vbmi)};

// A loop body built for every level: Name##Body holds the loop, Name##For(level) gives the
// build to call. The body is inlined into each build and vectorised there.
#define QUVAR_INLINE_BODY inline __attribute__((always_inline))
#ifdef QUVAR_X86_VECTORS
#define QUVAR_EVERY_LEVEL(Name, Parameters, Arguments)                                             \
    void Name##Baseline Parameters {                                                               \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    QUVAR_AVX2 void Name##Avx2 Parameters {                                                        \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    QUVAR_AVX512 void Name##Avx512 Parameters {                                                    \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    auto Name##For(ResizeVectors level) {                                                          \
        return level >= ResizeVectors::Avx512 ? Name##Avx512                                       \
               : level == ResizeVectors::Avx2 ? Name##Avx2                                         \
                                              : Name##Baseline;                                    \
    }
#else
#define QUVAR_EVERY_LEVEL(Name, Parameters, Arguments)                                             \
    void Name##Baseline Parameters {                                                               \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    auto Name##For(ResizeVectors) {                                                                \
        return Name##Baseline;                                                                     \
    }
#endif

// Below this much work a thread costs more than it saves.
constexpr int64_t ThreadedPixels = int64_t(1) << 19;
// Bands of automatic threading per thread: free threads take the next band, so that a thread
// slowed by other work on the machine holds up one small band, not a whole share.
constexpr int BandsPerThread = 16;

uchar* WritableBits(QImage& image) {
    uchar* bits = image.bits(); // detaches a shared image
    if (!bits)
        throw QuvarError(QStringLiteral("Not enough memory for an image of %1 x %2")
                             .arg(image.width())
                             .arg(image.height()));
    return bits;
}

QImage ConvertedOrThrow(const QImage& image, QImage::Format format) {
    if (image.format() == format)
        return image;
    QImage converted = image.convertToFormat(format);
    if (converted.isNull())
        throw QuvarError(QStringLiteral("Not enough memory for an image of %1 x %2")
                             .arg(image.width())
                             .arg(image.height()));
    return converted;
}

// A destination that keeps its size but not a format we write: replaced by a fresh one.
void EnsureFormat(QImage& destination, QImage::Format format) {
    if (destination.format() != format)
        destination = NewBitmap(destination.width(), destination.height(), format);
}

// ---------------------------------------------------------------------------------------
// Bilinear

// The 64-bit product divided and rounded to the nearest integer, halves away from zero,
// as the Windows MulDiv the weights were defined with. Arguments are non-negative.
constexpr int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
    return (a * b + c / 2) / c;
}

// One destination row from the source pixels gathered for it: a0/a1 are the left and
// right neighbours in row A, b0/b1 in row B, fx the column fraction, all per byte of the
// row, so that the loop is a plain element-wise one. fx * wa stays below 2^32 - 2^15.
QUVAR_INLINE_BODY void CombineRowBody(const uint8_t* __restrict a0, const uint8_t* __restrict a1,
                                      const uint8_t* __restrict b0, const uint8_t* __restrict b1,
                                      const uint16_t* __restrict fx, uint32_t wa, uint32_t wb,
                                      uint8_t* __restrict out, int n) {
    for (int e = 0; e < n; ++e) {
        const uint32_t f = fx[e];
        const uint32_t w2 = (f * wa + 32768u) >> 16;
        const uint32_t w1 = wa - w2;
        const uint32_t w4 = (f * wb + 32768u) >> 16;
        const uint32_t w3 = wb - w4;
        out[e] = uint8_t((a0[e] * w1 + a1[e] * w2 + b0[e] * w3 + b1[e] * w4) >> 16);
    }
}
QUVAR_EVERY_LEVEL(CombineRow,
                  (const uint8_t* __restrict a0, const uint8_t* __restrict a1,
                   const uint8_t* __restrict b0, const uint8_t* __restrict b1,
                   const uint16_t* __restrict fx, uint32_t wa, uint32_t wb, uint8_t* __restrict out,
                   int n),
                  (a0, a1, b0, b1, fx, wa, wb, out, n))

// Copies both neighbours of every destination pixel out of one source row. The first
// `paired` pixels have their right neighbour right after the left one and are moved with
// one 8-byte read; up to `wide` pixels are moved as 4-byte words (the fourth byte is
// overwritten by the next pixel, or lands in the one spare byte at the end); those are the
// pixels whose reads still end inside the source row.
// `ahead` is the row the next destination row will read: fetching it now hides the
// memory latency of a downscale, which touches every source row only once.
void GatherRow(const uint8_t* __restrict row, const uint8_t* ahead, const int32_t* __restrict left,
               const int32_t* __restrict right, uint8_t* __restrict g0, uint8_t* __restrict g1,
               int width, int paired, int wide) {
    int i = 0;
    for (; i < paired; ++i) {
        __builtin_prefetch(ahead + left[i]);
        uint64_t both;
        std::memcpy(&both, row + left[i], 8);
        const uint32_t first = uint32_t(both), second = uint32_t(both >> 24);
        std::memcpy(g0 + 3 * i, &first, 4);
        std::memcpy(g1 + 3 * i, &second, 4);
    }
    for (; i < wide; ++i) {
        __builtin_prefetch(ahead + left[i]);
        uint32_t word;
        std::memcpy(&word, row + left[i], 4);
        std::memcpy(g0 + 3 * i, &word, 4);
        std::memcpy(&word, row + right[i], 4);
        std::memcpy(g1 + 3 * i, &word, 4);
    }
    for (; i < width; ++i) {
        std::memcpy(g0 + 3 * i, row + left[i], 3);
        std::memcpy(g1 + 3 * i, row + right[i], 3);
    }
}

// How many leading entries of a non-decreasing offset table can be read as 4-byte words
// without passing the end of a row of rowBytes.
int WideCount(const int32_t* offset, int count, qsizetype rowBytes) {
    return int(std::upper_bound(offset, offset + count, int32_t(rowBytes - 4)) - offset);
}

void CopyRows(const QImage& source, QImage& destination) {
    uchar* out = WritableBits(destination);
    const qsizetype rowBytes = std::min(source.bytesPerLine(), destination.bytesPerLine());
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(out + y * destination.bytesPerLine(), source.constScanLine(y), rowBytes);
}

// ---------------------------------------------------------------------------------------
// Area average

// The source span of every destination index along one axis. Every index gets the same
// number of taps; the taps past its span have weight 0 and point at a valid pixel, which
// adds exactly nothing to a sum and keeps the loops free of branches.
struct AreaAxis {
    int taps = 0;
    std::vector<int32_t> first; // first covered source index, per destination index
    std::vector<float> weight;  // [index * taps + tap]
};

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

// Rounds a sum to the nearest byte, halves to even: adding and taking away 1.5 x 2^23
// leaves the float rounded to an integer in the default rounding mode (exact below 2^22,
// far above any sum of byte values with weights below 1). Branch-free, so the loop
// vectorises.
QUVAR_INLINE_BODY uint32_t RoundedByte(float sum) {
    constexpr float Shift = 12582912.0f;
    const int32_t rounded = int32_t((sum + Shift) - Shift);
    return uint32_t(std::min(std::max(rounded, 0), 255));
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

// ---------------------------------------------------------------------------------------
// Area average to half size
//
// When every destination pixel covers source columns 2i, 2i + 1 and rows 2j, 2j + 1, the
// sums are formed with single-precision multiply-adds, across then down: six roundings
// of at most 2^-17 each (every partial sum is below 256). The defined sum rounds four times
// by as much, so the two differ by less than 10 x 2^-17 and round to the same byte unless
// the fast one lies within TieMargin of a half; those few are recomputed the defined way.
// TieMargin is 2^-13, some 1.6 times that bound: a wider margin only recomputes more.

constexpr float TieMargin = 1.0f / 8192;

[[maybe_unused]] bool IsHalfLayout(const AreaAxis& axis, int sourceLength) {
    if (axis.taps != 2 || 2 * qsizetype(axis.first.size()) > sourceLength)
        return false;
    for (size_t i = 0; i < axis.first.size(); ++i)
        if (axis.first[i] != 2 * int(i))
            return false;
    return true;
}

// One channel of destination pixel i of a half-size row with the defined arithmetic, term by
// term: columns 2i and 2i + 1 of its two source rows, weighted by rows.weight + 2j and
// cols.weight + 2i. Not inlined, so that it keeps the baseline's separate multiply and add.
template <int Bytes>
__attribute__((noinline)) uint8_t DefinedHalfValue(const uint8_t* row0, const uint8_t* row1,
                                                   const float* rowWeight,
                                                   const float* columnWeight, int i, int channel) {
    float sum = 0.0f;
    const uint8_t* const row[2] = {row0, row1};
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 2; ++k) {
            const double w = double(rowWeight[r]) * double(columnWeight[k]);
            sum = float(double(sum) + w * double(row[r][(2 * i + k) * Bytes + channel]));
        }
    return uint8_t(RoundedByte(sum));
}

#ifdef QUVAR_X86_VECTORS
// GCC 12 takes the intrinsics' undefined pass-through operands for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Sixteen-bit lanes of 64 source bytes; at the end of a row, the bytes past `mask` read as 0.
QUVAR_AVX512 inline void LoadWords(const uint8_t* s, bool whole, uint64_t mask, __m512i& low,
                                   __m512i& high) {
    if (whole) {
        low = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
        high = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32)));
    } else {
        low = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(__mmask32(mask), s));
        high = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(__mmask32(mask >> 32), s + 32));
    }
}

QUVAR_AVX512 inline __m512 LowFloats(__m512i words) {
    return _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(words)));
}

QUVAR_AVX512 inline __m512 HighFloats(__m512i words) {
    return _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(words, 1)));
}

// The neighbours of a block's destination bytes as floats: left (a) and right (b) in rows
// 0 and 1, for the low and the high 16 bytes.
struct HalfBlockSource {
    __m512 a0[2], b0[2], a1[2], b1[2];
};

// A block is the destination pixels of one 64-byte source window: 10 of 3 bytes or 8 of 4.
// Lane e takes its left neighbour from source byte 2e - e % Bytes.
template <int Bytes> constexpr int HalfBlockPixels = Bytes == 3 ? 10 : 8;

template <int Bytes> constexpr int HalfBlockLeft(int e) {
    return e < HalfBlockPixels<Bytes> * Bytes ? 2 * e - e % Bytes : 0;
}

template <int Bytes> constexpr int HalfBlockRight(int e) {
    return e < HalfBlockPixels<Bytes> * Bytes ? HalfBlockLeft<Bytes>(e) + Bytes : 0;
}

// The sums of one block from its neighbours, stored at `out`, with the byte indices of the
// values near a tie added to `flagged`. at: the block's first destination byte;
// elements: its bytes; rowBytes: the destination row's.
template <int Bytes>
QUVAR_AVX512 inline __attribute__((always_inline)) void
HalfAreaBlock(const HalfBlockSource& s, const float* __restrict wc0, const float* __restrict wc1,
              __m512 weight0, __m512 weight1, uint8_t* __restrict out, int at, int elements,
              int rowBytes, int32_t* __restrict flagged, int& count) {
    const __m512 nearHalf = _mm512_set1_ps(0.5f - TieMargin);
    const __m512i magnitude = _mm512_set1_epi32(0x7fffffff);
    // The fourth byte of a 32-bit pixel is not a colour: 0xff, never recomputed.
    const __m128i fourth = Bytes == 4 ? _mm_set1_epi32(int(0xff000000u)) : _mm_setzero_si128();
    const uint32_t colours = Bytes == 4 ? 0x77777777u : 0xffffffffu;
    const __m512 wl0 = _mm512_loadu_ps(wc0 + at), wl1 = _mm512_loadu_ps(wc0 + at + 16);
    const __m512 wr0 = _mm512_loadu_ps(wc1 + at), wr1 = _mm512_loadu_ps(wc1 + at + 16);
    const __m512 top0 = _mm512_fmadd_ps(wr0, s.b0[0], _mm512_mul_ps(wl0, s.a0[0]));
    const __m512 top1 = _mm512_fmadd_ps(wr1, s.b0[1], _mm512_mul_ps(wl1, s.a0[1]));
    const __m512 bottom0 = _mm512_fmadd_ps(wr0, s.b1[0], _mm512_mul_ps(wl0, s.a1[0]));
    const __m512 bottom1 = _mm512_fmadd_ps(wr1, s.b1[1], _mm512_mul_ps(wl1, s.a1[1]));
    const __m512 sum0 = _mm512_fmadd_ps(weight1, bottom0, _mm512_mul_ps(weight0, top0));
    const __m512 sum1 = _mm512_fmadd_ps(weight1, bottom1, _mm512_mul_ps(weight0, top1));
    const __m512i q0 =
        _mm512_cvt_roundps_epi32(sum0, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512i q1 =
        _mm512_cvt_roundps_epi32(sum1, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512 off0 = _mm512_castsi512_ps(_mm512_and_si512(
        _mm512_castps_si512(_mm512_sub_ps(sum0, _mm512_cvtepi32_ps(q0))), magnitude));
    const __m512 off1 = _mm512_castsi512_ps(_mm512_and_si512(
        _mm512_castps_si512(_mm512_sub_ps(sum1, _mm512_cvtepi32_ps(q1))), magnitude));
    const uint32_t valid = elements >= 32 ? ~0u : (1u << elements) - 1;
    // One store of 32 bytes: the two past a block of 3-byte pixels are the next block's,
    // which it stores over them.
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_or_si128(_mm512_cvtusepi32_epi8(q0), fourth)),
        _mm_or_si128(_mm512_cvtusepi32_epi8(q1), fourth), 1);
    if (at + 32 <= rowBytes)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + at), bytes);
    else
        _mm256_mask_storeu_epi8(out + at, __mmask32(valid), bytes);
    uint32_t ties = (uint32_t(_mm512_cmp_ps_mask(off0, nearHalf, _CMP_GE_OQ)) |
                     uint32_t(_mm512_cmp_ps_mask(off1, nearHalf, _CMP_GE_OQ)) << 16) &
                    valid & colours;
    while (ties) {
        flagged[count++] = at + __builtin_ctz(ties);
        ties &= ties - 1;
    }
}

// One destination row from source rows 2j and 2j + 1, Bytes per pixel on both sides. The
// byte indices of the values that need the defined arithmetic go to `flagged`; returns
// their count. wc0, wc1: the two column weights per destination byte, readable 32 past
// the row; sourceBytes: the bytes of a source row that may be read. The neighbours are
// moved as 16-bit words.
template <int Bytes>
QUVAR_AVX512 int HalfAreaRow(const uint8_t* __restrict row0, const uint8_t* __restrict row1,
                             float rowWeight0, float rowWeight1, const float* __restrict wc0,
                             const float* __restrict wc1, uint8_t* __restrict out, int width,
                             qsizetype sourceBytes, int32_t* __restrict flagged) {
    constexpr int Pixels = HalfBlockPixels<Bytes>;
    alignas(64) uint16_t leftIndex[32], rightIndex[32];
    for (int e = 0; e < 32; ++e) {
        leftIndex[e] = uint16_t(HalfBlockLeft<Bytes>(e));
        rightIndex[e] = uint16_t(HalfBlockRight<Bytes>(e));
    }
    const __m512i left = _mm512_load_si512(leftIndex), right = _mm512_load_si512(rightIndex);
    const __m512 weight0 = _mm512_set1_ps(rowWeight0), weight1 = _mm512_set1_ps(rowWeight1);
    int count = 0;
    for (int first = 0; first < width; first += Pixels) {
        const int elements = std::min(Pixels, width - first) * Bytes;
        const int at = first * Bytes;
        const bool whole = 2 * qsizetype(at) + 64 <= sourceBytes;
        const uint64_t mask =
            2 * elements >= 64 ? ~uint64_t(0) : (uint64_t(1) << (2 * elements)) - 1;
        // Fetching ahead keeps both source rows streaming in.
        _mm_prefetch(reinterpret_cast<const char*>(row0 + 2 * at + 2048), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(row1 + 2 * at + 2048), _MM_HINT_T0);
        HalfBlockSource s;
        __m512i low, high;
        LoadWords(row0 + 2 * at, whole, mask, low, high);
        const __m512i a0 = _mm512_permutex2var_epi16(low, left, high);
        const __m512i b0 = _mm512_permutex2var_epi16(low, right, high);
        LoadWords(row1 + 2 * at, whole, mask, low, high);
        const __m512i a1 = _mm512_permutex2var_epi16(low, left, high);
        const __m512i b1 = _mm512_permutex2var_epi16(low, right, high);
        s.a0[0] = LowFloats(a0), s.a0[1] = HighFloats(a0);
        s.b0[0] = LowFloats(b0), s.b0[1] = HighFloats(b0);
        s.a1[0] = LowFloats(a1), s.a1[1] = HighFloats(a1);
        s.b1[0] = LowFloats(b1), s.b1[1] = HighFloats(b1);
        HalfAreaBlock<Bytes>(s, wc0, wc1, weight0, weight1, out, at, elements, width * Bytes,
                             flagged, count);
    }
    return count;
}

// The bytes of `bytes` that `index` names in the low byte of each 32-bit lane, as floats.
QUVAR_AVX512_VBMI inline __attribute__((always_inline)) __m512 ByteLanes(__m512i index,
                                                                         __m512i bytes) {
    return _mm512_cvtepi32_ps(_mm512_maskz_permutexvar_epi8(0x1111111111111111u, index, bytes));
}

// The same with byte permutes, which put every neighbour straight into its 32-bit lane.
template <int Bytes>
QUVAR_AVX512_VBMI int
HalfAreaRowVbmi(const uint8_t* __restrict row0, const uint8_t* __restrict row1, float rowWeight0,
                float rowWeight1, const float* __restrict wc0, const float* __restrict wc1,
                uint8_t* __restrict out, int width, qsizetype sourceBytes,
                int32_t* __restrict flagged) {
    constexpr int Pixels = HalfBlockPixels<Bytes>;
    // Per half of the block, the source byte of each lane's neighbour in its low byte.
    alignas(64) uint32_t leftIndex[2][16], rightIndex[2][16];
    for (int e = 0; e < 32; ++e) {
        leftIndex[e / 16][e % 16] = uint32_t(HalfBlockLeft<Bytes>(e));
        rightIndex[e / 16][e % 16] = uint32_t(HalfBlockRight<Bytes>(e));
    }
    const __m512i left[2] = {_mm512_load_si512(leftIndex[0]), _mm512_load_si512(leftIndex[1])};
    const __m512i right[2] = {_mm512_load_si512(rightIndex[0]), _mm512_load_si512(rightIndex[1])};
    const __m512 weight0 = _mm512_set1_ps(rowWeight0), weight1 = _mm512_set1_ps(rowWeight1);
    int count = 0;
    for (int first = 0; first < width; first += Pixels) {
        const int elements = std::min(Pixels, width - first) * Bytes;
        const int at = first * Bytes;
        _mm_prefetch(reinterpret_cast<const char*>(row0 + 2 * at + 2048), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(row1 + 2 * at + 2048), _MM_HINT_T0);
        __m512i s0, s1;
        if (2 * qsizetype(at) + 64 <= sourceBytes) {
            s0 = _mm512_loadu_si512(row0 + 2 * at);
            s1 = _mm512_loadu_si512(row1 + 2 * at);
        } else {
            // At the end of a row, the bytes past the block's read as 0.
            const __mmask64 mask =
                2 * elements >= 64 ? ~__mmask64(0) : (__mmask64(1) << (2 * elements)) - 1;
            s0 = _mm512_maskz_loadu_epi8(mask, row0 + 2 * at);
            s1 = _mm512_maskz_loadu_epi8(mask, row1 + 2 * at);
        }
        HalfBlockSource s;
        for (int h = 0; h < 2; ++h) {
            s.a0[h] = ByteLanes(left[h], s0);
            s.b0[h] = ByteLanes(right[h], s0);
            s.a1[h] = ByteLanes(left[h], s1);
            s.b1[h] = ByteLanes(right[h], s1);
        }
        HalfAreaBlock<Bytes>(s, wc0, wc1, weight0, weight1, out, at, elements, width * Bytes,
                             flagged, count);
    }
    return count;
}

// The AVX2 build of HalfAreaRow, with the same sums in the same order. A group is 8
// destination bytes, 4 in each 128-bit half; each half reads 16 source bytes from the left
// neighbour of its first byte, and a byte shuffle puts each neighbour into a 32-bit lane.
// For 3-byte pixels the shuffles repeat every 3 groups.
template <int Bytes> constexpr int HalfLeftByte(int e) {
    return 2 * e - e % Bytes;
}

template <int Bytes> struct HalfShuffles {
    static constexpr int Phases = Bytes == 3 ? 3 : 1;
    alignas(32) uint8_t left[Phases][32], right[Phases][32];
    HalfShuffles() {
        for (int p = 0; p < Phases; ++p)
            for (int h = 0; h < 2; ++h) {
                const int e0 = 8 * p + 4 * h;
                for (int t = 0; t < 4; ++t)
                    for (int k = 0; k < 4; ++k) {
                        const int at = HalfLeftByte<Bytes>(e0 + t) - HalfLeftByte<Bytes>(e0);
                        left[p][16 * h + 4 * t + k] = k == 0 ? uint8_t(at) : 0x80;
                        right[p][16 * h + 4 * t + k] = k == 0 ? uint8_t(at + Bytes) : 0x80;
                    }
            }
    }
};

// One group: the rounded sums in `q`, the lanes near a tie as the returned bits. base0 and
// base1 point at the 16-byte windows of the two halves, row 1 `rowOffset` bytes further.
QUVAR_AVX2 inline __attribute__((always_inline)) uint32_t
HalfAreaGroupAvx2(const uint8_t* base0, const uint8_t* base1, qsizetype rowOffset,
                  __m256i leftShuffle, __m256i rightShuffle, const float* wc0, const float* wc1,
                  __m256 weight0, __m256 weight1, __m256i& q) {
    const __m256i s0 = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(base0))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(base1)), 1);
    const __m256i s1 = _mm256_inserti128_si256(
        _mm256_castsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(base0 + rowOffset))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(base1 + rowOffset)), 1);
    const __m256 a0 = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(s0, leftShuffle));
    const __m256 b0 = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(s0, rightShuffle));
    const __m256 a1 = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(s1, leftShuffle));
    const __m256 b1 = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(s1, rightShuffle));
    const __m256 wl = _mm256_loadu_ps(wc0), wr = _mm256_loadu_ps(wc1);
    const __m256 top = _mm256_fmadd_ps(wr, b0, _mm256_mul_ps(wl, a0));
    const __m256 bottom = _mm256_fmadd_ps(wr, b1, _mm256_mul_ps(wl, a1));
    const __m256 sum = _mm256_fmadd_ps(weight1, bottom, _mm256_mul_ps(weight0, top));
    // The default rounding mode: to nearest, ties to even.
    q = _mm256_cvtps_epi32(sum);
    const __m256 off =
        _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(sum, _mm256_cvtepi32_ps(q)));
    return uint32_t(
        _mm256_movemask_ps(_mm256_cmp_ps(off, _mm256_set1_ps(0.5f - TieMargin), _CMP_GE_OQ)));
}

QUVAR_AVX2 inline __attribute__((always_inline)) __m256i Shuffle(const uint8_t* table) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(table));
}

// The 8 bytes of a group's sums (each 0 to 255).
QUVAR_AVX2 inline __attribute__((always_inline)) uint64_t GroupBytesAvx2(__m256i q) {
    const __m256i words = _mm256_packus_epi32(q, q);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return uint64_t(uint32_t(_mm256_cvtsi256_si32(bytes))) |
           uint64_t(uint32_t(_mm256_extract_epi32(bytes, 4))) << 32;
}

// The bytes of four groups' sums, in order (each sum is 0 to 255).
QUVAR_AVX2 inline __attribute__((always_inline)) __m256i PeriodBytesAvx2(__m256i q0, __m256i q1,
                                                                         __m256i q2, __m256i q3) {
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packus_epi32(q0, q1), _mm256_packus_epi32(q2, q3));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <int Bytes>
QUVAR_AVX2 int HalfAreaRowAvx2(const uint8_t* __restrict row0, const uint8_t* __restrict row1,
                               float rowWeight0, float rowWeight1, const float* __restrict wc0,
                               const float* __restrict wc1, uint8_t* __restrict out, int width,
                               qsizetype sourceBytes, int32_t* __restrict flagged) {
    static const HalfShuffles<Bytes> shuffles;
    constexpr int Phases = HalfShuffles<Bytes>::Phases;
    // A period is the groups after which the window offsets repeat: 3 groups (24 bytes) of
    // 3-byte pixels, or 4 (32 bytes) of 4-byte pixels; its source is twice as long.
    constexpr int Groups = Bytes == 3 ? 3 : 4, Period = 8 * Groups;
    constexpr int LastWindow = HalfLeftByte<Bytes>(Period - 4) + 16;
    const __m256 weight0 = _mm256_set1_ps(rowWeight0), weight1 = _mm256_set1_ps(rowWeight1);
    __m256i left[Phases], right[Phases];
    for (int p = 0; p < Phases; ++p) {
        left[p] = Shuffle(shuffles.left[p]);
        right[p] = Shuffle(shuffles.right[p]);
    }
    // The fourth byte of a 32-bit pixel is not a colour: 0xff, never recomputed.
    const uint64_t fourth = Bytes == 4 ? 0xff000000ff000000u : 0;
    const __m256i fourths = _mm256_set1_epi64x(int64_t(fourth));
    const uint32_t colours = Bytes == 4 ? 0x77u : 0xffu;
    const int bytes = width * Bytes;
    const qsizetype rowOffset = row1 - row0;
    int count = 0, e = 0, phase = 0;
    for (; e + Period <= bytes && 2 * qsizetype(e) + LastWindow <= sourceBytes; e += Period) {
        const uint8_t* s = row0 + 2 * e;
        // Fetching ahead keeps both source rows streaming in.
        _mm_prefetch(reinterpret_cast<const char*>(s + 2048), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(s + rowOffset + 2048), _MM_HINT_T0);
        __m256i q[4] = {};
        uint32_t ties = 0;
        for (int g = 0; g < Groups; ++g) {
            const int p = g % Phases;
            ties |=
                (HalfAreaGroupAvx2(s + HalfLeftByte<Bytes>(8 * g),
                                   s + HalfLeftByte<Bytes>(8 * g + 4), rowOffset, left[p], right[p],
                                   wc0 + e + 8 * g, wc1 + e + 8 * g, weight0, weight1, q[g]) &
                 colours)
                << (8 * g);
        }
        const __m256i packed = _mm256_or_si256(PeriodBytesAvx2(q[0], q[1], q[2], q[3]), fourths);
        if (Groups == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e), packed);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm256_castsi256_si128(packed));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + e + 16),
                             _mm256_extracti128_si256(packed, 1));
        }
        while (ties) {
            flagged[count++] = e + __builtin_ctz(ties);
            ties &= ties - 1;
        }
    }
    // The last groups, one at a time; those whose windows would pass the end of the source
    // row read a copy of the rows' ends with zeros after them. Only the row's bytes are
    // stored.
    for (; e + 8 <= bytes && HalfLeftByte<Bytes>(e + 4) + 16 <= sourceBytes; e += 8) {
        __m256i q;
        uint32_t ties = HalfAreaGroupAvx2(row0 + HalfLeftByte<Bytes>(e),
                                          row0 + HalfLeftByte<Bytes>(e + 4), rowOffset, left[phase],
                                          right[phase], wc0 + e, wc1 + e, weight0, weight1, q) &
                        colours;
        const uint64_t group = GroupBytesAvx2(q) | fourth;
        std::memcpy(out + e, &group, 8);
        while (ties) {
            flagged[count++] = e + __builtin_ctz(ties);
            ties &= ties - 1;
        }
        if (++phase == Phases)
            phase = 0;
    }
    if (e < bytes) {
        constexpr qsizetype Tail = 32;
        const qsizetype from = std::max<qsizetype>(0, sourceBytes - Tail);
        alignas(32) uint8_t ends[2][2 * Tail] = {};
        std::memcpy(ends[0], row0 + from, size_t(sourceBytes - from));
        std::memcpy(ends[1], row1 + from, size_t(sourceBytes - from));
        for (; e < bytes; e += 8) {
            const int base0 = HalfLeftByte<Bytes>(e), base1 = HalfLeftByte<Bytes>(e + 4);
            const int n = std::min(8, bytes - e);
            // The right-hand groups of wc0 and wc1 are padded for these reads.
            __m256i q;
            uint32_t ties = HalfAreaGroupAvx2(ends[0] + (base0 - from), ends[0] + (base1 - from),
                                              2 * Tail, left[phase], right[phase], wc0 + e, wc1 + e,
                                              weight0, weight1, q) &
                            colours & ((1u << n) - 1);
            const uint64_t group = GroupBytesAvx2(q) | fourth;
            std::memcpy(out + e, &group, size_t(n));
            while (ties) {
                flagged[count++] = e + __builtin_ctz(ties);
                ties &= ties - 1;
            }
            if (++phase == Phases)
                phase = 0;
        }
    }
    return count;
}

template <int Bytes>
void HalfAreaRows(const QImage& source, uchar* out, qsizetype stride, int width,
                  const AreaAxis& cols, const AreaAxis& rows, const std::vector<float>& wc0,
                  const std::vector<float>& wc1, ResizeVectors level, int first, int last) {
    std::vector<int32_t> flagged(size_t(width) * Bytes);
    const auto row = level >= ResizeVectors::Avx512Vbmi ? HalfAreaRowVbmi<Bytes>
                     : level >= ResizeVectors::Avx512   ? HalfAreaRow<Bytes>
                                                        : HalfAreaRowAvx2<Bytes>;
    for (int j = first; j < last; ++j) {
        uchar* line = out + j * stride;
        const uint8_t* row0 = source.constScanLine(2 * j);
        const uint8_t* row1 = source.constScanLine(2 * j + 1);
        const int count =
            row(row0, row1, rows.weight[2 * j], rows.weight[2 * j + 1], wc0.data(), wc1.data(),
                line, width, qsizetype(source.width()) * Bytes, flagged.data());
        for (int n = 0; n < count; ++n) {
            const int e = flagged[n];
            line[e] =
                DefinedHalfValue<Bytes>(row0, row1, rows.weight.data() + 2 * j,
                                        cols.weight.data() + 2 * (e / Bytes), e / Bytes, e % Bytes);
        }
    }
}

// The half-size resize when the level has a vector build for it; false otherwise.
bool HalfAreaAverage(const QImage& source, QImage& destination, uchar* out, const AreaAxis& cols,
                     const AreaAxis& rows, int threads, ResizeVectors level) {
    const int bytes = source.depth() / 8;
    if (level < ResizeVectors::Avx2 || destination.depth() != source.depth() ||
        !IsHalfLayout(cols, source.width()) || !IsHalfLayout(rows, source.height()))
        return false;
    const int width = destination.width();
    // Column weights per destination byte, padded for the last block's full-width reads.
    std::vector<float> wc0(size_t(width) * bytes + 32), wc1(wc0.size());
    for (int i = 0; i < width; ++i)
        for (int k = 0; k < bytes; ++k) {
            wc0[size_t(i) * bytes + k] = cols.weight[2 * size_t(i)];
            wc1[size_t(i) * bytes + k] = cols.weight[2 * size_t(i) + 1];
        }
    const qsizetype stride = destination.bytesPerLine();
    ForEachRowBand(destination.height(), int64_t(width) * destination.height() * 4, threads,
                   [&](int first, int last) {
                       if (bytes == 3)
                           HalfAreaRows<3>(source, out, stride, width, cols, rows, wc0, wc1, level,
                                           first, last);
                       else
                           HalfAreaRows<4>(source, out, stride, width, cols, rows, wc0, wc1, level,
                                           first, last);
                   });
    return true;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#else
bool HalfAreaAverage(const QImage&, QImage&, uchar*, const AreaAxis&, const AreaAxis&, int,
                     ResizeVectors) {
    return false;
}
#endif

#ifdef QUVAR_X86_VECTORS
// ---------------------------------------------------------------------------------------
// Bilinear with byte permutes
//
// The source neighbours are taken straight from the two source rows: a block of up to 16
// destination pixels reads a 128-byte window of each row, and byte permutes place every
// neighbour's channel into the 32-bit lane of its destination pixel. The weights and sums
// are the defined ones, in 32-bit lanes; nothing is gathered into buffers first.

// One block: the window's byte offset in a source row, how much of the window lies inside
// the row, its destination pixels, and per lane the window bytes of both neighbours (blue;
// green and red follow) and the column fraction.
struct BilinearBlock {
    uint32_t left[16], right[16], fraction[16];
    int32_t origin, readable, first, count;
};

constexpr int BilinearWindow = 128;
// How far ahead in its source rows a block fetches: the hardware's own prefetch alone left
// the loop waiting on memory half of its time.
constexpr int PrefetchAhead = 2048;

// The blocks of a destination row; empty when the permutes do not pay (a strong reduction
// leaves too few destination pixels per window).
std::vector<BilinearBlock> BilinearBlocks(int sw, int dw, int64_t xstep) {
    std::vector<BilinearBlock> blocks;
    const qsizetype rowBytes = qsizetype(sw) * 3;
    for (int i = 0; i < dw;) {
        BilinearBlock block{};
        const int64_t origin = ((i * xstep) >> 16) * 3;
        if (origin >= rowBytes)
            return {}; // the steps pass the last column; left to the plain path
        block.origin = int32_t(origin);
        block.readable = int32_t(std::min<qsizetype>(BilinearWindow, rowBytes - origin));
        block.first = i;
        int n = 0;
        for (; n < 16 && i + n < dw; ++n) {
            const int64_t x = (i + n) * xstep;
            const int sx = int(x >> 16);
            if (sx >= sw)
                return {};
            const int64_t left = int64_t(sx) * 3 - origin;
            const int64_t right = int64_t(std::min(sx + 1, sw - 1)) * 3 - origin;
            if (right + 2 >= BilinearWindow)
                break;
            block.left[n] = uint32_t(left);
            block.right[n] = uint32_t(right);
            block.fraction[n] = uint32_t(x & 0xffff);
        }
        block.count = n;
        blocks.push_back(block);
        i += n;
    }
    if (qsizetype(blocks.size()) * 8 > qsizetype(dw) + 8)
        return {};
    return blocks;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
QUVAR_AVX512_VBMI inline __attribute__((always_inline)) void
LoadWindow(const uint8_t* row, const BilinearBlock& block, __m512i& low, __m512i& high) {
    const uint8_t* at = row + block.origin;
    if (block.readable == BilinearWindow) {
        low = _mm512_loadu_si512(at);
        high = _mm512_loadu_si512(at + 64);
    } else {
        const int n = block.readable;
        low = _mm512_maskz_loadu_epi8(n >= 64 ? ~__mmask64(0) : (__mmask64(1) << n) - 1, at);
        high = n > 64 ? _mm512_maskz_loadu_epi8((__mmask64(1) << (n - 64)) - 1, at + 64)
                      : _mm512_setzero_si512();
    }
}

// One destination row from source rows A and B; outBytes: the row's bytes.
QUVAR_AVX512_VBMI void BilinearRowVbmi(const uint8_t* rowA, const uint8_t* rowB, uint32_t fy,
                                       const BilinearBlock* blocks, int blockCount, uint8_t* out,
                                       int outBytes) {
    const __m512i wa = _mm512_set1_epi32(int(65536 - fy)), wb = _mm512_set1_epi32(int(fy + 1));
    const __m512i half = _mm512_set1_epi32(32768);
    // Byte 0 of every 32-bit lane, the others zero.
    constexpr __mmask64 LowBytes = 0x1111111111111111u;
    // The three colour bytes of each lane, packed.
    alignas(64) uint8_t packOrder[64];
    for (int e = 0; e < 64; ++e)
        packOrder[e] = uint8_t(e < 48 ? 4 * (e / 3) + e % 3 : 0);
    const __m512i pack = _mm512_load_si512(packOrder);
    for (int k = 0; k < blockCount; ++k) {
        const BilinearBlock& block = blocks[k];
        // Two lines of each row: a block moves on by up to 128 bytes of source.
        for (int line = 0; line < 2; ++line) {
            const int ahead = block.origin + PrefetchAhead + 64 * line;
            _mm_prefetch(reinterpret_cast<const char*>(rowA + ahead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(rowB + ahead), _MM_HINT_T0);
        }
        __m512i aLow, aHigh, bLow, bHigh;
        LoadWindow(rowA, block, aLow, aHigh);
        LoadWindow(rowB, block, bLow, bHigh);
        const __m512i left = _mm512_loadu_si512(block.left);
        const __m512i right = _mm512_loadu_si512(block.right);
        const __m512i fx = _mm512_loadu_si512(block.fraction);
        // w2 := MulDiv(fx, wa, 65536), w4 := MulDiv(fx, wb, 65536); fx * wa < 2^32 - 2^15.
        const __m512i w2 =
            _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(fx, wa), half), 16);
        const __m512i w4 =
            _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(fx, wb), half), 16);
        const __m512i w1 = _mm512_sub_epi32(wa, w2), w3 = _mm512_sub_epi32(wb, w4);
        __m512i value[3];
        for (int c = 0; c < 3; ++c) {
            const __m512i channel = _mm512_set1_epi32(c);
            const __m512i l = _mm512_add_epi32(left, channel), r = _mm512_add_epi32(right, channel);
            const __m512i a0 = _mm512_maskz_permutex2var_epi8(LowBytes, aLow, l, aHigh);
            const __m512i a1 = _mm512_maskz_permutex2var_epi8(LowBytes, aLow, r, aHigh);
            const __m512i b0 = _mm512_maskz_permutex2var_epi8(LowBytes, bLow, l, bHigh);
            const __m512i b1 = _mm512_maskz_permutex2var_epi8(LowBytes, bLow, r, bHigh);
            const __m512i sum = _mm512_add_epi32(
                _mm512_add_epi32(_mm512_mullo_epi32(a0, w1), _mm512_mullo_epi32(a1, w2)),
                _mm512_add_epi32(_mm512_mullo_epi32(b0, w3), _mm512_mullo_epi32(b1, w4)));
            value[c] = _mm512_srli_epi32(sum, 16);
        }
        const __m512i pixels = _mm512_ternarylogic_epi32(value[0], _mm512_slli_epi32(value[1], 8),
                                                         _mm512_slli_epi32(value[2], 16), 0xfe);
        const __m512i bytes = _mm512_permutexvar_epi8(pack, pixels);
        uint8_t* to = out + 3 * block.first;
        // A full store passes the block's bytes; the next blocks store over them.
        if (3 * block.first + 64 <= outBytes)
            _mm512_storeu_si512(to, bytes);
        else
            _mm512_mask_storeu_epi8(to, (__mmask64(1) << (3 * block.count)) - 1, bytes);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// ---------------------------------------------------------------------------------------
// Bilinear row loops

struct BilinearSteps {
    int64_t x, y; // xstep and ystep, 16.16
};

// Source rows A and B of destination row j, and its row fraction.
struct BilinearRows {
    int a, b;
    uint32_t fy;
};

BilinearRows BilinearRowsOf(int j, int64_t ystep, int sh) {
    const int64_t y = j * ystep;
    const int sy = int(y >> 16);
    return {sy, sy < sh - 1 ? sy + 1 : sy, uint32_t(y & 0xffff)};
}

// The resize with byte permutes; false when the level or the sizes do not allow it.
bool BilinearPermuted(const QImage& src, const QImage& destination, uchar* out, BilinearSteps steps,
                      int threads) {
#ifdef QUVAR_X86_VECTORS
    const int dw = destination.width(), dh = destination.height(), sh = src.height();
    const std::vector<BilinearBlock> blocks = BilinearBlocks(src.width(), dw, steps.x);
    if (blocks.empty())
        return false;
    const qsizetype stride = destination.bytesPerLine();
    ForEachRowBand(dh, int64_t(dw) * dh, threads, [&](int first, int last) {
        for (int j = first; j < last; ++j) {
            const BilinearRows rows = BilinearRowsOf(j, steps.y, sh);
            BilinearRowVbmi(src.constScanLine(rows.a), src.constScanLine(rows.b), rows.fy,
                            blocks.data(), int(blocks.size()), out + j * stride, dw * 3);
        }
    });
    return true;
#else
    (void)src, (void)destination, (void)out, (void)steps, (void)threads;
    return false;
#endif
}

// The resize with both neighbours of every destination pixel first copied out of the source
// rows, then combined element by element.
void BilinearGathered(const QImage& src, const QImage& destination, uchar* out, BilinearSteps steps,
                      ResizeVectors level, int threads) {
    const int sw = src.width(), sh = src.height();
    const int dw = destination.width(), dh = destination.height();
    const qsizetype stride = destination.bytesPerLine();
    const auto combineRow = CombineRowFor(level);
    // Column tables: byte offsets of both neighbours (the last column is its own right
    // neighbour) and the fraction, repeated for the three bytes of a pixel.
    std::vector<int32_t> left(dw), right(dw);
    std::vector<uint16_t> fx(size_t(dw) * 3);
    for (int i = 0; i < dw; ++i) {
        const int64_t x = i * steps.x;
        const int sx = int(x >> 16);
        left[i] = sx * 3;
        right[i] = std::min(sx + 1, sw - 1) * 3;
        fx[3 * i] = fx[3 * i + 1] = fx[3 * i + 2] = uint16_t(x & 0xffff);
    }

    const int wide = WideCount(right.data(), dw, src.bytesPerLine());
    // Leading pixels whose two neighbours are adjacent and can be read as one 8-byte word.
    int paired = std::min(wide, WideCount(left.data(), dw, src.bytesPerLine() - 4));
    for (int i = 0; i < paired; ++i)
        if (right[i] != left[i] + 3) {
            paired = i;
            break;
        }

    ForEachRowBand(dh, int64_t(dw) * dh, threads, [&](int first, int last) {
        const size_t n = size_t(dw) * 3;
        std::vector<uint8_t> a0(n + 1), a1(n + 1), b0(n + 1), b1(n + 1);
        int rowA = -1, rowB = -1; // source rows now gathered in a0/a1 and b0/b1
        for (int j = first; j < last; ++j) {
            const BilinearRows rows = BilinearRowsOf(j, steps.y, sh);
            const int nextSy = std::min(int(((j + 1) * steps.y) >> 16), sh - 1);
            const uchar* aheadA = src.constScanLine(nextSy);
            const uchar* aheadB = src.constScanLine(std::min(nextSy + 1, sh - 1));
            if (rows.a != rowA) {
                if (rows.a == rowB) {
                    a0.swap(b0);
                    a1.swap(b1);
                } else {
                    GatherRow(src.constScanLine(rows.a), aheadA, left.data(), right.data(),
                              a0.data(), a1.data(), dw, paired, wide);
                }
                rowA = rows.a;
                rowB = -1;
            }
            if (rows.b != rowB) {
                GatherRow(src.constScanLine(rows.b), aheadB, left.data(), right.data(), b0.data(),
                          b1.data(), dw, paired, wide);
                rowB = rows.b;
            }
            combineRow(a0.data(), a1.data(), b0.data(), b1.data(), fx.data(), 65536 - rows.fy,
                       rows.fy + 1, out + j * stride, int(n));
        }
    });
}

} // namespace

void ForEachRowBand(int rows, int64_t pixels, int threads,
                    const std::function<void(int first, int last)>& band) {
    if (rows <= 0)
        return;
    int count = threads;
    if (count <= 0) {
        const int pool = ThreadPoolSize();
        count = pixels < ThreadedPixels || pool == 1 ? 1 : pool * BandsPerThread;
    }
    count = std::clamp(count, 1, rows);
    if (count == 1) {
        band(0, rows);
        return;
    }
    RunParts(count, [&](int index) {
        band(int(int64_t(rows) * index / count), int(int64_t(rows) * (index + 1) / count));
    });
}

ResizeVectors ResizeVectorsInUse() {
    return ResizeVectors(std::min(int(ProcessorVectors()), VectorLimit.load()));
}

ResizeVectors LimitResizeVectors(ResizeVectors widest) {
    VectorLimit.store(int(widest));
    return ResizeVectorsInUse();
}

void BilinearResize(const QImage& source, QImage& destination, int threads) {
    const int sw = source.width(), sh = source.height();
    const int dw = destination.width(), dh = destination.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    const QImage src = ConvertedOrThrow(source, Bitmap24Format);
    EnsureFormat(destination, Bitmap24Format);
    if (sw == dw && sh == dh) {
        CopyRows(src, destination);
        return;
    }
    uchar* out = WritableBits(destination);
    const BilinearSteps steps{MulDiv(sw - 1, 65536, dw), MulDiv(sh - 1, 65536, dh)};
    const ResizeVectors level = ResizeVectorsInUse();
    if (level >= ResizeVectors::Avx512Vbmi &&
        BilinearPermuted(src, destination, out, steps, threads))
        return;
    BilinearGathered(src, destination, out, steps, level, threads);
}

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
