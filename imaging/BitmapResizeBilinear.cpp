// Bilinear resize in 16.16 fixed point: the neighbours of every destination pixel are
// gathered from the two source rows and combined element by element, or, with byte
// permutes, taken straight from the rows.

#include "BitmapResize.h"

#include "Bitmap.h"
#include "BitmapResizeSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace resize;

namespace {

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

void CopyRows(const QImage& source, QImage& destination) {
    uchar* out = WritableBits(destination);
    const qsizetype rowBytes = std::min(source.bytesPerLine(), destination.bytesPerLine());
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(out + y * destination.bytesPerLine(), source.constScanLine(y), rowBytes);
}

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

#ifdef QUVAR_X86_VECTORS
// ---------------------------------------------------------------------------------------
// Bilinear with byte shuffles
//
// Without byte permutes across a whole vector, each 128-bit lane reads its own 16-byte
// window of each source row, starting at the left neighbour of its first destination byte,
// and holds four destination bytes in 32-bit lanes (the row's bytes in order, as in the
// gathered path). A byte shuffle places every left neighbour into its lane; the same shuffle
// with every index 3 higher places the right ones. A window holds four destination bytes
// when they reduce by at most 3 x; the weights and sums are the defined ones.

// The lanes of a destination row that whole vectors cover, and what each lane reads.
struct ShuffleLanes {
    std::vector<int32_t> origin;  // per lane: its window's byte offset in a source row
    std::vector<uint8_t> shuffle; // per lane, 16 bytes: the window byte of each left neighbour
    int vectorBytes = 0;          // the destination bytes they cover, a multiple of 32
};

// Empty (vectorBytes 0) when the reduction is too strong for the windows or the row too short.
ShuffleLanes ShuffleLanesOf(int sw, int dw, int64_t xstep) {
    ShuffleLanes lanes;
    const int64_t rowBytes = int64_t(sw) * 3;
    const int bytes = dw * 3;
    int lane = 0;
    for (; 4 * lane + 4 <= bytes; ++lane) {
        int32_t index[4];
        int64_t origin = 0;
        for (int k = 0; k < 4; ++k) {
            const int e = 4 * lane + k;
            const int64_t at = ((e / 3) * xstep >> 16) * 3 + e % 3;
            if (k == 0)
                origin = at - e % 3;
            index[k] = int32_t(at - origin);
        }
        if (origin + 16 > rowBytes)
            break; // the window, and every later one, would pass the end of the row
        for (int k = 0; k < 4; ++k)
            if (index[k] + 3 > 15)
                return {}; // a right neighbour outside the window
        lanes.origin.push_back(int32_t(origin));
        for (int k = 0; k < 4; ++k) {
            lanes.shuffle.push_back(uint8_t(index[k]));
            lanes.shuffle.insert(lanes.shuffle.end(), 3, 0x80);
        }
    }
    lanes.vectorBytes = (4 * lane) / 32 * 32;
    return lanes;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Windows of two lanes of one source row.
QUVAR_AVX2 inline __attribute__((always_inline)) __m256i LaneWindows(const uint8_t* row,
                                                                     const int32_t* origin) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[1])), 1);
}

// One destination row and the source rows it reads.
struct ShuffledRow {
    const uint8_t* a;
    const uint8_t* b;
    uint32_t fy;
    uint8_t* out;
};

// The first vectorBytes bytes of `Rows` destination rows; fx: the column fraction per
// destination byte. The rows share the loads of the tables.
template <int Rows>
QUVAR_AVX2 void BilinearRowsShuffled(const ShuffledRow* rows, const ShuffleLanes& lanes,
                                     const uint16_t* fx) {
    const __m256i half = _mm256_set1_epi32(32768);
    // Added to byte 0 of each 32-bit lane: the right neighbour's index.
    const __m256i three = _mm256_set1_epi32(3);
    __m256i wa[Rows], wb[Rows];
    const uint8_t* rowA[Rows];
    const uint8_t* rowB[Rows];
    uint8_t* out[Rows];
    for (int r = 0; r < Rows; ++r) {
        wa[r] = _mm256_set1_epi32(int(65536 - rows[r].fy));
        wb[r] = _mm256_set1_epi32(int(rows[r].fy + 1));
        rowA[r] = rows[r].a;
        rowB[r] = rows[r].b;
        out[r] = rows[r].out;
    }
    const int32_t* origin = lanes.origin.data();
    const uint8_t* shuffle = lanes.shuffle.data();
    for (int e = 0; e < lanes.vectorBytes; e += 32) {
        const int first = e / 4;
        for (int r = 0; r < Rows; ++r) {
            _mm_prefetch(reinterpret_cast<const char*>(rowA[r] + origin[first] + PrefetchAhead),
                         _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(rowB[r] + origin[first] + PrefetchAhead),
                         _MM_HINT_T0);
        }
        __m256i value[Rows][4];
        for (int g = 0; g < 4; ++g) {
            const int lane = first + 2 * g;
            const __m256i left =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shuffle + 16 * lane));
            const __m256i right = _mm256_add_epi8(left, three);
            const __m256i f = _mm256_cvtepu16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(fx + e + 8 * g)));
            for (int r = 0; r < Rows; ++r) {
                const __m256i a = LaneWindows(rowA[r], origin + lane);
                const __m256i b = LaneWindows(rowB[r], origin + lane);
                const __m256i a0 = _mm256_shuffle_epi8(a, left);
                const __m256i a1 = _mm256_shuffle_epi8(a, right);
                const __m256i b0 = _mm256_shuffle_epi8(b, left);
                const __m256i b1 = _mm256_shuffle_epi8(b, right);
                // w2 := MulDiv(fx, wa, 65536), w4 := MulDiv(fx, wb, 65536); fx * wa < 2^32 - 2^15.
                const __m256i w2 =
                    _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(f, wa[r]), half), 16);
                const __m256i w4 =
                    _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(f, wb[r]), half), 16);
                const __m256i w1 = _mm256_sub_epi32(wa[r], w2), w3 = _mm256_sub_epi32(wb[r], w4);
                const __m256i sum = _mm256_add_epi32(
                    _mm256_add_epi32(_mm256_mullo_epi32(a0, w1), _mm256_mullo_epi32(a1, w2)),
                    _mm256_add_epi32(_mm256_mullo_epi32(b0, w3), _mm256_mullo_epi32(b1, w4)));
                value[r][g] = _mm256_srli_epi32(sum, 16);
            }
        }
        for (int r = 0; r < Rows; ++r)
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(out[r] + e),
                PackedBytesAvx2(value[r][0], value[r][1], value[r][2], value[r][3]));
    }
}

// Windows of four lanes of one source row.
QUVAR_AVX512 inline __attribute__((always_inline)) __m512i LaneWindows512(const uint8_t* row,
                                                                          const int32_t* origin) {
    const __m256i low = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[1])), 1);
    const __m256i high = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[2]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + origin[3])), 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// The same with 512-bit vectors.
template <int Rows>
QUVAR_AVX512 void BilinearRowsShuffled512(const ShuffledRow* rows, const ShuffleLanes& lanes,
                                          const uint16_t* fx) {
    const __m512i half = _mm512_set1_epi32(32768);
    const __m512i three = _mm512_set1_epi32(3);
    __m512i wa[Rows], wb[Rows];
    const uint8_t* rowA[Rows];
    const uint8_t* rowB[Rows];
    uint8_t* out[Rows];
    for (int r = 0; r < Rows; ++r) {
        wa[r] = _mm512_set1_epi32(int(65536 - rows[r].fy));
        wb[r] = _mm512_set1_epi32(int(rows[r].fy + 1));
        rowA[r] = rows[r].a;
        rowB[r] = rows[r].b;
        out[r] = rows[r].out;
    }
    const int32_t* origin = lanes.origin.data();
    const uint8_t* shuffle = lanes.shuffle.data();
    for (int e = 0; e < lanes.vectorBytes; e += 32) {
        const int first = e / 4;
        for (int r = 0; r < Rows; ++r) {
            _mm_prefetch(reinterpret_cast<const char*>(rowA[r] + origin[first] + PrefetchAhead),
                         _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(rowB[r] + origin[first] + PrefetchAhead),
                         _MM_HINT_T0);
        }
        __m512i value[Rows][2];
        for (int g = 0; g < 2; ++g) {
            const int lane = first + 4 * g;
            const __m512i left = _mm512_loadu_si512(shuffle + 16 * lane);
            const __m512i right = _mm512_add_epi8(left, three);
            const __m512i f = _mm512_cvtepu16_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fx + e + 16 * g)));
            for (int r = 0; r < Rows; ++r) {
                const __m512i a = LaneWindows512(rowA[r], origin + lane);
                const __m512i b = LaneWindows512(rowB[r], origin + lane);
                const __m512i a0 = _mm512_shuffle_epi8(a, left);
                const __m512i a1 = _mm512_shuffle_epi8(a, right);
                const __m512i b0 = _mm512_shuffle_epi8(b, left);
                const __m512i b1 = _mm512_shuffle_epi8(b, right);
                const __m512i w2 =
                    _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(f, wa[r]), half), 16);
                const __m512i w4 =
                    _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(f, wb[r]), half), 16);
                const __m512i w1 = _mm512_sub_epi32(wa[r], w2), w3 = _mm512_sub_epi32(wb[r], w4);
                const __m512i sum = _mm512_add_epi32(
                    _mm512_add_epi32(_mm512_mullo_epi32(a0, w1), _mm512_mullo_epi32(a1, w2)),
                    _mm512_add_epi32(_mm512_mullo_epi32(b0, w3), _mm512_mullo_epi32(b1, w4)));
                value[r][g] = _mm512_srli_epi32(sum, 16);
            }
        }
        for (int r = 0; r < Rows; ++r) {
            const __m128i low = _mm512_cvtepi32_epi8(value[r][0]);
            const __m128i high = _mm512_cvtepi32_epi8(value[r][1]);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[r] + e),
                                _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1));
        }
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

// Destination bytes [from, to) of one row with the defined arithmetic, byte by byte.
void BilinearBytes(const uint8_t* rowA, const uint8_t* rowB, uint32_t fy, const int32_t* left,
                   const int32_t* right, const uint16_t* fx, uint8_t* out, int from, int to) {
    const uint32_t wa = 65536 - fy, wb = fy + 1;
    for (int e = from; e < to; ++e) {
        const int i = e / 3, c = e % 3;
        const uint32_t w2 = (fx[e] * wa + 32768u) >> 16, w1 = wa - w2;
        const uint32_t w4 = (fx[e] * wb + 32768u) >> 16, w3 = wb - w4;
        out[e] = uint8_t((rowA[left[i] + c] * w1 + rowA[right[i] + c] * w2 +
                          rowB[left[i] + c] * w3 + rowB[right[i] + c] * w4) >>
                         16);
    }
}

// Column tables: byte offsets of both neighbours of every destination pixel (the last column
// is its own right neighbour) and the fraction, repeated for the three bytes of a pixel.
struct BilinearColumns {
    std::vector<int32_t> left, right;
    std::vector<uint16_t> fx;
};

BilinearColumns BilinearColumnsOf(int sw, int dw, int64_t xstep) {
    BilinearColumns columns{std::vector<int32_t>(dw), std::vector<int32_t>(dw),
                            std::vector<uint16_t>(size_t(dw) * 3)};
    for (int i = 0; i < dw; ++i) {
        const int64_t x = i * xstep;
        const int sx = int(x >> 16);
        columns.left[i] = sx * 3;
        columns.right[i] = std::min(sx + 1, sw - 1) * 3;
        columns.fx[3 * i] = columns.fx[3 * i + 1] = columns.fx[3 * i + 2] = uint16_t(x & 0xffff);
    }
    return columns;
}

// The resize with byte shuffles; false when the sizes do not allow it.
bool BilinearShuffled(const QImage& src, const QImage& destination, uchar* out, BilinearSteps steps,
                      ResizeVectors level, int threads) {
#ifdef QUVAR_X86_VECTORS
    const int sw = src.width(), sh = src.height();
    const int dw = destination.width(), dh = destination.height();
    const ShuffleLanes lanes = ShuffleLanesOf(sw, dw, steps.x);
    if (lanes.vectorBytes == 0)
        return false;
    const BilinearColumns columns = BilinearColumnsOf(sw, dw, steps.x);
    const qsizetype stride = destination.bytesPerLine();
    const auto rowsShuffled = [&](const ShuffledRow* rows, int count) {
        const bool wide = level >= ResizeVectors::Avx512;
        if (count == 2)
            (wide ? BilinearRowsShuffled512<2> : BilinearRowsShuffled<2>)(rows, lanes,
                                                                          columns.fx.data());
        else
            (wide ? BilinearRowsShuffled512<1> : BilinearRowsShuffled<1>)(rows, lanes,
                                                                          columns.fx.data());
    };
    ForEachRowBand(dh, int64_t(dw) * dh, threads, [&](int first, int last) {
        for (int j = first; j < last; j += 2) {
            ShuffledRow pair[2];
            const int count = std::min(2, last - j);
            for (int r = 0; r < count; ++r) {
                const BilinearRows rows = BilinearRowsOf(j + r, steps.y, sh);
                pair[r] = {src.constScanLine(rows.a), src.constScanLine(rows.b), rows.fy,
                           out + (j + r) * stride};
            }
            rowsShuffled(pair, count);
            for (int r = 0; r < count; ++r)
                BilinearBytes(pair[r].a, pair[r].b, pair[r].fy, columns.left.data(),
                              columns.right.data(), columns.fx.data(), pair[r].out,
                              lanes.vectorBytes, dw * 3);
        }
    });
    return true;
#else
    (void)src, (void)destination, (void)out, (void)steps, (void)level, (void)threads;
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
    const BilinearColumns columns = BilinearColumnsOf(sw, dw, steps.x);
    const std::vector<int32_t>& left = columns.left;
    const std::vector<int32_t>& right = columns.right;
    const std::vector<uint16_t>& fx = columns.fx;

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
    if (level >= ResizeVectors::Avx2 &&
        BilinearShuffled(src, destination, out, steps, level, threads))
        return;
    BilinearGathered(src, destination, out, steps, level, threads);
}
