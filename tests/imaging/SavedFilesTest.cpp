// PNG and TIFF saves as the libraries and other programs read them: odd sizes, sizes that
// cut the rows into many bands or into fewer bands than threads, every pixel format the
// program saves, and saves that a write error stops.
#include "imaging/ImageFiles.h"
#include "imaging/PngCodec.h"
#include "imaging/TiffFiles.h"
#include "platform/Errors.h"
#include "platform/ThreadPool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ImageTestSupport.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <png.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <vector>
#include <zlib.h>

using namespace imagetest;

namespace {

const QStringList Comment = {"[QUVARSystemComment]", "Unit = µm", "Calibration = 0.125"};

struct Size {
    int width;
    int height;
};

// 1 x 1; odd; a width not a multiple of 8; many bands of many rows; rows so long that each
// is a band of its own and there are fewer of them than threads.
const std::vector<Size> Sizes = {{1, 1}, {3, 7}, {13, 5}, {1001, 301}, {30001, 3}};

// The bitmap in a pixel format the program saves, with the picture of the 24-bit one. The
// fourth byte of a 32-bit pixel varies: it is no part of the picture and is dropped.
QImage InFormat(const QImage& bitmap24, QImage::Format format) {
    if (format == QImage::Format_BGR888)
        return bitmap24;
    QImage out(bitmap24.size(), format);
    for (int y = 0; y < bitmap24.height(); ++y) {
        const uchar* in = bitmap24.constScanLine(y);
        uchar* px = out.scanLine(y);
        for (int x = 0; x < bitmap24.width(); ++x, in += 3, px += 4) {
            px[0] = in[0];
            px[1] = in[1];
            px[2] = in[2];
            px[3] = format == QImage::Format_RGB32 ? 0xFF : uchar(x * 37 + y);
        }
    }
    return out;
}

const std::vector<std::pair<const char*, QImage::Format>> Formats = {
    {"24-bit", QImage::Format_BGR888},
    {"32-bit", QImage::Format_RGB32},
    {"32-bit with alpha", QImage::Format_ARGB32},
};

// The pixels as R, G, B bytes, top row first: what other programs hand out.
QByteArray RgbBytes(const QImage& bitmap24) {
    QByteArray out;
    out.reserve(qsizetype(bitmap24.width()) * bitmap24.height() * 3);
    for (int y = 0; y < bitmap24.height(); ++y) {
        const uchar* in = bitmap24.constScanLine(y);
        for (int x = 0; x < bitmap24.width(); ++x, in += 3) {
            out.append(char(in[2]));
            out.append(char(in[1]));
            out.append(char(in[0]));
        }
    }
    return out;
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
};

std::optional<ToolRun> Run(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return ToolRun{};
    return ToolRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   process.readAllStandardOutput()};
}

std::optional<ToolRun> RunProgram(const QString& tool, const QStringList& arguments) {
    return Run(QStandardPaths::findExecutable(tool), arguments);
}

// Pillow: writes the image's RGB bytes to a file and prints its "QUVAR" text, if any.
constexpr char PillowScript[] = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
open(sys.argv[2], "wb").write(im.convert("RGB").tobytes())
sys.stdout.write(im.mode + "\n" + im.info.get("QUVAR", ""))
)";

// A Python with Pillow, or nothing.
QString PythonWithPillow() {
    static const QString python = [] {
        for (const QString& candidate :
             {QStringLiteral("/usr/bin/python3"), QStandardPaths::findExecutable("python3")}) {
            const auto run = Run(candidate, {"-c", "import PIL"});
            if (run && run->exitCode == 0)
                return candidate;
        }
        return QString();
    }();
    return python;
}

struct PillowRead {
    QString mode;
    QByteArray rgb;
    QString comment;
};

std::optional<PillowRead> ReadWithPillow(const QString& path) {
    const QString python = PythonWithPillow();
    if (python.isEmpty())
        return std::nullopt;
    const QString raw = path + QStringLiteral(".rgb");
    const auto run = Run(python, {"-c", PillowScript, path, raw});
    EXPECT_TRUE(run && run->exitCode == 0) << path.toStdString();
    if (!run || run->exitCode != 0)
        return PillowRead{};
    PillowRead read;
    const QList<QByteArray> lines = run->out.split('\n');
    read.mode = QString::fromLatin1(lines.value(0));
    read.comment = QString::fromUtf8(run->out.mid(lines.value(0).size() + 1));
    read.rgb = ReadAll(raw);
    QFile::remove(raw);
    return read;
}

// The image data of a PNG file joined, and whether zlib takes it as one stream whose
// Adler-32 checks out and that gives exactly the filtered rows.
bool ImageDataIsOneZlibStream(const QByteArray& png, Size size) {
    QByteArray idat;
    qsizetype pos = 8;
    while (pos + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + pos);
        const qsizetype length = (qsizetype(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (png.mid(pos + 4, 4) == "IDAT")
            idat += png.mid(pos + 8, length);
        pos += 12 + length;
    }
    uLongf expected = uLongf(size.height) * (uLongf(size.width) * 3 + 1);
    std::vector<Bytef> out(expected + 1);
    uLongf outSize = uLongf(out.size());
    return uncompress(out.data(), &outSize, reinterpret_cast<const Bytef*>(idat.constData()),
                      uLong(idat.size())) == Z_OK &&
           outSize == expected;
}

// libtiff alone writing the bitmap as the program always has: the file to compare with.
void WriteWithLibtiffAlone(const QImage& bitmap24, const QString& path,
                           const QByteArray& description) {
    const int width = bitmap24.width();
    const int height = bitmap24.height();
    const int rows = TiffRowsPerStrip(width, height);
    const QByteArray rgb = RgbBytes(bitmap24);
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(rows));
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.constData());
    TIFFSetField(t, TIFFTAG_SOFTWARE, "QUVAR Version 3.06");
    TIFFSetField(t, TIFFTAG_MAKE, "Comment ?");
    for (int s = 0, y = 0; y < height; ++s, y += rows) {
        const int n = std::min(rows, height - y);
        ASSERT_GT(TIFFWriteEncodedStrip(
                      t, uint32_t(s), const_cast<char*>(rgb.constData()) + qsizetype(y) * width * 3,
                      tmsize_t(width) * n * 3),
                  0);
    }
    TIFFClose(t);
}

// libpng alone at its default settings.
void WriteWithLibpngAlone(const QImage& bitmap24, const QString& path) {
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(bitmap24.width()), png_uint_32(bitmap24.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < bitmap24.height(); ++y)
        png_write_row(png, bitmap24.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

class SavedFiles : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

} // namespace

TEST(PngBandRows, BandsKeepEveryThreadBusyAndHoldAtLeastAWindowOfData) {
    struct Case {
        int width, height, threads, rows;
    };
    const Case cases[] = {
        {6000, 4000, 8, 125},  // 32 bands of 2 MB
        {6000, 4000, 1, 1000}, // 4 bands
        {1, 1, 8, 1},          // one band
        {3, 7, 8, 7},          // too small to cut
        {1001, 301, 8, 22},    // 64 KiB bands
        {30001, 3, 8, 1},      // a band per row, fewer bands than threads
        {100, 100, 0, 100},    // no thread count: one band is still made
    };
    for (const Case& c : cases)
        EXPECT_EQ(PngBandRows(c.width, c.height, c.threads), c.rows)
            << c.width << " x " << c.height << " on " << c.threads;
}

TEST_F(SavedFiles, PngSavesDecodeToTheSamePixelsInLibpngZlibAndPillow) {
    for (Size size : Sizes) {
        const QImage bitmap = NoisyBitmap(size.width, size.height, uint32_t(size.width));
        for (const auto& [what, format] : Formats) {
            SCOPED_TRACE(QStringLiteral("%1 x %2, %3")
                             .arg(size.width)
                             .arg(size.height)
                             .arg(what)
                             .toStdString());
            const QString path = Path("a.png");
            SaveImageWithComment(InFormat(bitmap, format), path, Comment, false);
            QImage loaded;
            QStringList comment;
            LoadImageWithComment(loaded, path, comment);
            EXPECT_TRUE(SamePixels(loaded, bitmap));
            EXPECT_EQ(comment, Comment);
            EXPECT_TRUE(ImageDataIsOneZlibStream(ReadAll(path), size));
            if (const auto pillow = ReadWithPillow(path)) {
                EXPECT_EQ(pillow->mode, "RGB");
                EXPECT_TRUE(pillow->rgb == RgbBytes(bitmap));
                EXPECT_EQ(pillow->comment, Comment.join("\r\n") + "\r\n");
            }
        }
    }
    if (PythonWithPillow().isEmpty())
        GTEST_SKIP() << "Pillow is not installed (python3-pil)";
}

TEST_F(SavedFiles, PngOfAPhotographIsAsSmallAsLibpngMakesIt) {
    // Noise over smooth shading, as a camera gives it.
    QImage bitmap(1500, 1000, QImage::Format_BGR888);
    uint32_t state = 5;
    for (int y = 0; y < bitmap.height(); ++y) {
        uchar* row = bitmap.scanLine(y);
        for (int x = 0; x < bitmap.width() * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = uchar(((x / 3 + y) & 0xFF) / 2 + (state >> 28));
        }
    }
    const QString ours = Path("ours.png");
    SaveImagePlain(bitmap, ours);
    const QString alone = Path("libpng.png");
    WriteWithLibpngAlone(bitmap, alone);
    const double ratio = double(QFile(ours).size()) / double(QFile(alone).size());
    EXPECT_LT(ratio, 1.02);
}

TEST_F(SavedFiles, TiffSavesEqualLibtiffsOwnFileForLibtiffTiffcmpAndPillow) {
    const QString description = Comment.join("\r\n") + "\r\n";
    for (Size size : Sizes) {
        const QImage bitmap = NoisyBitmap(size.width, size.height, uint32_t(size.height));
        const QString reference = Path("libtiff.tif");
        WriteWithLibtiffAlone(bitmap, reference, "\xB5m");
        for (const auto& [what, format] : Formats) {
            SCOPED_TRACE(QStringLiteral("%1 x %2, %3")
                             .arg(size.width)
                             .arg(size.height)
                             .arg(what)
                             .toStdString());
            const QString path = Path("a.tif");
            TiffImageDescription = QStringLiteral("µm");
            WriteBitmapToTiff(InFormat(bitmap, format), path);
            // The strips are libtiff's own, so the whole file is.
            EXPECT_TRUE(ReadAll(path) == ReadAll(reference));
            EXPECT_TRUE(SamePixels(LoadTiffAsBitmap24(path), bitmap));
            if (const auto cmp = RunProgram("tiffcmp", {path, reference})) {
                EXPECT_EQ(cmp->exitCode, 0) << cmp->out.toStdString();
                EXPECT_TRUE(cmp->out.isEmpty()) << cmp->out.toStdString();
            }
            const auto info = RunProgram("tiffinfo", {path});
            const auto referenceInfo = RunProgram("tiffinfo", {reference});
            if (info && referenceInfo) {
                EXPECT_EQ(QByteArray(info->out).replace(path.toUtf8(), ""),
                          QByteArray(referenceInfo->out).replace(reference.toUtf8(), ""));
            }
            if (const auto pillow = ReadWithPillow(path)) {
                EXPECT_EQ(pillow->mode, "RGB");
                EXPECT_TRUE(pillow->rgb == RgbBytes(bitmap));
            }
        }
    }
    // The comment as another program reads it.
    const QString path = Path("comment.tif");
    SaveImageWithComment(NoisyBitmap(30, 20, 3), path, Comment, false);
    const auto exif = RunProgram("exiftool", {"-s3", "-b", "-ImageDescription", path});
    if (!exif || !RunProgram("tiffcmp", {}) || PythonWithPillow().isEmpty())
        GTEST_SKIP() << "exiftool, tiffcmp or Pillow is not installed";
    EXPECT_EQ(QString::fromLatin1(exif->out), description);
}

TEST_F(SavedFiles, ASaveStoppedByAWriteErrorLeavesTheOldFile) {
    const QImage bitmap = NoisyBitmap(700, 500, 11); // about 1 MB however it is compressed
    for (const char* name : {"old.png", "old.tif"}) {
        SCOPED_TRACE(name);
        const QString path = Path(name);
        SaveImageWithComment(NoisyBitmap(5, 5, 2), path, {"old"}, false);
        const QByteArray before = ReadAll(path);
        // The file size limit is the process's: no writer can pass it, not even root's.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{200'000, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        QString message;
        try {
            SaveImageWithComment(bitmap, path, Comment, false);
        } catch (const QuvarError& error) {
            message = error.message();
        }
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, previous);
        EXPECT_TRUE(message.startsWith(QStringLiteral("Failed to write '%1': ").arg(path)))
            << message.toStdString();
        EXPECT_EQ(ReadAll(path), before);
        QStringList files = QDir(dir.path()).entryList(QDir::Files);
        EXPECT_TRUE(files.contains(name));
        files.removeAll("old.png");
        files.removeAll("old.tif");
        EXPECT_TRUE(files.isEmpty()) << files.join(' ').toStdString();
    }
}
