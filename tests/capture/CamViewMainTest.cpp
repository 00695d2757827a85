#include "PreviewWindowFixture.h"

#include "capture/CamViewSettings.h"
#include "capture/Snapshots.h"
#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/DeviceDialogs.h"
#include "capture/ui/OptionsDialog.h"
#include "capture/ui/VideoCaptureView.h"
#include "imaging/ImageFiles.h"
#include "support/FakeSerialPort.h"
#include "support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QSpontaneKeyEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

using previewtest::Colour;
using previewtest::Near;
using previewtest::PreviewWindow;
using previewtest::WaitFor;

} // namespace

TEST_F(PreviewWindow, CameraMenuListsTheDevicesAndDisconnect) {
    window->FormShow();
    QStringList captions;
    for (QAction* item : window->SelectVideoDevice->actions())
        captions << item->text();
    EXPECT_EQ(captions, QStringList({"Cam", "Other", "Disconnect Camera"}));
    EXPECT_EQ(window->windowTitle(), "  Preview Window");
    EXPECT_FALSE(window->FrameCapture->isEnabled());
}

TEST_F(PreviewWindow, SelectingACameraStartsThePreviewAndOffersItsDialogs) {
    StartCamera();
    EXPECT_TRUE(window->FrameCapture->isEnabled());
    EXPECT_TRUE(CameraItem("Cam")->isChecked());
    EXPECT_EQ(window->CurrentDevice, "Cam");
    QStringList dialogs;
    for (QAction* item : window->DeviceOptions->actions())
        dialogs << item->text();
    // A fake camera has no device node: only its formats.
    EXPECT_TRUE(dialogs.contains("Video Format Settings")) << dialogs.join(",").toStdString();
    window->DisconnectDeviceClick();
    EXPECT_TRUE(window->CurrentDevice.isEmpty());
    EXPECT_FALSE(window->FrameCapture->isEnabled());
}

TEST_F(PreviewWindow, ControlPaintsBlueUntilAFrameThenTheFrame) {
    TVideoCaptureView* view = window->VideoCaptureView();
    view->resize(64, 48);
    EXPECT_EQ(view->grab().toImage().pixel(10, 10), qRgb(0, 0, 255));
    StartCamera();
    view = window->VideoCaptureView();
    const QImage painted = view->grab().toImage();
    ASSERT_FALSE(painted.isNull());
    EXPECT_TRUE(Near(painted.pixel(painted.width() / 2, painted.height() / 2), Colour));
    window->VideoCapture().StopPreview();
    EXPECT_EQ(view->grab().toImage().pixel(5, 5), qRgb(0, 0, 255));
}

TEST_F(PreviewWindow, F1WritesTheFrameAndTheCounterAdvancesAfterNo) {
    StartCamera();
    window->CaptureNr = 7;
    window->NameBoxIndex = 1;
    window->ImageExtention = 2; // png: the pixels stay exact
    QTest::keyRelease(window.get(), Qt::Key_F1);
    const QString first = photos.path() + "/Snapshot_00007.png";
    ASSERT_TRUE(QFile::exists(first)) << window->StatusPanel1->text().toStdString() << " "
                                      << prompts.Texts().join("|").toStdString();
    EXPECT_EQ(window->StatusPanel1->text(), first) << "the bare path, without a blank";
    EXPECT_EQ(window->CaptureNr, 8);
    QImage read;
    QStringList comment;
    LoadImageWithComment(read, first, comment);
    EXPECT_EQ(read.size(), QSize(640, 480));
    EXPECT_TRUE(Near(read.pixel(320, 240), Colour));
    EXPECT_TRUE(comment.isEmpty());

    // The same name again: "No" keeps the old file, and the counter still moves on.
    window->CaptureNr = 7;
    const qint64 size = QFileInfo(first).size();
    prompts.answers.push_back(Answer::No);
    window->SnapshotClick();
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().text,
              "The file " + first + " exists.\r\nDo you want to overwrite this file?");
    EXPECT_EQ(window->CaptureNr, 8);
    EXPECT_EQ(QFileInfo(first).size(), size);

    // An auto-repeated release takes no picture.
    window->CaptureNr = 20;
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(window.get(), &repeat);
    EXPECT_EQ(window->CaptureNr, 20);
}

TEST_F(PreviewWindow, CommandsWithoutAPreviewAreRefusedAtOnce) {
    window->CaptureNr = 3;
    // Each command says why at once; one that waited for a frame first would end with the
    // wait's own text ("No frame came from the camera ...") after its bound.
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"F1", [&] { QTest::keyRelease(window.get(), Qt::Key_F1); }},
        {"to clipboard", [&] { window->ToClipboardClick(); }},
        {"to measurement", [&] { window->ToMeasurementClick(); }}};
    for (const auto& [name, command] : commands) {
        window->StatusPanel1->clear();
        command();
        EXPECT_TRUE(window->StatusPanel1->text().contains("choose a camera")) << name;
    }
    EXPECT_EQ(window->CaptureNr, 3);
    EXPECT_TRUE(QDir(photos.path()).isEmpty());
}

TEST_F(PreviewWindow, EmptyPhotoFolderIsRefused) {
    StartCamera();
    window->SnapshotFolder.clear();
    window->SnapshotClick();
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_TRUE(prompts.shown.back().text.contains("No photo folder"));
    EXPECT_EQ(window->CaptureNr, 0);
}

TEST_F(PreviewWindow, NoiseReductionAveragesIntoTheRequestedSizeWithCountdown) {
    StartCamera();
    window->VideoWidth = 800; // the camera delivers 640 x 480
    window->VideoHeight = 600;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_FALSE(window->NrBox->isVisible());
    window->CBNoiseReduction->setChecked(true);
    EXPECT_TRUE(window->NrBox->isVisible());
    window->NrBox->setCurrentText("4");
    QStringList countdown;
    auto original = window->VideoCapture().OnBitmapGrabbed;
    window->VideoCapture().OnBitmapGrabbed = [&](const TCapturedBitmap& bitmap) {
        countdown << window->Counter->text();
        original(bitmap);
    };
    QImage stacked;
    ASSERT_TRUE(window->StackIt(stacked));
    EXPECT_EQ(countdown, QStringList({"3", "2", "1", "0"}));
    EXPECT_EQ(stacked.size(), QSize(800, 600));
    EXPECT_TRUE(Near(stacked.pixel(0, 0), Colour));
    EXPECT_TRUE(Near(stacked.pixel(639, 479), Colour));
    EXPECT_EQ(stacked.pixel(700, 100), qRgb(0, 0, 0));
    EXPECT_EQ(stacked.pixel(100, 550), qRgb(0, 0, 0));
    window->CBNoiseReduction->setChecked(false);
    EXPECT_TRUE(window->NrBox->isHidden());
}

TEST_F(PreviewWindow, FrameCountTakesAnyPositiveWholeNumber) {
    window->CBNoiseReduction->setChecked(true);
    const struct {
        const char* typed;
        int kept;
        const char* message;
    } cases[] = {
        {"1", 1, nullptr},
        {"65", 65, nullptr},
        {" 1000 ", 1000, nullptr},
        {"8", 8, nullptr},
        {"0", 8, "\"0\" is not a positive whole number of frames."},
        {"-3", 8, "\"-3\" is not a positive whole number of frames."},
        {"4.5", 8, "\"4.5\" is not a positive whole number of frames."},
        {"abc", 8, "\"abc\" is not a positive whole number of frames."},
        {"", 8, "\"\" is not a positive whole number of frames."},
        // Beyond what 32-bit sums of 255 hold.
        {"99999999999", 8, "At most 16843009 frames can be averaged."},
    };
    for (const auto& c : cases) {
        prompts.shown.clear();
        window->NrBox->setCurrentText(c.typed);
        emit window->NrBox->lineEdit()->editingFinished();
        EXPECT_EQ(window->StackFrames, c.kept) << c.typed;
        if (c.message) { // the box shows the count kept
            EXPECT_EQ(window->NrBox->currentText(), QString::number(c.kept)) << c.typed;
        }
        EXPECT_EQ(prompts.Texts(), c.message ? QStringList{c.message} : QStringList{}) << c.typed;
    }
}

TEST_F(PreviewWindow, NoiseReductionOfOneFrameIsThatFrame) {
    StartCamera();
    window->CBNoiseReduction->setChecked(true);
    window->NrBox->setCurrentText("1");
    QImage stacked;
    ASSERT_TRUE(window->StackIt(stacked));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join("|").toStdString();
    EXPECT_EQ(window->Counter->text(), "0");
    EXPECT_EQ(stacked.size(), QSize(640, 480));
    EXPECT_TRUE(Near(stacked.pixel(320, 240), Colour));
}

TEST_F(PreviewWindow, AFormatChosenInCameraOptionsIsTheWindowsSize) {
    StartCamera();
    QAction* formats = nullptr;
    for (QAction* item : window->DeviceOptions->actions())
        if (item->text() == "Video Format Settings")
            formats = item;
    ASSERT_NE(formats, nullptr);
    // A fake camera offers the format dialog alone: it is the menu's first item.
    ASSERT_EQ(window->DeviceOptions->actions().indexOf(formats), 0);
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<TVideoFormatDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the format dialog is not open";
        const int index = dialog->SizeBox->findText("320 x 240");
        ASSERT_GE(index, 0);
        dialog->SizeBox->setCurrentIndex(index);
        chosen = true;
        dialog->accept();
    });
    formats->trigger();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(window->VideoCapture().GetVideoFormat().Width, 320);
    EXPECT_EQ(window->VideoWidth, 320);
    EXPECT_EQ(window->VideoHeight, 240);

    // A rebuild (Maximize, Restore Size) keeps the format.
    window->show();
    window->MaximizePreviewClick();
    window->MaximizePreviewClick();
    ASSERT_TRUE(window->VideoCapture().Previewing());
    EXPECT_EQ(window->VideoCapture().GetVideoFormat().Width, 320);
    EXPECT_EQ(window->VideoCapture().GetVideoFormat().Height, 240);

    // Noise reduction averages at the new size.
    window->CBNoiseReduction->setChecked(true);
    window->NrBox->setCurrentText("2");
    QImage stacked;
    ASSERT_TRUE(window->StackIt(stacked));
    EXPECT_EQ(stacked.size(), QSize(320, 240));
    EXPECT_TRUE(Near(stacked.pixel(319, 239), Colour));

    // The device file keeps it for the next selection.
    window->SaveSettings();
    TCamViewFields read;
    ReadDeviceFile(read, program.path() + "/", "Cam");
    EXPECT_EQ(read.VideoWidth, 320);
    EXPECT_EQ(read.VideoHeight, 240);
}

TEST_F(PreviewWindow, WithoutACameraTheOptionsMenuIsEmpty) {
    StartCamera();
    ASSERT_FALSE(window->DeviceOptions->actions().isEmpty());
    window->DisconnectDeviceClick();
    EXPECT_TRUE(window->DeviceOptions->actions().isEmpty());
    EXPECT_TRUE(window->DeviceDialogList.empty());

    // A selection that ends without a preview: the camera went after the menu was filled.
    StartCamera();
    ASSERT_FALSE(window->DeviceOptions->actions().isEmpty());
    QAction* gone = CameraItem("Other");
    ASSERT_NE(gone, nullptr);
    qputenv("QUVAR_TEST_CAMERAS", "Cam");
    window->SelectDeviceClick(gone);
    EXPECT_FALSE(window->VideoCapture().Previewing());
    EXPECT_TRUE(window->DeviceOptions->actions().isEmpty());
    EXPECT_TRUE(window->DeviceDialogList.empty());
}

// The box is modal: the camera's later errors arrive while it is open, as they do under a
// real one.
void KeepBoxesOpen(ScriptedPrompts& prompts) {
    prompts.WhileShown = [](const ShownPrompt&) {
        QElapsedTimer open;
        open.start();
        while (open.elapsed() < 400)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
}

TEST_F(PreviewWindow, OneCameraFailureIsOneDeviceLoss) {
    StartCamera();
    KeepBoxesOpen(prompts);
    SetFakeCameraFault("Cam", FakeCameraFault::FailOnce);
    ASSERT_TRUE(WaitFor([&] { return !prompts.shown.empty(); }));
    // Back to a running preview, with frames flowing again.
    const qint64 before = window->VideoCapture().LatestFrame().cacheKey();
    ASSERT_TRUE(WaitFor([&] {
        return window->VideoCapture().Previewing() &&
               window->VideoCapture().LatestFrame().cacheKey() != before;
    }));
    QTest::qWait(300);
    EXPECT_EQ(prompts.Texts(), QStringList{"Capture device lost"});
}

TEST_F(PreviewWindow, AnUnpluggedCameraIsOneLoss) {
    StartCamera();
    KeepBoxesOpen(prompts);
    SetFakeCameraFault("Cam", FakeCameraFault::Unplugged);
    ASSERT_TRUE(WaitFor([&] { return prompts.Texts().filter("Problem with camera").size() > 0; }));
    QTest::qWait(300);
    SetFakeCameraFault("Cam", FakeCameraFault::None);
    EXPECT_FALSE(window->VideoCapture().Previewing());
    // One loss; the restart that finds the camera gone says so once.
    EXPECT_EQ(prompts.Texts(),
              QStringList({"Capture device lost", "Problem with camera! Maybe not connected?"}));
}

TEST_F(PreviewWindow, RestoreSizeBringsBackExactlyTheSavedBounds) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->setGeometry(123, 87, 900, 700);
    QCoreApplication::processEvents();
    StartCamera();
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    for (int cycle = 0; cycle < 3; ++cycle) {
        window->MaximizePreviewClick();
        QCoreApplication::processEvents();
        EXPECT_EQ(window->MaximizePreview->text(), "Restore Size");
        window->MaximizePreviewClick();
        QCoreApplication::processEvents();
        EXPECT_EQ(window->MaximizePreview->text(), "Maximize");
        EXPECT_EQ(window->frameGeometry(), frame) << "cycle " << cycle;
        EXPECT_EQ(window->geometry(), client) << "cycle " << cycle;
    }
}

TEST_F(PreviewWindow, FitToWindowFollowsTheBox) {
    window->resize(1000, 800);
    window->show();
    StartCamera();
    window->FitToPreviewWindow->setChecked(false);
    EXPECT_EQ(window->VideoCaptureView()->size(), QSize(640, 480));
    window->FitToPreviewWindow->setChecked(true);
    const QSize area = window->VidCapBox->size();
    EXPECT_EQ(window->VideoCaptureView()->size(), FitVideoSize(640, 480, area));
    EXPECT_GT(window->VideoCaptureView()->width(), 640);
}

TEST_F(PreviewWindow, SettingsFileIsWrittenAfterTheDialogAndOnTitleBarClose) {
    const auto written = [this] {
        TCamViewFields read;
        LoadCamViewSettings(read, program.path() + "/");
        return read.CaptureNr;
    };
    // The settings dialog, left with Cancel.
    window->CaptureNr = 12;
    QTimer::singleShot(0, window.get(), [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    window->OptionsClick();
    EXPECT_EQ(written(), 12);

    // The window manager's close, as the title-bar button sends it.
    window->CaptureNr = 13;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::instance()->notify(window->windowHandle(), &close);
    EXPECT_EQ(written(), 13);
}

TEST(VideoFormatDialog, ChoosesFormatSizeAndRate) {
    std::vector<TVideoFormatInfo> capabilities;
    for (const char* subType : {"BGR", "YUY2"})
        for (auto [w, h] : {std::pair{320, 240}, {640, 480}, {1280, 720}}) {
            TVideoFormatInfo f;
            f.MajorType = "video";
            f.SubType = subType;
            f.Width = w;
            f.Height = h;
            f.MinFrameRate = 10;
            f.FrameRate = f.MaxFrameRate = 30;
            capabilities.push_back(f);
        }
    TVideoFormatDialog dialog(capabilities, 4, 15);
    EXPECT_EQ(dialog.windowTitle(), "Video Format Settings");
    EXPECT_EQ(dialog.FormatBox->currentText(), "YUY2");
    EXPECT_EQ(dialog.SizeBox->currentText(), "640 x 480");
    EXPECT_EQ(dialog.ChosenCapability(), 4);
    EXPECT_EQ(dialog.ChosenFrameRate(), 15);
    dialog.FormatBox->setCurrentIndex(0); // BGR keeps the size
    EXPECT_EQ(dialog.ChosenCapability(), 1);
    dialog.SizeBox->setCurrentIndex(dialog.SizeBox->findText("320 x 240"));
    EXPECT_EQ(dialog.ChosenCapability(), 0);
    EXPECT_EQ(OfferedFrameRates(capabilities[0]), (std::vector<double>{10, 15, 20, 25, 30}));
}

TEST(VideoFormatDialog, OffersOnlyRatesTheCaptureControlKeeps) {
    // The control keeps 1 to 50 frames per second and stores 25 for anything else: a rate
    // outside is never offered, so the chosen rate is the rate asked for.
    struct Case {
        double low, high;
        std::vector<double> offered;
    };
    const Case cases[] = {
        {5, 60, {5, 7.5, 10, 15, 20, 25, 30, 50}},
        {0.5, 10, {5, 7.5, 10}},
        {30, 120, {30, 50}},
        {60, 120, {}},
        {1, 50, {1, 5, 7.5, 10, 15, 20, 25, 30, 50}},
    };
    for (const Case& c : cases) {
        TVideoFormatInfo f;
        f.SubType = "YUY2";
        f.Width = 640;
        f.Height = 480;
        f.MinFrameRate = c.low;
        f.FrameRate = f.MaxFrameRate = c.high;
        EXPECT_EQ(OfferedFrameRates(f), c.offered) << c.low << " to " << c.high;
        TVideoFormatDialog dialog({f}, 0, 0);
        for (int i = 0; i < dialog.RateBox->count(); ++i) {
            TVideoCapture capture;
            capture.SetFrameRate(dialog.RateBox->itemData(i).toDouble());
            EXPECT_EQ(capture.FrameRate(), dialog.RateBox->itemData(i).toDouble());
        }
    }
}

TEST(VideoSourceDialog, EditorsSetTheControlsAndReadThemBack) {
    std::vector<V4l2Control> controls(3);
    controls[0].id = 1;
    controls[0].name = "Brightness";
    controls[0].maximum = 255;
    controls[0].defaultValue = 128;
    controls[0].value = 100;
    controls[1].id = 2;
    controls[1].name = "Exposure, Auto";
    controls[1].kind = V4l2Control::Kind::Boolean;
    controls[1].value = 1;
    controls[2].id = 3;
    controls[2].name = "Exposure Time";
    controls[2].maximum = 1000;
    controls[2].inactive = true; // greyed out while automatic exposure is on
    std::vector<std::pair<uint32_t, int>> written;
    TVideoSourceDialog dialog([&] { return controls; },
                              [&](uint32_t id, int value) {
                                  written.emplace_back(id, value);
                                  for (auto& c : controls)
                                      if (c.id == id)
                                          c.value = value;
                                  controls[2].inactive = controls[1].value != 0;
                                  return true;
                              });
    EXPECT_EQ(dialog.windowTitle(), "Video Source Settings");
    ASSERT_NE(dialog.Editor("Exposure Time"), nullptr);
    EXPECT_FALSE(dialog.Editor("Exposure Time")->isEnabled());
    auto* automatic = qobject_cast<QCheckBox*>(dialog.Editor("Exposure, Auto"));
    ASSERT_NE(automatic, nullptr);
    automatic->setChecked(false);
    QCoreApplication::processEvents();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], (std::pair<uint32_t, int>{2, 0}));
    EXPECT_TRUE(dialog.Editor("Exposure Time")->isEnabled()); // read back after the change
    dialog.DefaultsClick();
    EXPECT_EQ(controls[0].value, 128);
}

// The settings dialog over the preview window's fields.
class SettingsDialog : public PreviewWindow {};

TEST_F(SettingsDialog, ExampleShowsJpgUntilAKeyIsReleased) {
    window->CaptureNr = 42;
    window->Prefix = "Snapshot";
    window->ImageExtention = 2;
    window->UseDeviceName = false;
    TOptionsDlg dialog(window.get());
    dialog.FormShow();
    EXPECT_EQ(dialog.ExampleStr->text(), "Example filename: Snapshot_00042.jpg");
    EXPECT_EQ(dialog.ImageType->currentText(), "png");
    QTest::keyRelease(dialog.PrefixEdit, Qt::Key_Shift);
    EXPECT_EQ(dialog.ExampleStr->text(), "Example filename: Snapshot_00042.png");
    EXPECT_EQ(dialog.AVIExampleStr->text(), "Example filename: Video_00000.avi");
    EXPECT_EQ(dialog.OptionsForm->tabText(0), "General Settings");
    EXPECT_EQ(dialog.OptionsForm->tabText(1), "Remote");
}

TEST_F(SettingsDialog, NumberBoxTakesDigitsOnly) {
    TOptionsDlg dialog(window.get());
    dialog.FormShow();
    dialog.NumberEdit->clear();
    QTest::keyClicks(dialog.NumberEdit, "4a2");
    EXPECT_EQ(dialog.NumberEdit->text(), "42");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Numbers only");
}

TEST_F(SettingsDialog, TheComPortInputsShowBothRows) {
    TOptionsDlg dialog(window.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.OptionsForm->setCurrentIndex(1);
    QCoreApplication::processEvents();
    const QList<QAbstractButton*> inputs = dialog.COMGroup->buttons();
    ASSERT_EQ(inputs.size(), 4);
    const QWidget* group = inputs[0]->parentWidget();
    for (const QAbstractButton* input : inputs) {
        EXPECT_GE(input->height(), input->sizeHint().height()) << input->text().toStdString();
        EXPECT_TRUE(group->contentsRect().contains(input->geometry()))
            << input->text().toStdString();
    }
}

TEST_F(SettingsDialog, NumberBoxLetsTheEditingKeysThrough) {
    TOptionsDlg dialog(window.get());
    dialog.FormShow();
    dialog.NumberEdit->setText("12345");
    dialog.NumberEdit->setFocus();
    // The keys as X11 delivers them: Delete and Backspace carry control characters as text
    // (the offscreen platform sends none, which would let any filter pass them).
    auto press = [&](int key, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(dialog.NumberEdit, &event);
    };
    press(Qt::Key_Home, QString());
    press(Qt::Key_Delete, QString(QChar(0x7f)));
    EXPECT_EQ(dialog.NumberEdit->text(), "2345");
    press(Qt::Key_End, QString());
    press(Qt::Key_Backspace, QString(QChar(0x08)));
    EXPECT_EQ(dialog.NumberEdit->text(), "234");
    press(Qt::Key_Left, QString());
    press(Qt::Key_Left, QString());
    press(Qt::Key_Delete, QString(QChar(0x7f)));
    EXPECT_EQ(dialog.NumberEdit->text(), "24");
    press(Qt::Key_Right, QString());
    press(Qt::Key_9, "9");
    EXPECT_EQ(dialog.NumberEdit->text(), "249");
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join("|").toStdString();
}

TEST_F(SettingsDialog, OkAppliesInOrderAndAnEmptyNumberKeepsItOpen) {
    window->CurrentDevice = "Cam";
    TOptionsDlg dialog(window.get());
    dialog.FormShow();
    dialog.ImageType->setCurrentIndex(3);
    dialog.NameBox->setCurrentIndex(2);
    dialog.UseCurDevice->setChecked(true); // the prefix box becomes the device name
    EXPECT_EQ(dialog.PrefixEdit->text(), "Cam");
    dialog.PanelRight->setChecked(true);
    dialog.NumberEdit->clear();
    dialog.OKBtnClick();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().text, "'' is not a valid integer value");
    EXPECT_EQ(window->ImageExtention, 3); // applied up to the failing box
    EXPECT_EQ(window->NameBoxIndex, 0);
    dialog.NumberEdit->setText("17");
    FakeSerialPort serial;
    dialog.UseTrigger->setChecked(true); // RTS and DTR are taken with the trigger on
    dialog.COMEdit->setText("1");
    dialog.RTSbox->setChecked(true);
    dialog.OKBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(window->CaptureNr, 17);
    EXPECT_EQ(window->NameBoxIndex, 2);
    EXPECT_EQ(window->Prefix, "Cam");
    EXPECT_TRUE(window->UseDeviceName);
    EXPECT_TRUE(window->ShowPanelRight);
    EXPECT_EQ(window->PortHigh, 1);
    // The panel now stands right of the video.
    window->resize(900, 700);
    window->show();
    QCoreApplication::processEvents();
    EXPECT_GT(window->LeftPanel->x(), window->VidCapBox->x());
}

TEST_F(SettingsDialog, OkTakesOnlyASnapshotNumberFromZeroTo99999) {
    // The box takes digits from the keyboard; a pasted text is only judged at OK.
    struct Case {
        const char* text;
        bool accepted;
        int counter;
    };
    const Case cases[] = {
        {"-5", false, 12},
        {"-0", true, 0},
        {"99999", true, 99999},
        {"00042", true, 42},
    };
    for (const Case& c : cases) {
        window->CaptureNr = 12;
        prompts.shown.clear();
        TOptionsDlg dialog(window.get());
        dialog.FormShow();
        dialog.NumberEdit->setText(c.text);
        dialog.OKBtnClick();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.text;
        EXPECT_EQ(window->CaptureNr, c.counter) << c.text;
        EXPECT_EQ(prompts.shown.empty(), c.accepted) << c.text;
    }
}
