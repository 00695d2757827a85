#include "CodecSupport.h"

#include "Bitmap.h"
#include "platform/Errors.h"
#include "platform/SafeFile.h"

#include <QFile>

QImage AllocateBitmap(int64_t width, int64_t height, QImage::Format format) {
    if (!BitmapSizeAllowed(width, height))
        throw QuvarError(
            QStringLiteral("Image size %1 x %2 is not supported").arg(width).arg(height));
    return NewBitmap(int(width), int(height), format);
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QuvarError(QStringLiteral("Unable to open file '%1'").arg(path));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QuvarError(QStringLiteral("Unable to open file '%1'").arg(path));
    return data;
}

StdioFile CreateStdioFile(const QString& path, const QString& displayName) {
    StdioFile file(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (!file)
        throw QuvarError(UnableToWriteMessage(displayName));
    return file;
}

void CloseStdioFile(StdioFile& file, const QString& displayName) {
    const bool ok = std::ferror(file.get()) == 0 && std::fflush(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!ok || !closed)
        throw QuvarError(UnableToWriteMessage(displayName));
}
