#include "PreviewWindowFixture.h"

#include "video/AviTestSupport.h"
#include "video/AviWriter.h"
#include "video/FrameFileAssembly.h"
#include "video/PreciseTimer.h"
#include "video/RecordingPlan.h"
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
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

using previewtest::WaitFor;

// What the user sets in the AVI dialog before pressing "Start Capturing" (or "Cancel").
struct DialogChoice {
    bool onTheFly = true;
    QString folder;
    int pickCompressor = -1; // an item picked in the compressor box; -1 leaves what it shows
    bool cancel = false;
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
            shownCompressor = dialog->Compressorbox->currentText();
            if (choice.pickCompressor >= 0) {
                // As the user picks it: the box's own signal runs the handler.
                dialog->Compressorbox->setCurrentIndex(choice.pickCompressor);
                emit dialog->Compressorbox->activated(choice.pickCompressor);
            }
            answered = true;
            (choice.cancel ? dialog->Cancelbtn : dialog->Startbtn)->click();
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

    // A short recording on the fly as the dialog stands; the codec ffprobe reads from it.
    std::optional<QString> RecordedCodec(const DialogChoice& choice) {
        NormalVideo(3, 1); // 10 frames per second for 1 s
        PressStart(choice);
        EXPECT_TRUE(window->Recording()) << prompts.Texts().join("|").toStdString();
        EXPECT_TRUE(WaitUntilStopped(10000));
        const auto probe = avitest::ProbeStream(VideoPath(), "codec_name");
        if (!probe)
            return std::nullopt;
        return probe->trimmed();
    }

    QTemporaryDir videos;
    QString proposedName;
    QString shownCompressor;
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

TEST_F(Recording, TheStoredCompressorShownInTheDialogIsTheOneRecorded) {
    QFile ini(QDir(program.path()).filePath("CamView.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[AVI]\r\nCompressorInUse=1\r\n");
    ini.close();
    window = std::make_unique<TCamViewMain>(); // reads the file, as at start-up
    window->SnapshotFolder = photos.path();
    StartCamera();
    const auto codec = RecordedCodec({true, videos.path()});
    EXPECT_EQ(shownCompressor, "MJPG mjpeg");
    if (!codec)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_EQ(*codec, "codec_name=mjpeg");
}

TEST_F(Recording, APickCancelledIsNotRecorded) {
    StartCamera();
    ASSERT_EQ(window->CompressorInUse, 0);
    PressStart({true, videos.path(), 1, true}); // MJPG picked, then Cancel
    EXPECT_FALSE(window->Recording());
    const auto codec = RecordedCodec({true, videos.path()});
    EXPECT_EQ(shownCompressor, "No Compression");
    if (!codec)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_EQ(*codec, "codec_name=rawvideo");
}

TEST_F(Recording, AStoredCompressorBeyondTheListRecordsUncompressed) {
    StartCamera();
    window->CompressorInUse = 1;
    ASSERT_TRUE(RecordedCodec({true, videos.path()}).value_or("codec_name=mjpeg") ==
                "codec_name=mjpeg");
    // A list that has shrunk since: the box shows nothing, and the writer forgets MJPG.
    window->CompressorInUse = 999;
    const auto codec = RecordedCodec({true, videos.path()});
    EXPECT_EQ(shownCompressor, "");
    if (!codec)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_EQ(*codec, "codec_name=rawvideo");
}

TEST_F(Recording, TheSizeWarningBeepSoundsOnTheGuiThread) {
    int beeps = 0;
    bool offTheGuiThread = false;
    const auto systemBeep = TCamViewMain::SizeWarningBeep;
    TCamViewMain::SizeWarningBeep = [&] {
        ++beeps;
        offTheGuiThread = offTheGuiThread || QThread::currentThread() != qApp->thread();
    };
    // A writer whose warning size is where the fourth 9,216-byte frame ends, written from a
    // thread of its own as the timer's ticks write on the fly.
    TAVICreator::Limits limits;
    limits.BeepFromBytes = 37'138;
    const QString path = QDir(videos.path()).filePath("near-the-end.avi");
    std::thread ticks([&] {
        TAviWriter_2 writer(nullptr, limits);
        writer.filename = path;
        writer.FrameTime = 100;
        const QImage frame = avitest::PatternFrame(96, 32);
        writer.InitVideo(frame);
        for (int i = 0; i < 6; ++i)
            writer.AddFrame(frame);
        writer.FinalizeVideo();
        writer.WriteAvi();
    });
    ticks.join();
    EXPECT_EQ(beeps, 0) << "the beep waits for the GUI thread";
    EXPECT_TRUE(WaitFor([&] { return beeps >= 3; }));
    QCoreApplication::processEvents();
    TCamViewMain::SizeWarningBeep = systemBeep;
    EXPECT_EQ(beeps, 3); // frames 4, 5 and 6
    EXPECT_FALSE(offTheGuiThread);
    EXPECT_EQ(Frames(path), 6);
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

// Start plans from the window's stored time-lapse settings: interval, its unit, the number
// of frames and the playback rate.
TEST_F(Recording, ATimeLapseTakesItsIntervalFramesAndPlaybackRate) {
    StartCamera();
    window->UseNormalVideo = false;
    window->TLInterval = 0; // 0.2
    window->TimeUnits = 0;  // seconds
    window->TLTimeLimit = 5;
    window->TLFPS = 2; // 15 frames per second
    PressStart({true, videos.path()});
    ASSERT_TRUE(window->Recording()) << prompts.Texts().join("|").toStdString();
    ASSERT_TRUE(WaitUntilStopped(10000));
    EXPECT_TRUE(prompts.Texts().isEmpty()) << prompts.Texts().join("|").toStdString();
    const auto probe = avitest::ProbeStream(VideoPath(), "r_frame_rate");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    // 15 frames per second: a frame time of 67 ms.
    EXPECT_TRUE(probe->contains("r_frame_rate=1000/67")) << probe->toStdString();
    // One frame per 200 ms tick up to the first tick past 1000 ms.
    const int frames = Frames(VideoPath());
    EXPECT_GE(frames, 5);
    EXPECT_LE(frames, 7);
}

// A proposal that names an existing file (the counter was reset, or the settings were not
// saved) moves on to the next free number, also in a folder chosen in the dialog.
TEST_F(Recording, AProposalNeverNamesAnExistingFile) {
    StartCamera();
    NormalVideo(3, 1);
    const QString today = TAVIDialog::Today().toString("yyyy-MM-dd");
    const auto name = [&](int number) {
        return QString("Video_%1_%2.avi").arg(today).arg(number, 5, 10, QChar('0'));
    };
    const struct {
        int aviNr;
        QStringList shownFolderHas;
        QStringList chosenFolderHas;
        int used;
    } cases[] = {
        {5, {name(5), name(6)}, {}, 7},
        {99999, {name(99999)}, {}, 0},
        {3, {}, {name(3), name(4)}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.aviNr);
        QTemporaryDir shown;
        for (const QString& existing : c.shownFolderHas) {
            QFile file(shown.filePath(existing));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("an earlier video");
        }
        QTemporaryDir chosenFolder;
        for (const QString& existing : c.chosenFolderHas) {
            QFile file(chosenFolder.filePath(existing));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("an earlier video");
        }
        window->AVIDir = shown.path();
        window->AVINr = c.aviNr;
        const QString folder = c.chosenFolderHas.isEmpty() ? shown.path() : chosenFolder.path();
        PressStart({true, folder});
        if (c.chosenFolderHas.isEmpty()) {
            EXPECT_EQ(proposedName, name(c.used)) << "the dialog shows the free name";
        }
        ASSERT_TRUE(WaitUntilStopped(10000));
        const QDir dir(folder);
        EXPECT_TRUE(QFileInfo(dir.filePath(name(c.used))).size() > 16) << "the new video";
        for (const QString& existing : c.shownFolderHas + c.chosenFolderHas) {
            QFile file(dir.filePath(existing));
            if (file.exists()) {
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                EXPECT_EQ(file.readAll(), "an earlier video") << existing.toStdString();
            }
        }
        EXPECT_EQ(window->AVINr, NextAVINr(c.used));
    }
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

TEST_F(Recording, ACameraUnpluggedMidRecordingIsOneLoss) {
    StartCamera();
    // The boxes are modal: the camera's later errors arrive while one is open.
    prompts.WhileShown = [](const ShownPrompt&) { QTest::qWait(400); };
    NormalVideo(6, 60);
    PressStart({true, videos.path()});
    ASSERT_TRUE(WaitFor([&] { return window->AVITimer->TickCount() >= 5; }));
    SetFakeCameraFault("Cam", FakeCameraFault::Unplugged);
    ASSERT_TRUE(WaitFor([&] { return prompts.shown.size() >= 2; }));
    QTest::qWait(1000);
    SetFakeCameraFault("Cam", FakeCameraFault::None);
    window->AVIStartStopClick();
    EXPECT_EQ(prompts.Texts(),
              QStringList({"Capture device lost", "Problem with camera! Maybe not connected?"}));
    EXPECT_GE(Frames(VideoPath()), 5);
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

// A frame-file recording cut off by a crash left its frames in "temp": the next Start makes
// them a video named after them before it empties the folder, and says so.
TEST_F(Recording, FramesACrashLeftBehindBecomeAVideoAtTheNextStart) {
    StartCamera();
    NormalVideo(0, 1);
    const QString temp = QDir(videos.path()).filePath("temp");
    ASSERT_TRUE(QDir().mkpath(temp));
    for (int tick = 0; tick < 6; ++tick)
        ASSERT_TRUE(
            avitest::PatternFrame(640, 480, tick)
                .save(QDir(temp).filePath(FrameFileName("Video_Crashed_00007.avi", tick)), "BMP"));
    ASSERT_TRUE(MarkRecordingUnfinished(temp, "Video_Crashed_00007"));
    PressStart({true, videos.path()});
    ASSERT_TRUE(window->Recording()) << prompts.Texts().join("|").toStdString();
    const QString recovered = QDir(videos.path()).filePath("Video_Crashed_00007.avi");
    EXPECT_TRUE(window->StatusPanel1->text().endsWith(
        "(the frames of an unfinished recording were saved as Video_Crashed_00007.avi)"))
        << window->StatusPanel1->text().toStdString();
    EXPECT_TRUE(QDir(temp).entryList({"*.bmp"}, QDir::Files).isEmpty()) << "then emptied";
    ASSERT_TRUE(WaitUntilStopped(10000));
    const int frames = Frames(recovered);
    if (frames < 0)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(frames, 6);
}

// The frames of a finished frame-file recording are not assembled again at the next Start.
TEST_F(Recording, FramesOfAFinishedRecordingAreNotAssembledAgain) {
    StartCamera();
    NormalVideo(0, 1);
    PressStart({false, videos.path()});
    ASSERT_TRUE(WaitUntilStopped(15000));
    const QString first = proposedName;
    ASSERT_TRUE(QFile::remove(VideoPath())); // the user moved the video elsewhere
    PressStart({true, videos.path()});
    ASSERT_TRUE(WaitUntilStopped(10000));
    EXPECT_FALSE(QFile::exists(QDir(videos.path()).filePath(first)));
    EXPECT_FALSE(window->StatusPanel1->text().contains("unfinished"));
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
