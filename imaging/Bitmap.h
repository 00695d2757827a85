#pragma once
// The program's bitmap: a QImage in Format_BGR888 (24 bits, blue-green-red in memory) or,
// for some operations, Format_RGB32. Rows are reached through scanLine() and bytesPerLine().

#include <QImage>

#include <cstdint>

// The largest image we agree to allocate (a 24-megapixel camera is 6000 x 4000; this
// leaves room for stitched images while refusing absurd header sizes).
constexpr int64_t MaxBitmapPixels = int64_t(1) << 28; // 268 megapixels
constexpr int MaxBitmapSide = 1 << 16;

constexpr QImage::Format Bitmap24Format = QImage::Format_BGR888;
constexpr QImage::Format Bitmap32Format = QImage::Format_RGB32;

// A new bitmap of the given size; throws a QuvarError naming the size when the size is
// not positive, too large, or the memory cannot be had. The pixels are not initialised; a
// large bitmap may get the memory of one freed before it (see TakeLargeBlock).
QImage NewBitmap(int width, int height, QImage::Format format = Bitmap24Format);

// True when width and height are positive and within the limits above.
bool BitmapSizeAllowed(int64_t width, int64_t height);

// The image as a 24-bit bitmap (a shallow copy when it already is one).
QImage ToBitmap24(const QImage& image);
