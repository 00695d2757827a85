// The rules of taking over a camera capture: which reports and files count, the target name
// in "Unprocessed", a move that never loses the file, and the comment as each type keeps it.

#include "capture/CaptureHandOff.h"
#include "capture/FolderMon.h"
#include "imaging/ImageFiles.h"
#include "imaging/JpegComment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

void WriteBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(data);
}

TEST(CaptureHandOff, OnlyArrivalsCount) {
    const struct {
        uint8_t action;
        bool arrival;
    } cases[] = {{0, true}, {1, false}, {2, false}, {3, false}, {4, true}, {5, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsArrivalAction(c.action), c.arrival) << int(c.action);
}

TEST(CaptureHandOff, ExtensionsAreCheckedInLowerCase) {
    const struct {
        const char* name;
        bool taken;
    } cases[] = {{"a.jpg", true}, {"a.JPG", true},  {"a.jpeg", false},    {"a.gif", false},
                 {"a.tif", true}, {"a.TIFF", true}, {"a.bmp", true},      {"a.png", true},
                 {"a.Png", true}, {"jpg", false},   {"a.jpg.tmp", false}, {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsCaptureFileName(c.name), c.taken) << c.name;
}

TEST(CaptureHandOff, TheLastClosedNonEmptyFileIsTaken) {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("a.jpg"), "1");
    WriteBytes(dir.filePath("B.jpg"), "1");
    WriteBytes(dir.filePath("c.jpg"), "1");
    WriteBytes(dir.filePath("d.jpg"), ""); // empty: never taken
    const QSet<QString> closedAB{"a.jpg", "B.jpg"};
    const QSet<QString> none;
    const struct {
        const QSet<QString>* closed;
        const char* expected;
    } cases[] = {{nullptr, "c.jpg"}, {&closedAB, "B.jpg"}, {&none, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(LastClosedNonEmptyFileName(dir.path(), c.closed), c.expected);
    EXPECT_EQ(LastClosedNonEmptyFileName(dir.filePath("missing"), nullptr), "");
}

TEST(CaptureHandOff, TheTargetNameHasEveryPartAndStaysInItsFolder) {
    const QDateTime now(QDate(2024, 5, 17), QTime(14, 3, 9));
    EXPECT_EQ(CapturedFileName(now, "Zeiss", "40x", "FromCamera.jpg"),
              "20240517_140309-Zeiss-40x-FromCamera.jpg");
    EXPECT_EQ(CapturedFileName(now, "A/B", "10x/0.25", "x.png"),
              "20240517_140309-A_B-10x_0.25-x.png");
}

TEST(CaptureHandOff, AnExistingTargetGetsASuffix) {
    QTemporaryDir dir;
    EXPECT_EQ(FreeFileName(dir.path(), "a.jpg"), "a.jpg");
    WriteBytes(dir.filePath("a.jpg"), "1");
    EXPECT_EQ(FreeFileName(dir.path(), "a.jpg"), "a_2.jpg");
    WriteBytes(dir.filePath("a_2.jpg"), "1");
    EXPECT_EQ(FreeFileName(dir.path(), "a.jpg"), "a_3.jpg");
}

TEST(CaptureHandOff, TwoMovesOfTheSameNameKeepBoth) {
    QTemporaryDir dir;
    const QString target = dir.filePath("photos/Unprocessed");
    WriteBytes(dir.filePath("one.jpg"), "first");
    WriteBytes(dir.filePath("two.jpg"), "second");
    const CaptureMove first = MoveCaptureInto(dir.filePath("one.jpg"), target, "same.jpg");
    const CaptureMove second = MoveCaptureInto(dir.filePath("two.jpg"), target, "same.jpg");
    ASSERT_TRUE(first.Error.isEmpty()) << first.Error.toStdString();
    ASSERT_TRUE(second.Error.isEmpty()) << second.Error.toStdString();
    EXPECT_EQ(QFileInfo(first.Target).fileName(), "same.jpg");
    EXPECT_EQ(QFileInfo(second.Target).fileName(), "same_2.jpg");
    QFile a(first.Target), b(second.Target);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), "first");
    EXPECT_EQ(b.readAll(), "second");
    EXPECT_FALSE(QFile::exists(dir.filePath("one.jpg")));
}

TEST(CaptureHandOff, AFolderThatCannotBeMadeKeepsTheFile) {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("blocker"), "a file where the folder should be");
    WriteBytes(dir.filePath("cap.jpg"), "data");
    const CaptureMove move =
        MoveCaptureInto(dir.filePath("cap.jpg"), dir.filePath("blocker/Unprocessed"), "cap.jpg");
    EXPECT_TRUE(move.Target.isEmpty());
    EXPECT_FALSE(move.Error.isEmpty());
    EXPECT_TRUE(QFile::exists(dir.filePath("cap.jpg")));
}

TEST(CaptureHandOff, AFailedMoveKeepsTheFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    QTemporaryDir dir;
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0500), 0);
    WriteBytes(dir.filePath("cap.jpg"), "data");
    const CaptureMove move = MoveCaptureInto(dir.filePath("cap.jpg"), locked, "cap.jpg");
    chmod(QFile::encodeName(locked).constData(), 0700);
    EXPECT_TRUE(move.Target.isEmpty());
    EXPECT_FALSE(move.Error.isEmpty());
    EXPECT_TRUE(QFile::exists(dir.filePath("cap.jpg")));
}

TEST(CaptureHandOff, TheCommentIsWrittenAsEachTypeKeepsIt) {
    QTemporaryDir dir;
    QImage image(16, 8, QImage::Format_BGR888);
    image.fill(Qt::darkGreen);
    const QStringList lines{"Comment line one", "second section"};
    for (const char* name : {"c.jpg", "c.png", "c.tif", "c.bmp"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(name);
        SaveImagePlain(image, path);
        WriteCaptureComment(path, image, lines);
        QImage read;
        QStringList comment;
        LoadImageWithComment(read, path, comment);
        EXPECT_EQ(read.size(), image.size());
        EXPECT_EQ(comment, lines);
    }
    // The PNG stays a valid PNG with its text chunk.
    QFile png(dir.filePath("c.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray data = png.readAll();
    EXPECT_TRUE(data.startsWith("\x89PNG\r\n\x1a\n"));
    EXPECT_TRUE(data.contains("tEXtQUVAR"));
    EXPECT_FALSE(QImage::fromData(data, "PNG").isNull());

    const QString rdjpgcom = QStandardPaths::findExecutable("rdjpgcom");
    if (rdjpgcom.isEmpty())
        GTEST_SKIP() << "rdjpgcom is not installed";
    QProcess process;
    process.start(rdjpgcom, {dir.filePath("c.jpg")});
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromLatin1(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains("Comment line one")) << out.toStdString();
    EXPECT_TRUE(out.contains("second section")) << out.toStdString();
}

} // namespace

namespace {

TEST(CaptureHandOff, WidthRatioAndWarning) {
    const struct {
        int capture, image;
        const char* name;
        double ratio;
        bool warning;
    } cases[] = {{1000, 1000, "Zeiss", 1.0, false},
                 {2000, 1000, "Zeiss", 2.0, true},
                 {500, 1000, "Unknown", 0.5, false},
                 {0, 1000, "Zeiss", 1.0, true}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(CaptureWidthRatioOf(c.capture, c.image), c.ratio) << c.capture;
        EXPECT_EQ(CaptureWidthWarning(c.capture, c.image, c.name), c.warning) << c.capture;
    }
}

} // namespace
