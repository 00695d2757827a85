#pragma once
// Image files with the embedded image comment, by extension: JPEG in a COM segment, PNG
// in a tEXt chunk "QUVAR" after the image data, TIFF in tag 270, BMP in a side file
// named after the image plus ".cmt". The comment is stored as one text, every line
// ended by CR LF, in UTF-8; it is read as UTF-8 when valid, else as Windows-1252.

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <QStringList>

enum class ImageFileType { None, Bmp, Jpeg, Png, Tiff };

// By the extension from the last "." of the file name on, in lower case: ".bmp",
// ".jpg" and ".jpeg", ".png", ".tif" and ".tiff"; anything else is None.
ImageFileType ImageFileTypeOf(const QString& fileName);

// The stored text: every line followed by CR LF.
QString CommentText(const QStringList& lines);
// The lines of a stored text, split at CR LF, CR or LF.
QStringList CommentLines(const QString& text);

// Writes the image and its comment. For a BMP the side file is written only when
// writeBmpComment is set; otherwise an older side file is removed, so that it cannot
// be read as this image's comment. A file of another type is not written. Every file
// is replaced only once its new content is complete, and a BMP and its side file change
// together: when either fails, neither changes. A file marked read-only (the image, or a
// BMP's side file) is never replaced or removed: "Unable to create file '<name>'". Throws a
// QuvarError on failure; a write that fails (a full disk, a folder gone) throws
// WriteFailedMessage whatever the type.
void SaveImageWithComment(const QImage& bitmap, const QString& fileName,
                          const QStringList& commentLines, bool writeBmpComment);

// Writes the image without comment (a TIFF gets the description "CamView"); an older
// BMP side file is removed.
void SaveImagePlain(const QImage& bitmap, const QString& fileName);

// The message of a picture or side file that could not be written, for snapshots and frame
// files alike: "Failed to write '<file>': <the system's reason for error>".
QString WriteFailedMessage(const QString& fileName, int error);

// Replaces bitmap (as a 24-bit bitmap) and commentLines by the file's image and stored
// comment. A missing file changes nothing; a file of another type clears the comment
// only. Waits up to about 105 ms for another writer to release the file. Throws a
// QuvarError for a file that cannot be read or decodes only partly (naming the file: it
// is damaged or not an image), for an image beyond the size limits, and for a side file
// longer than any comment; bitmap and comment then stay.
void LoadImageWithComment(QImage& bitmap, const QString& fileName, QStringList& commentLines);

// True when the file exists and has no write permission bit (for root too, who could write
// it all the same) or cannot be written by us.
bool FileIsReadOnly(const QString& fileName);

// True when the file exists and is read-only, cannot be opened for writing, or another
// writer holds a lock on it (flock or fcntl). The file is only opened for reading, so
// asking never looks like a write to a folder watcher.
bool FileIsLocked(const QString& fileName);

struct ImageWithComment {
    QImage bitmap; // 24-bit
    QString comment;
};

// Decodes a file's bytes of the given type with the comment they hold (a BMP holds
// none). Throws a QuvarError naming fileName for damaged data.
ImageWithComment DecodeImageWithComment(ImageFileType type, QByteArrayView data,
                                        const QString& fileName);
