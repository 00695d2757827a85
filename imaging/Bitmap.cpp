#include "Bitmap.h"

#include "platform/Errors.h"

bool BitmapSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= MaxBitmapSide && height <= MaxBitmapSide &&
           width * height <= MaxBitmapPixels;
}

QImage NewBitmap(int width, int height, QImage::Format format) {
    if (!BitmapSizeAllowed(width, height))
        throw QuvarError(
            QStringLiteral("Image size %1 x %2 is not supported").arg(width).arg(height));
    QImage image(width, height, format);
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
