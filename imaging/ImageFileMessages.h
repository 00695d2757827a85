#pragma once
// The messages of failed image file reads and writes, the file name in single quotes.

#include <QString>

inline QString UnableToOpenFileMessage(const QString& fileName) {
    return QStringLiteral("Unable to open file '") + fileName + QStringLiteral("'");
}
inline QString UnableToCreateFileMessage(const QString& fileName) {
    return QStringLiteral("Unable to create file '") + fileName + QStringLiteral("'");
}
inline QString FailedToWriteMessage(const QString& fileName) {
    return QStringLiteral("Failed to write '") + fileName + QStringLiteral("'");
}
// A codec's refusal of damaged data, with the codec's own reason.
inline QString DamagedImageMessage(const QString& fileName, const QString& reason) {
    return QStringLiteral("Unable to read the image '") + fileName + QStringLiteral("': ") + reason;
}
