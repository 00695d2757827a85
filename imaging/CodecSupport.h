#pragma once
// Pieces the image file readers share.

#include "Bitmap.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// What a decoder may take for its own buffers beside the bitmap it fills (the coefficients
// of a progressive JPEG, a TIFF strip or RGBA raster): as much as a 24-bit bitmap at the
// pixel cap. A file that would need more is refused before anything is allocated.
constexpr int64_t MaxDecoderBytes = MaxBitmapPixels * 3;

// The image comment is a few kilobytes; a text chunk or side file far beyond that is no
// comment but a trap that would make the reader allocate its claimed size.
constexpr int64_t MaxCommentBytes = int64_t(1) << 20;

// The largest image file read into memory: a 32-bit BMP at the pixel cap with room for its
// headers. No JPEG within the cap comes near it; a larger file is refused before it is read.
constexpr int64_t MaxImageFileBytes = MaxBitmapPixels * 4 + (int64_t(1) << 24);

// A whole image file of at most MaxImageFileBytes; throws "Unable to open file '<path>'"
// when it cannot be read, and the too-large message when it is longer.
QByteArray ReadFileBytes(const QString& path);

// The same for a file of at most maxBytes; a longer one is refused with tooLongMessage.
QByteArray ReadFileBytes(const QString& path, int64_t maxBytes, const QString& tooLongMessage);

// Lets the GUI toolkit's image readers allocate a 32-bit image at the pixel cap (their own
// limit is far lower), so that every image we save can be opened again.
void AllowImageReadersThePixelCap();
