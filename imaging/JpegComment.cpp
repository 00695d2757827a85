#include "JpegComment.h"

#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"
#include "platform/SafeFile.h"

namespace {

constexpr unsigned char MarkerSos = 0xDA;
constexpr unsigned char MarkerCom = 0xFE;

bool StartsWithSoi(QByteArrayView data) {
    return data.size() >= 2 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8;
}

// Markers that stand alone, without a length field: TEM, RST0 to RST7, SOI, EOI.
bool IsStandalone(unsigned char marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

struct Segment {
    unsigned char marker = 0;
    bool standalone = false;
    qsizetype start = 0;   // offset of the marker byte's 0xFF
    qsizetype payload = 0; // offset of the payload
    qsizetype end = 0;     // one past the payload, as far as the data reaches
};

// Walks the segments before the entropy-coded data. Bytes between segments that are
// not 0xFF belong to no segment; repeated 0xFF before a marker are fill bytes.
class SegmentScanner {
public:
    explicit SegmentScanner(QByteArrayView data) : data_(data), pos_(2) {}

    // The next segment, or false at the end of the data or after SOS.
    bool Next(Segment& segment) {
        if (done_)
            return false;
        const qsizetype size = data_.size();
        while (pos_ < size && uchar(data_[pos_]) != 0xFF)
            ++pos_;
        while (pos_ + 1 < size && uchar(data_[pos_ + 1]) == 0xFF)
            ++pos_;
        if (pos_ + 1 >= size)
            return Stop();
        segment.start = pos_;
        segment.marker = uchar(data_[pos_ + 1]);
        segment.standalone = IsStandalone(segment.marker);
        if (segment.standalone) {
            segment.payload = segment.end = pos_ + 2;
        } else {
            if (pos_ + 3 >= size)
                return Stop();
            const qsizetype length = uchar(data_[pos_ + 2]) * 256 + uchar(data_[pos_ + 3]);
            segment.payload = pos_ + 4;
            segment.end = std::min(size, segment.payload + std::max<qsizetype>(0, length - 2));
        }
        pos_ = segment.end;
        if (segment.marker == MarkerSos)
            done_ = true;
        return true;
    }

    // Where the data that follows the scanned segments starts.
    qsizetype Position() const { return pos_; }

private:
    bool Stop() {
        done_ = true;
        pos_ = data_.size();
        return false;
    }

    QByteArrayView data_;
    qsizetype pos_;
    bool done_ = false;
};

} // namespace

QString JpegCommentTooLongMessage(qsizetype bytes) {
    return QStringLiteral("The image comment is too long for a JPEG file (%1 bytes, at most %2)")
        .arg(bytes)
        .arg(MaxJpegCommentBytes);
}

QByteArray ReadJpegComment(QByteArrayView data) {
    QByteArray comment;
    if (!StartsWithSoi(data))
        return comment;
    SegmentScanner scanner(data);
    Segment segment;
    while (scanner.Next(segment))
        if (segment.marker == MarkerCom)
            comment = data.sliced(segment.payload, segment.end - segment.payload).toByteArray();
    return comment;
}

QByteArray RewriteJpegComment(QByteArrayView data, QByteArrayView comment) {
    if (!StartsWithSoi(data))
        throw QuvarError(QStringLiteral("The data is not a JPEG image"));
    if (comment.size() > MaxJpegCommentBytes)
        throw QuvarError(JpegCommentTooLongMessage(comment.size()));
    QByteArray out;
    out.reserve(data.size() + comment.size() + 4);
    out.append(data.first(2));
    bool written = comment.isEmpty();
    SegmentScanner scanner(data);
    Segment segment;
    while (scanner.Next(segment)) {
        if (!written && (segment.marker & 0xF0) == 0xC0) {
            const qsizetype length = comment.size() + 2;
            const char header[4] = {char(0xFF), char(MarkerCom), char(length >> 8),
                                    char(length & 0xFF)};
            out.append(header, 4);
            out.append(comment);
            written = true;
        }
        if (segment.marker == MarkerCom)
            continue;
        // One 0xFF and the marker: fill bytes are dropped along with stray bytes.
        out.append(char(0xFF));
        out.append(data.sliced(segment.start + 1, segment.end - segment.start - 1));
    }
    out.append(data.sliced(scanner.Position()));
    return out;
}

void TJPGComment::ReadComment() {
    comment_ = ReadJpegComment(ReadFileBytes(fileName_));
}

void TJPGComment::WriteComment() {
    const QByteArray data = ReadFileBytes(fileName_);
    if (!StartsWithSoi(data))
        throw QuvarError(QStringLiteral("'%1' is not a JPEG file").arg(fileName_));
    WriteFileSafely(fileName_, RewriteJpegComment(data, comment_));
}
