// The vector level in use and the row bands that the resizes (and the other bitmap
// routines) share out among the worker threads.

#include "BitmapResize.h"

#include "Bitmap.h"
#include "BitmapResizeSupport.h"
#include "platform/Errors.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <atomic>

namespace {

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

// Below this much work a thread costs more than it saves.
constexpr int64_t ThreadedPixels = int64_t(1) << 19;
// Bands of automatic threading per thread: free threads take the next band, so that a thread
// slowed by other work on the machine holds up one small band, not a whole share.
constexpr int BandsPerThread = 16;

} // namespace

namespace resize {

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

int WideCount(const int32_t* offset, int count, qsizetype rowBytes) {
    return int(std::upper_bound(offset, offset + count, int32_t(rowBytes - 4)) - offset);
}

} // namespace resize

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
