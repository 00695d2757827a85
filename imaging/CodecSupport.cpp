#include "CodecSupport.h"

#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include <QFile>

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QuvarError(UnableToOpenFileMessage(path));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QuvarError(UnableToOpenFileMessage(path));
    return data;
}
