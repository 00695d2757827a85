// The rules of taking over a camera capture: which reports and files count, the target name
// in "Unprocessed", a move that never loses the file, and the comment as each type keeps it.

#include "capture/CaptureHandOff.h"
#include "capture/FolderMon.h"
#include "imaging/ImageFiles.h"
#include "imaging/JpegComment.h"
#include "support/SmallTmpfs.h"

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

// Only the reported file is taken, and only when it is a picture of a handled type with
// content; a FIFO or a folder named like a picture is no capture.
TEST(CaptureHandOff, OnlyANonEmptyRegularCaptureFileIsTaken) {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("IMG_1.JPG"), "jpeg");
    WriteBytes(dir.filePath("IMG_1.CR2"), "raw");
    WriteBytes(dir.filePath("IMG_1.txt"), "text");
    WriteBytes(dir.filePath("IMG_1.gif"), "gif");
    WriteBytes(dir.filePath("empty.jpg"), "");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.jpg")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("IMG_1.JPG"), dir.filePath("link.png")));
    ASSERT_TRUE(QFile::link(dir.filePath("pipe.jpg"), dir.filePath("link-to-pipe.jpg")));
    ASSERT_TRUE(QFile::link(dir.filePath("gone.jpg"), dir.filePath("dangling.jpg")));
    const struct {
        const char* name;
        bool taken;
    } cases[] = {{"IMG_1.JPG", true},         {"IMG_1.CR2", false},   {"IMG_1.txt", false},
                 {"IMG_1.gif", false},        {"empty.jpg", false},   {"folder.jpg", false},
                 {"pipe.jpg", false},         {"link.png", true},     {"missing.jpg", false},
                 {"link-to-pipe.jpg", false}, {"dangling.jpg", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsArrivedCapture(dir.filePath(c.name)), c.taken) << c.name;
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

// A camera's long name behind the time stamp, system and label: cut to the file system's
// 255 bytes, the extension and the number kept.
TEST(CaptureHandOff, ALongTargetNameIsCutToFitKeepingTheExtension) {
    QTemporaryDir dir;
    const QString longName = "20240517_140309-Scope A-10_0.25 plan-" + QString(250, 'x') + ".jpg";
    const QString fitted = FreeFileName(dir.path(), longName);
    EXPECT_EQ(QFile::encodeName(fitted).size(), 255);
    EXPECT_TRUE(fitted.startsWith("20240517_140309-Scope A-10_0.25 plan-xxx"));
    EXPECT_TRUE(fitted.endsWith("x.jpg"));
    WriteBytes(dir.filePath(fitted), "1");
    const QString second = FreeFileName(dir.path(), longName);
    EXPECT_EQ(QFile::encodeName(second).size(), 255);
    EXPECT_TRUE(second.endsWith("x_2.jpg")) << second.toStdString();
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

// A capture that cannot go on is kept where no purge of the camera folder deletes it, and
// the message says where.
TEST(CaptureHandOff, AFolderThatCannotBeMadeKeepsTheFileOutOfThePurgesWay) {
    QTemporaryDir dir;
    const QString cam = dir.filePath("cam");
    ASSERT_TRUE(QDir().mkpath(cam));
    WriteBytes(dir.filePath("blocker"), "a file where the folder should be");
    WriteBytes(cam + "/cap.jpg", "data");
    const CaptureMove move =
        MoveCaptureInto(cam + "/cap.jpg", dir.filePath("blocker/Unprocessed"), "cap.jpg");
    EXPECT_TRUE(move.Target.isEmpty());
    const QString kept = cam + "/Not moved/cap.jpg";
    EXPECT_TRUE(move.Error.contains("Cannot create the folder")) << move.Error.toStdString();
    EXPECT_TRUE(move.Error.endsWith("The file is kept as " + kept + "."))
        << move.Error.toStdString();
    EXPECT_FALSE(QFile::exists(cam + "/cap.jpg"));
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "data");
}

// A photo disk that fills up during the copy: the partial copy goes, the photo stays whole.
TEST(CaptureHandOff, AFullPhotoDiskKeepsThePhotoAndLeavesNoPartialCopy) {
    quvartest::SmallTmpfs photos(64);
    if (!photos.Mounted())
        GTEST_SKIP() << photos.WhyNot();
    QTemporaryDir cam;
    QByteArray photo(882806, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char(i % 253);
    WriteBytes(cam.filePath("IMG_0001.JPG"), photo);
    const QString unprocessed = photos.filePath("Unprocessed");
    const CaptureMove move = MoveCaptureInto(cam.filePath("IMG_0001.JPG"), unprocessed, "x.JPG");
    EXPECT_TRUE(move.Target.isEmpty());
    EXPECT_TRUE(move.Error.contains(qt_error_string(ENOSPC))) << move.Error.toStdString();
    EXPECT_TRUE(QDir(unprocessed)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    const QString kept = cam.filePath("Not moved/IMG_0001.JPG");
    EXPECT_TRUE(move.Error.endsWith("The file is kept as " + kept + "."))
        << move.Error.toStdString();
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == photo);
}

TEST(CaptureHandOff, AFailedMoveKeepsTheFile) {
    QTemporaryDir dir;
    // A target folder that is a regular file: no rights let anyone write into it.
    const QString notAFolder = dir.filePath("Unprocessed");
    WriteBytes(notAFolder, "a file, not a folder");
    WriteBytes(dir.filePath("cap.jpg"), "data");
    const CaptureMove move = MoveCaptureInto(dir.filePath("cap.jpg"), notAFolder, "cap.jpg");
    EXPECT_TRUE(move.Target.isEmpty());
    EXPECT_FALSE(move.Error.isEmpty());
    EXPECT_TRUE(QFile::exists(dir.filePath("Not moved/cap.jpg")));
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
