// Area average to half size
//
// When every destination pixel covers source columns 2i, 2i + 1 and rows 2j, 2j + 1, the
// sums are formed with single-precision multiply-adds, across then down: six roundings
// of at most 2^-17 each (every partial sum is below 256). The defined sum rounds four times
// by as much, so the two differ by less than 10 x 2^-17 and round to the same byte unless
// the fast one lies within TieMargin of a half; those few are recomputed the defined way.
// TieMargin is 2^-13, some 1.6 times that bound: a wider margin only recomputes more.

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

namespace resize {

#ifdef QUVAR_X86_VECTORS
// GCC 12 takes the intrinsics' undefined pass-through operands for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

constexpr float TieMargin = 1.0f / 8192;

bool IsHalfLayout(const AreaAxis& axis, int sourceLength) {
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
        const __m256i packed = _mm256_or_si256(PackedBytesAvx2(q[0], q[1], q[2], q[3]), fourths);
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

} // namespace

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

} // namespace resize
