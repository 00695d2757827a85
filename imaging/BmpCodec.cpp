#include "BmpCodec.h"

#include "Bitmap.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cstring>
#include <vector>

namespace {

void Put16(uchar*& p, uint32_t v) {
    *p++ = uchar(v);
    *p++ = uchar(v >> 8);
}
void Put32(uchar*& p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p, v >> 16);
}

} // namespace

void WriteBmp(const QImage& bitmap, const QString& path, const QString& fileName) {
    QImage source = bitmap;
    const bool bits32 =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
    if (!bits32 && source.format() != QImage::Format_BGR888)
        source = ToBitmap24(bitmap);
    if (source.isNull())
        throw QuvarError(FailedToWriteMessage(fileName));
    const int bytesPerPixel = bits32 ? 4 : 3;
    const uint32_t rowBytes = (uint32_t(source.width()) * uint32_t(bytesPerPixel) + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * uint32_t(source.height());
    constexpr uint32_t headerBytes = 14 + 40;

    uchar header[headerBytes];
    uchar* p = header;
    *p++ = 'B';
    *p++ = 'M';
    Put32(p, headerBytes + imageBytes);
    Put32(p, 0);
    Put32(p, headerBytes);
    Put32(p, 40);
    Put32(p, uint32_t(source.width()));
    Put32(p, uint32_t(source.height())); // positive: rows bottom first
    Put16(p, 1);
    Put16(p, uint32_t(bytesPerPixel * 8));
    Put32(p, 0); // BI_RGB
    Put32(p, imageBytes);
    Put32(p, 2835); // 72 dpi
    Put32(p, 2835);
    Put32(p, 0);
    Put32(p, 0);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw QuvarError(UnableToCreateFileMessage(fileName));
    bool ok = file.write(reinterpret_cast<const char*>(header), headerBytes) == headerBytes;
    std::vector<char> row(rowBytes, 0);
    const size_t pixelBytes = size_t(source.width()) * size_t(bytesPerPixel);
    for (int y = source.height() - 1; ok && y >= 0; --y) {
        std::memcpy(row.data(), source.constScanLine(y), pixelBytes);
        ok = file.write(row.data(), rowBytes) == qint64(rowBytes);
    }
    if (!ok || !file.flush())
        throw QuvarError(FailedToWriteMessage(fileName));
}

QImage DecodeBmp(QByteArrayView data, const QString& fileName) {
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    const QSize size = reader.size();
    if (!size.isValid())
        throw QuvarError(DamagedImageMessage(fileName, reader.errorString()));
    if (!BitmapSizeAllowed(size.width(), size.height()))
        NewBitmap(size.width(), size.height()); // throws the size message
    QImage image = reader.read();
    if (image.isNull())
        throw QuvarError(DamagedImageMessage(fileName, reader.errorString()));
    return ToBitmap24(image);
}
