#include "capture/CapturedFrame.h"

#include "imaging/Bitmap.h"

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

bool CopyFrameRows(const uint8_t* data, size_t size, int width, int height, ptrdiff_t stride,
                   QImage::Format format, QImage& out) {
    const int bytesPerPixel = FrameBytesPerPixel(format);
    if (!data || bytesPerPixel == 0 || !BitmapSizeAllowed(width, height))
        return false;
    const ptrdiff_t rowBytes = ptrdiff_t(width) * bytesPerPixel;
    if (stride < rowBytes || size_t(stride) * size_t(height) > size)
        return false;
    QImage image(width, height, format);
    if (image.isNull())
        return false;
    if (stride == image.bytesPerLine()) {
        std::memcpy(image.bits(), data, size_t(stride) * size_t(height));
    } else {
        for (int y = 0; y < height; ++y)
            std::memcpy(image.scanLine(y), data + ptrdiff_t(y) * stride, size_t(rowBytes));
    }
    out = std::move(image);
    return true;
}
