// A picture that cannot be written reads the same whatever its type: the file and the
// system's reason, for snapshots and frame files alike.

#include "imaging/ImageFiles.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>

#include <sys/resource.h>

namespace {

QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 97 + y * 31) & 255, (x * y) & 255, (x ^ y) & 255));
    return image;
}

QString Thrown(const std::function<void()>& save) {
    try {
        save();
    } catch (const QuvarError& error) {
        return error.message();
    }
    return QStringLiteral("(nothing thrown)");
}

// A file-size limit of this process, as a full disk would stop the write; root cannot
// bypass it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
};

TEST(SaveErrors, EveryTypeSaysWhichFileFailedAndWhy) {
    QTemporaryDir dir;
    // A parent path that is a regular file: no folder can be made or entered there.
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QImage image = Noise(300, 200);
    for (const char* name : {"a.bmp", "a.jpg", "a.png", "a.tif"}) {
        SCOPED_TRACE(name);
        const QString full = dir.filePath(name);
        {
            const FileSizeLimit limit(1000);
            const QString message = Thrown([&] { SaveImagePlain(image, full); });
            EXPECT_EQ(message, WriteFailedMessage(full, EFBIG));
            const QString commented =
                Thrown([&] { SaveImageWithComment(image, full, {"a comment"}, true); });
            EXPECT_EQ(commented, WriteFailedMessage(full, EFBIG));
        }
        EXPECT_FALSE(QFile::exists(full)) << "no half-written file";
        const QString nowhere = dir.filePath(QString("not-a-folder/") + name);
        EXPECT_EQ(Thrown([&] { SaveImagePlain(image, nowhere); }),
                  WriteFailedMessage(nowhere, ENOTDIR));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"not-a-folder"});
    }
    EXPECT_EQ(WriteFailedMessage("/x/a.png", EFBIG), "Failed to write '/x/a.png': File too large");
}

} // namespace
