// Image files with the embedded comment: round trips per type, the BMP side file, the
// PNG chunk placement, the JPEG one-go save, damaged and absurd files, and the file lock.
// The fixtures at the top are shared with the JPEG comment and TIFF tests.
#include "imaging/ImageFiles.h"
#include "imaging/CodecSupport.h"
#include "imaging/JpegComment.h"
#include "imaging/SaveOptionsNames.h"
#include "imaging/TiffFiles.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ImageTestSupport.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <optional>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace imagetest {

// Noise: every pixel different, so a lossless round trip shows any moved byte.
QImage NoisyBitmap(int width, int height, uint32_t seed = 1) {
    QImage image(width, height, QImage::Format_BGR888);
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = uchar(state >> 24);
        }
    }
    return image;
}

// A smooth picture that survives JPEG compression nearly unchanged.
QImage SmoothBitmap(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(40 + std::min(x, 150));
            row[3 * x + 1] = uchar(60 + std::min(y, 150));
            row[3 * x + 2] = 128;
        }
    }
    return image;
}

double MeanAbsDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width() * 3; ++x)
            sum += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
    return sum / (double(a.width()) * a.height() * 3);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
}

struct PngChunk {
    QByteArray type;
    QByteArray data;
};

std::vector<PngChunk> PngChunks(const QByteArray& png) {
    std::vector<PngChunk> chunks;
    qsizetype pos = 8;
    while (pos + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + pos);
        const qsizetype length = (qsizetype(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (pos + 12 + length > png.size())
            break;
        chunks.push_back({png.mid(pos + 4, 4), png.mid(pos + 8, length)});
        pos += 12 + length;
    }
    return chunks;
}

QByteArray BuildPng(const std::vector<PngChunk>& chunks) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    for (const PngChunk& c : chunks) {
        const uint32_t n = uint32_t(c.data.size());
        const char length[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        png.append(length, 4);
        const QByteArray body = c.type + c.data;
        png.append(body);
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
        const char crcBytes[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
        png.append(crcBytes, 4);
    }
    return png;
}

QByteArray ZtxtData(const QByteArray& keyword, const QByteArray& text) {
    uLongf size = compressBound(uLong(text.size()));
    QByteArray packed(qsizetype(size), '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(text.constData()), uLong(text.size()));
    packed.resize(qsizetype(size));
    return keyword + QByteArray(2, '\0') + packed; // separator, then method 0
}

} // namespace imagetest

using namespace imagetest;

namespace {

const QStringList SampleComment = {"[QUVARSystemComment]",   "Location = Lab 2",   "Unit = µm", "",
                                   "[QUVARMCSystemComment]", "Calibration = 0.125"};

class ImageFiles : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

struct Loaded {
    QImage bitmap;
    QStringList comment;
};

Loaded Load(const QString& path) {
    Loaded loaded;
    LoadImageWithComment(loaded.bitmap, path, loaded.comment);
    return loaded;
}

} // namespace

TEST_F(ImageFiles, ImageAndCommentSurviveARoundTripInEveryType) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {7, 13}, {97, 61}, {2, 131}};
    for (const char* name : {"a.bmp", "a.png", "a.tif", "a.tiff", "a.jpg", "a.JPG", "a.jpeg"}) {
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(QStringLiteral("%1 %2x%3").arg(name).arg(w).arg(h).toStdString());
            const QString path = Path(name);
            const bool lossy = ImageFileTypeOf(path) == ImageFileType::Jpeg;
            const QImage image = lossy ? SmoothBitmap(w, h) : NoisyBitmap(w, h, uint32_t(w + h));
            SaveImageWithComment(image, path, SampleComment, true);
            const Loaded loaded = Load(path);
            EXPECT_EQ(loaded.comment, SampleComment);
            ASSERT_EQ(loaded.bitmap.format(), QImage::Format_BGR888);
            ASSERT_EQ(loaded.bitmap.size(), image.size());
            if (lossy)
                EXPECT_LT(MeanAbsDifference(loaded.bitmap, image), 2.0);
            else
                EXPECT_TRUE(SamePixels(loaded.bitmap, image));
        }
    }
}

TEST_F(ImageFiles, ThirtyTwoBitBitmapsAreSavedWithTheSamePicture) {
    const QImage image = NoisyBitmap(9, 5);
    const QImage image32 = image.convertToFormat(QImage::Format_RGB32);
    for (const char* name : {"b.bmp", "b.png", "b.tif"}) {
        SaveImagePlain(image32, Path(name));
        EXPECT_TRUE(SamePixels(Load(Path(name)).bitmap, image)) << name;
    }
    // A 32-bit bitmap is written as a 32-bit BMP.
    EXPECT_EQ(uchar(ReadAll(Path("b.bmp"))[28]), 32);
}

TEST_F(ImageFiles, OtherExtensionsAreNeitherWrittenNorRead) {
    SaveImageWithComment(NoisyBitmap(3, 3), Path("x.gif"), SampleComment, true);
    EXPECT_FALSE(QFile::exists(Path("x.gif")));

    WriteAll(Path("y.gif"), "GIF89a");
    QImage bitmap = NoisyBitmap(2, 2);
    const QImage before = bitmap;
    QStringList comment = {"old"};
    LoadImageWithComment(bitmap, Path("y.gif"), comment);
    EXPECT_TRUE(SamePixels(bitmap, before));
    EXPECT_TRUE(comment.isEmpty());

    // A missing file changes nothing at all.
    comment = {"old"};
    LoadImageWithComment(bitmap, Path("missing.png"), comment);
    EXPECT_EQ(comment, QStringList{"old"});
}

TEST_F(ImageFiles, BmpCommentLivesInTheSideFile) {
    const QString path = Path("p.bmp");
    SaveImageWithComment(NoisyBitmap(4, 4), path, {"one", "two µm"}, true);
    EXPECT_EQ(ReadAll(path + ".cmt"), QByteArray("one\r\ntwo \xB5m\r\n"));

    // Saving without the side file removes the older one: it described another picture.
    SaveImageWithComment(NoisyBitmap(4, 4), path, {"new"}, false);
    EXPECT_FALSE(QFile::exists(path + ".cmt"));
    EXPECT_TRUE(Load(path).comment.isEmpty());

    SaveImageWithComment(NoisyBitmap(4, 4), path, {"again"}, true);
    SaveImagePlain(NoisyBitmap(4, 4), path);
    EXPECT_FALSE(QFile::exists(path + ".cmt"));

    // Side files of older installations are Windows-1252 with any line break.
    WriteAll(path + ".cmt", "a\rUnit = \xB5m\nc");
    EXPECT_EQ(Load(path).comment, (QStringList{"a", "Unit = µm", "c"}));
}

TEST_F(ImageFiles, PlainSavesCarryNoComment) {
    const QImage image = NoisyBitmap(5, 3);
    for (const char* name : {"c.jpg", "c.png", "c.tif"})
        SaveImagePlain(image, Path(name));
    EXPECT_EQ(ReadJpegComment(ReadAll(Path("c.jpg"))), QByteArray());
    for (const PngChunk& chunk : PngChunks(ReadAll(Path("c.png"))))
        EXPECT_NE(chunk.type, "tEXt");
    EXPECT_EQ(Load(Path("c.tif")).comment, QStringList{"CamView"});
}

TEST_F(ImageFiles, JpegSavedInOneGoEqualsCodecOutputRewrittenWithTheComment) {
    const QImage image = NoisyBitmap(33, 17);
    SaveImagePlain(image, Path("two-steps.jpg"));
    TJPGComment editor;
    editor.SetFileName(Path("two-steps.jpg"));
    editor.SetComment(EncodeText(CommentText(SampleComment)));
    editor.WriteComment();
    SaveImageWithComment(image, Path("one-go.jpg"), SampleComment, false);
    EXPECT_EQ(ReadAll(Path("one-go.jpg")), ReadAll(Path("two-steps.jpg")));
}

TEST_F(ImageFiles, JpegCommentBeyondTheSegmentIsRefusedAndTheOldFileStays) {
    const QString path = Path("long.jpg");
    SaveImageWithComment(NoisyBitmap(3, 3), path, {"short"}, false);
    const QByteArray before = ReadAll(path);
    const QStringList tooLong = {QString(65532, u'x')}; // plus CR LF: 65534 bytes
    EXPECT_THROW(SaveImageWithComment(NoisyBitmap(3, 3), path, tooLong, false), QuvarError);
    EXPECT_EQ(ReadAll(path), before);
    const QStringList longest = {QString(65531, u'x')};
    SaveImageWithComment(NoisyBitmap(3, 3), path, longest, false);
    EXPECT_EQ(Load(path).comment, longest);
}

TEST_F(ImageFiles, PngCommentChunkFollowsTheImageDataAndTheLastQuvarChunkWins) {
    const QString path = Path("d.png");
    SaveImageWithComment(NoisyBitmap(6, 6), path, SampleComment, false);
    std::vector<PngChunk> chunks = PngChunks(ReadAll(path));
    std::vector<QByteArray> types;
    for (const PngChunk& c : chunks)
        types.push_back(c.type);
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(types[types.size() - 2], "tEXt");
    EXPECT_EQ(types[types.size() - 3], "IDAT");
    EXPECT_EQ(std::count(types.begin(), types.end(), QByteArray("tEXt")), 1);
    EXPECT_EQ(chunks[chunks.size() - 2].data,
              QByteArray("QUVAR") + '\0' + CommentText(SampleComment).toLatin1());

    // Before the image data: "quvar" (ignored), a zTXt "QUVAR"; after it a second tEXt.
    std::vector<PngChunk> edited = {chunks[0],
                                    {"tEXt", QByteArray("quvar\0lower", 11)},
                                    {"zTXt", ZtxtData("QUVAR", "packed\r\n")}};
    edited.insert(edited.end(), chunks.begin() + 1, chunks.end());
    WriteAll(path, BuildPng(edited));
    EXPECT_EQ(Load(path).comment, SampleComment);
    edited.erase(edited.end() - 2); // only the zTXt is left
    WriteAll(path, BuildPng(edited));
    EXPECT_EQ(Load(path).comment, QStringList{"packed"});

    if (auto out = RunTool("exiftool", {"-s", "-PNG:all", path})) {
        EXPECT_TRUE(out->contains("QUVAR")) << out->toStdString();
    }
}

// Other programs keep megabytes of metadata in text chunks (XMP, an instrument's settings):
// the image opens, and the comment after them is found, from the file and from its bytes.
TEST_F(ImageFiles, PngWithLargeMetadataChunksOpens) {
    const QString path = Path("meta.png");
    SaveImageWithComment(NoisyBitmap(5, 4), path, SampleComment, false);
    const std::vector<PngChunk> chunks = PngChunks(ReadAll(path));
    const QByteArray big(3 << 20, 'm');
    std::vector<PngChunk> edited = {chunks[0],
                                    {"iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + big},
                                    {"tEXt", QByteArray("Description\0", 12) + big}};
    edited.insert(edited.end(), chunks.begin() + 1, chunks.end());
    WriteAll(path, BuildPng(edited));
    const auto loaded = Load(path);
    EXPECT_TRUE(SamePixels(loaded.bitmap, NoisyBitmap(5, 4)));
    EXPECT_EQ(loaded.comment, SampleComment);
    const ImageWithComment decoded =
        DecodeImageWithComment(ImageFileType::Png, ReadAll(path), path);
    EXPECT_TRUE(SamePixels(decoded.bitmap, NoisyBitmap(5, 4)));
    EXPECT_EQ(CommentLines(decoded.comment), SampleComment);
}

TEST_F(ImageFiles, GreyAlphaAndSixteenBitPngLoadAsColour) {
    QImage grey(3, 2, QImage::Format_Grayscale16);
    grey.fill(QColor(100, 100, 100));
    QImage alpha(3, 2, QImage::Format_RGBA64);
    alpha.fill(QColor(10, 20, 30, 255));
    QImage palette(3, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(10, 20, 30)});
    palette.fill(0);
    for (const QImage& image : {grey, alpha, palette}) {
        ASSERT_TRUE(image.save(Path("e.png"), "PNG"));
        const Loaded loaded = Load(Path("e.png"));
        ASSERT_EQ(loaded.bitmap.format(), QImage::Format_BGR888);
        EXPECT_EQ(loaded.bitmap.size(), QSize(3, 2));
        EXPECT_EQ(loaded.bitmap.pixel(2, 1), image.pixel(2, 1) | 0xFF000000u);
    }
}

namespace {

// A JPEG that libjpeg writes at its defaults from width x height rows of components bytes
// each in space; adjust changes the defaults (quality, progression, sampling) first.
QByteArray CompressJpeg(int width, int height, J_COLOR_SPACE space, int components,
                        const std::function<const uchar*(int y)>& rowAt,
                        const std::function<void(jpeg_compress_struct&)>& adjust = {}) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    if (adjust)
        adjust(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rowAt(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray jpeg(reinterpret_cast<const char*>(buffer), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return jpeg;
}

} // namespace

TEST_F(ImageFiles, GreyAndCmykJpegLoadAsColour) {
    struct Case {
        J_COLOR_SPACE space;
        int components;
        std::vector<uchar> pixel;
        QRgb expected;
    };
    // Adobe's inverted CMYK (written by libjpeg for CMYK): with K stored as 255, the stored
    // C, M, Y are the red, green and blue.
    const std::vector<Case> cases = {{JCS_GRAYSCALE, 1, {90}, qRgb(90, 90, 90)},
                                     {JCS_CMYK, 4, {55, 155, 255, 255}, qRgb(55, 155, 255)}};
    for (const Case& c : cases) {
        std::vector<uchar> row;
        for (int x = 0; x < 8; ++x)
            row.insert(row.end(), c.pixel.begin(), c.pixel.end());
        WriteAll(Path("f.jpg"),
                 CompressJpeg(
                     8, 8, c.space, c.components, [&row](int) { return row.data(); },
                     [](jpeg_compress_struct& cinfo) { jpeg_set_quality(&cinfo, 100, TRUE); }));

        const Loaded loaded = Load(Path("f.jpg"));
        ASSERT_EQ(loaded.bitmap.format(), QImage::Format_BGR888);
        const QColor got = loaded.bitmap.pixelColor(3, 3);
        const QColor want(c.expected);
        EXPECT_NEAR(got.red(), want.red(), 2) << c.components;
        EXPECT_NEAR(got.green(), want.green(), 2) << c.components;
        EXPECT_NEAR(got.blue(), want.blue(), 2) << c.components;
    }
}

// A progressive JPEG whose last scan is repeated until the file has the given number of
// scans: each scan costs a pass over the whole image, so a small file can cost hours.
QByteArray ProgressiveJpegWithScans(int scans) {
    const QImage image = NoisyBitmap(16, 16);
    const QByteArray jpeg = CompressJpeg(
        16, 16, JCS_EXT_BGR, 3, [&image](int y) { return image.constScanLine(y); },
        [](jpeg_compress_struct& cinfo) { jpeg_simple_progression(&cinfo); });

    const int written = int(jpeg.count("\xFF\xDA"));
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA");
    const QByteArray scan = jpeg.mid(lastScan, jpeg.size() - 2 - lastScan);
    QByteArray out = jpeg.left(jpeg.size() - 2);
    for (int i = written; i < scans; ++i)
        out += scan;
    return out + QByteArray("\xFF\xD9", 2);
}

TEST_F(ImageFiles, ProgressiveJpegsLoadUpToAFewHundredScans) {
    WriteAll(Path("scans.jpg"), ProgressiveJpegWithScans(40));
    EXPECT_EQ(Load(Path("scans.jpg")).bitmap.size(), QSize(16, 16));
}

TEST_F(ImageFiles, DamagedAndAbsurdFilesAreRefusedAndLeaveBitmapAndComment) {
    SaveImagePlain(NoisyBitmap(20, 20), Path("good.png"));
    SaveImagePlain(NoisyBitmap(20, 20), Path("good.jpg"));
    SaveImagePlain(NoisyBitmap(20, 20), Path("good.bmp"));
    const QByteArray png = ReadAll(Path("good.png"));
    const QByteArray jpg = ReadAll(Path("good.jpg"));
    const QByteArray bmp = ReadAll(Path("good.bmp"));

    // Size fields patched to 60000 x 60000 (PNG IHDR, JPEG SOF0, BMP info header).
    QByteArray hugePng = png;
    std::vector<PngChunk> chunks = PngChunks(png);
    chunks[0].data.replace(0, 8, QByteArray("\x00\x00\xEA\x60\x00\x00\xEA\x60", 8));
    hugePng = BuildPng(chunks);
    QByteArray hugeJpg = jpg;
    const qsizetype sof = hugeJpg.indexOf("\xFF\xC0");
    hugeJpg.replace(sof + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
    QByteArray hugeBmp = bmp;
    hugeBmp.replace(18, 8, QByteArray("\x60\xEA\x00\x00\x60\xEA\x00\x00", 8));

    const std::vector<std::pair<QString, QByteArray>> files = {
        {"scans.jpg", ProgressiveJpegWithScans(600)},
        {"cut.png", png.left(png.size() / 2)},
        {"noise.png", "\x89PNG\r\n\x1a\nabc"},
        {"huge.png", hugePng},
        {"noise.jpg", "\xFF\xD8\xFF\xC0\x00"},
        {"huge.jpg", hugeJpg},
        {"empty.jpg", ""},
        {"noise.tif", "II*\x00\x08\x00\x00\x00"},
        {"noise.bmp", "BM...."},
        {"huge.bmp", hugeBmp}};
    for (const auto& [name, data] : files) {
        WriteAll(Path(name), data);
        QImage bitmap = NoisyBitmap(2, 2);
        const QImage before = bitmap;
        QStringList comment = {"old"};
        EXPECT_THROW(LoadImageWithComment(bitmap, Path(name), comment), QuvarError)
            << name.toStdString();
        EXPECT_TRUE(SamePixels(bitmap, before)) << name.toStdString();
        EXPECT_EQ(comment, QStringList{"old"}) << name.toStdString();
    }
    try {
        Load(Path("huge.png"));
        ADD_FAILURE() << "a 60000 x 60000 image was loaded";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "Image size 60000 x 60000 is not supported");
    }
}

TEST_F(ImageFiles, FailedSaveLeavesTheOldFile) {
    const QString path = Path("keep.png");
    SaveImageWithComment(NoisyBitmap(4, 4), path, {"old"}, false);
    const QByteArray before = ReadAll(path);
    EXPECT_THROW(SaveImageWithComment(QImage(), path, {"new"}, false), QuvarError);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.png"});
}

TEST_F(ImageFiles, FileIsLockedWhileAnotherWriterHoldsIt) {
    const QString path = Path("lock.jpg");
    const QByteArray name = QFile::encodeName(path);
    EXPECT_FALSE(FileIsLocked(path)); // missing
    SaveImagePlain(NoisyBitmap(2, 2), path);
    EXPECT_FALSE(FileIsLocked(path));

    const int fd = ::open(name.constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_TRUE(FileIsLocked(path)) << "flock";
    // Read after the wait all the same.
    EXPECT_EQ(Load(path).bitmap.size(), QSize(2, 2));
    ASSERT_EQ(::flock(fd, LOCK_UN), 0);
    struct flock record {};
    record.l_type = F_WRLCK;
    record.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_SETLK, &record), 0);
    EXPECT_TRUE(FileIsLocked(path)) << "fcntl record lock";
    ::close(fd);
    EXPECT_FALSE(FileIsLocked(path));

    // Read-only counts as locked, for root too.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    EXPECT_TRUE(FileIsLocked(path));
    EXPECT_EQ(Load(path).bitmap.size(), QSize(2, 2));
}

namespace {

// Runs read on another thread and tells whether it ever opened the FIFO for reading: a
// writer that opens without waiting then finds a reader. Opening the writer also lets a
// reader that waits in its open go on to the end of the data, so the test never hangs.
bool OpensAReader(const QString& fifo, const std::function<void()>& read) {
    const QByteArray path = QFile::encodeName(fifo);
    auto done = std::async(std::launch::async, [&read] {
        try {
            read();
        } catch (const std::exception&) {
        }
    });
    bool seen = false;
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        const int writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) {
            seen = true;
            ::close(writer);
        }
    }
    done.get();
    // Nothing left open either.
    const int writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) {
        seen = true;
        ::close(writer);
    }
    return seen;
}

} // namespace

// A FIFO named like a picture (given on the command line, dropped, handed over), a link to a
// device, a folder: refused with the file error before anything is opened for reading.
TEST_F(ImageFiles, OnlyRegularFilesAreOpenedForReading) {
    const QString fifo = Path("fifo.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", Path("zero.bmp")));
    ASSERT_TRUE(QFile::link(fifo, Path("fifo-link.tif")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.png"));
    for (const char* name : {"fifo.jpg", "zero.bmp", "fifo-link.tif", "folder.png"}) {
        SCOPED_TRACE(name);
        QImage bitmap = NoisyBitmap(2, 2);
        const QImage before = bitmap;
        QStringList comment = {"old"};
        QString message;
        EXPECT_FALSE(OpensAReader(fifo, [&] {
            try {
                LoadImageWithComment(bitmap, Path(name), comment);
            } catch (const QuvarError& error) {
                message = error.message();
            }
        }));
        EXPECT_EQ(message, "Unable to open file '" + Path(name) + "'");
        EXPECT_TRUE(SamePixels(bitmap, before));
        EXPECT_EQ(comment, QStringList{"old"});
    }

    // Every reader keeps the rule, also when called on its own.
    TJPGComment jpeg;
    jpeg.SetFileName(fifo);
    const std::vector<std::pair<const char*, std::function<void()>>> readers = {
        {"lock check", [&] { EXPECT_TRUE(FileIsLocked(fifo)); }},
        {"JPEG comment", [&] { EXPECT_THROW(jpeg.ReadComment(), QuvarError); }},
        {"TIFF", [&] { EXPECT_THROW(LoadTiffAsBitmap24(fifo), QuvarError); }},
        {"TIFF description", [&] { EXPECT_THROW(ReadTiffImageDescription(fifo), QuvarError); }},
        {"file bytes", [&] { EXPECT_THROW(ReadFileBytes(fifo), QuvarError); }},
        {"name database", [&] { EXPECT_THROW(ReadNameDatabase(fifo), QuvarError); }},
    };
    for (const auto& [what, read] : readers)
        EXPECT_FALSE(OpensAReader(fifo, read)) << what;
}

// The camera folder is watched for files closed after writing; looking at a file there
// must not look like writing it, or every load would announce the file again.
TEST_F(ImageFiles, CheckingAndLoadingAFileLooksLikeNoWriteToAFolderWatcher) {
    const QString path = Path("FromCamera.jpg");
    SaveImageWithComment(NoisyBitmap(4, 4), path, {"a"}, false);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(),
                                  IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY),
              0);
    EXPECT_FALSE(FileIsLocked(path));
    EXPECT_EQ(Load(path).bitmap.size(), QSize(4, 4));
    alignas(inotify_event) char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "an event was reported";
    ::close(watch);
}

TEST_F(ImageFiles, OutsideReadersSeeTheJpegComment) {
    const QString path = Path("g.jpg");
    SaveImageWithComment(NoisyBitmap(16, 8), path, {"Calibration = 0.125", "Unit = um"}, false);
    const auto rdjpgcom = RunTool("rdjpgcom", {path});
    const auto exiftool = RunTool("exiftool", {"-s3", "-Comment", path});
    if (!rdjpgcom && !exiftool)
        GTEST_SKIP() << "rdjpgcom and exiftool are not installed";
    if (rdjpgcom) {
        EXPECT_TRUE(rdjpgcom->contains("Calibration = 0.125")) << rdjpgcom->toStdString();
    }
    if (exiftool) {
        EXPECT_TRUE(exiftool->contains("Unit = um")) << exiftool->toStdString();
    }
}

// "µm" is the single byte B5 in every comment we write (the Windows program and PNG's
// Latin-1 text chunk read it so), and reads back as "µm"; outside readers agree.
TEST_F(ImageFiles, MicroSignIsWrittenAsTheSingleByteB5) {
    const QStringList comment = {"[QUVARSystemComment]", "Unit = µm"};
    const QString png = Path("m.png");
    const QString jpeg = Path("m.jpg");
    for (const QString& path : {png, jpeg, Path("m.tif")}) {
        SCOPED_TRACE(path.toStdString());
        SaveImageWithComment(SmoothBitmap(8, 8), path, comment, false);
        const QByteArray bytes = ReadAll(path);
        EXPECT_TRUE(bytes.contains("Unit = \xB5m")) << "B5 stored";
        EXPECT_FALSE(bytes.contains("\xC2\xB5")) << "not UTF-8";
        EXPECT_EQ(Load(path).comment, comment);
    }

    // The tools' output as bytes: a JPEG comment has no encoding of its own, so both
    // print the byte as it is stored.
    const auto exifPng = RunTool("exiftool", {"-s3", "-QUVAR", png});
    const auto exifJpeg = RunTool("exiftool", {"-s3", "-b", "-Comment", jpeg});
    const auto rdjpgcom = RunTool("rdjpgcom", {jpeg});
    if (!exifPng && !rdjpgcom)
        GTEST_SKIP() << "exiftool and rdjpgcom are not installed";
    if (exifPng) {
        // PNG text is Latin-1 by its standard; exiftool prints it in UTF-8.
        EXPECT_TRUE(exifPng->contains("Unit = \xC2\xB5m")) << exifPng->toStdString();
        EXPECT_TRUE(exifJpeg->contains("Unit = \xB5m\r\n")) << exifJpeg->toStdString();
    }
    if (rdjpgcom) {
        // rdjpgcom prints a byte above 127 as its octal escape.
        EXPECT_TRUE(rdjpgcom->contains("Unit = \\265m")) << rdjpgcom->toStdString();
    }
}

namespace {

// A progressive JPEG of the given components (1x1 sampling when fullChroma), its frame
// header then patched to claim width x height: the scans are those of a 16 x 16 image, so
// the data ends long before the claimed image does.
QByteArray ProgressiveJpegClaiming(int components, bool fullChroma, int width, int height) {
    const std::vector<uchar> row(size_t(16 * components), 0x55);
    QByteArray jpeg = CompressJpeg(
        16, 16, components == 4 ? JCS_CMYK : JCS_RGB, components,
        [&row](int) { return row.data(); },
        [fullChroma](jpeg_compress_struct& cinfo) {
            if (fullChroma)
                for (int i = 0; i < cinfo.num_components; ++i)
                    cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
            jpeg_simple_progression(&cinfo);
        });
    const qsizetype sof = jpeg.indexOf("\xFF\xC2");
    const char dimensions[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
    jpeg.replace(sof + 5, 4, QByteArray(dimensions, 4));
    return jpeg;
}

// A BMP of 24-bit rows as stored in the file, bottom-up or (negative height) top-down.
QByteArray Bmp24(int width, int height, bool topDown, const std::vector<QRgb>& storedPixels) {
    const int rowBytes = (width * 3 + 3) & ~3;
    QByteArray data(54 + rowBytes * height, '\0');
    auto put = [&data](int at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            data[at + i] = char(value >> (8 * i));
    };
    data[0] = 'B';
    data[1] = 'M';
    put(2, uint32_t(data.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, uint32_t(width), 4);
    put(22, uint32_t(topDown ? -height : height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, uint32_t(rowBytes * height), 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb p = storedPixels[size_t(y * width + x)];
            const int at = 54 + y * rowBytes + 3 * x;
            data[at] = char(qBlue(p));
            data[at + 1] = char(qGreen(p));
            data[at + 2] = char(qRed(p));
        }
    return data;
}

// A BMP of 29 bytes with the short (OS/2) header of a 24-bit picture of 10496 x 11280
// pixels: one pixel of its rows.
QByteArray ShortHeaderBmpOf29Bytes() {
    QByteArray data("BM", 2);
    auto put = [&data](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            data += char(value >> (8 * i));
    };
    put(29, 4);    // file size
    put(0, 4);     // reserved
    put(26, 4);    // pixel data offset
    put(12, 4);    // header size
    put(10496, 2); // width
    put(11280, 2); // height
    put(1, 2);     // planes
    put(24, 2);    // bits per pixel
    data += QByteArray("\x10\x20\x30", 3);
    return data;
}

// A 4 x 2 BMP of 8-bit run-length coded rows and a palette of two colours: the bottom row
// red, the top row blue.
QByteArray Rle8Bmp() {
    const QByteArray rows("\x04\x00\x00\x00\x04\x01\x00\x01", 8);
    QByteArray data = Bmp24(1, 1, false, {qRgb(0, 0, 0)}).left(54);
    auto put = [&data](int at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            data[at + i] = char(value >> (8 * i));
    };
    put(10, 54 + 8, 4); // the pixel data after the palette
    put(18, 4, 4);
    put(22, 2, 4);
    put(28, 8, 2);
    put(30, 1, 4); // BI_RLE8
    put(34, uint32_t(rows.size()), 4);
    put(46, 2, 4);                                             // colours used
    data += QByteArray("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8); // red, blue (BGR0)
    data += rows;
    put(2, uint32_t(data.size()), 4);
    return data;
}

} // namespace

// Files of a few hundred bytes whose headers make a reader allocate and fill gigabytes:
// refused at once, with the file's error, and nothing changes.
TEST_F(ImageFiles, TinyFilesClaimingHugeBuffersAreRefused) {
    // A text chunk that claims nearly 2 GB; the file ends after a few bytes of it.
    SaveImageWithComment(NoisyBitmap(4, 4), Path("small.png"), {"x"}, false);
    const std::vector<PngChunk> chunks = PngChunks(ReadAll(Path("small.png")));
    QByteArray textBomb = BuildPng({chunks.begin(), chunks.end() - 1});
    textBomb.append(QByteArray("\x7F\xFF\xFF\xF0tEXtQUVAR\0", 14) + QByteArray(200, 'x'));

    struct Case {
        const char* name;
        QByteArray data;
        const char* message; // part of the error
    };
    const std::vector<Case> cases = {
        {"text.png", textBomb, "is damaged or is not an image file (chunk data is too large)"},
        // Coefficients of the whole image: 1.6 GB, twice the largest bitmap.
        {"progressive.jpg", ProgressiveJpegClaiming(3, true, 16384, 16384), "too large to open"},
        {"cmyk.jpg", ProgressiveJpegClaiming(4, true, 16384, 12000), "too large to open"},
        // Within the limit (4:2:0 halves the colour planes), but cut short at once.
        {"subsampled.jpg", ProgressiveJpegClaiming(3, false, 16384, 16384),
         "is damaged or is not an image file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(Path(c.name), c.data);
        QImage bitmap = NoisyBitmap(2, 2);
        const QImage before = bitmap;
        QStringList comment = {"old"};
        try {
            LoadImageWithComment(bitmap, Path(c.name), comment);
            ADD_FAILURE() << "no error";
        } catch (const QuvarError& error) {
            EXPECT_TRUE(error.message().contains(Path(c.name))) << error.message().toStdString();
            EXPECT_TRUE(error.message().contains(c.message)) << error.message().toStdString();
        }
        EXPECT_TRUE(SamePixels(bitmap, before));
        EXPECT_EQ(comment, QStringList{"old"});
    }

    // The side file of a BMP is read with a limit too.
    SaveImageWithComment(NoisyBitmap(3, 3), Path("side.bmp"), {"x"}, true);
    WriteAll(Path("side.bmp.cmt"), QByteArray(2 << 20, 'x'));
    QImage bitmap;
    QStringList comment = {"old"};
    try {
        LoadImageWithComment(bitmap, Path("side.bmp"), comment);
        ADD_FAILURE() << "no error";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "The comment file '" + Path("side.bmp.cmt") +
                                       "' is too large to be an image comment.");
    }
    EXPECT_TRUE(bitmap.isNull());
    EXPECT_EQ(comment, QStringList{"old"});
}

// A file longer than any image the program opens is refused before it is read: a sparse
// file costs no disk, and reading it whole would take gigabytes.
TEST_F(ImageFiles, FilesLongerThanAnyImageAreRefusedUnread) {
    for (const char* name : {"huge.jpg", "huge.bmp"}) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex(name[5] == 'j' ? "ffd8ffe0" : "424d"));
        ASSERT_TRUE(file.resize(MaxImageFileBytes + 1));
        file.close();
        QImage bitmap;
        QStringList comment = {"old"};
        try {
            LoadImageWithComment(bitmap, Path(name), comment);
            ADD_FAILURE() << name << ": no error";
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(), "The file '" + Path(name) +
                                           "' is too large to be an image the program can open.");
        }
        EXPECT_TRUE(bitmap.isNull());
        EXPECT_EQ(comment, QStringList{"old"});
    }
    TJPGComment jpeg;
    jpeg.SetFileName(Path("huge.jpg"));
    EXPECT_THROW(jpeg.ReadComment(), QuvarError);
}

// A file cut short or garbled is named and said to be damaged in plain words (the codec's
// reason may follow); nothing of what decoded is shown as if it were the whole image.
TEST_F(ImageFiles, CutAndDamagedFilesAreReportedInPlainWordsNamingTheFile) {
    SaveImageWithComment(SmoothBitmap(64, 64), Path("good.jpg"), SampleComment, false);
    SaveImageWithComment(NoisyBitmap(16, 16), Path("good.png"), SampleComment, false);
    SaveImagePlain(NoisyBitmap(16, 16), Path("good.bmp"));
    const QByteArray jpg = ReadAll(Path("good.jpg"));
    const QByteArray png = ReadAll(Path("good.png"));
    const QByteArray bmp = ReadAll(Path("good.bmp"));
    QByteArray badMarker = jpg;
    badMarker[2 + 1] = '\x07'; // the first segment's marker
    const std::vector<std::pair<QString, QByteArray>> files = {
        {"cut.jpg", jpg.left(jpg.size() * 3 / 4)},
        {"marker.jpg", badMarker},
        // Cut inside the comment chunk after the image data: the calibration is lost.
        {"comment-cut.png", png.left(png.size() - 30)},
        {"cut.bmp", bmp.left(bmp.size() - 1)},
        // The reader showed a black picture of the claimed size, 10496 x 11280.
        {"29-bytes.bmp", ShortHeaderBmpOf29Bytes()},
        {"info-header-cut.bmp", bmp.left(40)},
        {"palette-cut.bmp", Rle8Bmp().left(60)},
        {"file-header-only.bmp", bmp.left(14)},
        {"rle-cut.bmp", Rle8Bmp().chopped(4)},
    };
    for (const auto& [name, data] : files) {
        SCOPED_TRACE(name.toStdString());
        WriteAll(Path(name), data);
        QImage bitmap = NoisyBitmap(2, 2);
        const QImage before = bitmap;
        QStringList comment = {"old"};
        try {
            LoadImageWithComment(bitmap, Path(name), comment);
            ADD_FAILURE() << "no error";
        } catch (const QuvarError& error) {
            EXPECT_TRUE(error.message().startsWith("The file '" + Path(name) +
                                                   "' is damaged or is not an image file"))
                << error.message().toStdString();
        }
        EXPECT_TRUE(SamePixels(bitmap, before));
        EXPECT_EQ(comment, QStringList{"old"});
    }
    // Whole, the compressed BMP loads.
    WriteAll(Path("rle.bmp"), Rle8Bmp());
    const QImage rle = Load(Path("rle.bmp")).bitmap;
    ASSERT_EQ(rle.size(), QSize(4, 2));
    EXPECT_EQ(rle.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(rle.pixel(3, 1), qRgb(255, 0, 0));
    // A JPEG without its end marker is whole all the same.
    WriteAll(Path("no-end.jpg"), jpg.left(jpg.size() - 2));
    EXPECT_EQ(Load(Path("no-end.jpg")).bitmap.size(), QSize(64, 64));
}

TEST_F(ImageFiles, TopDownBmpLoadsTopRowFirst) {
    const std::vector<QRgb> stored = {qRgb(255, 0, 0), qRgb(0, 255, 0),  qRgb(0, 0, 255),
                                      qRgb(1, 2, 3),   qRgb(40, 50, 60), qRgb(70, 80, 90)};
    WriteAll(Path("down.bmp"), Bmp24(3, 2, true, stored));
    WriteAll(Path("up.bmp"), Bmp24(3, 2, false, stored));
    const QImage down = Load(Path("down.bmp")).bitmap;
    const QImage up = Load(Path("up.bmp")).bitmap;
    ASSERT_EQ(down.size(), QSize(3, 2));
    ASSERT_EQ(up.size(), QSize(3, 2));
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(down.pixel(x, 0), stored[size_t(x)]);
        EXPECT_EQ(down.pixel(x, 1), stored[size_t(3 + x)]);
        EXPECT_EQ(up.pixel(x, 1), stored[size_t(x)]); // stored bottom row first
    }
}

// The toolkit's reader refuses images above 128 MB by default, about 33 megapixels as it
// holds them (4 bytes a pixel): what we save above that must open again.
TEST_F(ImageFiles, BmpJustAboveTheToolkitsDefaultLimitSurvivesTheRoundTrip) {
    const QImage image = NoisyBitmap(6144, 5600, 7); // 34.4 megapixels, 138 MB as read
    SaveImageWithComment(image, Path("large.bmp"), SampleComment, true);
    const Loaded loaded = Load(Path("large.bmp"));
    EXPECT_TRUE(SamePixels(loaded.bitmap, image));
    EXPECT_EQ(loaded.comment, SampleComment);
}

// The picture and its side file change together: when either cannot be written, neither
// changes, and no temporary file stays behind.
TEST_F(ImageFiles, BmpAndItsSideFileChangeTogetherOrNotAtAll) {
    const QString path = Path("pair.bmp");
    const QString side = path + ".cmt";
    struct Case {
        const char* what;
        QString blocked; // made a folder, so that nothing can be renamed over it
        bool writeComment;
    };
    const std::vector<Case> cases = {
        {"side file blocked", "blocked.bmp.cmt", true},
        {"picture blocked", "blocked.bmp", true},
        {"picture blocked, side file to be removed", "blocked.bmp", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        const QString picture = folder.filePath("blocked.bmp");
        SaveImageWithComment(NoisyBitmap(4, 4, 1), picture, {"old"}, true);
        const QString blocked = folder.filePath(c.blocked);
        ASSERT_TRUE(QFile::remove(blocked));
        ASSERT_TRUE(QDir().mkdir(blocked));
        const QByteArray oldPicture = ReadAll(picture);
        const QByteArray oldSide = ReadAll(picture + ".cmt");
        const QStringList before =
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        EXPECT_THROW(SaveImageWithComment(NoisyBitmap(4, 4, 2), picture, {"new"}, c.writeComment),
                     QuvarError);
        EXPECT_EQ(ReadAll(picture), oldPicture);
        EXPECT_EQ(ReadAll(picture + ".cmt"), oldSide);
        EXPECT_TRUE(QFileInfo(blocked).isDir());
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }
    // Both new, or the side file removed with the new picture.
    SaveImageWithComment(NoisyBitmap(4, 4, 1), path, {"old"}, true);
    SaveImageWithComment(NoisyBitmap(4, 4, 2), path, {"new"}, true);
    EXPECT_EQ(Load(path).comment, QStringList{"new"});
    EXPECT_TRUE(SamePixels(Load(path).bitmap, NoisyBitmap(4, 4, 2)));
    SaveImageWithComment(NoisyBitmap(4, 4, 3), path, {"none"}, false);
    EXPECT_FALSE(QFile::exists(side));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"pair.bmp"});
}

// A rename over a read-only file succeeds in a writable folder; the file must stay as the
// user protected it, with its side file, for root too.
TEST_F(ImageFiles, ReadOnlyFilesAreNotReplaced) {
    struct Case {
        const char* name;
        const char* protectedFile; // made read-only after the first save
        bool writeComment;
    };
    const std::vector<Case> cases = {
        {"ro.jpg", "ro.jpg", true},
        {"ro.png", "ro.png", true},
        {"ro.tif", "ro.tif", true},
        {"ro.tiff", "ro.tiff", false},
        {"ro.bmp", "ro.bmp", true},
        {"side.bmp", "side.bmp.cmt", true},
        {"removed.bmp", "removed.bmp.cmt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        const QString locked = Path(c.protectedFile);
        SaveImageWithComment(NoisyBitmap(4, 4, 1), path, {"old"}, true);
        ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
        const QByteArray oldPicture = ReadAll(path);
        const QByteArray oldLocked = ReadAll(locked);
        try {
            SaveImageWithComment(NoisyBitmap(4, 4, 2), path, {"new"}, c.writeComment);
            ADD_FAILURE() << "saved over a read-only file";
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(), "Unable to create file '" + locked + "'");
        }
        EXPECT_THROW(SaveImagePlain(NoisyBitmap(4, 4, 3), path), QuvarError);
        EXPECT_EQ(ReadAll(path), oldPicture);
        EXPECT_EQ(ReadAll(locked), oldLocked);
        EXPECT_EQ(QFileInfo(locked).permissions() & (QFile::WriteOwner | QFile::WriteGroup), 0);
        ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner));
    }
    // Writable again: saved as usual.
    SaveImageWithComment(NoisyBitmap(4, 4, 2), Path("ro.jpg"), {"new"}, false);
    EXPECT_EQ(Load(Path("ro.jpg")).comment, QStringList{"new"});
}
