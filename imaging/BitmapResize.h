#pragma once
// Resizing of bitmaps. Both routines fill a destination that already has its size; a
// destination or source without pixels (zero width or height) is left alone.
//
// The arithmetic is fixed so that the same image always gives the same bytes: on any
// machine, with any number of threads.

#include <QImage>

#include <cstdint>
#include <functional>

// Bilinear resize in 16.16 fixed point. The result is 24-bit (Bitmap24Format): a source of
// another format is converted first, a destination of another format is replaced by a
// 24-bit bitmap of its size. Equal sizes copy the source. A flat area keeps its value.
// `threads`: 0 chooses by image size, 1 runs on the calling thread.
void BilinearResize(const QImage& source, QImage& destination, int threads = 0);

// Area-averaging resize in single-precision floats: every destination pixel is the
// weighted sum of the source pixels under it; the covered span is 0.999 of a pixel step,
// so a flat 255 becomes 254. Works on Bitmap32Format and Bitmap24Format bitmaps (a source
// of another format is converted to 32 bits, a destination of another format is replaced
// by a 32-bit bitmap of its size); in a 32-bit result the unused fourth byte is 0xff.
void AreaAverageResize(const QImage& source, QImage& destination, int threads = 0);

// The vector instructions the resizes may use. Each level is a path of its own through the
// same arithmetic, so every level gives the same bytes; by default the widest the processor
// has. Avx512Vbmi adds the byte permutes that the bilinear resize reads its source with.
enum class ResizeVectors { Baseline, Avx2, Avx512, Avx512Vbmi };

// The level the resizes use now: the processor's own, or less when limited.
ResizeVectors ResizeVectorsInUse();

// Lets the resizes use at most `widest` (never more than the processor has); returns the
// level now in use. For checking every path and measuring each; not for normal use.
ResizeVectors LimitResizeVectors(ResizeVectors widest);

// Runs band(first, last) over contiguous bands of the rows [0, rows), on the calling
// thread or, when `pixels` (the work of all rows) is large, on the program's worker threads
// (platform/ThreadPool.h), in many more bands than threads, each taken by the next free one;
// `threads` above 1 asks for that many bands. Each row
// must depend on nothing but its own inputs, so that the split cannot change a result.
// An exception thrown by a band is rethrown here after all bands have ended.
void ForEachRowBand(int rows, int64_t pixels, int threads,
                    const std::function<void(int first, int last)>& band);
