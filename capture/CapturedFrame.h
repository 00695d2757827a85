#pragma once
// Copying a delivered camera frame into a bitmap: the one copy the streaming thread makes.

#include <QImage>
#include <cstddef>
#include <cstdint>

// Bytes per pixel of the bitmap formats a frame can arrive in (24-bit, 32-bit, 16-bit
// 5-6-5 and 15-bit 5-5-5); 0 for any other format.
int FrameBytesPerPixel(QImage::Format format);

// Copies height rows of width pixels, stride bytes apart, into a new bitmap. False, and
// out left alone, when the buffer is shorter than stride x height, the stride is shorter
// than a row, the format is not one of the above, or the size is not allowed.
bool CopyFrameRows(const uint8_t* data, size_t size, int width, int height, ptrdiff_t stride,
                   QImage::Format format, QImage& out);
