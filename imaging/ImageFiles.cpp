#include "ImageFiles.h"

#include "Bitmap.h"
#include "BmpCodec.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "JpegCodec.h"
#include "JpegComment.h"
#include "PngCodec.h"
#include "TiffFiles.h"
#include "platform/Errors.h"
#include "platform/RegularFile.h"
#include "platform/SafeFile.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int LockWaitMs = 5;
constexpr int LockWaitSleeps = 21;

QString SideFileName(const QString& fileName) {
    return fileName + QStringLiteral(".cmt");
}

void WriteTemporary(const SafeFileReplace& replace, QByteArrayView data) {
    QFile file(replace.tempPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(data.data(), data.size()) != data.size() || !file.flush())
        throw QuvarError(UnableToWriteMessage(replace.target()));
}

// The picture and its side file change together or not at all: a side file left from the
// previous picture would give the new one the old calibration.
void SaveBmp(const QImage& bitmap, const QString& fileName,
             const std::optional<QByteArray>& sideComment) {
    SafeFileReplace picture(fileName);
    WriteBmp(bitmap, picture.tempPath(), fileName);
    if (!sideComment) {
        CommitAndRemove(picture, SideFileName(fileName));
        return;
    }
    SafeFileReplace side(SideFileName(fileName));
    WriteTemporary(side, *sideComment);
    CommitTogether(picture, side);
}

void SavePng(const QImage& bitmap, const QString& fileName,
             const std::optional<QByteArray>& comment) {
    SafeFileReplace replace(fileName);
    WritePng(bitmap, replace.tempPath(), fileName, comment);
    replace.commit();
}

// Replacing is a rename over the old file, which the folder allows whatever the file's own
// permissions: a file the user marked read-only would silently get the new content.
void RefuseReadOnly(const QString& fileName) {
    if (FileIsReadOnly(fileName))
        throw QuvarError(UnableToCreateFileMessage(fileName));
}

// The file a codec's or the safe replace's message of a failed write names: the picture or
// its side file; empty for any other message.
QString FileOfWriteFailure(const QString& message, const QString& fileName) {
    for (const QString& file : {fileName, SideFileName(fileName)})
        if (message.startsWith(FailedToWriteMessage(file)) ||
            message == UnableToCreateFileMessage(file) || message == UnableToWriteMessage(file))
            return file;
    return QString();
}

void SaveAs(ImageFileType type, const QImage& bitmap, const QString& fileName,
            const QStringList* commentLines, bool writeBmpComment);

} // namespace

QString WriteFailedMessage(const QString& fileName, int error) {
    QString text = FailedToWriteMessage(fileName);
    if (error != 0)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return text;
}

namespace {

// Every failed write of a picture or its side file, whatever the type (a full disk, a size
// limit, a folder gone), reads the same: the file and the system's reason.
void Save(const QImage& bitmap, const QString& fileName, const QStringList* commentLines,
          bool writeBmpComment) {
    const ImageFileType type = ImageFileTypeOf(fileName);
    if (type != ImageFileType::None)
        RefuseReadOnly(fileName);
    if (type == ImageFileType::Bmp)
        RefuseReadOnly(SideFileName(fileName)); // written or removed with the picture
    errno = 0;
    try {
        SaveAs(type, bitmap, fileName, commentLines, writeBmpComment);
    } catch (const QuvarError& failure) {
        const int error = errno; // the reason of the write that failed
        const QString file = FileOfWriteFailure(failure.message(), fileName);
        if (file.isEmpty())
            throw;
        throw QuvarError(WriteFailedMessage(file, error));
    }
}

void SaveAs(ImageFileType type, const QImage& bitmap, const QString& fileName,
            const QStringList* commentLines, bool writeBmpComment) {
    const std::optional<QByteArray> comment =
        commentLines ? std::optional(EncodeText(CommentText(*commentLines))) : std::nullopt;
    switch (type) {
    case ImageFileType::Bmp:
        SaveBmp(bitmap, fileName, writeBmpComment ? comment : std::nullopt);
        break;
    case ImageFileType::Jpeg: {
        // Checked before anything is written: the segment cannot hold a longer text.
        if (comment && comment->size() > MaxJpegCommentBytes)
            throw QuvarError(JpegCommentTooLongMessage(comment->size()));
        const QByteArray jpeg = EncodeJpeg(bitmap, fileName);
        // The same bytes as writing the file and then rewriting it with the comment.
        WriteFileSafely(fileName, comment ? RewriteJpegComment(jpeg, *comment) : jpeg);
        break;
    }
    case ImageFileType::Png:
        SavePng(bitmap, fileName, comment);
        break;
    case ImageFileType::Tiff:
        TiffImageDescription =
            commentLines ? CommentText(*commentLines) : QStringLiteral("CamView");
        WriteBitmapToTiff(bitmap, fileName);
        break;
    case ImageFileType::None:
        break;
    }
}

} // namespace

ImageFileType ImageFileTypeOf(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return ImageFileType::None;
    const QString ext = name.sliced(dot).toLower();
    if (ext == u".bmp")
        return ImageFileType::Bmp;
    if (ext == u".jpg" || ext == u".jpeg")
        return ImageFileType::Jpeg;
    if (ext == u".png")
        return ImageFileType::Png;
    if (ext == u".tif" || ext == u".tiff")
        return ImageFileType::Tiff;
    return ImageFileType::None;
}

QString CommentText(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QStringList CommentLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.sliced(start));
    return lines;
}

void SaveImageWithComment(const QImage& bitmap, const QString& fileName,
                          const QStringList& commentLines, bool writeBmpComment) {
    Save(bitmap, fileName, &commentLines, writeBmpComment);
}

void SaveImagePlain(const QImage& bitmap, const QString& fileName) {
    Save(bitmap, fileName, nullptr, false);
}

bool FileIsReadOnly(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return false;
    // The permission bits count even for root, who could open the file all the same.
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           ::access(path.constData(), W_OK) != 0;
}

bool FileIsLocked(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return false;
    // A read-only file cannot be opened for writing.
    if (FileIsReadOnly(fileName))
        return true;
    // Opened for reading only: closing a file opened for writing tells every folder watcher
    // (the camera folder's among them) that the file was just written. Only a regular file:
    // opening a FIFO would wait for its writer.
    const int fd = OpenRegularFileForReading(fileName);
    if (fd < 0)
        return true;
    // Writers on this system that want exclusive use say so with a lock of either kind.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    bool locked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (!locked)
        locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also drops the flock taken as a probe
    return locked;
}

ImageWithComment DecodeImageWithComment(ImageFileType type, QByteArrayView data,
                                        const QString& fileName) {
    ImageWithComment result;
    switch (type) {
    case ImageFileType::Bmp:
        result.bitmap = DecodeBmp(data, fileName);
        break;
    case ImageFileType::Jpeg:
        result.bitmap = DecodeJpeg(data, fileName);
        result.comment = DecodeText(ReadJpegComment(data));
        break;
    case ImageFileType::Png: {
        DecodedPng png = DecodePng(data, fileName);
        result.bitmap = std::move(png.bitmap);
        result.comment = DecodeText(png.comment);
        break;
    }
    case ImageFileType::Tiff:
        result.bitmap = DecodeTiff(data, fileName);
        result.comment = DecodeText(ReadTiffImageDescriptionBytes(data));
        break;
    case ImageFileType::None:
        break;
    }
    return result;
}

void LoadImageWithComment(QImage& bitmap, const QString& fileName, QStringList& commentLines) {
    if (!QFileInfo::exists(fileName))
        return;
    // A FIFO or a device (a link to one too) would never end the wait below or the read.
    if (!IsRegularFile(fileName))
        throw QuvarError(UnableToOpenFileMessage(fileName));
    // Camera software may still be writing the file: give it a moment.
    int sleeps = 0;
    do {
        QThread::msleep(LockWaitMs);
        ++sleeps;
    } while (sleeps < LockWaitSleeps && FileIsLocked(fileName));

    ImageWithComment loaded;
    switch (ImageFileTypeOf(fileName)) {
    case ImageFileType::None:
        commentLines.clear();
        return;
    case ImageFileType::Bmp:
        loaded.bitmap = DecodeBmp(ReadFileBytes(fileName), fileName);
        if (const QString side = SideFileName(fileName); QFileInfo::exists(side))
            loaded.comment =
                DecodeText(ReadFileBytes(side, MaxCommentBytes, CommentFileTooLargeMessage(side)));
        break;
    case ImageFileType::Jpeg:
        loaded = DecodeImageWithComment(ImageFileType::Jpeg, ReadFileBytes(fileName), fileName);
        break;
    case ImageFileType::Png: {
        // Read as it is decoded: a large PNG is not copied into memory first.
        QFile file;
        if (!OpenRegularFile(file, fileName))
            throw QuvarError(UnableToOpenFileMessage(fileName));
        DecodedPng png = ReadPng(file, fileName);
        loaded.bitmap = std::move(png.bitmap);
        loaded.comment = DecodeText(png.comment);
        break;
    }
    case ImageFileType::Tiff:
        loaded.bitmap = LoadTiffAsBitmap24(fileName);
        loaded.comment = ReadTiffImageDescription(fileName);
        break;
    }
    bitmap = std::move(loaded.bitmap);
    commentLines = CommentLines(loaded.comment);
}
