#include "BitmapRotate.h"

#include "Bitmap.h"
#include "BitmapResize.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

bool Prepare(QImage& bitmap) {
    if (bitmap.isNull())
        return false;
    if (bitmap.format() != Bitmap24Format && bitmap.format() != Bitmap32Format &&
        bitmap.format() != QImage::Format_ARGB32)
        bitmap = bitmap.convertToFormat(Bitmap24Format);
    return true;
}

// A large new bitmap is touched page by page in an order that jumps between rows; huge
// pages cut both the page faults and the TLB misses of that walk. Only a hint.
void PreferHugePages(QImage& image) {
    constexpr uintptr_t Huge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(image.bits()) + Huge - 1) & ~(Huge - 1);
    const uintptr_t end =
        (reinterpret_cast<uintptr_t>(image.bits()) + uintptr_t(image.sizeInBytes())) & ~(Huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Square tiles keep both the strided reads and the sequential writes inside the cache.
constexpr int Tile = 64;

// Copies count pixels from in, in + step, ... to consecutive pixels at out. With wide
// set, every pixel moves as one 4-byte word: for 3-byte pixels the fourth byte written
// lands on the next pixel, which the following store puts right, and the fourth byte read
// belongs to the same image; the caller keeps wide off where either would leave the rows.
template <int Bytes, bool Wide>
inline void CopyStrided(uchar* __restrict out, const uchar* __restrict in, qsizetype step,
                        int count) {
    constexpr int Moved = Wide ? 4 : Bytes;
    for (int i = 0; i < count; ++i, out += Bytes, in += step) {
        uchar pixel[4];
        std::memcpy(pixel, in, Moved);
        std::memcpy(out, pixel, Moved);
    }
}

// Quarter turn through a new bitmap, tile by tile, writing each destination row segment
// in order.
template <int Bytes, bool Left> void QuarterTurn(QImage& bitmap, int threads) {
    const int w = bitmap.width(), h = bitmap.height();
    QImage rotated = NewBitmap(h, w, bitmap.format());
    PreferHugePages(rotated);
    const uchar* const src = bitmap.constBits();
    const qsizetype srcStride = bitmap.bytesPerLine();
    uchar* const dst = rotated.bits();
    const qsizetype dstStride = rotated.bytesPerLine();
    // Destination: w rows of h pixels, split into bands of whole tile rows.
    const int tileRows = (w + Tile - 1) / Tile;
    ForEachRowBand(tileRows, int64_t(w) * h, threads, [&](int t0, int t1) {
        for (int r0 = t0 * Tile; r0 < std::min(w, t1 * Tile); r0 += Tile) {
            const int r1 = std::min(w, r0 + Tile);
            for (int c0 = 0; c0 < h; c0 += Tile) {
                const int c1 = std::min(h, c0 + Tile);
                for (int dr = r0; dr < r1; ++dr) {
                    // Left: destination row W-1-x is source column x, and destination
                    // column y is source row y. Right: row x is column x, column H-1-y is
                    // row y.
                    const int x = Left ? w - 1 - dr : dr;
                    uchar* out = dst + dr * dstStride + qsizetype(c0) * Bytes;
                    const uchar* in =
                        src + qsizetype(x) * Bytes + (Left ? c0 : h - 1 - c0) * srcStride;
                    const qsizetype step = Left ? srcStride : -srcStride;
                    // 3-byte pixels: the last source column may end the buffer, and the
                    // last pixel of a destination row may be followed by the next row.
                    const bool wideReads = Bytes == 4 || x < w - 1;
                    const int wide = (Bytes == 4 || c1 < h) ? c1 - c0 : c1 - c0 - 1;
                    if (wideReads) {
                        CopyStrided<Bytes, true>(out, in, step, wide);
                        CopyStrided<Bytes, false>(out + qsizetype(wide) * Bytes, in + wide * step,
                                                  step, c1 - c0 - wide);
                    } else {
                        CopyStrided<Bytes, false>(out, in, step, c1 - c0);
                    }
                }
            }
        }
    });
    rotated.setDotsPerMeterX(bitmap.dotsPerMeterY());
    rotated.setDotsPerMeterY(bitmap.dotsPerMeterX());
    bitmap = std::move(rotated);
}

template <int Bytes> void ReverseRow(const uchar* from, uchar* to, int w) {
    const uchar* in = from + qsizetype(w - 1) * Bytes;
    for (int x = 0; x < w; ++x, in -= Bytes)
        std::memcpy(to + qsizetype(x) * Bytes, in, Bytes);
}

// Half turn in place: rows y and H-1-y swap, each reversed, through one row of scratch.
template <int Bytes> void HalfTurn(QImage& bitmap, int threads) {
    const int w = bitmap.width(), h = bitmap.height();
    uchar* const bits = bitmap.bits();
    const qsizetype stride = bitmap.bytesPerLine();
    const int pairs = (h + 1) / 2;
    ForEachRowBand(pairs, int64_t(w) * h, threads, [&](int first, int last) {
        std::vector<uchar> scratch(size_t(w) * Bytes);
        for (int y = first; y < last; ++y) {
            uchar* top = bits + y * stride;
            uchar* bottom = bits + (h - 1 - y) * stride;
            ReverseRow<Bytes>(top, scratch.data(), w);
            if (bottom != top)
                ReverseRow<Bytes>(bottom, top, w);
            std::memcpy(bottom, scratch.data(), scratch.size());
        }
    });
}

} // namespace

void RotateLeft90(QImage& bitmap, int threads) {
    if (!Prepare(bitmap))
        return;
    if (bitmap.depth() == 24)
        QuarterTurn<3, true>(bitmap, threads);
    else
        QuarterTurn<4, true>(bitmap, threads);
}

void RotateRight90(QImage& bitmap, int threads) {
    if (!Prepare(bitmap))
        return;
    if (bitmap.depth() == 24)
        QuarterTurn<3, false>(bitmap, threads);
    else
        QuarterTurn<4, false>(bitmap, threads);
}

void Rotate180(QImage& bitmap, int threads) {
    if (!Prepare(bitmap))
        return;
    if (bitmap.depth() == 24)
        HalfTurn<3>(bitmap, threads);
    else
        HalfTurn<4>(bitmap, threads);
}
