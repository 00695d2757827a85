#pragma once
// TIFF files: any TIFF libtiff decodes is read into a 32-bit bitmap; bitmaps are written
// as 8-bit RGB with LZW and the horizontal predictor, the image comment in tag 270
// (ImageDescription), which a small reader of our own reads back without libtiff.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

// The text the next WriteBitmapToTiff stores as its ImageDescription.
extern QString TiffImageDescription;

// The first image of the file as a 32-bit bitmap (Format_ARGB32, alpha as the file
// gives it). Throws "Unable to open file '<name>'" when libtiff cannot open it or cannot
// turn it into colour, a QuvarError naming the size for an empty or oversized image or one
// whose strips or raster would take more than MaxDecoderBytes, and the damaged-file message
// when any part of the image fails to decode (nothing of a partly decoded image is kept).
QImage LoadTiffAsBitmap(const QString& fileName);

// The first image as a 24-bit bitmap, from the file or from its bytes.
QImage LoadTiffAsBitmap24(const QString& fileName);
QImage DecodeTiff(QByteArrayView data, const QString& fileName);

// Writes a 24- or 32-bit bitmap as a new TIFF with TiffImageDescription as its
// description, replacing an existing file only once the new one is complete. libtiff
// encodes the strips on the thread pool; they are written in order. Throws
// "WriteBitmapToTiff is designed for 24bit and 32bit bitmaps only",
// "Unable to create file '<name>'" or "Failed to write '<name>'".
void WriteBitmapToTiff(const QImage& bitmap, const QString& fileName);

// Rows per strip for a bitmap of the given size: strips of at most 256 KiB of RGB data,
// at least one row, at most the height.
int TiffRowsPerStrip(int width, int height);

// The text of the last tag 270 of the first directory, or the empty text (also for data
// that is no TIFF, and for offsets or counts that reach outside the file). Both byte
// orders are read. The file variant throws "Unable to open file '<name>'".
QString ReadTiffImageDescription(const QString& fileName);
QByteArray ReadTiffImageDescriptionBytes(QByteArrayView data);

// Exchanges bytes 0 and 2 of each of width x height 32-bit pixels in place.
void SwapRedBlue(int width, int height, uchar* pixels);
