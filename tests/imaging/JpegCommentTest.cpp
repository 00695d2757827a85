// The JPEG comment segment at byte level: which COM is read, where the new one goes,
// what is kept byte for byte, and what is refused.
#include "imaging/JpegComment.h"
#include "imaging/ImageFiles.h"
#include "platform/Errors.h"

#include <QTemporaryDir>

#include "ImageTestSupport.h"

#include <gtest/gtest.h>
#include <optional>

using namespace imagetest;

namespace {

QByteArray Bytes(std::initializer_list<int> bytes) {
    QByteArray out;
    for (int b : bytes)
        out.append(char(b));
    return out;
}

QByteArray Segment(int marker, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    return Bytes({0xFF, marker, length >> 8, length & 0xFF}) + payload;
}

const QByteArray Soi = Bytes({0xFF, 0xD8});
const QByteArray App0 = Segment(0xE0, QByteArray("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
const QByteArray App1 = Segment(0xE1, "Exif-ish");
const QByteArray Dqt = Segment(0xDB, QByteArray(65, '\x01'));
const QByteArray Sof = Segment(0xC0, Bytes({8, 0, 1, 0, 1, 1, 1, 0x11, 0}));
const QByteArray Dht = Segment(0xC4, QByteArray(20, '\x02'));
const QByteArray Sos = Segment(0xDA, Bytes({1, 1, 0, 0, 0x3F, 0}));
// Entropy data that looks like segments: never to be touched.
const QByteArray Scan =
    Bytes({0x12, 0xFF, 0x00, 0xFF, 0xFE, 0x00, 0x04, 0xAB, 0xCD, 0xFF, 0xD0, 0x55, 0xFF, 0xD9});

QByteArray Com(const QByteArray& text) {
    return Segment(0xFE, text);
}

class JpegCommentFile : public ::testing::Test {
protected:
    QString Write(const QByteArray& data) {
        const QString path = dir.filePath("t.jpg");
        WriteAll(path, data);
        editor.SetFileName(path);
        return path;
    }
    QTemporaryDir dir;
    TJPGComment editor;
};

} // namespace

TEST_F(JpegCommentFile, TheLastOfSeveralCommentsIsReadAndAnEmptyCommentRemovesThemAll) {
    const QByteArray plain = Soi + App0 + Dqt + Sof + Dht + Sos + Scan;
    const QString path = Write(Soi + App0 + Com("first") + Dqt + Com("second") + Sof +
                               Com("third") + Dht + Sos + Scan);
    editor.ReadComment();
    EXPECT_EQ(editor.Comment(), "third");
    editor.SetComment({});
    editor.WriteComment();
    EXPECT_EQ(ReadAll(path), plain);
    editor.ReadComment();
    EXPECT_EQ(editor.Comment(), QByteArray());
}

TEST_F(JpegCommentFile, NewCommentGoesBeforeTheFirstFrameMarkerAndEverythingElseIsKept) {
    struct Case {
        const char* what;
        QByteArray input;
        QByteArray expected; // for the comment "0123456789"
    };
    const QByteArray com = Bytes({0xFF, 0xFE, 0x00, 0x0C}) + "0123456789";
    const std::vector<Case> cases = {
        {"codec layout", Soi + App0 + Dqt + Sof + Dht + Sos + Scan,
         Soi + App0 + Dqt + com + Sof + Dht + Sos + Scan},
        {"APPn kept in place", Soi + App0 + App1 + Com("old") + Dqt + Sof + Sos + Scan,
         Soi + App0 + App1 + Dqt + com + Sof + Sos + Scan},
        {"Huffman table first", Soi + Dht + Dqt + Sof + Sos + Scan,
         Soi + com + Dht + Dqt + Sof + Sos + Scan},
        {"stray bytes dropped", Soi + App0 + Bytes({0x00, 0x42}) + Dqt + Sof + Sos + Scan,
         Soi + App0 + Dqt + com + Sof + Sos + Scan},
        {"fill bytes dropped", Soi + App0 + Bytes({0xFF, 0xFF}) + Dqt + Sof + Sos + Scan,
         Soi + App0 + Dqt + com + Sof + Sos + Scan},
        {"no frame marker", Soi + App0 + Com("old") + Dqt + Sos + Scan,
         Soi + App0 + Dqt + Sos + Scan},
        {"ends before SOS", Soi + App0 + Dqt + Sof.left(5), Soi + App0 + Dqt + com + Sof.left(5)},
    };
    for (const Case& c : cases) {
        const QString path = Write(c.input);
        editor.SetComment("0123456789");
        editor.WriteComment();
        EXPECT_EQ(ReadAll(path).toHex(' '), c.expected.toHex(' ')) << c.what;
    }
}

TEST_F(JpegCommentFile, NonJpegAndOverlongCommentsAreRefusedAndTheFileStays) {
    const QByteArray jpeg = Soi + App0 + Dqt + Sof + Sos + Scan;
    const QString path = Write("GIF89a not a jpeg");
    editor.SetComment("x");
    EXPECT_THROW(editor.WriteComment(), QuvarError);
    EXPECT_EQ(ReadAll(path), "GIF89a not a jpeg");
    editor.ReadComment();
    EXPECT_EQ(editor.Comment(), QByteArray());

    Write(jpeg);
    editor.SetComment(QByteArray(MaxJpegCommentBytes + 1, 'x'));
    EXPECT_THROW(editor.WriteComment(), QuvarError);
    EXPECT_EQ(ReadAll(path), jpeg);
    editor.SetComment(QByteArray(MaxJpegCommentBytes, 'y'));
    editor.WriteComment();
    editor.SetComment({});
    editor.ReadComment();
    EXPECT_EQ(editor.Comment(), QByteArray(MaxJpegCommentBytes, 'y'));

    editor.SetFileName(dir.filePath("missing.jpg"));
    EXPECT_THROW(editor.ReadComment(), QuvarError);
}

TEST_F(JpegCommentFile, InTheCodecsFilesTheCommentStandsBetweenTheTablesAndTheFrame) {
    const QString path = dir.filePath("codec.jpg");
    SaveImageWithComment(NoisyBitmap(10, 10, 3), path, {"hello"}, false);
    const QByteArray data = ReadAll(path);
    std::vector<int> markers;
    qsizetype pos = 2;
    while (pos + 4 <= data.size()) {
        const int marker = uchar(data[pos + 1]);
        markers.push_back(marker);
        if (marker == 0xDA)
            break;
        pos += 2 + uchar(data[pos + 2]) * 256 + uchar(data[pos + 3]);
    }
    const auto com = std::find(markers.begin(), markers.end(), 0xFE);
    ASSERT_NE(com, markers.end());
    EXPECT_EQ(*(com - 1), 0xDB);
    EXPECT_EQ(*(com + 1), 0xC0);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xFE), 1);
    EXPECT_EQ(markers.front(), 0xE0);
    EXPECT_EQ(ReadJpegComment(data), "hello\r\n");
}
