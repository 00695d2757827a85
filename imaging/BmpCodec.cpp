#include "BmpCodec.h"

#include "Bitmap.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
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

// The bytes a BMP must have by its own headers: both headers whole, everything up to the
// pixel data, and then all rows of an uncompressed one or the data size a compressed one
// gives. The toolkit's reader shows a file cut short as if whole, the missing header
// fields as zeros and the missing rows undefined.
int64_t BmpBytesClaimed(QByteArrayView data) {
    constexpr int64_t fileHeader = 14;
    if (data.size() < fileHeader + 4)
        return fileHeader + 4; // not even the size of the info header
    const auto* p = reinterpret_cast<const uchar*>(data.data());
    const int64_t pixelOffset = qFromLittleEndian<quint32>(p + 10);
    const int64_t headerSize = qFromLittleEndian<quint32>(p + 14);
    const int64_t headers = std::max(fileHeader + headerSize, pixelOffset);
    if (data.size() < fileHeader + headerSize)
        return headers;
    int64_t width = 0, height = 0, bitCount = 0;
    int64_t dataBytes = -1; // of the pixel data when compressed
    if (headerSize == 12) { // OS/2 core header
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bitCount = qFromLittleEndian<quint16>(p + 24);
    } else if (headerSize >= 40) {
        width = qFromLittleEndian<qint32>(p + 18);
        height = std::abs(int64_t(qFromLittleEndian<qint32>(p + 22)));
        bitCount = qFromLittleEndian<quint16>(p + 28);
        const uint32_t compression = qFromLittleEndian<quint32>(p + 30);
        constexpr uint32_t rgb = 0, bitFields = 3, alphaBitFields = 6;
        if (compression != rgb && compression != bitFields && compression != alphaBitFields)
            dataBytes = qFromLittleEndian<quint32>(p + 34);
    } else {
        return headers; // a header we do not know: the reader refuses it
    }
    if (dataBytes >= 0)
        return headers + dataBytes;
    if (!BitmapSizeAllowed(width, height) || bitCount <= 0 || bitCount > 32)
        return headers; // the size check comes first
    const int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
    return std::max(headers, pixelOffset + rowBytes * height);
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
    static const bool limitRaised = [] {
        AllowImageReadersThePixelCap();
        return true;
    }();
    (void)limitRaised;
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    // The reader's detail, when it has one worth showing.
    const auto detail = [&reader] {
        return reader.error() == QImageReader::UnknownError ? QString() : reader.errorString();
    };
    // A negative height is a valid file stored top row first; the reader gives it as is.
    const QSize stored = reader.size();
    const int64_t width = stored.width();
    const int64_t height = std::abs(int64_t(stored.height()));
    if (width <= 0 || height <= 0)
        throw QuvarError(DamagedImageMessage(fileName, detail()));
    if (!BitmapSizeAllowed(width, height))
        NewBitmap(int(std::min<int64_t>(width, 1 << 30)),
                  int(std::min<int64_t>(height, 1 << 30))); // throws the size message
    if (data.size() < BmpBytesClaimed(data))
        throw QuvarError(DamagedImageMessage(fileName));
    QImage image = reader.read();
    if (image.isNull())
        throw QuvarError(DamagedImageMessage(fileName, detail()));
    return ToBitmap24(image);
}
