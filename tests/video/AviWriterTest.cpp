#include "AviTestSupport.h"

#include "platform/Errors.h"
#include "video/AviWriter.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>

using namespace avitest;

namespace {

QString ThrownMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const QuvarError& error) {
        return error.message();
    }
    return QString();
}

QImage Solid(int width, int height, QRgb colour) {
    QImage frame(width, height, QImage::Format_BGR888);
    frame.fill(QColor(colour));
    return frame;
}

class AviWriter : public ::testing::Test {
protected:
    QString Path(const QString& name = "movie.avi") const { return dir.filePath(name); }

    // A compressed writer of the given size and frame time, ready for InitVideo.
    void Setup(const QString& fourcc, int width, int height, int frameTimeMs) {
        writer.SetWidth(width);
        writer.SetHeight(height);
        writer.FrameTime = frameTimeMs;
        writer.filename = Path();
        writer.SetCompressor(fourcc);
    }
    void Record(const std::vector<QImage>& frames) {
        writer.InitVideo(frames.front());
        for (const QImage& frame : frames)
            writer.AddFrame(frame);
        writer.FinalizeVideo();
        writer.WriteAvi();
    }

    QTemporaryDir dir;
    TAviWriter_2 writer;
};

TEST_F(AviWriter, PropertySettersApplyTheirRules) {
    for (auto [given, kept] : {std::pair{800, 800}, {600, 592}, {15, 0}, {31, 16}}) {
        writer.SetWidth(given);
        writer.SetHeight(given);
        EXPECT_EQ(writer.Width(), kept);
        EXPECT_EQ(writer.Height(), kept);
    }
    for (TPixelFormat refused : {TPixelFormat::pf15bit, TPixelFormat::pf16bit,
                                 TPixelFormat::pfDevice, TPixelFormat::pfCustom}) {
        EXPECT_EQ(ThrownMessage([&] { writer.SetPixelFormat(refused); }),
                  "Pixelformat not supported");
        EXPECT_EQ(writer.PixelFormat(), TPixelFormat::pf24bit);
    }
    writer.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(writer.PixelFormat(), TPixelFormat::pf8bit);

    EXPECT_EQ(ThrownMessage([&] { writer.SetWavFileName("sound.mp3"); }),
              "WavFileName must name a file with the .wav extension");
    writer.SetWavFileName("");
    EXPECT_EQ(writer.WavFileName(), "");
    writer.SetWavFileName("Sound.WAV");
    writer.SetWavFileName("sound.wav"); // equal ignoring case: kept as it was
    EXPECT_EQ(writer.WavFileName(), "Sound.WAV");
    EXPECT_EQ(writer.FrameTime, 1000);
    EXPECT_TRUE(writer.Stretch);
    EXPECT_EQ(writer.Quality, 5000);
}

TEST_F(AviWriter, CompressorListOffersTheEncodersThatOpenAtTheFrameSize) {
    QStringList list{"old"};
    writer.SetWidth(640);
    writer.SetHeight(480);
    writer.GetCompressorList(list);
    ASSERT_FALSE(list.isEmpty());
    EXPECT_EQ(list[0], "No Compression");
    for (const char* item :
         {"MJPG mjpeg", "FMP4 mpeg4", "H264 libx264", "FFV1 ffv1", "HFYU huffyuv"})
        EXPECT_TRUE(list.contains(item)) << item << " in " << list.join(", ").toStdString();
    writer.SetWidth(8); // 0 after rounding: no encoder opens
    writer.GetCompressorList(list);
    EXPECT_EQ(list, QStringList{"No Compression"});
}

TEST_F(AviWriter, SetCompressorTakesAKnownFourccOrRaises) {
    writer.SetWidth(640);
    writer.SetHeight(480);
    writer.SetCompressor("MJPG");
    EXPECT_EQ(writer.Compressor(), "MJPG");
    EXPECT_EQ(ThrownMessage([&] { writer.SetCompressor("ZZZZZZ"); }),
              "No compressor for ZZZZ\n available");
    EXPECT_EQ(writer.Compressor(), "");
    writer.SetCompressor("FMP4");
    writer.SetCompressor("");
    EXPECT_EQ(writer.Compressor(), "");
}

TEST_F(AviWriter, MjpgFileHasTheWritersSizeTagAndRate) {
    Setup("MJPG", 800, 600, 67);
    Record(std::vector<QImage>(5, PatternFrame(800, 600)));
    const auto probe =
        ProbeStream(Path(), "codec_name,codec_tag_string,width,height,r_frame_rate,nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*probe, "codec_name=mjpeg\ncodec_tag_string=MJPG\nwidth=800\nheight=592\n"
                      "r_frame_rate=1000/67\nnb_read_frames=5\n");
}

TEST_F(AviWriter, KeyFramesFollowTheFrameTime) {
    struct Case {
        const char* fourcc;
        int frameTimeMs;
        int frames;
        QString keyFrames;
    };
    for (const Case& c : {Case{"FMP4", 67, 40, "0,15,30"}, Case{"H264", 67, 31, "0,15,30"},
                          Case{"FMP4", 1000, 4, "0,1,2,3"}}) {
        SCOPED_TRACE(testing::Message() << c.fourcc << " " << c.frameTimeMs);
        Setup(c.fourcc, 64, 48, c.frameTimeMs);
        std::vector<QImage> frames;
        for (int i = 0; i < c.frames; ++i)
            frames.push_back(PatternFrame(64, 48, i * 9));
        Record(frames);
        const auto out =
            RunTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "frame=key_frame", "-of", "csv=p=0", Path()});
        if (!out)
            GTEST_SKIP() << "ffprobe is not installed";
        const QStringList flags = QString::fromUtf8(*out).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(flags.size(), c.frames);
        QStringList keys;
        for (int i = 0; i < flags.size(); ++i)
            if (flags[i].section(',', 0, 0).trimmed() == "1") // "1," when side data follow
                keys.append(QString::number(i));
        EXPECT_EQ(keys.join(','), c.keyFrames);
    }
}

// FFV1 is lossless, so the decoded frames show exactly where the writer put the pixels.
TEST_F(AviWriter, FramesAreCentredOnBlackOrStretched) {
    Setup("FFV1", 800, 600, 100);
    writer.Stretch = false;
    QImage tall = PatternFrame(800, 600);
    Record({Solid(640, 480, qRgb(255, 255, 255)), tall});
    const auto decoded = DecodeBgr(Path());
    if (!decoded)
        GTEST_SKIP() << "ffmpeg is not installed";
    const qsizetype frameBytes = 800 * 592 * 3;
    ASSERT_EQ(decoded->size(), 2 * frameBytes);
    auto pixel = [&](int frame, int x, int y) {
        const qsizetype at = frame * frameBytes + (qsizetype(y) * 800 + x) * 3;
        return QByteArray(decoded->constData() + at, 3);
    };
    const QByteArray white(3, '\xff'), black(3, '\0');
    EXPECT_EQ(pixel(0, 80, 56), white);
    EXPECT_EQ(pixel(0, 719, 535), white);
    EXPECT_EQ(pixel(0, 79, 56), black);
    EXPECT_EQ(pixel(0, 80, 55), black);
    EXPECT_EQ(pixel(0, 720, 535), black);
    EXPECT_EQ(pixel(0, 80, 536), black);
    // The 800 x 600 frame loses 4 rows at the top and 4 at the bottom.
    for (int y : {0, 300, 591})
        EXPECT_EQ(QByteArray(decoded->constData() + frameBytes + qsizetype(y) * 2400, 2400),
                  QByteArray(reinterpret_cast<const char*>(tall.constScanLine(y + 4)), 2400))
            << "row " << y;

    Setup("FFV1", 800, 600, 100);
    writer.Stretch = true;
    Record({Solid(400, 296, qRgb(0, 128, 255))});
    const auto stretched = DecodeBgr(Path());
    ASSERT_TRUE(stretched);
    ASSERT_EQ(stretched->size(), frameBytes);
    for (qsizetype at = 0; at < frameBytes; at += 3 * 997)
        ASSERT_EQ(stretched->mid(at, 3), QByteArray("\xff\x80\x00", 3)) << at;
}

TEST_F(AviWriter, CompressedCallsOutOfOrderRaise) {
    Setup("MJPG", 64, 48, 100);
    EXPECT_EQ(ThrownMessage([&] { writer.AddFrame(PatternFrame(64, 48)); }),
              "Video must be initialized.");
    writer.InitVideo(PatternFrame(64, 48));
    for (int i = 0; i < 3; ++i)
        writer.AddFrame(PatternFrame(64, 48));
    EXPECT_EQ(ThrownMessage([&] { writer.WriteAvi(); }), "Video must be finalized");
    // The file was released with what it had.
    const auto probe = ProbeStream(Path(), "nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*probe, "nb_read_frames=3\n");
}

TEST_F(AviWriter, ProgressEveryTwentiethFrameCanAbort) {
    Setup("MJPG", 64, 48, 100);
    std::vector<int> calls;
    writer.OnProgress = [&](TAviWriter_2* sender, int frameCount, bool& abort) {
        EXPECT_EQ(sender, &writer);
        calls.push_back(frameCount);
        abort = frameCount == 40;
    };
    Record(std::vector<QImage>(50, PatternFrame(64, 48)));
    EXPECT_EQ(calls, (std::vector<int>{20, 40}));
    EXPECT_TRUE(writer.Aborted());
    const auto probe = ProbeStream(Path(), "nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*probe, "nb_read_frames=40\n");
}

TEST_F(AviWriter, WithoutCompressorFramesGoUnscaledToTheUncompressedFile) {
    writer.SetWidth(640);
    writer.SetHeight(480);
    writer.filename = Path();
    writer.SetCompressor("");
    Record(std::vector<QImage>(3, PatternFrame(800, 600)));
    const QByteArray f = ReadAll(Path());
    EXPECT_EQ(U32(f, 64), 800u);
    EXPECT_EQ(U32(f, 68), 600u);
    EXPECT_EQ(U32(f, 48), 3u);
    EXPECT_EQ(U32(f, 32), 1'000'000u);
}

TEST_F(AviWriter, UncompressedFailuresAreReported) {
    writer.filename = Path();
    EXPECT_EQ(ThrownMessage([&] { writer.InitVideo(PatternFrame(641, 480)); }),
              "Failed to create AVI video file. Err: $FFFFFFEA");
    writer.FrameTime = 0;
    EXPECT_EQ(ThrownMessage([&] { writer.InitVideo(PatternFrame(640, 480)); }),
              "Failed to create AVI video file. Err: $FFFFFFEA");
    EXPECT_FALSE(QFileInfo::exists(Path()));
    writer.filename = dir.filePath("missing/movie.avi");
    writer.FrameTime = 100;
    EXPECT_EQ(ThrownMessage([&] { writer.InitVideo(PatternFrame(64, 48)); }),
              "Failed to create AVI video file. Err: $FFFFFFFE"); // ENOENT

    writer.filename = Path();
    writer.InitVideo(PatternFrame(64, 48));
    writer.AddFrame(PatternFrame(64, 48));
    writer.AddFrame(PatternFrame(32, 48));
    writer.AddFrame(PatternFrame(64, 48));
    writer.FinalizeVideo();
    const QString message = ThrownMessage([&] { writer.WriteAvi(); });
    EXPECT_TRUE(message.contains("32 x 48")) << message.toStdString();
    EXPECT_TRUE(message.endsWith("1 frames were not written")) << message.toStdString();
    EXPECT_EQ(U32(ReadAll(Path()), 48), 2u);
}

} // namespace

namespace {

// Frames of every 32-bit layout reach the compressed file in their own colours: only
// RGB32 and ARGB32 hold blue, green, red in memory order.
TEST_F(AviWriter, CompressedFramesOfAnyFormatKeepTheirColours) {
    const QRgb colour = qRgb(200, 60, 10);
    for (const QImage::Format format :
         {QImage::Format_BGR888, QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_ARGB32,
          QImage::Format_RGBX8888, QImage::Format_RGBA8888, QImage::Format_A2BGR30_Premultiplied,
          QImage::Format_Indexed8}) {
        SCOPED_TRACE(format);
        Setup("FFV1", 32, 16, 100);
        const QImage frame = Solid(32, 16, colour).convertToFormat(format);
        Record({frame});
        const auto decoded = DecodeBgr(Path());
        if (!decoded)
            GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_EQ(decoded->size(), 32 * 16 * 3);
        EXPECT_EQ(decoded->mid(5 * 32 * 3 + 7 * 3, 3), QByteArray("\x0a\x3c\xc8", 3));
    }
}

// A recording stopped before its first frame still leaves a file that players open.
TEST_F(AviWriter, ACompressedFileWithoutFramesStillOpens) {
    Setup("MJPG", 64, 48, 100);
    writer.InitVideo(PatternFrame(64, 48));
    writer.FinalizeVideo();
    writer.WriteAvi();
    EXPECT_GT(QFileInfo(Path()).size(), 0);
    const auto probe = ProbeStream(Path(), "width,height,nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed";
    // ffprobe counts no frame of an empty stream ("N/A"), but reads its header.
    EXPECT_TRUE(probe->startsWith("width=64\nheight=48\n")) << probe->toStdString();
}

} // namespace

namespace {

// What ffmpeg reports while decoding every frame of the file: empty when all went well.
std::optional<QString> DecodeErrors(const QString& path) {
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (ffmpeg.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(ffmpeg, {"-v", "error", "-i", path, "-f", "null", "-"});
    if (!process.waitForFinished(30000))
        return QString("ffmpeg did not finish");
    return QString::fromUtf8(process.readAllStandardError()) +
           (process.exitCode() != 0 ? QString("exit code %1").arg(process.exitCode()) : QString());
}

// The index entries of a finished file: chunk id and flags, in file order.
QList<std::pair<QByteArray, uint32_t>> IndexEntries(const QByteArray& file) {
    QList<std::pair<QByteArray, uint32_t>> entries;
    const qsizetype moviStart = file.indexOf("movi");
    const qsizetype idx1 = moviStart + qsizetype(U32(file, moviStart - 4));
    if (moviStart < 0 || Tag(file, idx1) != "idx1")
        return entries;
    const uint32_t size = U32(file, idx1 + 4);
    for (qsizetype at = idx1 + 8; at + 16 <= idx1 + 8 + qsizetype(size); at += 16)
        entries.append({Tag(file, at), U32(file, at + 4)});
    return entries;
}

// The encoder's packets are written by the program's own AVI writer: "00dc" chunks, the
// codec's FOURCC in the stream header and in its BITMAPINFOHEADER, the key frames flagged in
// the index, and the header's counts complete.
TEST_F(AviWriter, CompressedFilesAreLaidOutByTheProgramsOwnWriter) {
    Setup("FMP4", 64, 48, 67);
    std::vector<QImage> frames;
    for (int i = 0; i < 31; ++i)
        frames.push_back(PatternFrame(64, 48, i * 9));
    Record(frames);
    const QByteArray f = ReadAll(Path());
    EXPECT_EQ(U32(f, 4), uint32_t(f.size() - 8));
    EXPECT_EQ(U32(f, 48), 31u);     // avih total frames
    EXPECT_EQ(Tag(f, 112), "FMP4"); // strh handler
    EXPECT_EQ(U32(f, 140), 31u);    // strh length
    EXPECT_EQ(Tag(f, 196), "FMP4"); // strf compression
    EXPECT_EQ(U32(f, 184), 64u);    // strf width
    const auto entries = IndexEntries(f);
    ASSERT_EQ(entries.size(), 31);
    QStringList keys;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].first, "00dc") << i;
        if (entries[i].second & 0x10)
            keys.append(QString::number(i));
    }
    EXPECT_EQ(keys.join(','), "0,15,30");
    const auto errors = DecodeErrors(Path());
    if (!errors)
        GTEST_SKIP() << "ffmpeg is not installed";
    EXPECT_EQ(*errors, "");
}

// A compressed recording killed at a random moment, as by a crash or a power cut: the file
// opens, its header counts the frames up to its last patch (at most a second before the
// kill), and ffmpeg decodes every frame without an error.
TEST_F(AviWriter, ACompressedRecordingKilledMidWayStillOpensWithItsFrames) {
    if (QStandardPaths::findExecutable("ffprobe").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        GTEST_SKIP() << "ffprobe and ffmpeg are not installed";
    for (const char* fourcc : {"MJPG", "FMP4", "H264"}) {
        SCOPED_TRACE(fourcc);
        const QString path = Path(QString("%1.avi").arg(fourcc));
        QProcess recorder;
        recorder.start(QUVAR_AVI_RECORDER, {path, fourcc, "320", "240"});
        ASSERT_TRUE(recorder.waitForReadyRead(20000)) << "the recording did not start";
        QThread::msleep(1500);
        ::kill(pid_t(recorder.processId()), SIGKILL);
        ASSERT_TRUE(recorder.waitForFinished(10000));
        ASSERT_EQ(recorder.exitStatus(), QProcess::CrashExit);

        const QByteArray f = ReadAll(path);
        ASSERT_GT(f.size(), 240);
        const uint32_t riff = U32(f, 4);
        EXPECT_LE(qsizetype(riff) + 8, f.size()) << "the RIFF size reaches beyond the file";
        const uint32_t headerFrames = std::min(U32(f, 48), U32(f, 140));
        EXPECT_GE(headerFrames, 1u);
        const auto decoded = FrameCount(path);
        ASSERT_TRUE(decoded);
        EXPECT_GE(*decoded, int(headerFrames));
        EXPECT_LE(*decoded - int(headerFrames), 20) << "more than a second of frames unpatched";
        EXPECT_EQ(DecodeErrors(path).value_or(""), "");
    }
}

} // namespace

namespace {

// The frame's rows reach the encoders in their own colours and places, band by band: every
// stripe of 16 rows decodes to its colour, for 24- and 32-bit frames.
TEST_F(AviWriter, LossyEncodersGetEachRowInItsColour) {
    const QRgb stripes[] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(20, 40, 230),
                            qRgb(240, 240, 240), qRgb(90, 90, 90)};
    QImage frame(64, 80, QImage::Format_BGR888);
    for (int s = 0; s < 5; ++s)
        for (int y = 16 * s; y < 16 * s + 16; ++y)
            for (int x = 0; x < 64; ++x)
                frame.setPixel(x, y, stripes[s]);
    for (const char* fourcc : {"MJPG", "FMP4", "H264"})
        for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32}) {
            SCOPED_TRACE(testing::Message() << fourcc << " " << format);
            Setup(fourcc, 64, 80, 100);
            writer.Quality = 10000;
            Record({frame.convertToFormat(format)});
            const auto decoded = DecodeBgr(Path());
            if (!decoded)
                GTEST_SKIP() << "ffmpeg is not installed";
            ASSERT_EQ(decoded->size(), 64 * 80 * 3);
            for (int s = 0; s < 5; ++s) {
                const qsizetype at = (qsizetype(16 * s + 8) * 64 + 32) * 3;
                const QRgb want = stripes[s];
                EXPECT_NEAR(uint8_t((*decoded)[at + 2]), qRed(want), 8) << "stripe " << s;
                EXPECT_NEAR(uint8_t((*decoded)[at + 1]), qGreen(want), 8) << "stripe " << s;
                EXPECT_NEAR(uint8_t((*decoded)[at]), qBlue(want), 8) << "stripe " << s;
            }
        }
}

// The writer's frame buffers go round while the encoder still holds earlier ones (in an
// optimised build detailed frames come faster than they are encoded at this size), Motion
// JPEG's frames are encoded side by side and written in their order, and the buffers serve
// again in the next recording: every frame decodes to its own colour, recording after
// recording, also when the size and format change between them. The colour fills the top left
// corner: green counts the frames in steps of 10 (the decoder's colour conversion is off by up
// to 4), blue counts the rounds of green.
TEST_F(AviWriter, EveryFrameKeepsItsOwnPictureRecordingAfterRecording) {
    struct Case {
        const char* fourcc;
        int width, height;
    };
    constexpr int frameCount = 60, corner = 64;
    auto green = [](int i) { return 10 * (i % 25); };
    auto blue = [](int i) { return 40 + 80 * (i / 25); };
    for (const Case& c : {Case{"MJPG", 1280, 960}, Case{"MJPG", 1280, 960}, Case{"FMP4", 640, 480},
                          Case{"MJPG", 1280, 960}}) {
        SCOPED_TRACE(testing::Message() << c.fourcc << " " << c.width << " x " << c.height);
        Setup(c.fourcc, c.width, c.height, 40);
        writer.Quality = 10000;
        QImage detail(c.width, c.height, QImage::Format_BGR888);
        for (int y = 0; y < c.height; ++y) {
            uchar* line = detail.scanLine(y);
            for (int x = 0; x < 3 * c.width; ++x)
                line[x] = uchar((x * 37) ^ (y * 11));
        }
        std::vector<QImage> frames;
        for (int i = 0; i < frameCount; ++i) {
            QImage frame = detail.copy();
            for (int y = 0; y < corner; ++y)
                for (int x = 0; x < corner; ++x)
                    frame.setPixel(x, y, qRgb(0, green(i), blue(i)));
            frames.push_back(frame);
        }
        Record(frames);
        const auto decoded = RunTool("ffmpeg", {"-v", "error", "-i", Path(), "-vf",
                                                QString("crop=%1:%1:0:0,scale=2:2").arg(corner),
                                                "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
        if (!decoded)
            GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_EQ(decoded->size(), frameCount * 12);
        for (int i = 0; i < frameCount; ++i) {
            EXPECT_NEAR(uint8_t((*decoded)[12 * i]), blue(i), 8) << "frame " << i;
            EXPECT_NEAR(uint8_t((*decoded)[12 * i + 1]), green(i), 4) << "frame " << i;
        }
    }
}

} // namespace
