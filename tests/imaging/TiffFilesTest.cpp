// TIFF reading and writing: strips, tags as other programs read them, the description
// reader of our own on well-formed and hostile files.
#include "imaging/TiffFiles.h"
#include "imaging/ImageFiles.h"
#include "platform/Errors.h"

#include <QTemporaryDir>
#include <QtEndian>

#include "ImageTestSupport.h"

#include <gtest/gtest.h>
#include <optional>
#include <tiffio.h>

using namespace imagetest;

namespace {

class TiffFiles : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Write(const QImage& image, const QString& description, const QString& name) {
        TiffImageDescription = description;
        WriteBitmapToTiff(image, Path(name));
        return Path(name);
    }
    QTemporaryDir dir;
};

// A hand-made TIFF header and first directory of the given entries (tag, type, count,
// value) followed by extra bytes, in either byte order.
QByteArray HandMadeTiff(bool big, const std::vector<std::array<uint32_t, 4>>& entries,
                        const QByteArray& extra = {}, uint32_t directory = 8) {
    QByteArray out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char(big ? v >> (8 * (bytes - 1 - i)) : v >> (8 * i)));
    };
    out.append(big ? "MM" : "II");
    put(42, 2);
    put(directory, 4);
    put(uint32_t(entries.size()), 2);
    for (const auto& e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
        if (e[2] <= 4 && big) // an inline text starts at the first value byte
            out.append(QByteArray::fromRawData(reinterpret_cast<const char*>(&e[3]), 4));
        else
            put(e[3], 4);
    }
    put(0, 4);
    return out + extra;
}

} // namespace

TEST(TiffRowsPerStrip, StripsHoldAtMostAQuarterMegabyteOfRows) {
    struct Case {
        int width, height, rows;
    };
    for (const Case& c : {Case{1000, 500, 87}, Case{100000, 3, 1}, Case{50, 10, 10}, Case{1, 1, 1},
                          Case{87382, 9, 1}, Case{87381, 9, 1}, Case{43690, 9, 2}})
        EXPECT_EQ(TiffRowsPerStrip(c.width, c.height), c.rows) << c.width << "x" << c.height;
}

TEST_F(TiffFiles, PixelsAndDescriptionSurviveTheRoundTrip) {
    for (auto [w, h] : {std::pair{1, 1}, {7, 13}, {1000, 181}, {3, 97}}) {
        const QImage image = NoisyBitmap(w, h, uint32_t(w * h));
        const QString path = Write(image, "Calibration = 0.5 µm\r\n", "a.tif");
        const QImage loaded = LoadTiffAsBitmap(path);
        ASSERT_EQ(loaded.size(), image.size());
        EXPECT_EQ(loaded.format(), QImage::Format_ARGB32);
        bool same = true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                same = same && loaded.pixel(x, y) == (image.pixel(x, y) | 0xFF000000u);
        EXPECT_TRUE(same) << w << "x" << h;
        EXPECT_EQ(ReadTiffImageDescription(path), "Calibration = 0.5 µm\r\n");
    }
}

TEST_F(TiffFiles, TwentyFourAndThirtyTwoBitBitmapsGiveTheSameFile) {
    const QImage image = NoisyBitmap(301, 29, 5);
    const QString a = Write(image, "same", "24.tif");
    const QString b = Write(image.convertToFormat(QImage::Format_ARGB32), "same", "32.tif");
    const QString c = Write(image.convertToFormat(QImage::Format_RGB888), "same", "rgb.tif");
    EXPECT_EQ(ReadAll(a), ReadAll(b));
    EXPECT_EQ(ReadAll(a), ReadAll(c));
}

TEST_F(TiffFiles, EightBitBitmapsAndMissingFoldersAreRefusedWithoutAFile) {
    QImage grey(4, 4, QImage::Format_Grayscale8);
    grey.fill(7);
    try {
        Write(grey, "x", "grey.tif");
        ADD_FAILURE() << "no error";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(),
                  "WriteBitmapToTiff is designed for 24bit and 32bit bitmaps only");
    }
    EXPECT_FALSE(QFile::exists(Path("grey.tif")));

    const QString nowhere = Path("no/such/folder/x.tif");
    try {
        Write(NoisyBitmap(2, 2, 1), "x", "no/such/folder/x.tif");
        ADD_FAILURE() << "no error";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "Unable to create file '" + nowhere + "'");
    }
}

TEST_F(TiffFiles, UnreadableAndEmptyImagesAreRefused) {
    WriteAll(Path("junk.tif"), "not a tiff at all");
    try {
        LoadTiffAsBitmap(Path("junk.tif"));
        ADD_FAILURE() << "no error";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "Unable to open file '" + Path("junk.tif") + "'");
    }
    // Width 0: patch the ImageWidth entry of a good file.
    QByteArray data = ReadAll(Write(NoisyBitmap(2, 2, 1), "x", "w0.tif"));
    const uint32_t directory = qFromLittleEndian<quint32>(data.constData() + 4);
    const int count = qFromLittleEndian<quint16>(data.constData() + directory);
    for (int i = 0; i < count; ++i) {
        char* entry = data.data() + directory + 2 + 12 * i;
        if (qFromLittleEndian<quint16>(entry) == 256)
            std::memset(entry + 8, 0, 4);
    }
    WriteAll(Path("w0.tif"), data);
    EXPECT_THROW(LoadTiffAsBitmap(Path("w0.tif")), QuvarError);
}

TEST_F(TiffFiles, DescriptionReaderTakesWhatIsThereAndNothingElse) {
    const QByteArray text = "Hello, TIFF";
    struct Case {
        const char* what;
        QByteArray data;
        QByteArray expected;
    };
    const uint32_t textAt = 8 + 2 + 2 * 12 + 4;
    const std::vector<Case> cases = {
        {"little-endian at offset",
         HandMadeTiff(false, {{256, 3, 1, 1}, {270, 2, 12, textAt}}, text + '\0'), text},
        {"big-endian at offset",
         HandMadeTiff(true, {{256, 3, 1, 1}, {270, 2, 12, textAt}}, text + '\0'), text},
        {"inline", HandMadeTiff(false, {{270, 2, 4, 0x00636261}, {256, 3, 1, 1}}), "abc"},
        {"inline big-endian", HandMadeTiff(true, {{270, 2, 3, 0x00006968}, {256, 3, 1, 1}}), "hi"},
        {"count 0", HandMadeTiff(false, {{270, 2, 0, 0}, {256, 3, 1, 1}}), ""},
        {"last of two",
         HandMadeTiff(false, {{270, 2, 3, 0x00007878}, {270, 2, 12, textAt}}, text + '\0'), text},
        {"no tag 270", HandMadeTiff(false, {{256, 3, 1, 1}, {257, 3, 1, 1}}), ""},
        {"offset beyond the file", HandMadeTiff(false, {{270, 2, 12, 0xFFFFFFF0u}, {256, 3, 1, 1}}),
         ""},
        {"count beyond the file",
         HandMadeTiff(false, {{270, 2, 0xFFFFFFFFu, textAt}, {256, 3, 1, 1}}), ""},
        {"directory beyond the file", HandMadeTiff(false, {{270, 2, 3, 0x7878}}, {}, 0x7FFFFFF0),
         ""},
        {"entries cut short", HandMadeTiff(false, {{270, 2, 3, 0x7878}, {256, 3, 1, 1}}).left(20),
         ""},
        {"not a TIFF", "PK\3\4 something else entirely", ""},
        {"too short", "II", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadTiffImageDescriptionBytes(c.data), c.expected) << c.what;
        WriteAll(Path("d.tif"), c.data);
        EXPECT_EQ(ReadTiffImageDescription(Path("d.tif")), QString::fromUtf8(c.expected)) << c.what;
    }
    EXPECT_THROW(ReadTiffImageDescription(Path("missing.tif")), QuvarError);
}

TEST_F(TiffFiles, OtherProgramsSeeLzwPredictorStripsAndTheTags) {
    const QString path = Write(NoisyBitmap(1000, 200, 9), "CamView", "info.tif");
    const auto info = RunTool("tiffinfo", {path});
    if (!info)
        GTEST_SKIP() << "tiffinfo is not installed";
    for (const char* expected :
         {"Image Width: 1000 Image Length: 200", "Bits/Sample: 8", "Samples/Pixel: 3",
          "Compression Scheme: LZW", "Photometric Interpretation: RGB color", "Rows/Strip: 87",
          "Planar Configuration: single image plane", "Predictor: horizontal differencing 2",
          "ImageDescription: CamView", "Software: QUVAR Version 3.06", "Make: Comment ?"})
        EXPECT_TRUE(info->contains(expected)) << expected << "\n" << info->toStdString();
    // "CamView" with its zero byte is 8 bytes: it lies at an offset, not inline.
    EXPECT_EQ(ReadTiffImageDescription(path), "CamView");
}

namespace {

// Displayed colour of pixel (x, y), top row first.
QRgb Expected(int x, int y) {
    return qRgb((x * 7 + y) & 0xFF, (x * 3 + y * 5) & 0xFF, (x ^ y) & 0xFF);
}

struct ForeignTiff {
    const char* what;
    int samples; // 1 grey, 3 RGB, 4 RGBA
    int bits;    // 8 or 16
    uint16_t orientation;
    bool tiled;
};

// A TIFF as another program might write it, with libtiff directly.
void WriteForeignTiff(const QString& path, const ForeignTiff& f, int width, int height) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, f.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, f.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 f.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, f.orientation);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_DEFLATE);
    if (f.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    const int bytes = f.bits / 8;
    auto fileRow = [&](int row) {
        const int y = f.orientation == ORIENTATION_BOTLEFT ? height - 1 - row : row;
        std::vector<uchar> out;
        for (int x = 0; x < width; ++x) {
            const QRgb c = Expected(x, y);
            std::vector<int> v = f.samples == 1 ? std::vector<int>{qRed(c)}
                                                : std::vector<int>{qRed(c), qGreen(c), qBlue(c)};
            if (f.samples == 4)
                v.push_back(255);
            for (int s : v)
                for (int b = 0; b < bytes; ++b)
                    out.push_back(uchar(s)); // 16-bit: the same byte twice is s * 257
        }
        return out;
    };
    if (f.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        const size_t pixel = size_t(f.samples * bytes);
        for (int ty = 0; ty < height; ty += 16)
            for (int tx = 0; tx < width; tx += 16) {
                std::vector<uchar> tile(16 * 16 * pixel, 0);
                for (int r = 0; r < 16 && ty + r < height; ++r) {
                    const std::vector<uchar> row = fileRow(ty + r);
                    const int n = std::min(16, width - tx);
                    std::memcpy(tile.data() + r * 16 * pixel, row.data() + tx * pixel, n * pixel);
                }
                TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
            }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 5);
        for (int row = 0; row < height; ++row) {
            std::vector<uchar> r = fileRow(row);
            TIFFWriteScanline(tif, r.data(), uint32_t(row), 0);
        }
    }
    TIFFClose(tif);
}

} // namespace

TEST_F(TiffFiles, TiffsOfOtherProgramsLoadAsTheyAreShown) {
    const std::vector<ForeignTiff> kinds = {
        {"grey", 1, 8, ORIENTATION_TOPLEFT, false},
        {"16-bit RGB", 3, 16, ORIENTATION_TOPLEFT, false},
        {"RGBA", 4, 8, ORIENTATION_TOPLEFT, false},
        {"bottom-up", 3, 8, ORIENTATION_BOTLEFT, false},
        {"tiled", 3, 8, ORIENTATION_TOPLEFT, true},
        {"tiled bottom-up", 3, 8, ORIENTATION_BOTLEFT, true},
    };
    const int width = 37, height = 23;
    for (const ForeignTiff& kind : kinds) {
        const QString path = Path("foreign.tif");
        WriteForeignTiff(path, kind, width, height);
        QImage bitmap;
        QStringList comment;
        LoadImageWithComment(bitmap, path, comment);
        ASSERT_EQ(bitmap.size(), QSize(width, height)) << kind.what;
        ASSERT_EQ(bitmap.format(), QImage::Format_BGR888);
        const QImage viaLibrary = LoadTiffAsBitmap(path);
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                QRgb want = Expected(x, y);
                if (kind.samples == 1)
                    want = qRgb(qRed(want), qRed(want), qRed(want));
                wrong += bitmap.pixel(x, y) != want;
                wrong += (viaLibrary.pixel(x, y) | 0xFF000000u) != want;
            }
        EXPECT_EQ(wrong, 0) << kind.what;
    }
}

namespace {

// A hand-made 8-bit grey TIFF in one strip whose data follows the directory; the strip
// holds dataBytes of the given bytes.
QByteArray OneStripGreyTiff(uint32_t width, uint32_t height, uint32_t compression,
                            uint32_t stripBytes, const QByteArray& data) {
    const uint32_t entries = 9;
    const uint32_t dataAt = 8 + 2 + entries * 12 + 4;
    return HandMadeTiff(false,
                        {{256, 4, 1, width},
                         {257, 4, 1, height},
                         {258, 3, 1, 8},
                         {259, 3, 1, compression},
                         {262, 3, 1, 1}, // black is zero
                         {273, 4, 1, dataAt},
                         {277, 3, 1, 1},
                         {278, 4, 1, height},
                         {279, 4, 1, stripBytes}},
                        data);
}

} // namespace

// A damaged image is reported, never shown with rows left black: by every reader, and
// whatever path the reader takes (strip by strip, or the whole raster for bottom-up files).
TEST_F(TiffFiles, DamagedImagesAreRefusedNotShownPartly) {
    const QByteArray pixels(64, '\x7F');
    struct Case {
        const char* what;
        QByteArray data;
    };
    const std::vector<Case> cases = {
        {"strip one byte short", OneStripGreyTiff(8, 8, 1, 64, pixels.left(63))},
        {"LZW data cut short", OneStripGreyTiff(64, 64, 5, 12, QByteArray("\x80\x00\x1f\xc0", 4))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(Path("damaged.tif"), c.data);
        EXPECT_THROW(LoadTiffAsBitmap(Path("damaged.tif")), QuvarError);
        QImage bitmap = NoisyBitmap(2, 2, 3);
        const QImage before = bitmap;
        QStringList comment = {"old"};
        try {
            LoadImageWithComment(bitmap, Path("damaged.tif"), comment);
            ADD_FAILURE() << "no error";
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(),
                      "The file '" + Path("damaged.tif") + "' is damaged or is not an image file.");
        }
        EXPECT_TRUE(SamePixels(bitmap, before));
        EXPECT_EQ(comment, QStringList{"old"});
        EXPECT_THROW(DecodeTiff(c.data, "damaged.tif"), QuvarError);
    }
    // The complete strip reads.
    WriteAll(Path("whole.tif"), OneStripGreyTiff(8, 8, 1, 64, pixels));
    EXPECT_EQ(LoadTiffAsBitmap24(Path("whole.tif")).pixel(7, 7), qRgb(127, 127, 127));
}

// Files of a few hundred bytes that claim 16384 x 16384 pixels (at the pixel cap) in one
// compressed strip: the library's strip buffer and the RGBA raster for the whole image
// would take gigabytes before the missing data shows.
TEST_F(TiffFiles, TinyFilesClaimingHugeStripsAndRastersAreRefused) {
    const QByteArray lzw("\x80\x00\x1f\xc0", 4);
    struct Case {
        const char* what;
        QByteArray data;
        bool tooLarge; // refused for its size, before any decoding
    };
    const std::vector<Case> cases = {
        {"raster beyond the limit", OneStripGreyTiff(16384, 16384, 5, 4, lzw), true},
        {"raster within the limit", OneStripGreyTiff(8192, 8192, 5, 4, lzw), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(Path("bomb.tif"), c.data);
        for (const auto& load : {LoadTiffAsBitmap, LoadTiffAsBitmap24}) {
            try {
                load(Path("bomb.tif"));
                ADD_FAILURE() << "no error";
            } catch (const QuvarError& error) {
                EXPECT_EQ(error.message().contains("too large to open"), c.tooLarge)
                    << error.message().toStdString();
            }
        }
        EXPECT_THROW(DecodeTiff(c.data, "bomb.tif"), QuvarError);
    }
}
