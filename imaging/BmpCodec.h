#pragma once
// Windows BMP files: written uncompressed in the bitmap's own pixel format (24-bit, or
// 32-bit for a 32-bit bitmap), read in any variant the GUI toolkit's reader knows.

#include <QByteArrayView>
#include <QImage>
#include <QString>

// Writes the bitmap to path; messages name fileName. Throws a QuvarError on failure.
void WriteBmp(const QImage& bitmap, const QString& path, const QString& fileName);

// A 24-bit bitmap of the BMP data, stored bottom row first or (negative height) top row
// first. The header size is checked against the bitmap limits before any pixel memory is
// taken; an uncompressed file too short for its rows is refused, not shown with rows
// missing. Throws a QuvarError naming fileName.
QImage DecodeBmp(QByteArrayView data, const QString& fileName);
