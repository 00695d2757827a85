#include "YuvConversion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include <immintrin.h>

// The portable loops are written for the compiler to vectorise: constant coefficients, 16-bit
// luma, pointers that do not alias. Where the processor has AVX2, a hand-written loop chosen at
// run time does the same arithmetic with each pixel row read once: the compiler's own
// vectorisation of the loops above splits the pixels into colours twice, for the luma and for
// the chroma, and goes through memory in between.
#define QUVAR_AVX2 __attribute__((target("avx2")))

namespace {

// BT.601 in 8-bit fixed point (the usual integer form), luma in 16 bits.
template <bool Full> struct Coefficients;
template <> struct Coefficients<false> { // luma 16..235, chroma 16..240 around 128
    static constexpr int yr = 66, yg = 129, yb = 25, yOffset = 16;
    static constexpr int ur = -38, ug = -74, ub = 112;
    static constexpr int vr = 112, vg = -94, vb = -18;
};
template <> struct Coefficients<true> { // everything over 0..255
    static constexpr int yr = 77, yg = 150, yb = 29, yOffset = 0;
    static constexpr int ur = -43, ug = -85, ub = 128;
    static constexpr int vr = 128, vg = -107, vb = -21;
};

template <int Bytes, bool Full>
[[gnu::always_inline]] inline void LumaRow(const uint8_t* __restrict in, int width,
                                           uint8_t* __restrict out) {
    using C = Coefficients<Full>;
    for (int x = 0; x < width; ++x) {
        const uint16_t b = in[Bytes * x], g = in[Bytes * x + 1], r = in[Bytes * x + 2];
        out[x] = uint8_t(uint16_t(C::yr * r + C::yg * g + C::yb * b + 128) >> 8) + C::yOffset;
    }
}

// Full-range red and blue round up to 256.
[[gnu::always_inline]] inline uint8_t Clamp8(int value) {
    return uint8_t(std::min(std::max(value, 0), 255));
}

// Chroma of the mean red, green and blue of a 2 x 2 block.
template <bool Full>
[[gnu::always_inline]] inline void Chroma(int r, int g, int b, uint8_t& u, uint8_t& v) {
    using C = Coefficients<Full>;
    u = Clamp8(((C::ur * r + C::ug * g + C::ub * b + 128) >> 8) + 128);
    v = Clamp8(((C::vr * r + C::vg * g + C::vb * b + 128) >> 8) + 128);
}

// The column sums of two pixel rows, one plane per colour: the interleaved pixels are read
// in the same way as for the luma, which vectorises.
template <int Bytes>
[[gnu::always_inline]] inline void
ColumnSums(const uint8_t* __restrict top, const uint8_t* __restrict bottom, int width,
           uint16_t* __restrict b, uint16_t* __restrict g, uint16_t* __restrict r) {
    for (int x = 0; x < width; ++x) {
        b[x] = uint16_t(top[Bytes * x] + bottom[Bytes * x]);
        g[x] = uint16_t(top[Bytes * x + 1] + bottom[Bytes * x + 1]);
        r[x] = uint16_t(top[Bytes * x + 2] + bottom[Bytes * x + 2]);
    }
}

// One chroma row from the column sums, each sample from the rounded mean of its 2 x 2
// pixels (an odd last column counts twice).
template <bool Full>
[[gnu::always_inline]] inline void
ChromaRow(const uint16_t* __restrict b, const uint16_t* __restrict g, const uint16_t* __restrict r,
          int width, uint8_t* __restrict u, uint8_t* __restrict v) {
    const int pairs = width / 2;
    for (int x = 0; x < pairs; ++x)
        Chroma<Full>((r[2 * x] + r[2 * x + 1] + 2) >> 2, (g[2 * x] + g[2 * x + 1] + 2) >> 2,
                     (b[2 * x] + b[2 * x + 1] + 2) >> 2, u[x], v[x]);
    if (width % 2) {
        const int last = width - 1;
        Chroma<Full>((r[last] + 1) >> 1, (g[last] + 1) >> 1, (b[last] + 1) >> 1, u[pairs],
                     v[pairs]);
    }
}

template <int Bytes, bool Full>
[[gnu::always_inline]] inline void Convert(const uint8_t* bgr, int stride, int width, int rows,
                                           const TYuvPlanes& p) {
    std::vector<uint16_t> sums(3 * size_t(width));
    uint16_t* b = sums.data();
    uint16_t* g = b + width;
    uint16_t* r = g + width;
    for (int y = 0; y < rows; y += 2) {
        const uint8_t* top = bgr + std::ptrdiff_t(y) * stride;
        const uint8_t* bottom = y + 1 < rows ? top + stride : top;
        LumaRow<Bytes, Full>(top, width, p.Y + std::ptrdiff_t(y) * p.YStride);
        if (y + 1 < rows)
            LumaRow<Bytes, Full>(bottom, width, p.Y + std::ptrdiff_t(y + 1) * p.YStride);
        ColumnSums<Bytes>(top, bottom, width, b, g, r);
        ChromaRow<Full>(b, g, r, width, p.U + std::ptrdiff_t(y / 2) * p.UStride,
                        p.V + std::ptrdiff_t(y / 2) * p.VStride);
    }
}

template <int Bytes, bool Full>
void ConvertPlain(const uint8_t* bgr, int stride, int width, int rows, const TYuvPlanes& p) {
    Convert<Bytes, Full>(bgr, stride, width, rows, p);
}

// The AVX2 loop takes 32 pixels of a row pair at a time. The pixels are split into their
// colours by byte shuffles into 16-bit lanes: 16 pixels per register, the first 8 in the low
// half. A half of 8 pixels comes from two 16-byte loads, A with the first pixels and B with
// the rest (Split is where B's pixels begin).
template <int Bytes> struct Layout;
template <> struct Layout<3> { static constexpr int Split = 5, BOffset = 8, HalfBytes = 24; };
template <> struct Layout<4> { static constexpr int Split = 4, BOffset = 16, HalfBytes = 32; };

// The shuffle that puts colour c of the pixels taken from A (or from B) into their 16-bit lanes
// and zeros the rest.
template <int Bytes> constexpr std::array<char, 32> ShuffleMask(int c, bool fromB) {
    using L = Layout<Bytes>;
    std::array<char, 32> mask{};
    for (int half = 0; half < 2; ++half)
        for (int x = 0; x < 8; ++x) {
            const bool inB = x >= L::Split;
            const int at = Bytes * x + c - (inB ? L::BOffset : 0);
            mask[size_t(16 * half + 2 * x)] = char(inB == fromB ? at : 0x80);
            mask[size_t(16 * half + 2 * x + 1)] = char(0x80);
        }
    return mask;
}

template <int Bytes> struct Masks {
    static constexpr std::array<char, 32> a[3] = {
        ShuffleMask<Bytes>(0, false), ShuffleMask<Bytes>(1, false), ShuffleMask<Bytes>(2, false)};
    static constexpr std::array<char, 32> b[3] = {
        ShuffleMask<Bytes>(0, true), ShuffleMask<Bytes>(1, true), ShuffleMask<Bytes>(2, true)};
};

struct Colours {
    __m256i b, g, r;
};

QUVAR_AVX2 inline __m256i Load(const std::array<char, 32>& mask) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask.data()));
}

QUVAR_AVX2 inline __m256i LoadHalves(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// The colours of 16 pixels, 16 bits each.
template <int Bytes> QUVAR_AVX2 inline Colours Split16(const uint8_t* in) {
    using L = Layout<Bytes>;
    using M = Masks<Bytes>;
    const __m256i a = LoadHalves(in, in + L::HalfBytes);
    const __m256i b = LoadHalves(in + L::BOffset, in + L::HalfBytes + L::BOffset);
    __m256i colour[3];
    for (int c = 0; c < 3; ++c)
        colour[c] = _mm256_or_si256(_mm256_shuffle_epi8(a, Load(M::a[c])),
                                    _mm256_shuffle_epi8(b, Load(M::b[c])));
    return {colour[0], colour[1], colour[2]};
}

// The luma of 16 pixels in 16 bits, as LumaRow computes it.
template <bool Full> QUVAR_AVX2 inline __m256i Luma16(const Colours& p) {
    using C = Coefficients<Full>;
    __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(p.r, _mm256_set1_epi16(C::yr)),
                                   _mm256_mullo_epi16(p.g, _mm256_set1_epi16(C::yg)));
    sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(p.b, _mm256_set1_epi16(C::yb)));
    sum = _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128)), 8);
    return _mm256_add_epi16(sum, _mm256_set1_epi16(C::yOffset));
}

// 32 luma bytes in pixel order from two registers of 16.
QUVAR_AVX2 inline void StoreLuma(__m256i first, __m256i second, uint8_t* out) {
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
}

// The rounded means of 2 x 2 blocks from the column sums of 16 + 16 pixels: 16 values,
// ordered as blocks 0-3, 8-11 in the low half and 4-7, 12-15 in the high half.
QUVAR_AVX2 inline __m256i BlockMeans(__m256i first, __m256i second) {
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i pairs =
        _mm256_packs_epi32(_mm256_madd_epi16(first, ones), _mm256_madd_epi16(second, ones));
    return _mm256_srli_epi16(_mm256_add_epi16(pairs, _mm256_set1_epi16(2)), 2);
}

// ((cr * r + cg * g + cb * b + 128) >> 8) + 128 as Chroma computes it, in 16 bits: the sum of
// the products fits, and halving it first keeps the rounding term from overflowing.
QUVAR_AVX2 inline __m256i Chroma16(__m256i r, __m256i g, __m256i b, int cr, int cg, int cb) {
    __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(int16_t(cr))),
                                   _mm256_mullo_epi16(g, _mm256_set1_epi16(int16_t(cg))));
    sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(b, _mm256_set1_epi16(int16_t(cb))));
    sum = _mm256_srai_epi16(_mm256_add_epi16(_mm256_srai_epi16(sum, 1), _mm256_set1_epi16(64)), 7);
    return _mm256_add_epi16(sum, _mm256_set1_epi16(128));
}

// 32 pixels of a row pair: 32 luma bytes per row, 16 chroma bytes per plane.
template <int Bytes, bool Full>
QUVAR_AVX2 inline void Block32(const uint8_t* top, const uint8_t* bottom, bool twoRows,
                               uint8_t* yTop, uint8_t* yBottom, uint8_t* u, uint8_t* v) {
    using C = Coefficients<Full>;
    const Colours t0 = Split16<Bytes>(top), t1 = Split16<Bytes>(top + 16 * Bytes);
    StoreLuma(Luma16<Full>(t0), Luma16<Full>(t1), yTop);
    Colours s0 = {_mm256_add_epi16(t0.b, t0.b), _mm256_add_epi16(t0.g, t0.g),
                  _mm256_add_epi16(t0.r, t0.r)};
    Colours s1 = {_mm256_add_epi16(t1.b, t1.b), _mm256_add_epi16(t1.g, t1.g),
                  _mm256_add_epi16(t1.r, t1.r)};
    if (twoRows) {
        const Colours b0 = Split16<Bytes>(bottom), b1 = Split16<Bytes>(bottom + 16 * Bytes);
        StoreLuma(Luma16<Full>(b0), Luma16<Full>(b1), yBottom);
        s0 = {_mm256_add_epi16(t0.b, b0.b), _mm256_add_epi16(t0.g, b0.g),
              _mm256_add_epi16(t0.r, b0.r)};
        s1 = {_mm256_add_epi16(t1.b, b1.b), _mm256_add_epi16(t1.g, b1.g),
              _mm256_add_epi16(t1.r, b1.r)};
    }
    const __m256i b = BlockMeans(s0.b, s1.b), g = BlockMeans(s0.g, s1.g),
                  r = BlockMeans(s0.r, s1.r);
    const __m256i uv = _mm256_packus_epi16(Chroma16(r, g, b, C::ur, C::ug, C::ub),
                                           Chroma16(r, g, b, C::vr, C::vg, C::vb));
    // Now u 0-3, 8-11, v 0-3, 8-11 in the low half, 4-7, 12-15 of each in the high half.
    const __m256i order = _mm256_setr_epi8(0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15, 0,
                                           1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15);
    const __m256i planar = _mm256_shuffle_epi8(_mm256_permute4x64_epi64(uv, 0xD8), order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u), _mm256_castsi256_si128(planar));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v), _mm256_extracti128_si256(planar, 1));
}

template <int Bytes, bool Full>
QUVAR_AVX2 void ConvertAvx2(const uint8_t* bgr, int stride, int width, int rows,
                            const TYuvPlanes& p) {
    // The columns after the last block of 32 (an even number of them) go the portable way.
    const int blocks = width / 32, rest = width - 32 * blocks;
    std::array<uint16_t, 3 * 32> sums;
    for (int y = 0; y < rows; y += 2) {
        const uint8_t* top = bgr + std::ptrdiff_t(y) * stride;
        const bool twoRows = y + 1 < rows;
        const uint8_t* bottom = twoRows ? top + stride : top;
        uint8_t* yTop = p.Y + std::ptrdiff_t(y) * p.YStride;
        uint8_t* yBottom = yTop + p.YStride;
        uint8_t* u = p.U + std::ptrdiff_t(y / 2) * p.UStride;
        uint8_t* v = p.V + std::ptrdiff_t(y / 2) * p.VStride;
        for (int i = 0; i < blocks; ++i)
            Block32<Bytes, Full>(top + 32 * Bytes * i, bottom + 32 * Bytes * i, twoRows,
                                 yTop + 32 * i, yBottom + 32 * i, u + 16 * i, v + 16 * i);
        if (rest == 0)
            continue;
        const int done = 32 * blocks;
        LumaRow<Bytes, Full>(top + Bytes * done, rest, yTop + done);
        if (twoRows)
            LumaRow<Bytes, Full>(bottom + Bytes * done, rest, yBottom + done);
        uint16_t* b = sums.data();
        ColumnSums<Bytes>(top + Bytes * done, bottom + Bytes * done, rest, b, b + 32, b + 64);
        ChromaRow<Full>(b, b + 32, b + 64, rest, u + done / 2, v + done / 2);
    }
}

bool HasAvx2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

template <int Bytes, bool Full>
void Dispatch(const uint8_t* bgr, int stride, int width, int rows, const TYuvPlanes& p) {
    if (HasAvx2())
        ConvertAvx2<Bytes, Full>(bgr, stride, width, rows, p);
    else
        ConvertPlain<Bytes, Full>(bgr, stride, width, rows, p);
}

} // namespace

void BgrToYuv420(const uint8_t* bgr, int bgr_stride, int bytes_per_pixel, int width, int rows,
                 const TYuvPlanes& planes, bool full_range) {
    if (bytes_per_pixel == 4)
        full_range ? Dispatch<4, true>(bgr, bgr_stride, width, rows, planes)
                   : Dispatch<4, false>(bgr, bgr_stride, width, rows, planes);
    else
        full_range ? Dispatch<3, true>(bgr, bgr_stride, width, rows, planes)
                   : Dispatch<3, false>(bgr, bgr_stride, width, rows, planes);
}
