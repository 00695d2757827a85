// Writes the seed corpora of the fuzz targets with our own writers: small images of odd
// sizes, with and without comment, in every type.

#include "imaging/ImageFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdint>
#include <cstdio>

namespace {

QImage Picture(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.scanLine(y)[x] = uchar((x * 37 + y * 11) ^ (x * y));
    return image;
}

void Copy(const QString& from, const QString& folder) {
    QDir().mkpath(folder);
    const QString to = folder + QLatin1Char('/') + QFileInfo(from).fileName();
    QFile::remove(to);
    QFile::copy(from, to);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put(const QString& folder, const QString& name, const QByteArray& data) {
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
}

void Put32(QByteArray& data, qsizetype at, uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        data[at + i] = char(value >> (bigEndian ? 8 * (3 - i) : 8 * i));
}

// Small files whose headers once made a reader take gigabytes or show a broken image as
// whole, made from the written ones.
void PutCraftedSeeds(const QString& root, const QString& written) {
    // A text chunk claiming nearly 2 GB, the file ending a few bytes into it.
    QByteArray png = ReadAll(written + QStringLiteral("/1x1-comment.png"));
    png.chop(12); // IEND
    png += QByteArray("\x7F\xFF\xFF\xF0tEXtQUVAR\0", 14) + QByteArray(64, 'x');
    for (const char* target : {"load_png", "png_text"})
        Put(root + QLatin1Char('/') + QLatin1String(target), QStringLiteral("text-bomb.png"), png);

    // 16384 x 16384 in the frame header of a 5 x 3 picture: the data ends at once.
    QByteArray jpg = ReadAll(written + QStringLiteral("/5x3-plain.jpg"));
    const qsizetype sof = jpg.indexOf("\xFF\xC0");
    if (sof >= 0)
        jpg.replace(sof + 5, 4, QByteArray("\x40\x00\x40\x00", 4));
    Put(root + QStringLiteral("/load_jpg"), QStringLiteral("huge-header.jpg"), jpg);

    // Stored top row first (negative height).
    QByteArray bmp = ReadAll(written + QStringLiteral("/5x3-plain.bmp"));
    if (bmp.size() > 26)
        Put32(bmp, 22, uint32_t(-3), false);
    Put(root + QStringLiteral("/load_bmp"), QStringLiteral("top-down.bmp"), bmp);

    // 16384 x 16384 grey in one LZW strip of four bytes.
    QByteArray tif("II*\0\x08\0\0\0", 8);
    const uint16_t entries[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                   {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const uint32_t values[] = {16384, 16384, 8, 5, 1, 8 + 2 + 9 * 12 + 4, 1, 16384, 4};
    tif += QByteArray("\x09\0", 2);
    for (int i = 0; i < 9; ++i) {
        QByteArray entry(12, '\0');
        entry[0] = char(entries[i][0]);
        entry[1] = char(entries[i][0] >> 8);
        entry[2] = char(entries[i][1]);
        Put32(entry, 4, 1, false);
        Put32(entry, 8, values[i], false);
        tif += entry;
    }
    tif += QByteArray(4, '\0') + QByteArray("\x80\x00\x1f\xc0", 4);
    Put(root + QStringLiteral("/load_tif"), QStringLiteral("huge-strip.tif"), tif);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    const QString root = QFile::decodeName(argv[1]);
    const QString work = root + QStringLiteral("/written");
    QDir().mkpath(work);
    const QStringList comment = {QStringLiteral("[QUVARSystemComment]"),
                                 QStringLiteral("Unit = µm"), QString()};
    struct Kind {
        const char* extension;
        QStringList targets;
    };
    const Kind kinds[] = {
        {"bmp", {"load_bmp"}},
        {"jpg", {"load_jpg", "jpeg_comment"}},
        {"png", {"load_png", "png_text"}},
        {"tif", {"load_tif", "tiff_description"}},
    };
    for (const Kind& kind : kinds) {
        for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {17, 11}}) {
            const QString base = QStringLiteral("%1/%2x%3").arg(work).arg(w).arg(h);
            const QString with = base + QStringLiteral("-comment.") + kind.extension;
            const QString plain = base + QStringLiteral("-plain.") + kind.extension;
            SaveImageWithComment(Picture(w, h), with, comment, false);
            SaveImagePlain(Picture(w, h), plain);
            for (const QString& target : kind.targets) {
                Copy(with, root + QLatin1Char('/') + target);
                Copy(plain, root + QLatin1Char('/') + target);
            }
        }
    }
    PutCraftedSeeds(root, work);
    return 0;
}
