// Writes the seed corpora of the fuzz targets with our own writers: small images of odd
// sizes, with and without comment, in every type.

#include "imaging/ImageFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>

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
    return 0;
}
