#include "YuvConversion.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// The loops are written for the compiler to vectorise: constant coefficients, 16-bit luma,
// pointers that do not alias. The same code is compiled once more for AVX2 and chosen at run
// time where the processor has it.
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

template <int Bytes, bool Full>
QUVAR_AVX2 void ConvertAvx2(const uint8_t* bgr, int stride, int width, int rows,
                            const TYuvPlanes& p) {
    Convert<Bytes, Full>(bgr, stride, width, rows, p);
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
