#pragma once
// JPEG through libjpeg: baseline JFIF at quality 100 with the floating-point DCT, and
// decoding of any JPEG libjpeg reads into a 24-bit bitmap.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

// The compressed file content for the bitmap (24-bit; 32-bit and other formats are
// converted). Throws a QuvarError naming fileName when the codec fails.
QByteArray EncodeJpeg(const QImage& bitmap, const QString& fileName);

// A 24-bit bitmap of the JPEG data; grey and CMYK images become colour. Throws a
// QuvarError naming fileName for damaged data (also image data cut short or garbled, which
// the codec itself would fill with grey), a size beyond the bitmap limits, or a file whose
// decoding needs more than MaxDecoderBytes.
QImage DecodeJpeg(QByteArrayView data, const QString& fileName);
