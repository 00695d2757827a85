#include "CodecSupport.h"

#include "ImageFileMessages.h"
#include "platform/Errors.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>

QByteArray ReadFileBytes(const QString& path) {
    return ReadFileBytes(path, MaxImageFileBytes, ImageFileTooLargeMessage(path));
}

QByteArray ReadFileBytes(const QString& path, int64_t maxBytes, const QString& tooLongMessage) {
    QFile file;
    if (!OpenRegularFile(file, path))
        throw QuvarError(UnableToOpenFileMessage(path));
    // A file that is known to be too long is not read at all.
    if (file.size() > maxBytes)
        throw QuvarError(tooLongMessage);
    // One byte more than allowed tells a long file from one of the largest allowed size.
    // The read takes a buffer of the size it is asked for: what the file holds, and for the
    // rest only when it grew meanwhile.
    const qint64 expected = std::min<qint64>(maxBytes, file.size());
    QByteArray data = file.read(expected + 1);
    if (data.size() > expected && expected < maxBytes)
        data += file.read(maxBytes + 1 - data.size());
    if (file.error() != QFileDevice::NoError)
        throw QuvarError(UnableToOpenFileMessage(path));
    if (data.size() > maxBytes)
        throw QuvarError(tooLongMessage);
    return data;
}

void AllowImageReadersThePixelCap() {
    // The limit counts megabytes of the decoded image, which the readers hold as 32 bits
    // per pixel.
    constexpr int64_t megabytes = (MaxBitmapPixels * 4 + (int64_t(1) << 20) - 1) >> 20;
    static_assert(megabytes <= INT32_MAX);
    QImageReader::setAllocationLimit(int(megabytes));
}
