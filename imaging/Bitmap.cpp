#include "Bitmap.h"

#include "platform/Errors.h"
#include "platform/FrameMemory.h"

namespace {

// Beyond the heap's own blocks an image's memory would come fresh from the system, a page
// fault for every page it is written into; large images take kept blocks instead.
constexpr qsizetype LargeBitmapBytes = qsizetype(32) << 20;

struct LargeBlock {
    void* memory;
    size_t bytes;
};

void FreeLargeBlock(void* info) {
    auto* block = static_cast<LargeBlock*>(info);
    GiveBackLargeBlock(block->memory, block->bytes);
    delete block;
}

// As QImage lays the rows out itself: each row padded to 4 bytes.
QImage LargeBitmap(int width, int height, QImage::Format format) {
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype rowBytes = (qsizetype(width) * depth + 31) / 32 * 4;
    const size_t bytes = size_t(rowBytes) * size_t(height);
    void* memory = TakeLargeBlock(bytes);
    if (!memory)
        return {};
    auto* block = new LargeBlock{memory, bytes};
    QImage image(static_cast<uchar*>(memory), width, height, rowBytes, format, FreeLargeBlock,
                 block);
    if (image.isNull())
        FreeLargeBlock(block);
    return image;
}

} // namespace

bool BitmapSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= MaxBitmapSide && height <= MaxBitmapSide &&
           width * height <= MaxBitmapPixels;
}

QImage NewBitmap(int width, int height, QImage::Format format) {
    if (!BitmapSizeAllowed(width, height))
        throw QuvarError(
            QStringLiteral("Image size %1 x %2 is not supported").arg(width).arg(height));
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const bool large = int64_t(width) * height * depth / 8 >= LargeBitmapBytes;
    QImage image = large ? LargeBitmap(width, height, format) : QImage(width, height, format);
    if (image.isNull())
        throw QuvarError(
            QStringLiteral("Not enough memory for an image of %1 x %2").arg(width).arg(height));
    return image;
}

QImage ToBitmap24(const QImage& image) {
    if (image.format() == Bitmap24Format)
        return image;
    return image.convertToFormat(Bitmap24Format);
}
