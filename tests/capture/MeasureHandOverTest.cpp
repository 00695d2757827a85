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
#include "video/ui/AviSettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpontaneKeyEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// With saving off only the frame's own file goes: a picture that arrived beside it and
// sorts after it stays.
TEST_F(MeasureHandOver, WithSavingOffOnlyTheFramesFileIsRemoved) {
    Main->SaveGrabbedFrames = false;
    OpenPreviewWithCamera();
    QImage other(32, 24, QImage::Format_BGR888);
    other.fill(Qt::red);
    SaveImagePlain(other, Cam() + "/IMG_9999.jpg");
    CamViewMain->ToMeasurementClick();
    EXPECT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_TRUE(Near(Main->OriginalImage.pixel(320, 240), Colour));
    EXPECT_EQ(Files(Cam()), QStringList{"IMG_9999.jpg"});
}

// A link named "FromCamera.jpg" in the camera folder: the frame goes into a file of its own
// and the file the link points to is never written.
TEST_F(MeasureHandOver, F3NeverWritesThroughALinkInTheCameraFolder) {
    QTemporaryDir outside;
    const QString precious = outside.filePath("precious.jpg");
    {
        QFile file(precious);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an earlier photo");
    }
    ASSERT_TRUE(QFile::link(precious, Cam() + "/FromCamera.jpg"));
    OpenPreviewWithCamera();
    CamViewMain->ToMeasurementClick();
    QFile file(precious);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "an earlier photo");
    const QStringList moved = Files(Unprocessed());
    ASSERT_EQ(moved.size(), 1) << prompts.Texts().join("|").toStdString();
    EXPECT_FALSE(QFileInfo(Unprocessed() + "/" + moved.front()).isSymLink());
    QImage saved;
    QStringList comment;
    LoadImageWithComment(saved, Unprocessed() + "/" + moved.front(), comment);
    EXPECT_TRUE(Near(saved.pixel(320, 240), Colour));
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

namespace {

// The window manager's close (the title-bar button, Alt+F4): a spontaneous close event,
// delivered as the toolkit delivers one from the window system.
void CloseFromTitleBar(QWidget* window) {
    window->show();
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(window->windowHandle(), &event);
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST_F(MeasureHandOver, ClosingTheMeasuringWindowSavesThePreviewSettingsAndCounters) {
    OpenPreviewWithCamera();
    CamViewMain->Prefix = "Pond";
    CamViewMain->FitToPreviewWindow->setChecked(true);
    CamViewMain->SnapshotClick();
    ASSERT_EQ(CamViewMain->CaptureNr, 1) << prompts.Texts().join("|").toStdString();
    CamViewMain->AVINr = 7;
    CamViewMain->ShowMeasurementClick();
    ASSERT_TRUE(Main->isEnabled());
    CloseFromTitleBar(Main);
    EXPECT_TRUE(Main->isHidden());

    const QString ini = ReadText(program.filePath("CamView.ini"));
    for (const char* line :
         {"[Device]\r\nUseDeviceDefaultSettings=0\r\nVideo=Cam\r\n", "FitToPreviewWindow=1\r\n",
          "AVINr=7\r\n", "CaptureNr=1\r\n", "Prefix=Pond\r\n", "CaptureMaxSize=1\r\n"})
        EXPECT_TRUE(ini.contains(QString::fromLatin1(line))) << line << "\n" << ini.toStdString();
    const QString device = ReadText(program.filePath("Cam.dat"));
    EXPECT_TRUE(device.contains("Video=Cam\r\n")) << device.toStdString();
    EXPECT_TRUE(device.contains("FitToPreviewWindow=1\r\n")) << device.toStdString();

    // The next start goes on from there.
    DestroyApplicationWindows();
    CreateApplicationWindows({});
    EXPECT_EQ(CamViewMain->CaptureNr, 1);
    EXPECT_EQ(CamViewMain->AVINr, 7);
    EXPECT_EQ(CamViewMain->Prefix, "Pond");
    EXPECT_TRUE(CamViewMain->FitToPreviewWindow->isChecked());
}

// Two runs of the program, each recording one video and closed by the window system: the
// second video gets a name of its own and the first stays as it was.
TEST_F(MeasureHandOver, ASecondRunNeverReplacesTheFirstRunsVideo) {
    QTemporaryDir videos;
    QStringList names;
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        if (run > 0) {
            DestroyApplicationWindows();
            CreateApplicationWindows({});
        }
        OpenPreviewWithCamera();
        CamViewMain->UseNormalVideo = true;
        CamViewMain->NVFPS = 3; // 10 frames per second
        CamViewMain->NVTimeLimit = 1;
        QTimer::singleShot(0, [&] {
            auto* dialog = dynamic_cast<TAVIDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "the AVI dialog is not open";
            names << dialog->FileNameEdit->text();
            dialog->OnTheFlyCB->setChecked(true);
            dialog->AVIDirEdit->setText(videos.path());
            dialog->Startbtn->click();
        });
        CamViewMain->AVIStartStopClick();
        ASSERT_TRUE(CamViewMain->Recording()) << prompts.Texts().join("|").toStdString();
        ASSERT_TRUE(
            WaitFor([] { return !CamViewMain->Recording() && !CamViewMain->AVIBusy; }, 15000));
        ASSERT_TRUE(QFileInfo(videos.filePath(names.back())).size() > 0);
        CamViewMain->ShowMeasurementClick();
        CloseFromTitleBar(Main);
    }
    ASSERT_EQ(names.size(), 2);
    EXPECT_NE(names[0], names[1]);
    EXPECT_EQ(Files(videos.path()), (QStringList{names[0], names[1]}));
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
