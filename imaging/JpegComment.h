#pragma once
// The image comment of a JPEG file, kept in one COM segment. The codec writes files
// without one, so the comment is put in by rewriting the file at byte level: every COM
// segment is dropped and one new segment goes before the first marker 0xC0 to 0xCF
// (the frame header in the codec's files). Everything after the SOS header is copied as
// it is.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A COM segment's length field counts itself, so this is the longest comment it holds.
constexpr qsizetype MaxJpegCommentBytes = 65533;

// The payload of the last COM segment before SOS; empty when there is none or when the
// data does not start with SOI (FF D8).
QByteArray ReadJpegComment(QByteArrayView data);

// The data with every COM segment before SOS removed and, when the comment is not empty,
// one COM segment holding it before the first marker 0xC0 to 0xCF. Throws a QuvarError
// for data that does not start with SOI and for a comment longer than
// MaxJpegCommentBytes.
QByteArray RewriteJpegComment(QByteArrayView data, QByteArrayView comment);

// The message of a comment too long for the COM segment.
QString JpegCommentTooLongMessage(qsizetype bytes);

class TJPGComment {
public:
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& fileName) { fileName_ = fileName; }
    // Any bytes, one character per byte; callers encode and decode the text.
    const QByteArray& Comment() const { return comment_; }
    void SetComment(const QByteArray& comment) { comment_ = comment; }

    // Comment := the text of the last COM segment of the file, or empty.
    // Throws "Unable to open file '<name>'" when the file cannot be read.
    void ReadComment();
    // Rewrites the file so that it holds one COM segment with Comment (none when Comment
    // is empty). The file is replaced safely: on any failure it stays as it was.
    void WriteComment();

private:
    QString fileName_;
    QByteArray comment_;
};
