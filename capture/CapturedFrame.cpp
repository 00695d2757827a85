#include "capture/CapturedFrame.h"

#include "imaging/Bitmap.h"

#include <atomic>
#include <cstring>

int FrameBytesPerPixel(QImage::Format format) {
    switch (format) {
    case QImage::Format_BGR888:
        return 3;
    case QImage::Format_RGB32:
        return 4;
    case QImage::Format_RGB16:
    case QImage::Format_RGB555:
        return 2;
    default:
        return 0;
    }
}

bool FrameRowsFit(size_t size, int width, int height, ptrdiff_t stride, QImage::Format format) {
    const int bytesPerPixel = FrameBytesPerPixel(format);
    if (bytesPerPixel == 0 || !BitmapSizeAllowed(width, height))
        return false;
    return stride >= ptrdiff_t(width) * bytesPerPixel && size_t(stride) * size_t(height) <= size;
}

bool CopyFrameRows(const uint8_t* data, size_t size, int width, int height, ptrdiff_t stride,
                   QImage::Format format, QImage& out) {
    if (!data || !FrameRowsFit(size, width, height, stride, format))
        return false;
    const ptrdiff_t rowBytes = ptrdiff_t(width) * FrameBytesPerPixel(format);
    // Fresh memory costs a page fault per 4 KB, at 1080p more than the copy itself: a
    // bitmap nobody else holds any more is written again.
    const bool reuse = out.isDetached() && out.width() == width && out.height() == height &&
                       out.format() == format;
    QImage image;
    if (reuse) {
        // The last holder let go on another thread: its reads come before these writes.
        std::atomic_thread_fence(std::memory_order_acquire);
        image = std::move(out);
    } else {
        image = QImage(width, height, format);
        if (image.isNull())
            return false;
    }
    if (stride == image.bytesPerLine()) {
        std::memcpy(image.bits(), data, size_t(stride) * size_t(height));
    } else {
        for (int y = 0; y < height; ++y)
            std::memcpy(image.scanLine(y), data + ptrdiff_t(y) * stride, size_t(rowBytes));
    }
    out = std::move(image);
    return true;
}
