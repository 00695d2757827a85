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
// A file no reader could decode whole: damaged, cut short, or no image at all. The codec's
// own reason, when there is one, follows in parentheses.
inline QString DamagedImageMessage(const QString& fileName, const QString& detail = {}) {
    QString text = QStringLiteral("The file '") + fileName +
                   QStringLiteral("' is damaged or is not an image file");
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + u')';
    return text + u'.';
}
// An image whose decoder would need more memory than one image may take.
inline QString ImageTooLargeMessage(const QString& fileName, qint64 width, qint64 height) {
    return QStringLiteral("The image '%1' of %2 x %3 pixels is too large to open.")
        .arg(fileName)
        .arg(width)
        .arg(height);
}
// A file longer than any image the program can open.
inline QString ImageFileTooLargeMessage(const QString& fileName) {
    return QStringLiteral("The file '") + fileName +
           QStringLiteral("' is too large to be an image the program can open.");
}
// A side file with more text than any image comment holds.
inline QString CommentFileTooLargeMessage(const QString& fileName) {
    return QStringLiteral("The comment file '") + fileName +
           QStringLiteral("' is too large to be an image comment.");
}
