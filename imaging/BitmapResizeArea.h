#pragma once
// What the area-average files share: the source spans and weights along one axis, the
// rounding of a sum to a byte, and the half-size path. Internal to the imaging library.

#include "BitmapResizeSupport.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace resize {

// The source span of every destination index along one axis. Every index gets the same
// number of taps; the taps past its span have weight 0 and point at a valid pixel, which
// adds exactly nothing to a sum and keeps the loops free of branches.
struct AreaAxis {
    int taps = 0;
    std::vector<int32_t> first; // first covered source index, per destination index
    std::vector<float> weight;  // [index * taps + tap]
};

AreaAxis AreaSpans(int sourceLength, int destinationLength);

// Rounds a sum to the nearest byte, halves to even: adding and taking away 1.5 x 2^23
// leaves the float rounded to an integer in the default rounding mode (exact below 2^22,
// far above any sum of byte values with weights below 1). Branch-free, so the loop
// vectorises.
QUVAR_INLINE_BODY uint32_t RoundedByte(float sum) {
    constexpr float Shift = 12582912.0f;
    const int32_t rounded = int32_t((sum + Shift) - Shift);
    return uint32_t(std::min(std::max(rounded, 0), 255));
}

// The area average when every destination pixel covers a 2 x 2 block of source pixels and
// the level has a vector build for it: fills `out` (the destination's pixels) and returns
// true; false, with nothing written, otherwise.
bool HalfAreaAverage(const QImage& source, QImage& destination, uchar* out, const AreaAxis& cols,
                     const AreaAxis& rows, int threads, ResizeVectors level);

} // namespace resize
