// "Measure (F3)" with the program's own windows: a fake camera's frame goes from the preview
// window through the watched folder into the measuring window and on into "Unprocessed".
// The same windows also show which compressors the program lists.

#include "CaptureTestSupport.h"

#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "imaging/ImageFiles.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "settings/MCSystems.h"
#include "support/EventWait.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kCaptureWidth = 640; // the fake camera's first format is 640 x 480
const QRgb Colour = qRgb(40, 120, 200);

using quvartest::WaitFor;

// JPEG and a YUV camera format: a channel may be a few steps off.
bool Near(QRgb actual, QRgb expected) {
    return std::abs(qRed(actual) - qRed(expected)) <= 6 &&
           std::abs(qGreen(actual) - qGreen(expected)) <= 6 &&
           std::abs(qBlue(actual) - qBlue(expected)) <= 6;
}

// The application's windows over a program folder with one camera system, a photo folder
// and a watched camera folder; the preview window runs the fake camera "Cam".
class MeasureHandOver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(quvartest::WriteScopeProgramFolder(program.path(), PhotoFolder(), Cam(),
                                                       kCaptureWidth));
        SetFakeCameraColour("Cam", Colour);
        CreateApplicationWindows({});
        ASSERT_NE(Main, nullptr);
        ASSERT_NE(CamViewMain, nullptr);
        ASSERT_EQ(Main->WatchFolder, Cam());
    }
    void TearDown() override {
        DestroyApplicationWindows();
        SetFakeCameraColour("Cam", std::nullopt);
    }
    // From the measuring window's "Preview" button to a running camera, as a user goes.
    void OpenPreviewWithCamera() {
        Main->show();
        Main->PreviewClick();
        ASSERT_TRUE(CamViewMain->isVisible());
        ASSERT_FALSE(Main->isEnabled());
        QAction* camera = nullptr;
        for (QAction* item : CamViewMain->SelectVideoDevice->actions())
            if (item->text() == QLatin1String("Cam"))
                camera = item;
        ASSERT_NE(camera, nullptr);
        camera->trigger();
        ASSERT_TRUE(CamViewMain->VideoCapture().Previewing());
        ASSERT_TRUE(WaitFor([] { return !CamViewMain->VideoCapture().LatestFrame().isNull(); }));
    }
    QString PhotoFolder() const { return root.path() + QStringLiteral("/photos"); }
    QString Unprocessed() const { return PhotoFolder() + QStringLiteral("/Unprocessed"); }
    QString Cam() const { return root.path() + QStringLiteral("/cam"); }
    static QStringList Files(const QString& folder) {
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }

    ScriptedPrompts prompts;
    FakeCameraScope cameras{"Cam"};
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir root;
};

const QRegularExpression
    CaptureName(QStringLiteral("^\\d{8}_\\d{6}-Scope A-10_0\\.25 plan-FromCamera\\.jpg$"));

TEST_F(MeasureHandOver, F3TakesTheFrameIntoTheMeasuringWindowWithTheSystemsComment) {
    OpenPreviewWithCamera();
    QTest::keyRelease(CamViewMain, Qt::Key_F3);

    // The frame is the measuring window's new, unsaved capture of the default system.
    EXPECT_TRUE(Main->isEnabled());
    ASSERT_EQ(Main->OriginalImage.size(), QSize(640, 480))
        << prompts.Texts().join("|").toStdString();
    EXPECT_TRUE(Near(Main->OriginalImage.pixel(320, 240), Colour));
    EXPECT_EQ(Main->ImageState, ImageFreshCapture);
    EXPECT_TRUE(Main->CurrentFileName.isEmpty());
    EXPECT_DOUBLE_EQ(Main->CaptureWidthRatio, 1.0);
    ASSERT_FALSE(Main->SystemCommentLines.isEmpty());
    EXPECT_TRUE(Main->SystemCommentLines.join('\n').contains("Scope A;  Obj: 10 X"))
        << Main->SystemCommentLines.join('|').toStdString();
    EXPECT_EQ(Main->CommentMemo->toPlainText(), Main->SystemCommentLines.join('\n'));
    EXPECT_TRUE(CamViewMain->isVisible()); // the preview window stays open

    // "FromCamera.jpg" went through the watched folder into "Unprocessed", with both sections.
    EXPECT_TRUE(Files(Cam()).isEmpty());
    const QStringList moved = Files(Unprocessed());
    ASSERT_EQ(moved.size(), 1) << moved.join("|").toStdString();
    EXPECT_TRUE(CaptureName.match(moved.front()).hasMatch()) << moved.front().toStdString();
    EXPECT_EQ(Main->LastCapturedName, moved.front());
    const QString path = Unprocessed() + "/" + moved.front();
    QImage saved;
    QStringList comment;
    LoadImageWithComment(saved, path, comment);
    EXPECT_EQ(saved.size(), QSize(640, 480));
    EXPECT_TRUE(Near(saved.pixel(320, 240), Colour));
    ASSERT_EQ(Main->CommentLines.size(), 2);
    EXPECT_EQ(CommentText(comment), CommentText(Main->CommentLines));
    EXPECT_TRUE(Main->CommentLines[0].startsWith("[QUVARSystemComment]"));
    EXPECT_TRUE(Main->CommentLines[1].startsWith("[QUVARMCSystemComment]"));

    // As another program reads it: a JPEG of the frame's size carrying the comment.
    const QString rdjpgcom = QStandardPaths::findExecutable("rdjpgcom");
    if (rdjpgcom.isEmpty())
        GTEST_SKIP() << "rdjpgcom is not installed";
    QProcess process;
    process.start(rdjpgcom, {"-verbose", path});
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromLatin1(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains("640w * 480h")) << out.toStdString();
    EXPECT_TRUE(out.contains("MCsystem = Scope A")) << out.toStdString();
}

TEST_F(MeasureHandOver, WithSavingOffTheFrameIsTakenAndTheWatchedFileRemoved) {
    Main->SaveGrabbedFrames = false;
    OpenPreviewWithCamera();
    CamViewMain->ToMeasurementClick();
    EXPECT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_EQ(Main->ImageState, ImageFreshCapture);
    EXPECT_TRUE(Files(Cam()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Unprocessed()));
}

TEST_F(MeasureHandOver, AFailedWriteStillHandsTheFrameOverAndSaysWhy) {
    OpenPreviewWithCamera();
    ASSERT_TRUE(QDir(Cam()).removeRecursively()); // the watched folder went away
    QTest::keyRelease(CamViewMain, Qt::Key_F3);
    EXPECT_TRUE(Main->isEnabled());
    EXPECT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_EQ(Main->ImageState, ImageFreshCapture);
    EXPECT_FALSE(QFileInfo::exists(Unprocessed()));
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().icon, MessageIcon::Error);
    EXPECT_TRUE(prompts.shown.back().text.contains("FromCamera.jpg"))
        << prompts.Texts().join("|").toStdString();
}

TEST_F(MeasureHandOver, TheProgramListsTheRecordingEncodersAsVideoCompressors) {
    RefreshDeviceLists();
    QStringList names;
    for (const auto& entry : VideoCompressors())
        names << entry.Name;
    EXPECT_TRUE(names.contains("MJPG mjpeg")) << names.join("|").toStdString();
    EXPECT_FALSE(names.contains("No Compression"));
    EXPECT_TRUE(AudioCompressors().empty());
}

} // namespace
