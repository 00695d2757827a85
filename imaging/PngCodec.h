#pragma once
// PNG through libpng: 8-bit RGB with the image comment in a tEXt chunk placed after the
// image data, and decoding of any PNG into a 24-bit bitmap with its comment chunks.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>

// The keyword of the chunk that holds the image comment (compared case-sensitively).
inline constexpr char PngCommentKeyword[] = "QUVAR";

// Writes the bitmap to path as 8-bit RGB with libpng's filters and zlib settings; with a
// comment, one tEXt chunk "QUVAR" follows the image data. The rows are deflated in bands
// on the thread pool, joined into one zlib stream. Messages name fileName (path may be a
// temporary file). Throws a QuvarError on any failure.
void WritePng(const QImage& bitmap, const QString& path, const QString& fileName,
              const std::optional<QByteArray>& comment);

// Rows per band of the parallel deflate: enough bands to keep every thread busy while
// they take turns, none much smaller than the 32 KiB window, where each band's fresh start
// would cost compression.
inline constexpr int PngBandsPerThread = 4;
inline constexpr int64_t PngMinBandBytes = 64 * 1024;
int PngBandRows(int width, int height, int threads);

struct DecodedPng {
    QImage bitmap; // 24-bit
    // The text of the last tEXt or zTXt chunk "QUVAR" in file order, empty when none.
    QByteArray comment;
};

// Decodes PNG data; grey, palette, 16-bit and alpha images become 24-bit colour. Throws
// a QuvarError naming fileName for damaged data anywhere in the file (the chunks after the
// image too), a chunk other than image data longer than both MaxCommentBytes and the whole
// input, or a size beyond the bitmap limits.
DecodedPng DecodePng(QByteArrayView data, const QString& fileName);

// The same, reading the PNG from a device as it goes (no copy of the whole file).
DecodedPng ReadPng(QIODevice& device, const QString& fileName);
