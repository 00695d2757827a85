#include "BitmapResize.h"

#include "Bitmap.h"
#include "platform/Errors.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUVAR_AVX512_PATH 1
#endif

// The area average is defined as double products added to float sums one by one: a fused
// multiply-add would round once where the definition rounds twice.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace {

// The two inner loops are built twice, for AVX2 (eight 32-bit or four double lanes, with a
// 32-bit multiply) and for the baseline; the loader picks one. Both give the same bytes:
// the loops are integer or plain double arithmetic without contraction.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUVAR_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define QUVAR_VECTOR_CLONES
#endif

// Below this much work a thread costs more than it saves.
constexpr int64_t ThreadedPixels = int64_t(1) << 19;

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
QUVAR_VECTOR_CLONES
void CombineRow(const uint8_t* __restrict a0, const uint8_t* __restrict a1,
                const uint8_t* __restrict b0, const uint8_t* __restrict b1,
                const uint16_t* __restrict fx, uint32_t wa, uint32_t wb, uint8_t* __restrict out,
                int n) {
    for (int e = 0; e < n; ++e) {
        const uint32_t f = fx[e];
        const uint32_t w2 = (f * wa + 32768u) >> 16;
        const uint32_t w1 = wa - w2;
        const uint32_t w4 = (f * wb + 32768u) >> 16;
        const uint32_t w3 = wb - w4;
        out[e] = uint8_t((a0[e] * w1 + a1[e] * w2 + b0[e] * w3 + b1[e] * w4) >> 16);
    }
}

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
QUVAR_VECTOR_CLONES
void AccumulateTap(double rowWeight, const double* __restrict columnWeight,
                   const uint32_t* __restrict pixel, float* __restrict sumBlue,
                   float* __restrict sumGreen, float* __restrict sumRed, int width) {
    for (int i = 0; i < width; ++i) {
        const double w = rowWeight * columnWeight[i];
        const uint32_t p = pixel[i];
        sumBlue[i] = float(double(sumBlue[i]) + w * double(p & 0xff));
        sumGreen[i] = float(double(sumGreen[i]) + w * double((p >> 8) & 0xff));
        sumRed[i] = float(double(sumRed[i]) + w * double((p >> 16) & 0xff));
    }
}

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
inline uint32_t RoundedByte(float sum) {
    constexpr float Shift = 12582912.0f;
    const int32_t rounded = int32_t((sum + Shift) - Shift);
    return uint32_t(std::min(std::max(rounded, 0), 255));
}

// The rounded sums as 0xffRRGGBB words: the fourth byte of Format_RGB32 stays 0xff.
QUVAR_VECTOR_CLONES
void PackRow(const float* __restrict sumBlue, const float* __restrict sumGreen,
             const float* __restrict sumRed, uint32_t* __restrict word, int width) {
    for (int i = 0; i < width; ++i)
        word[i] = RoundedByte(sumBlue[i]) | RoundedByte(sumGreen[i]) << 8 |
                  RoundedByte(sumRed[i]) << 16 | 0xff000000u;
}

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

template <int SourceBytes, int DestinationBytes>
void AreaAverageRows(const QImage& source, QImage& destination, uchar* out, const AreaAxis& cols,
                     const AreaAxis& rows, int first, int last) {
    const int width = destination.width();
    const int sourceHeight = source.height();
    const int taps = cols.taps;
    // Planar tables per tap: byte offset into a source row and weight, per destination pixel.
    std::vector<int32_t> offset(size_t(taps) * width);
    std::vector<double> weight(size_t(taps) * width);
    const int lastColumn = source.width() - 1;
    for (int k = 0; k < taps; ++k)
        for (int i = 0; i < width; ++i) {
            offset[size_t(k) * width + i] = std::min(cols.first[i] + k, lastColumn) * SourceBytes;
            weight[size_t(k) * width + i] = cols.weight[size_t(i) * taps + k];
        }
    std::vector<int> wide(taps);
    for (int k = 0; k < taps; ++k)
        wide[k] = WideCount(offset.data() + size_t(k) * width, width, source.bytesPerLine());
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
                AccumulateTap(rowWeight, weight.data() + size_t(k) * width, pixel.data(),
                              sumBlue.data(), sumGreen.data(), sumRed.data(), width);
            }
        }
        PackRow(sumBlue.data(), sumGreen.data(), sumRed.data(), pixel.data(), width);
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

constexpr float TieMargin = 1.0f / 2048;

bool IsHalfLayout(const AreaAxis& axis, int sourceLength) {
    if (axis.taps != 2 || 2 * qsizetype(axis.first.size()) > sourceLength)
        return false;
    for (size_t i = 0; i < axis.first.size(); ++i)
        if (axis.first[i] != 2 * int(i))
            return false;
    return true;
}

// One channel of one destination pixel with the defined arithmetic, term by term.
// Not inlined, so that it keeps the baseline's separate multiply and add.
template <int Bytes>
__attribute__((noinline)) uint8_t DefinedAreaValue(const QImage& source, const AreaAxis& cols,
                                                   const AreaAxis& rows, int i, int j,
                                                   int channel) {
    float sum = 0.0f;
    for (int r = 0; r < rows.taps; ++r) {
        const double rowWeight = rows.weight[size_t(j) * rows.taps + r];
        if (rowWeight == 0.0)
            continue;
        const uint8_t* row = source.constScanLine(std::min(rows.first[j] + r, source.height() - 1));
        for (int k = 0; k < cols.taps; ++k) {
            const double w = rowWeight * double(cols.weight[size_t(i) * cols.taps + k]);
            const int column = std::min(cols.first[i] + k, source.width() - 1);
            sum = float(double(sum) + w * double(row[column * Bytes + channel]));
        }
    }
    return uint8_t(RoundedByte(sum));
}

#ifdef QUVAR_AVX512_PATH
// GCC 12 takes the intrinsics' undefined pass-through operands for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define QUVAR_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vl");
    return has;
}

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

// One destination row from source rows 2j and 2j + 1, Bytes per pixel on both sides. The
// byte indices of the values that need the defined arithmetic go to `flagged`; returns
// their count. wc0, wc1: the two column weights per destination byte, readable 32 past
// the row; sourceBytes: the bytes of a source row that may be read.
template <int Bytes>
QUVAR_AVX512 int HalfAreaRow(const uint8_t* __restrict row0, const uint8_t* __restrict row1,
                             float rowWeight0, float rowWeight1, const float* __restrict wc0,
                             const float* __restrict wc1, uint8_t* __restrict out, int width,
                             qsizetype sourceBytes, int32_t* __restrict flagged) {
    // A block is the destination pixels of one 64-byte source window: 10 of 3 bytes or 8
    // of 4. Lane e takes its left neighbour from source byte 2e - e % Bytes.
    constexpr int Pixels = Bytes == 3 ? 10 : 8;
    alignas(64) uint16_t leftIndex[32], rightIndex[32];
    for (int e = 0; e < 32; ++e) {
        const int at = e < Pixels * Bytes ? 2 * e - e % Bytes : 0;
        leftIndex[e] = uint16_t(at);
        rightIndex[e] = uint16_t(e < Pixels * Bytes ? at + Bytes : 0);
    }
    const __m512i left = _mm512_load_si512(leftIndex), right = _mm512_load_si512(rightIndex);
    const __m512 weight0 = _mm512_set1_ps(rowWeight0), weight1 = _mm512_set1_ps(rowWeight1);
    const __m512 nearHalf = _mm512_set1_ps(0.5f - TieMargin);
    const __m512i magnitude = _mm512_set1_epi32(0x7fffffff);
    // The fourth byte of a 32-bit pixel is not a colour: 0xff, never recomputed.
    const __m128i fourth = Bytes == 4 ? _mm_set1_epi32(int(0xff000000u)) : _mm_setzero_si128();
    const uint32_t colours = Bytes == 4 ? 0x77777777u : 0xffffffffu;
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
        __m512i low, high;
        LoadWords(row0 + 2 * at, whole, mask, low, high);
        const __m512i a0 = _mm512_permutex2var_epi16(low, left, high);
        const __m512i b0 = _mm512_permutex2var_epi16(low, right, high);
        LoadWords(row1 + 2 * at, whole, mask, low, high);
        const __m512i a1 = _mm512_permutex2var_epi16(low, left, high);
        const __m512i b1 = _mm512_permutex2var_epi16(low, right, high);
        const __m512 wl0 = _mm512_loadu_ps(wc0 + at), wl1 = _mm512_loadu_ps(wc0 + at + 16);
        const __m512 wr0 = _mm512_loadu_ps(wc1 + at), wr1 = _mm512_loadu_ps(wc1 + at + 16);
        const __m512 top0 = _mm512_fmadd_ps(wr0, LowFloats(b0), _mm512_mul_ps(wl0, LowFloats(a0)));
        const __m512 top1 =
            _mm512_fmadd_ps(wr1, HighFloats(b0), _mm512_mul_ps(wl1, HighFloats(a0)));
        const __m512 bottom0 =
            _mm512_fmadd_ps(wr0, LowFloats(b1), _mm512_mul_ps(wl0, LowFloats(a1)));
        const __m512 bottom1 =
            _mm512_fmadd_ps(wr1, HighFloats(b1), _mm512_mul_ps(wl1, HighFloats(a1)));
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
        // One store of 32 bytes: the two past a block of 3-byte pixels are the next
        // block's, which it stores over them.
        const __m256i bytes = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_or_si128(_mm512_cvtusepi32_epi8(q0), fourth)),
            _mm_or_si128(_mm512_cvtusepi32_epi8(q1), fourth), 1);
        if (at + 32 <= width * Bytes)
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
    return count;
}

template <int Bytes>
void HalfAreaRows(const QImage& source, uchar* out, qsizetype stride, int width,
                  const AreaAxis& cols, const AreaAxis& rows, const std::vector<float>& wc0,
                  const std::vector<float>& wc1, int first, int last) {
    std::vector<int32_t> flagged(size_t(width) * Bytes);
    for (int j = first; j < last; ++j) {
        uchar* line = out + j * stride;
        const int count =
            HalfAreaRow<Bytes>(source.constScanLine(2 * j), source.constScanLine(2 * j + 1),
                               rows.weight[2 * j], rows.weight[2 * j + 1], wc0.data(), wc1.data(),
                               line, width, qsizetype(source.width()) * Bytes, flagged.data());
        for (int n = 0; n < count; ++n) {
            const int e = flagged[n];
            line[e] = DefinedAreaValue<Bytes>(source, cols, rows, e / Bytes, j, e % Bytes);
        }
    }
}

// The half-size resize when the processor has the vector instructions; false otherwise.
bool HalfAreaAverage(const QImage& source, QImage& destination, uchar* out, const AreaAxis& cols,
                     const AreaAxis& rows, int threads) {
    const int bytes = source.depth() / 8;
    if (!HasAvx512() || destination.depth() != source.depth() ||
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
    ForEachRowBand(
        destination.height(), int64_t(width) * destination.height() * 4, threads,
        [&](int first, int last) {
            if (bytes == 3)
                HalfAreaRows<3>(source, out, stride, width, cols, rows, wc0, wc1, first, last);
            else
                HalfAreaRows<4>(source, out, stride, width, cols, rows, wc0, wc1, first, last);
        });
    return true;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#else
bool HalfAreaAverage(const QImage&, QImage&, uchar*, const AreaAxis&, const AreaAxis&, int) {
    return false;
}
#endif

} // namespace

void ForEachRowBand(int rows, int64_t pixels, int threads,
                    const std::function<void(int first, int last)>& band) {
    if (rows <= 0)
        return;
    int count = threads;
    if (count <= 0)
        count = pixels < ThreadedPixels ? 1 : ThreadPoolSize();
    count = std::clamp(count, 1, rows);
    if (count == 1) {
        band(0, rows);
        return;
    }
    RunParts(count, [&](int index) {
        band(int(int64_t(rows) * index / count), int(int64_t(rows) * (index + 1) / count));
    });
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
    const qsizetype stride = destination.bytesPerLine();

    const int64_t xstep = MulDiv(sw - 1, 65536, dw);
    const int64_t ystep = MulDiv(sh - 1, 65536, dh);
    // Column tables: byte offsets of both neighbours (the last column is its own right
    // neighbour) and the fraction, repeated for the three bytes of a pixel.
    std::vector<int32_t> left(dw), right(dw);
    std::vector<uint16_t> fx(size_t(dw) * 3);
    for (int i = 0; i < dw; ++i) {
        const int64_t x = i * xstep;
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
            const int64_t y = j * ystep;
            const int sy = int(y >> 16);
            const int sy2 = sy < sh - 1 ? sy + 1 : sy;
            const int nextSy = std::min(int(((j + 1) * ystep) >> 16), sh - 1);
            const uchar* aheadA = src.constScanLine(nextSy);
            const uchar* aheadB = src.constScanLine(std::min(nextSy + 1, sh - 1));
            if (sy != rowA) {
                if (sy == rowB) {
                    a0.swap(b0);
                    a1.swap(b1);
                } else {
                    GatherRow(src.constScanLine(sy), aheadA, left.data(), right.data(), a0.data(),
                              a1.data(), dw, paired, wide);
                }
                rowA = sy;
                rowB = -1;
            }
            if (sy2 != rowB) {
                GatherRow(src.constScanLine(sy2), aheadB, left.data(), right.data(), b0.data(),
                          b1.data(), dw, paired, wide);
                rowB = sy2;
            }
            const uint32_t fy = uint32_t(y & 0xffff);
            CombineRow(a0.data(), a1.data(), b0.data(), b1.data(), fx.data(), 65536 - fy, fy + 1,
                       out + j * stride, int(n));
        }
    });
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
    if (HalfAreaAverage(src, destination, out, cols, rows, threads))
        return;
    const bool source24 = src.format() == Bitmap24Format;
    const bool destination24 = destination.format() == Bitmap24Format;
    const int64_t work = int64_t(dw) * dh * cols.taps * rows.taps;
    ForEachRowBand(dh, work, threads, [&](int first, int last) {
        if (source24 && destination24)
            AreaAverageRows<3, 3>(src, destination, out, cols, rows, first, last);
        else if (source24)
            AreaAverageRows<3, 4>(src, destination, out, cols, rows, first, last);
        else if (destination24)
            AreaAverageRows<4, 3>(src, destination, out, cols, rows, first, last);
        else
            AreaAverageRows<4, 4>(src, destination, out, cols, rows, first, last);
    });
}
