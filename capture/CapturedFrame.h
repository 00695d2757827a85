#pragma once
// Copying a delivered camera frame into a bitmap: the one copy the streaming thread makes.

#include <QImage>
#include <cstddef>
#include <cstdint>

// Bytes per pixel of the bitmap formats a frame can arrive in (24-bit, 32-bit, 16-bit
// 5-6-5 and 15-bit 5-5-5); 0 for any other format.
int FrameBytesPerPixel(QImage::Format format);

// Whether size bytes hold height rows of width pixels of format, stride bytes apart: the
// stride is at least a row, the buffer at least stride x height, the format one of the
// above and the size allowed.
bool FrameRowsFit(size_t size, int width, int height, ptrdiff_t stride, QImage::Format format);

// Copies height rows of width pixels, stride bytes apart, into out: into out's own memory
// when out has that size and format and shares it with no other bitmap, else into a new
// bitmap. False, and out left alone, when the rows do not fit (FrameRowsFit).
bool CopyFrameRows(const uint8_t* data, size_t size, int width, int height, ptrdiff_t stride,
                   QImage::Format format, QImage& out);
