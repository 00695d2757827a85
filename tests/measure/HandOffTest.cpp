// The measuring window taking over camera captures: files a DSLR's software drops into the
// watched folder, frames from the preview window, and reopening earlier captures.

#include "capture/FolderMon.h"
#include "imaging/ImageFiles.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"
#include "support/SmallTmpfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class HandOff : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            quvartest::WriteScopeProgramFolder(program.path(), PhotoFolder(), Cam(), kWidth));
        CreateApplicationWindows({});
        ASSERT_EQ(Main->WatchFolder, Cam());
    }
    void TearDown() override { DestroyApplicationWindows(); }
    QString PhotoFolder() const { return root.path() + QStringLiteral("/photos"); }
    QString Unprocessed() const { return PhotoFolder() + QStringLiteral("/Unprocessed"); }
    QString Cam() const { return root.path() + QStringLiteral("/cam"); }
    QString Staging(const QString& name) const { return staging.filePath(name); }

    void StartDSLR() {
        Main->UseDSLR = true;
        Main->UpdateDSLRMode();
        ASSERT_TRUE(Main->FolderMonitor->IsActive());
    }
    // An image made elsewhere, as a camera's software writes it before moving it in.
    QString MakeImage(const QString& name, int width = kWidth) {
        QImage image(width, width * 3 / 4, QImage::Format_BGR888);
        image.fill(QColor(90, 140, 60));
        SaveImagePlain(image, Staging(name));
        return Staging(name);
    }
    QStringList Files(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }
    // Lets the monitor's reports arrive until done() holds.
    bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }
    void Settle(int ms = 400) {
        WaitUntil([] { return false; }, ms);
    }

    static constexpr int kWidth = 64;
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir root;
    QTemporaryDir staging;
    ScriptedPrompts prompts;
};

const QRegularExpression TargetName(QStringLiteral("^\\d{8}_\\d{6}-Scope A-10_0\\.25 plan-(.*)$"));

TEST_F(HandOff, DSLRModeSwitchesCaptionIndicatorAndMonitor) {
    StartDSLR();
    EXPECT_EQ(Main->Preview->text(), "Preview");
    EXPECT_EQ(Main->SDLRIndicator->palette().color(QPalette::Window), QColor(0, 128, 0));
    Main->UseDSLR = false;
    Main->UpdateDSLRMode();
    EXPECT_EQ(Main->Preview->text(), "Show\nPreview\nWindow");
    EXPECT_FALSE(Main->FolderMonitor->IsActive());
    EXPECT_NE(Main->SDLRIndicator->palette().color(QPalette::Window), QColor(0, 128, 0));
}

TEST_F(HandOff, AFileRenamedInIsTakenMovedAndCommented) {
    StartDSLR();
    ASSERT_TRUE(QFile::rename(MakeImage("shot.JPG"), Cam() + "/shot.JPG"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Unprocessed()).size() == 1; }));
    EXPECT_TRUE(Files(Cam()).isEmpty());
    const QString name = Files(Unprocessed()).front();
    const auto match = TargetName.match(name);
    ASSERT_TRUE(match.hasMatch()) << name.toStdString();
    EXPECT_EQ(match.captured(1), "shot.JPG");
    EXPECT_EQ(Main->LastCapturedName, name);
    EXPECT_EQ(Main->ImageState, ImageFreshCapture);
    EXPECT_DOUBLE_EQ(Main->CaptureWidthRatio, 1.0);
    EXPECT_EQ(Main->OriginalImage.width(), kWidth);
    ASSERT_EQ(Main->CommentLines.size(), 2);

    QImage image;
    QStringList comment;
    LoadImageWithComment(image, Unprocessed() + "/" + name, comment);
    EXPECT_EQ(CommentText(comment), CommentText(Main->CommentLines));
    const QString rdjpgcom = QStandardPaths::findExecutable("rdjpgcom");
    if (rdjpgcom.isEmpty())
        GTEST_SKIP() << "rdjpgcom is not installed";
    QProcess process;
    process.start(rdjpgcom, {Unprocessed() + "/" + name});
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromLatin1(process.readAllStandardOutput());
    for (const QString& section : Main->CommentLines)
        EXPECT_TRUE(out.contains(section.section("\r\n", 0, 0))) << out.toStdString();
}

TEST_F(HandOff, OtherTypesAreIgnored) {
    StartDSLR();
    QFile::copy(MakeImage("a.png"), Staging("a.jpeg"));
    QFile::copy(MakeImage("b.png"), Staging("b.gif"));
    ASSERT_TRUE(QFile::rename(Staging("a.jpeg"), Cam() + "/a.jpeg"));
    ASSERT_TRUE(QFile::rename(Staging("b.gif"), Cam() + "/b.gif"));
    Settle();
    EXPECT_EQ(Files(Cam()), (QStringList{"a.jpeg", "b.gif"}));
    EXPECT_FALSE(QFileInfo::exists(Unprocessed()));
}

// A camera's RAW file (or any other file) beside its JPEG, arrived before it and sorting
// after it: the JPEG that was reported is taken, the other file stays untouched.
TEST_F(HandOff, TheReportedPictureIsTakenNotAnotherFileBesideIt) {
    StartDSLR();
    for (const char* other : {"IMG_0001.RAW", "IMG_0001.txt", "IMG_0001.gif"}) {
        QFile file(Staging(other));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not the photo");
        file.close();
        ASSERT_TRUE(QFile::rename(Staging(other), Cam() + "/" + other));
    }
    Settle();
    ASSERT_TRUE(QFile::rename(MakeImage("IMG_0001.JPG"), Cam() + "/IMG_0001.JPG"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Unprocessed()).size() == 1; }));
    const auto match = TargetName.match(Files(Unprocessed()).front());
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(match.captured(1), "IMG_0001.JPG");
    EXPECT_EQ(Main->OriginalImage.width(), kWidth);
    EXPECT_EQ(Files(Cam()), (QStringList{"IMG_0001.RAW", "IMG_0001.gif", "IMG_0001.txt"}));
}

// A link put into the camera folder: its picture is taken as a file of its own, and the
// file it points to stays byte for byte as it was.
TEST_F(HandOff, ALinkArrivingIsNeverWrittenThrough) {
    QImage rgba(kWidth, 48, QImage::Format_ARGB32);
    rgba.fill(QColor(10, 200, 30, 77));
    const QString outside = Staging("precious.png");
    ASSERT_TRUE(rgba.save(outside));
    const QString jpeg = MakeImage("outside.jpg");
    QFile a(outside), b(jpeg);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray pngBytes = a.readAll(), jpegBytes = b.readAll();
    StartDSLR();
    // Made elsewhere and moved in, as a camera's software brings in its files.
    ASSERT_TRUE(QFile::link(outside, Staging("linked.png")));
    ASSERT_TRUE(QFile::rename(Staging("linked.png"), Cam() + "/linked.png"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Unprocessed()).size() == 1; }));
    ASSERT_TRUE(QFile::link(jpeg, Staging("linked.jpg")));
    ASSERT_TRUE(QFile::rename(Staging("linked.jpg"), Cam() + "/linked.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Unprocessed()).size() == 2; }));

    for (const QString& name : Files(Unprocessed())) {
        const QFileInfo taken(Unprocessed() + "/" + name);
        EXPECT_FALSE(taken.isSymLink()) << name.toStdString();
        QImage image;
        QStringList comment;
        LoadImageWithComment(image, taken.filePath(), comment);
        EXPECT_EQ(CommentText(comment), CommentText(Main->CommentLines)) << name.toStdString();
    }
    EXPECT_TRUE(
        QDir(Cam()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty());
    QFile c(outside), d(jpeg);
    ASSERT_TRUE(c.open(QIODevice::ReadOnly) && d.open(QIODevice::ReadOnly));
    EXPECT_TRUE(c.readAll() == pngBytes) << "the linked PNG was rewritten";
    EXPECT_TRUE(d.readAll() == jpegBytes) << "the linked JPEG was rewritten";
}

// The photo disk is full: the photo is kept whole where no purge deletes it, nothing is
// left half-written in "Unprocessed", and the box says where the photo is.
TEST_F(HandOff, AFullPhotoDiskKeepsThePhotoOutOfThePurgesWay) {
    quvartest::SmallTmpfs full(64);
    if (!full.Mounted())
        GTEST_SKIP() << full.WhyNot();
    Main->PhotoFolder = full.path();
    QImage big(1200, 900, QImage::Format_BGR888);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
    SaveImagePlain(big, Staging("IMG_0001.JPG"));
    QFile photo(Staging("IMG_0001.JPG"));
    ASSERT_TRUE(photo.open(QIODevice::ReadOnly));
    const QByteArray bytes = photo.readAll();
    ASSERT_GT(bytes.size(), 100 * 1024);
    StartDSLR();
    ASSERT_TRUE(QFile::rename(Staging("IMG_0001.JPG"), Cam() + "/IMG_0001.JPG"));
    const QString kept = Cam() + "/Not moved/IMG_0001.JPG";
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(kept); }));
    Settle(100);
    EXPECT_EQ(Main->OriginalImage.width(), 1200) << "the photo is shown";
    EXPECT_TRUE(QDir(full.filePath("Unprocessed"))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().icon, MessageIcon::Error);
    EXPECT_TRUE(prompts.shown.back().text.endsWith("The file is kept as " + kept + "."))
        << prompts.Texts().join("|").toStdString();
    EXPECT_TRUE(Main->LastCapturedName.isEmpty());

    // The next Preview click in DSLR mode empties the camera folder, not the kept photo.
    Main->show();
    Main->PreviewClick();
    QFile keptFile(kept);
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(keptFile.readAll() == bytes);
}

TEST_F(HandOff, WithSavingOffTheFileIsRemovedAndNothingWritten) {
    Main->SaveGrabbedFrames = false;
    StartDSLR();
    ASSERT_TRUE(QFile::copy(MakeImage("shot.jpg"), Cam() + "/shot.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Cam()).isEmpty(); }));
    EXPECT_EQ(Main->OriginalImage.width(), kWidth);
    EXPECT_FALSE(QFileInfo::exists(Unprocessed()));
}

TEST_F(HandOff, APngCaptureStaysAValidPngWithItsComment) {
    StartDSLR();
    ASSERT_TRUE(QFile::copy(MakeImage("shot.png"), Cam() + "/shot.png"));
    ASSERT_TRUE(WaitUntil([&] { return Files(Unprocessed()).size() == 1; }));
    const QString path = Unprocessed() + "/" + Files(Unprocessed()).front();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    EXPECT_TRUE(data.startsWith("\x89PNG\r\n\x1a\n"));
    EXPECT_FALSE(QImage::fromData(data, "PNG").isNull());
    QImage image;
    QStringList comment;
    LoadImageWithComment(image, path, comment);
    EXPECT_EQ(CommentText(comment), CommentText(Main->CommentLines));
}

TEST_F(HandOff, ABurstOf200FilesLosesNone) {
    StartDSLR();
    const QString source = MakeImage("burst.jpg");
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(
            QFile::copy(source, Cam() + QStringLiteral("/b%1.jpg").arg(i, 3, 10, QChar('0'))));
    WaitUntil([&] { return Files(Unprocessed()).size() == 200; }, 60000);
    EXPECT_EQ(Files(Unprocessed()).size(), 200);
    EXPECT_TRUE(Files(Cam()).isEmpty());
}

TEST_F(HandOff, AFrameFromThePreviewGetsItsNameAndBothSections) {
    ASSERT_FALSE(Main->FolderMonitor->IsActive());
    QImage frame(kWidth, 48, QImage::Format_BGR888);
    frame.fill(Qt::gray);
    SaveImagePlain(frame, Cam() + "/FromCamera.jpg");
    Main->OriginalImage = frame;
    Main->WorkImage = frame.copy();
    Main->LoadFrame("FromCamera.jpg");
    ASSERT_EQ(Files(Unprocessed()).size(), 1);
    const auto match = TargetName.match(Files(Unprocessed()).front());
    ASSERT_TRUE(match.hasMatch()) << Files(Unprocessed()).front().toStdString();
    EXPECT_EQ(match.captured(1), "FromCamera.jpg");
    QImage image;
    QStringList comment;
    LoadImageWithComment(image, Unprocessed() + "/" + Files(Unprocessed()).front(), comment);
    ASSERT_EQ(Main->CommentLines.size(), 2);
    EXPECT_EQ(CommentText(comment), CommentText(Main->CommentLines));
    EXPECT_TRUE(Main->CurrentFileName.isEmpty());

    // Reopened by "D" and by the search dialog.
    const QString last = Main->LastCapturedName;
    Main->OriginalImage = QImage();
    Main->ShowLastImageClick();
    EXPECT_EQ(Main->OriginalImage.width(), kWidth);
    EXPECT_EQ(Main->ImageState, ImageFreshCapture);
    prompts.files.push_back(FileDialogResult{Unprocessed() + "/" + last, 0});
    Main->OriginalImage = QImage();
    Main->SearchUnprocessedClick();
    EXPECT_EQ(Main->OriginalImage.width(), kWidth);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().kind, "open");
    EXPECT_EQ(prompts.shown.back().request.folder, Unprocessed());
}

TEST_F(HandOff, WithoutUnprocessedTheReopeningCommandsSaySo) {
    Main->ShowLastImageClick();
    Main->SearchUnprocessedClick();
    EXPECT_EQ(prompts.Texts(),
              (QStringList{"The captured images from the camera are not saved\n\rChange the "
                           "settings in Preferences",
                           "The captured images from the camera are not saved.\n\rChange the "
                           "settings in Preferences"}));
    QDir().mkpath(Unprocessed());
    Main->LastCapturedName.clear();
    Main->ShowLastImageClick();
    EXPECT_EQ(prompts.Texts().back(), "Last captured image is not available");
}

// A capture that is gone or unreadable leaves the image on display, with its unsaved work,
// where it was: it can still be saved.
TEST_F(HandOff, ACaptureThatCannotBeReadKeepsTheImageOnDisplay) {
    Main->OpenPassedFile(MakeImage("shown.png"));
    const QImage shown = Main->OriginalImage;
    ASSERT_FALSE(shown.isNull());
    QDir().mkpath(Unprocessed());
    QFile broken(Unprocessed() + "/broken.jpg");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    Main->LastCapturedName = "gone.jpg";
    Main->ShowLastImageClick();
    EXPECT_EQ(prompts.Texts().back(), "Image not found");
    EXPECT_EQ(Main->OriginalImage, shown);
    Main->LastCapturedName = "broken.jpg";
    Main->ShowLastImageClick();
    EXPECT_EQ(prompts.shown.back().icon, MessageIcon::Error);
    EXPECT_EQ(Main->OriginalImage, shown);

    StartDSLR();
    ASSERT_TRUE(QFile::copy(broken.fileName(), Staging("arrived.jpg")));
    ASSERT_TRUE(QFile::rename(Staging("arrived.jpg"), Cam() + "/arrived.jpg"));
    Settle();
    EXPECT_EQ(Main->OriginalImage, shown);
    EXPECT_FALSE(Main->WorkImage.isNull());
}

TEST_F(HandOff, PreviewInDSLRModeEmptiesTheFolderAndMinimises) {
    StartDSLR();
    QFile empty(Cam() + "/empty.jpg");
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    Main->SaveGrabbedFrames = false;
    Main->show();
    Main->PreviewClick();
    EXPECT_TRUE(Files(Cam()).isEmpty());
    EXPECT_TRUE(Main->windowState() & Qt::WindowMinimized);
}

} // namespace
