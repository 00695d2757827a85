#include "AviTestSupport.h"

#include "video/AviCreator.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;

namespace {

class AviCreator : public ::testing::Test {
protected:
    QString Path(const QString& name = "movie.avi") const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// The chunk ids of the "movi" list in file order, read by walking the RIFF structure.
QList<QByteArray> MoviChunks(const QByteArray& file) {
    QList<QByteArray> ids;
    const qsizetype moviStart = file.indexOf("movi");
    if (moviStart < 0)
        return ids;
    const qsizetype moviEnd = moviStart + qsizetype(U32(file, moviStart - 4));
    for (qsizetype at = moviStart + 4; at + 8 <= moviEnd && at + 8 <= file.size();) {
        ids.append(Tag(file, at));
        const uint32_t size = U32(file, at + 4);
        at += 8 + qsizetype(size) + (size & 1);
    }
    return ids;
}

TEST_F(AviCreator, TenFramesOf640x480LayTheFileOutByteForByte) {
    TAVICreator avi;
    const QImage frame = PatternFrame(640, 480);
    ASSERT_TRUE(avi.Open(Path(), 100, 100, frame));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(avi.AddFrame(frame)) << i;
    ASSERT_TRUE(avi.Close(false));
    EXPECT_EQ(avi.ChunkBytes, 9'216'080u);

    const QByteArray f = ReadAll(Path());
    constexpr uint32_t Chunk = 8 + 921'600;
    constexpr uint32_t MoviEnd = 232 + 10 * (Chunk + 10);
    ASSERT_EQ(f.size(), MoviEnd + 8 + 160);
    struct Field {
        qsizetype offset;
        uint32_t value;
    };
    const Field fields[] = {
        {4, uint32_t(f.size() - 8)},
        {16, 200},
        {28, 56},
        {32, 100'000},
        {36, 9'216'080},
        {40, 0},
        {44, 0x00010010},
        {48, 10},
        {52, 0},
        {56, 1},
        {60, 0},
        {64, 640},
        {68, 480},
        {72, 0},
        {84, 0},
        {92, 124},
        {104, 64},
        {112, 0},
        {116, 0},
        {120, 0},
        {124, 0},
        {128, 100},
        {132, 1000},
        {136, 0},
        {140, 10},
        {144, 0},
        {148, 10'000},
        {152, 0},
        {156, 0},
        {168, 0},
        {176, 40},
        // BITMAPINFOHEADER: size, width, height (bottom-up), planes 1 and 24 bits, BI_RGB
        {180, 40},
        {184, 640},
        {188, 480},
        {192, 1 | 24 << 16},
        {196, 0},
        {224, MoviEnd - 228},
        {236, 921'600},
        {232 + Chunk + 4, 1},
        {MoviEnd + 4, 160},
        {MoviEnd + 12, 0x10},
        {MoviEnd + 16, 232},
        {MoviEnd + 20, 921'600},
        {MoviEnd + 32, 232 + Chunk + 10}};
    for (const Field& field : fields)
        EXPECT_EQ(U32(f, field.offset), field.value) << "offset " << field.offset;
    const std::pair<qsizetype, const char*> tags[] = {
        {0, "RIFF"},       {8, "AVI "},           {12, "LIST"},
        {20, "hdrl"},      {24, "avih"},          {88, "LIST"},
        {96, "strl"},      {100, "strh"},         {108, "vids"},
        {172, "strf"},     {220, "LIST"},         {228, "movi"},
        {232, "00db"},     {232 + Chunk, "JUNK"}, {232 + Chunk + 10, "00db"},
        {MoviEnd, "idx1"}, {MoviEnd + 8, "00db"}};
    for (auto [offset, tag] : tags)
        EXPECT_EQ(Tag(f, offset), QByteArray(tag)) << "offset " << offset;
    // Bottom-up rows: the file's first row is the bitmap's bottom row (blue).
    EXPECT_EQ(f.mid(240, 3), QByteArray("\xff\x00\x00", 3));
    EXPECT_EQ(f.mid(240 + 921'600 - 3, 3), QByteArray("\x00\x00\xff", 3));
}

TEST_F(AviCreator, PlayersReadFramesOfEveryRowPaddingBackUnchanged) {
    // Rows of 2 and 642 pixels end in 2 pad bytes, rows of 640 in none.
    for (auto [w, h] : {std::pair{2, 2}, {640, 480}, {642, 6}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const QString path = Path(QString("f%1x%2.avi").arg(w).arg(h));
        TAVICreator avi;
        std::vector<QImage> frames;
        for (int i = 0; i < 10; ++i)
            frames.push_back(PatternFrame(w, h, i * 40));
        ASSERT_TRUE(avi.Open(path, 100, 100, frames[0]));
        for (const QImage& frame : frames)
            ASSERT_TRUE(avi.AddFrame(frame));
        ASSERT_TRUE(avi.Close(false));

        const auto probe =
            ProbeStream(path, "codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames");
        if (!probe)
            GTEST_SKIP() << "ffprobe is not installed";
        EXPECT_EQ(*probe, QString("codec_name=rawvideo\nwidth=%1\nheight=%2\npix_fmt=bgr24\n"
                                  "r_frame_rate=10/1\nnb_read_frames=10\n")
                              .arg(w)
                              .arg(h));
        const auto decoded = DecodeBgr(path);
        if (!decoded)
            GTEST_SKIP() << "ffmpeg is not installed";
        QByteArray expected;
        for (const QImage& frame : frames)
            for (int y = 0; y < h; ++y)
                expected.append(reinterpret_cast<const char*>(frame.constScanLine(y)), w * 3);
        EXPECT_TRUE(*decoded == expected) << "decoded " << decoded->size() << " bytes";
    }
}

TEST_F(AviCreator, OpenRefusesWhatWouldGiveABrokenFileAndCreatesNothing) {
    struct Case {
        QImage bitmap;
        uint32_t frameTimeMs;
    };
    const Case cases[] = {{PatternFrame(641, 480), 100},
                          {PatternFrame(640, 481), 100},
                          {QImage(), 100},
                          {PatternFrame(640, 480), 0}};
    for (const Case& c : cases) {
        TAVICreator avi;
        EXPECT_FALSE(avi.Open(Path(), c.frameTimeMs, 100, c.bitmap));
        EXPECT_FALSE(QFileInfo::exists(Path()));
        EXPECT_FALSE(avi.AddFrame(PatternFrame(640, 480)));
        EXPECT_FALSE(avi.Close(false));
        EXPECT_FALSE(avi.LastError().isEmpty());
        EXPECT_EQ(avi.LastErrorCode(), -EINVAL);
    }
}

TEST_F(AviCreator, CloseWithoutAnOpenFileChangesNothing) {
    QFile other(Path());
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("keep");
    other.close();
    TAVICreator avi;
    EXPECT_FALSE(avi.Close(false));
    EXPECT_FALSE(avi.Close(true));
    EXPECT_EQ(ReadAll(Path()), QByteArray("keep"));
}

TEST_F(AviCreator, CloseWithAbortDeletesTheFile) {
    TAVICreator avi;
    ASSERT_TRUE(avi.Open(Path(), 100, 100, PatternFrame(4, 4)));
    ASSERT_TRUE(avi.AddFrame(PatternFrame(4, 4)));
    EXPECT_FALSE(avi.Close(true));
    EXPECT_FALSE(QFileInfo::exists(Path()));
    EXPECT_FALSE(avi.AddFrame(PatternFrame(4, 4)));
}

TEST_F(AviCreator, SmallFramesGetAJunkChunkAfterEveryThird) {
    TAVICreator avi;
    const QImage frame = PatternFrame(96, 32); // 9,216 bytes
    ASSERT_TRUE(avi.Open(Path(), 40, 100, frame));
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(avi.AddFrame(frame));
    ASSERT_TRUE(avi.Close(false));
    const QList<QByteArray> expected = {"00db", "00db", "00db", "JUNK", "00db",
                                        "00db", "00db", "JUNK", "00db"};
    EXPECT_EQ(MoviChunks(ReadAll(Path())), expected);
}

TEST_F(AviCreator, FramesEndingPastTheWarningSizeBeep) {
    TAVICreator::Limits limits;
    limits.BeepFromBytes = 37'138; // where the fourth 9,216-byte frame ends
    TAVICreator avi(limits);
    std::vector<uint32_t> beeps;
    TAVICreator::Beep = [&] { beeps.push_back(avi.FrameCount); };
    const QImage frame = PatternFrame(96, 32);
    ASSERT_TRUE(avi.Open(Path(), 40, 100, frame));
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(avi.AddFrame(frame));
    ASSERT_TRUE(avi.Close(false));
    TAVICreator::Beep = nullptr;
    EXPECT_EQ(beeps, (std::vector<uint32_t>{4, 5, 6}));
}

// The limits that end a recording early: the file is closed complete with every frame it
// took, and a player reads them all.
TEST_F(AviCreator, AFrameBeyondTheFormatsLimitsClosesTheFileComplete) {
    const QImage frame = PatternFrame(64, 48); // 9,216 bytes, chunks of 9,224
    struct Case {
        const char* name;
        TAVICreator::Limits limits;
        uint32_t frames;
    };
    TAVICreator::Limits fullIndex;
    fullIndex.IndexEntries = 3;
    TAVICreator::Limits fourGiB;
    // Room for 4 frames and their index, not for a fifth: 232 + 4 x 9,224 + 1 JUNK + idx1.
    fourGiB.MaxFileBytes = 232 + 5 * 9'224 + 10 + 8 + 5 * 16 - 1;
    for (const Case& c : {Case{"full index", fullIndex, 3}, Case{"4 GiB", fourGiB, 4}}) {
        SCOPED_TRACE(c.name);
        TAVICreator avi(c.limits);
        ASSERT_TRUE(avi.Open(Path(), 100, 100, frame));
        uint32_t written = 0;
        while (avi.AddFrame(frame))
            ++written;
        EXPECT_EQ(written, c.frames);
        EXPECT_FALSE(avi.IsOpen);
        EXPECT_FALSE(avi.AddFrame(frame));
        EXPECT_EQ(avi.RefusedFrames(), 1u);
        EXPECT_FALSE(avi.LastError().isEmpty());
        const QByteArray f = ReadAll(Path());
        EXPECT_LE(uint64_t(f.size()), c.limits.MaxFileBytes);
        EXPECT_EQ(U32(f, 48), c.frames);
        EXPECT_EQ(U32(f, 4), uint32_t(f.size() - 8));
        EXPECT_EQ(Tag(f, f.size() - 8 - 16 * qsizetype(c.frames)), QByteArray("idx1"));
        const auto probe = ProbeStream(Path(), "nb_read_frames");
        if (!probe)
            GTEST_SKIP() << "ffprobe is not installed";
        EXPECT_EQ(*probe, QString("nb_read_frames=%1\n").arg(c.frames));
    }
}

// Rates beyond the header's 32-bit fields are held at the largest value, not wrapped to a
// small one.
TEST_F(AviCreator, HeaderRatesBeyondTheirFieldsStayAtTheirLargest) {
    struct Case {
        const char* name;
        QSize size;
        uint32_t frameTimeMs;
        uint32_t microsecondsPerFrame;
        uint32_t maxBytesPerSecond;
    };
    for (const Case& c : {
             // 4,300,808-byte chunks each millisecond: 4.3 GB per second.
             Case{"fast", {1280, 1120}, 1, 1000, 0xFFFFFFFFu},
             // 72 minutes per frame: 4.32e9 microseconds.
             Case{"slow", {64, 48}, 4'320'000, 0xFFFFFFFFu, 2},
         }) {
        SCOPED_TRACE(c.name);
        const QImage frame = PatternFrame(c.size.width(), c.size.height());
        TAVICreator avi;
        ASSERT_TRUE(avi.Open(Path(), c.frameTimeMs, 100, frame));
        ASSERT_TRUE(avi.AddFrame(frame));
        ASSERT_TRUE(avi.Close(false));
        const QByteArray f = ReadAll(Path());
        EXPECT_EQ(U32(f, 32), c.microsecondsPerFrame);
        EXPECT_EQ(U32(f, 36), c.maxBytesPerSecond);
        EXPECT_EQ(U32(f, 128), c.frameTimeMs) << "the stream's scale keeps the exact rate";
    }
}

TEST_F(AviCreator, AFrameOfAnotherSizeIsRefusedAndTheRecordingGoesOn) {
    TAVICreator avi;
    ASSERT_TRUE(avi.Open(Path(), 100, 100, PatternFrame(8, 6)));
    EXPECT_TRUE(avi.AddFrame(PatternFrame(8, 6)));
    EXPECT_FALSE(avi.AddFrame(PatternFrame(10, 6)));
    EXPECT_FALSE(avi.AddFrame(PatternFrame(8, 6).convertToFormat(QImage::Format_Indexed8)));
    EXPECT_TRUE(avi.AddFrame(PatternFrame(8, 6).convertToFormat(QImage::Format_RGB888)));
    EXPECT_TRUE(avi.Close(false));
    EXPECT_EQ(avi.FrameCount, 2u);
    EXPECT_EQ(avi.RefusedFrames(), 2u);
    EXPECT_TRUE(avi.LastError().contains("10 x 6")) << avi.LastError().toStdString();
    EXPECT_EQ(MoviChunks(ReadAll(Path())), (QList<QByteArray>{"00db", "00db"}));
}

TEST_F(AviCreator, ThirtyTwoBitAndPalettedFramesKeepTheirFormat) {
    struct Case {
        QImage::Format format;
        uint16_t bits;
        uint32_t infoSize;
        const char* pixFmt;
    };
    for (const Case& c : {Case{QImage::Format_RGB32, 32, 40, "bgra"},
                          Case{QImage::Format_Indexed8, 8, 40 + 1024, "pal8"}}) {
        SCOPED_TRACE(c.bits);
        const QImage frame = PatternFrame(6, 4).convertToFormat(c.format);
        TAVICreator avi;
        ASSERT_TRUE(avi.Open(Path(), 100, 100, frame));
        ASSERT_TRUE(avi.AddFrame(frame));
        ASSERT_TRUE(avi.Close(false));
        const QByteArray f = ReadAll(Path());
        EXPECT_EQ(U32(f, 176), c.infoSize);
        EXPECT_EQ(U32(f, 192) >> 16, c.bits);
        EXPECT_EQ(U32(f, 16), 160 + c.infoSize);
        EXPECT_EQ(Tag(f, 192 + qsizetype(c.infoSize)), QByteArray("00db"));
        const auto probe = ProbeStream(Path(), "pix_fmt,nb_read_frames");
        if (!probe)
            GTEST_SKIP() << "ffprobe is not installed";
        EXPECT_EQ(*probe, QString("pix_fmt=%1\nnb_read_frames=1\n").arg(c.pixFmt));
    }
}

// A child process records until it is killed: the frames written up to the last patch of
// the header survive.
TEST_F(AviCreator, ARecordingKilledMidWayStillOpensWithItsFrames) {
    if (QStandardPaths::findExecutable("ffprobe").isEmpty())
        GTEST_SKIP() << "ffprobe is not installed";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const QImage frame = PatternFrame(64, 48);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TAVICreator::Limits limits;
        limits.PatchIntervalMs = 0;
        TAVICreator avi(limits);
        if (!avi.Open(Path(), 40, 100, frame))
            _exit(1);
        for (int i = 0;; ++i) {
            if (!avi.AddFrame(frame))
                _exit(2);
            if (i == 20) {
                const char byte = 1;
                if (write(ready[1], &byte, 1) != 1)
                    _exit(3);
            }
        }
    }
    close(ready[1]);
    char byte = 0;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const QByteArray f = ReadAll(Path());
    // The header's and the stream's counts are patched one after the other, and the kill
    // can fall between the two writes.
    const uint32_t headerFrames = U32(f, 48);
    const uint32_t streamFrames = U32(f, 140);
    const uint32_t patchedFrames = std::min(headerFrames, streamFrames);
    EXPECT_GE(patchedFrames, 21u);
    EXPECT_LE(std::max(headerFrames, streamFrames) - patchedFrames, 1u);
    const auto probe = ProbeStream(Path(), "nb_read_frames");
    ASSERT_TRUE(probe);
    const int read = probe->section('=', 1).trimmed().toInt();
    EXPECT_GE(read, int(patchedFrames)) << probe->toStdString();
}

// A full disk, here a file-size limit in a child process: the file is cut back to its last
// whole frame, closed with its index, and the error is reported.
TEST_F(AviCreator, AFailedWriteClosesTheFileWithTheFramesSoFar) {
    const QImage frame = PatternFrame(640, 480);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{3'000'000, 3'000'000};
        setrlimit(RLIMIT_FSIZE, &limit);
        TAVICreator avi;
        if (!avi.Open(Path(), 100, 100, frame))
            _exit(100);
        int written = 0;
        while (avi.AddFrame(frame))
            ++written;
        const bool reported =
            !avi.IsOpen && avi.LastError().contains("failed") && avi.LastErrorCode() == -EFBIG;
        _exit(reported ? written : 101);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const int written = WEXITSTATUS(status);
    ASSERT_EQ(written, 3);
    const QByteArray f = ReadAll(Path());
    EXPECT_EQ(f.size(), 232 + 3 * (921'608 + 10) + 8 + 3 * 16);
    EXPECT_EQ(U32(f, 48), 3u);
    const auto probe = ProbeStream(Path(), "nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*probe, "nb_read_frames=3\n");
}

} // namespace
