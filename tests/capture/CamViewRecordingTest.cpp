#include "PreviewWindowFixture.h"

#include "video/AviTestSupport.h"
#include "video/PreciseTimer.h"
#include "video/ui/AviSettingsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using previewtest::WaitFor;

// What the user sets in the AVI dialog before pressing "Start Capturing".
struct DialogChoice {
    bool onTheFly = true;
    QString folder;
};

class Recording : public previewtest::PreviewWindow {
protected:
    Recording() {
        TAVIDialog::Today = [] { return QDate(2031, 12, 31); };
    }
    ~Recording() override {
        TAVIDialog::Today = [] { return QDate::currentDate(); };
    }

    // Presses "Start" and answers the dialog as the user would, on its own event loop.
    void PressStart(const DialogChoice& choice) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = dynamic_cast<TAVIDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "the AVI dialog is not open";
            proposedName = dialog->FileNameEdit->text();
            dialog->OnTheFlyCB->setChecked(choice.onTheFly);
            dialog->SizeBox->setCurrentIndex(0); // 640 x 480
            dialog->AVIDirEdit->setText(choice.folder);
            answered = true;
            dialog->Startbtn->click();
        });
        window->AVIStartStopClick();
        ASSERT_TRUE(answered);
    }
    void NormalVideo(int fps_index, int seconds) {
        window->UseNormalVideo = true;
        window->NVFPS = fps_index;
        window->NVTimeLimit = seconds;
    }
    QString VideoPath() const { return QDir(videos.path()).filePath(proposedName); }
    bool WaitUntilStopped(int bound_ms) {
        return WaitFor([&] { return !window->Recording() && !window->AVIBusy; }, bound_ms);
    }
    static int Frames(const QString& path) { return avitest::FrameCount(path).value_or(-1); }

    QTemporaryDir videos;
    QString proposedName;
};

TEST_F(Recording, CannotRecordWithoutACameraOrBelow640Wide) {
    window->AVIStartStopClick();
    ASSERT_EQ(prompts.Texts(), QStringList{"Cannot record video"});
    StartCamera();
    TVideoCapture& capture = window->VideoCapture();
    for (int i = 0; i < capture.VideoCapabilityCount(); ++i)
        if (capture.GetVideoCapability(i).Width == 320) {
            capture.SelectVideoCapability(i);
            break;
        }
    ASSERT_EQ(window->VideoCapture().GetVideoFormat().Width, 320);
    window->AVIStartStopClick();
    EXPECT_EQ(prompts.Texts(), QStringList({"Cannot record video", "Cannot record video"}));
    EXPECT_EQ(window->AVIStartStop->text(), "Start");
}

TEST_F(Recording, StartIsRefusedWhileAnAviIsAssembled) {
    StartCamera();
    window->AVIBusy = true;
    window->AVIStartStopClick();
    EXPECT_EQ(prompts.Texts(), QStringList{"Still working on the AVI. Wait a moment!"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Recording, OnTheFlyThreeSecondsAtTenFramesPerSecond) {
    StartCamera();
    NormalVideo(3, 3); // 10 frames per second for 3 s
    window->AVINr = 99999;
    PressStart({true, videos.path()});
    EXPECT_EQ(proposedName, "Video_2031-12-31_99999.avi");
    EXPECT_EQ(window->AVINr, 0) << "99999 wraps to 0 after Start";
    ASSERT_TRUE(window->Recording()) << prompts.Texts().join("|").toStdString();
    EXPECT_EQ(window->AVIStartStop->text(), "Stop");
    EXPECT_TRUE(window->AVIStartStop->styleSheet().contains("red"));
    EXPECT_EQ(window->StatusPanel1->text(), " " + QDir::toNativeSeparators(VideoPath()));
    // The caption counts the ticks.
    ASSERT_TRUE(WaitFor([&] { return window->windowTitle().toInt() >= 5; }));

    ASSERT_TRUE(WaitUntilStopped(10000));
    EXPECT_EQ(window->AVIStartStop->text(), "Start");
    EXPECT_TRUE(window->AVIStartStop->styleSheet().contains("green"));
    EXPECT_EQ(window->windowTitle(), "  Preview Window");
    EXPECT_TRUE(prompts.Texts().isEmpty()) << prompts.Texts().join("|").toStdString();
    const auto probe = avitest::ProbeStream(VideoPath(), "width,height,r_frame_rate");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_TRUE(probe->contains("width=640")) << probe->toStdString();
    EXPECT_TRUE(probe->contains("r_frame_rate=10/1")) << probe->toStdString();
    const int frames = Frames(VideoPath());
    EXPECT_GE(frames, 30);
    EXPECT_LE(frames, 32);
}

TEST_F(Recording, FrameFilesInTickOrderBecomeTheVideo) {
    StartCamera();
    SetFakeCameraColour("Cam", std::nullopt); // the moving pattern: every frame differs
    window->DisconnectDeviceClick();
    StartCamera();
    NormalVideo(0, 3); // 4 frames per second for 3 s
    PressStart({false, videos.path()});
    ASSERT_TRUE(window->Recording());
    ASSERT_TRUE(WaitUntilStopped(15000));

    const QDir temp(QDir(videos.path()).filePath("temp"));
    const QString stem = proposedName.chopped(4);
    QStringList files = temp.entryList({"*.bmp"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 12) << files.join(",").toStdString();
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i], QString("%1-%2.bmp").arg(stem).arg(i, 6, 10, QChar('0')));

    const auto video = avitest::DecodeBgr(VideoPath());
    if (!video)
        GTEST_SKIP() << "ffmpeg is not installed: the file was not checked as a player reads it";
    QByteArray expected;
    for (const QString& name : files) {
        const auto frame = avitest::DecodeBgr(temp.filePath(name));
        ASSERT_TRUE(frame && !frame->isEmpty());
        expected += *frame;
    }
    EXPECT_EQ(video->size(), expected.size());
    EXPECT_TRUE(*video == expected) << "the video's frames are the frame files in tick order";
    EXPECT_TRUE(window->StatusPanel0->text().isEmpty());
}

TEST_F(Recording, StopAfterTheCameraFailedStillGivesAReadableFile) {
    StartCamera();
    NormalVideo(6, 60);
    PressStart({true, videos.path()});
    ASSERT_TRUE(WaitFor([&] { return window->AVITimer->TickCount() >= 5; }));
    SetFakeCameraFault("Cam", FakeCameraFault::Unplugged);
    ASSERT_TRUE(WaitFor([&] { return !window->VideoCapture().Previewing(); }));
    window->AVIStartStopClick();
    EXPECT_FALSE(window->Recording());
    EXPECT_EQ(window->AVIStartStop->text(), "Start");
    const int frames = Frames(VideoPath());
    if (frames < 0)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_GE(frames, 5);
}

TEST_F(Recording, ClosingTheWindowFinishesTheFile) {
    StartCamera();
    NormalVideo(6, 60);
    PressStart({true, videos.path()});
    ASSERT_TRUE(WaitFor([&] { return window->AVITimer->TickCount() >= 3; }));
    window->show();
    window->close();
    EXPECT_FALSE(window->Recording());
    EXPECT_FALSE(window->AVITimer->Running());
    const int frames = Frames(VideoPath());
    if (frames < 0)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_GE(frames, 3);
}

TEST_F(Recording, AFrameFileThatCannotBeWrittenStopsTheRecordingAndSaysWhy) {
    StartCamera();
    NormalVideo(6, 60);
    PressStart({false, videos.path()});
    ASSERT_TRUE(window->Recording());
    const QString temp = QDir(videos.path()).filePath("temp");
    ASSERT_TRUE(WaitFor([&] { return !QDir(temp).isEmpty(QDir::Files); }));
    // The frame folder goes (a disk taken away, a folder removed): the next frame fails.
    ASSERT_TRUE(QDir(temp).removeRecursively());
    ASSERT_TRUE(WaitUntilStopped(10000));
    EXPECT_EQ(window->AVIStartStop->text(), "Start");
    EXPECT_EQ(prompts.Texts().filter("The recording stopped: ").size(), 1)
        << prompts.Texts().join("|").toStdString();
}

TEST_F(Recording, AFrameFolderThatIsALinkIsNotEmptied) {
    StartCamera();
    NormalVideo(0, 3);
    QTemporaryDir elsewhere;
    QFile keep(QDir(elsewhere.path()).filePath("keep.bmp"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();
    ASSERT_TRUE(QFile::link(elsewhere.path(), QDir(videos.path()).filePath("temp")));
    PressStart({false, videos.path()});
    EXPECT_FALSE(window->Recording());
    EXPECT_TRUE(QFile::exists(keep.fileName()));
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_TRUE(prompts.shown.back().text.contains("not a folder of its own"));
}

} // namespace
