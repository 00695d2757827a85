#include "CamViewMain.h"

#include "CaptureTaker.h"
#include "DeviceDialogs.h"
#include "OptionsDialog.h"
#include "VideoCaptureView.h"
#include "capture/CamViewSettings.h"
#include "capture/CaptureDevices.h"
#include "capture/ShutterSound.h"
#include "capture/Snapshots.h"
#include "capture/VideoCapture.h"
#include "imaging/Bitmap.h"
#include "imaging/ImageFiles.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ui/QuvarApplication.h"
#include "video/AviWriter.h"
#include "video/PreciseTimer.h"
#include "video/ui/AviSettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString NoPreviewText =
    QStringLiteral("No camera picture: choose a camera in the Camera menu first.");

QToolButton* CommandButton(const QString& caption, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setMinimumHeight(30);
    return button;
}

// The classic driver's format dialog; the preview stops before it shows.
constexpr int VideoFormatDialog = 0;

// The dialogs that choose the capture format: the window takes the new size from them.
bool ChangesVideoFormat(int kind) {
    return kind == VideoFormatDialog || kind == VideoFormatSettingsDialog;
}

// The button's own state: its group is disabled while no preview runs, but the keys reach
// the commands all the same (and are then refused with a status text).
bool ButtonEnabled(const QWidget* button) {
    return !button->testAttribute(Qt::WA_ForceDisabled);
}

} // namespace

TCamViewMain::TCamViewMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("  Preview Window"));
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    resize(825, 680);
    setMinimumSize(800, 600);
    // Creation, in order: the counters, the program folder, the capture control, the
    // settings file. The device menu is filled each time the window is shown.
    AVIBusy = false;
    ImageExtention = 1;
    ProgramFolder = ::ProgramFolder();
    AVINr = 0;
    BuildLayout();
    BuildMenus();
    CreateRecording();
    CreateVideoCapture();
    GraphConfig.Reset();
    LoadCamViewSettings(*this, ProgramFolder);
    PlaceLeftPanel();
    FitToPreviewWindow->setChecked(TCamViewFields::FitToPreviewWindow);
    CurrentDevice.clear(); // the window starts without a camera until the user picks one
    CreateServerSocket();
    savedScrollState_ = {};
    qApp->installEventFilter(this); // key preview: F1 to F3 whichever control has the focus
}

TCamViewMain::~TCamViewMain() {
    qApp->removeEventFilter(this);
    FreeRecording();
    FreeVideoCapture();
}

void TCamViewMain::BuildLayout() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    LeftPanel = new QWidget(central);
    LeftPanel->setFixedWidth(150);
    auto* column = new QVBoxLayout(LeftPanel);
    column->setContentsMargins(4, 4, 4, 4);

    ShowMeasurement = new QPushButton(QStringLiteral("Show Measurement Window"), LeftPanel);
    QFont bold = ShowMeasurement->font();
    bold.setBold(true);
    // The column is narrow and the caption long: the bold font shrinks until it fits.
    const int room = 150 - 2 * 4 - 12;
    while (QFontMetrics(bold).horizontalAdvance(ShowMeasurement->text()) > room &&
           bold.pointSizeF() > 6)
        bold.setPointSizeF(bold.pointSizeF() - 0.5);
    ShowMeasurement->setFont(bold);
    column->addWidget(ShowMeasurement);

    FrameCapture = new QGroupBox(QStringLiteral("Capture"), LeftPanel);
    FrameCapture->setEnabled(false);
    auto* capture = new QVBoxLayout(FrameCapture);
    Snapshot = CommandButton(QStringLiteral("Snapshot (F1)"), FrameCapture);
    ToClipboard = CommandButton(QStringLiteral("To Clipboard (F2)"), FrameCapture);
    ToMeasurement = CommandButton(QStringLiteral("Measure (F3)"), FrameCapture);
    FitToPreviewWindow = new QCheckBox(QStringLiteral("Fit to Window"), FrameCapture);
    CBNoiseReduction = new QCheckBox(QStringLiteral("Noise Reduction "), FrameCapture);
    Label3 = new QLabel(QStringLiteral("Nr of frames"), FrameCapture);
    NrBox = new QComboBox(FrameCapture);
    NrBox->setEditable(true);
    NrBox->addItems({"2", "3", "4", "6", "8", "16", "32", "64"});
    NrBox->setCurrentText(QStringLiteral("4"));
    Counter = new QLabel(QStringLiteral("0"), FrameCapture);
    QFont big = Counter->font();
    big.setBold(true);
    big.setPixelSize(24);
    Counter->setFont(big);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Snapshot, ToClipboard, ToMeasurement, FitToPreviewWindow,
                                         CBNoiseReduction, Label3, NrBox, Counter})
        capture->addWidget(w);
    column->addWidget(FrameCapture);

    AVIBox = new QGroupBox(QStringLiteral("AVI and Frame Capture"), LeftPanel);
    auto* avi = new QVBoxLayout(AVIBox);
    AVIStartStop = new QPushButton(QStringLiteral("Start"), AVIBox);
    avi->addWidget(AVIStartStop);
    column->addWidget(AVIBox);
    column->addStretch(1);

    VidCapBox = new QScrollArea(central);
    VidCapBox->setWidgetResizable(false);
    VidCapBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    VidCapBox->installEventFilter(this);
    row->addWidget(LeftPanel);
    row->addWidget(VidCapBox, 1);
    mainArea_ = central;
    setCentralWidget(central);

    StatusPanel0 = new QLabel(this);
    StatusPanel0->setFixedWidth(150);
    StatusPanel0->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setMinimumWidth(400);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);

    HWTimer = new QTimer(this);
    HWTimer->setInterval(50);
    Delay = new QTimer(this);
    Delay->setInterval(50);

    Label3->setVisible(false);
    NrBox->setVisible(false);
    Counter->setVisible(false);

    connect(ShowMeasurement, &QPushButton::clicked, this, [this] { ShowMeasurementClick(); });
    connect(Snapshot, &QToolButton::clicked, this, [this] { SnapshotClick(); });
    connect(ToClipboard, &QToolButton::clicked, this, [this] { ToClipboardClick(); });
    connect(ToMeasurement, &QToolButton::clicked, this, [this] { ToMeasurementClick(); });
    connect(FitToPreviewWindow, &QCheckBox::toggled, this, [this] { FitToPreviewWindowClick(); });
    connect(CBNoiseReduction, &QCheckBox::toggled, this, [this] { CBNoiseReductionClick(); });
    connect(NrBox->lineEdit(), &QLineEdit::editingFinished, this, [this] { NrBoxEdited(); });
    connect(NrBox, &QComboBox::activated, this, [this] { NrBoxEdited(); });
}

void TCamViewMain::BuildMenus() {
    SelectVideoDevice = menuBar()->addMenu(QStringLiteral("&Camera"));
    DeviceOptions = menuBar()->addMenu(QStringLiteral("Camera &Options"));
    Options = menuBar()->addAction(QStringLiteral("&Settings"));
    Preview1 = menuBar()->addMenu(QStringLiteral("&WindowSize"));
    MaximizePreview = Preview1->addAction(QStringLiteral("Maximize"));
    connect(Options, &QAction::triggered, this, [this] { OptionsClick(); });
    connect(MaximizePreview, &QAction::triggered, this, [this] { MaximizePreviewClick(); });
}

void TCamViewMain::PlaceLeftPanel() {
    auto* row = static_cast<QHBoxLayout*>(mainArea_->layout());
    row->removeWidget(LeftPanel);
    row->insertWidget(ShowPanelRight ? 1 : 0, LeftPanel);
}

TVideoCapture& TCamViewMain::VideoCapture() const {
    return videoCapture_->Capture();
}

void TCamViewMain::CreateVideoCapture() {
    videoCapture_ = new TVideoCaptureView;
    videoCapture_->setGeometry(1, 1, 640, 480);
    TVideoCapture& capture = videoCapture_->Capture();
    capture.SetDVResolution(TDVResolution::dvrDontWorry);
    capture.WantBitmaps = true;
    capture.BitmapPixelFormat = TPixelFormat::pf24bit;
    capture.WantAudio = false;
    capture.WantDVAudio = false;
    capture.WantAudioPreview = false;
    capture.WantPreview = true;
    capture.WantCapture = true;
    capture.UseFrameRate = true;
    capture.SetFrameRate(10);
    capture.CaptureFileName = ProgramFolder + QStringLiteral("capture.avi");
    capture.UseTempFile = false;
    capture.UseTimeLimit = true;
    capture.TimeLimit = 30;
    capture.DoPreallocFile = false;
    capture.PreallocFileSize = 1;
    capture.OnAborted = [this](TVideoCapture&) { capAborted(); };
    capture.OnDeviceLost = [this](TVideoCapture&) { capDeviceLost(); };
    capture.OnChangeDevice = [this](TVideoCapture&) { capChangeDevice(); };
    videoCapture_->PreviewStopped = [this](TVideoCapture&) { capStopPreview(); };
    capture.OnStartPreview = [this](TVideoCapture&) { capStartPreview(); };
    capture.OnBitmapGrabbed = [this](const TCapturedBitmap& bitmap) { capBitmapGrabbed(bitmap); };
    videoCapture_->FrameRendered = [this](TVideoCapture&) { capFrameRendered(); };
    capture.ShowSourceSettingsDialog = [this](const QString& devicePath) {
        ShowVideoSourceSettings(this, devicePath);
    };
    capture.ShowFormatSettingsDialog = [this](const std::vector<TVideoFormatInfo>& capabilities,
                                              int current) -> std::optional<int> {
        TVideoFormatDialog dialog(capabilities, current, VideoCapture().FrameRate(), this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        if (dialog.ChosenFrameRate() > 0)
            VideoCapture().SetFrameRate(dialog.ChosenFrameRate());
        return dialog.ChosenCapability();
    };
    videoCapture_->SetColor(QColor(0, 0, 255));
    VidCapBox->setWidget(videoCapture_);
}

void TCamViewMain::FreeVideoCapture() {
    if (!videoCapture_)
        return;
    // Freed while its own events may still be on the stack: no handler of ours afterwards.
    TVideoCapture& capture = videoCapture_->Capture();
    capture.OnStopPreview = nullptr;
    capture.OnStartPreview = nullptr;
    capture.OnChangeDevice = nullptr;
    capture.OnDeviceLost = nullptr;
    capture.OnBitmapGrabbed = nullptr;
    capture.OnFrameRendered = nullptr;
    capture.StopPreview();
    capture.StopCapture();
    delete VidCapBox->takeWidget();
    videoCapture_ = nullptr;
}

void TCamViewMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TCamViewMain::FormShow() {
    SetDeviceList();
    if (captureTaker_)
        SnapshotFolder = captureTaker_->CapturePhotoFolder();
    Snapshot->setToolTip(QStringLiteral("Snapshot to:\n\r") + SnapshotFolder);
}

void TCamViewMain::SetDeviceList() {
    SelectVideoDevice->clear();
    for (const QString& name : GetVideoDeviceNames()) {
        QAction* item = SelectVideoDevice->addAction(name);
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, item] { SelectDeviceClick(item); });
    }
    QAction* disconnect = SelectVideoDevice->addAction(QStringLiteral("Disconnect Camera"));
    connect(disconnect, &QAction::triggered, this, [this] { DisconnectDeviceClick(); });
}

void TCamViewMain::SelectDeviceClick(QAction* item) {
    for (QAction* action : SelectVideoDevice->actions())
        action->setChecked(false);
    const QString name = item->text();
    VideoCapture().EnumerateDevices();
    VideoCapture().StopPreview();
    VideoCapture().StopCapture();
    capChangeDevice();
    FreeVideoCapture();
    CreateVideoCapture();
    try {
        VideoCapture().ReadConfig(&GraphConfig);
        GraphConfig.AudioDevice.clear();
        GraphConfig.VideoDevice = name;
        item->setChecked(true);
        VideoCapture().ApplyConfig(&GraphConfig);
        CurrentDevice = GraphConfig.VideoDevice;
        if (UseDeviceName)
            Prefix = CurrentDevice;
        ReadDeviceFile(*this, ProgramFolder, CurrentDevice);
        FitToPreviewWindow->setChecked(TCamViewFields::FitToPreviewWindow);
        DelayTimer();
        SetVidCapSize();
    } catch (const std::exception&) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Can't init capture!"),
                             MessageIcon::Error);
    }
}

void TCamViewMain::DisconnectDeviceClick() {
    VideoCapture().StopPreview();
    VideoCapture().StopCapture();
    capChangeDevice();
    FreeVideoCapture();
    CreateVideoCapture();
    CurrentDevice.clear();
    SetDeviceList();
}

void TCamViewMain::DelayTimer() {
    Delay->stop();
    if (CurrentDevice.isEmpty())
        return;
    RebuildGraph();
    FitToPreviewWindowClick();
}

void TCamViewMain::RebuildGraph() {
    VideoCapture().StopPreview();
    VideoCapture().ReadConfig(&GraphConfig);
    GraphConfig.VideoDevice = CurrentDevice;
    GraphConfig.VideoFormat.Width = VideoWidth;
    GraphConfig.VideoFormat.Height = VideoHeight;
    VideoCapture().ApplyConfig(&GraphConfig);
    VideoCapture().StartPreview();
}

void TCamViewMain::capChangeDevice() {
    // Without a running preview the dialogs of the camera before would do nothing: with no
    // camera the menu is empty.
    DeviceOptions->clear();
    DeviceDialogList.clear();
    if (!videoCapture_ || !VideoCapture().Previewing())
        return;
    const quint16 available = VideoCapture().AvailableDialogs();
    for (int kind = 0; kind < DeviceDialogCount; ++kind) {
        if (!(available & (1u << kind)))
            continue;
        QString name = DeviceDialogName(kind);
        DeviceDialogList.emplace_back(name, kind);
        if (name == QLatin1String("Video Capture Filter"))
            name = QStringLiteral("Video Source Settings");
        else if (name == QLatin1String("Video Capture Pin"))
            name = QStringLiteral("Video Format Settings");
        QAction* item = DeviceOptions->addAction(name);
        item->setData(kind);
        connect(item, &QAction::triggered, this, [this, item] { VSClick(item); });
    }
}

void TCamViewMain::VSClick(QAction* item) {
    if (!videoCapture_)
        return;
    const int kind = item->data().toInt();
    if (!ChangesVideoFormat(kind)) {
        VideoCapture().ShowDeviceDialog(kind);
        return;
    }
    // A format dialog, wherever the menu lists it: the window takes the new size over, so
    // rebuilds, the device file and noise reduction follow it.
    if (kind == VideoFormatDialog)
        VideoCapture().StopPreview();
    VideoCapture().ShowDeviceDialog(kind);
    VideoCapture().StartPreview();
    SetVidCapSize();
    const TVideoFormatInfo format = VideoCapture().GetVideoFormat();
    VideoWidth = format.Width;
    VideoHeight = format.Height;
}

void TCamViewMain::SetVidCapSize() {
    if (!videoCapture_)
        return;
    const TVideoFormatInfo format = VideoCapture().GetVideoFormat();
    if (!FitToPreviewWindow->isChecked()) {
        videoCapture_->setGeometry(0, 0, format.Width, format.Height);
        return;
    }
    const QSize fitted = FitVideoSize(format.Width, format.Height, VidCapBox->size());
    videoCapture_->setGeometry(0, 0, fitted.width(), fitted.height());
}

void TCamViewMain::FitToPreviewWindowClick() {
    TCamViewFields::FitToPreviewWindow = FitToPreviewWindow->isChecked();
    QScrollBar* horizontal = VidCapBox->horizontalScrollBar();
    QScrollBar* vertical = VidCapBox->verticalScrollBar();
    if (FitToPreviewWindow->isChecked()) {
        savedScrollState_ = {horizontal->value(), vertical->value(), horizontal->maximum(),
                             vertical->maximum()};
        VidCapBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        VidCapBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        SetVidCapSize();
    } else {
        VidCapBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        VidCapBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        SetVidCapSize(); // the video at its own size; the box scrolls
        horizontal->setValue(savedScrollState_[0]);
        vertical->setValue(savedScrollState_[1]);
    }
}

void TCamViewMain::VidCapBoxResize() {
    if (FitToPreviewWindow->isChecked())
        SetVidCapSize();
}

bool TCamViewMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == VidCapBox && event->type() == QEvent::Resize)
        VidCapBoxResize();
    if (event->type() == QEvent::KeyRelease && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            const int k = key->key();
            if (k == Qt::Key_F1 || k == Qt::Key_F2 || k == Qt::Key_F3) {
                // One command per release, whichever control had the focus.
                QuvarApplication::RunGuarded([this, k] {
                    if (k == Qt::Key_F1)
                        SnapshotClick();
                    else if (k == Qt::Key_F2)
                        ToClipboardClick();
                    else
                        ToMeasurementClick();
                    return true;
                });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TCamViewMain::MaximizePreviewClick() {
    if (!videoCapture_ || !VideoCapture().Previewing())
        return;
    if (MaximizePreview->text() == QLatin1String("Maximize")) {
        MaximizePreview->setText(QStringLiteral("Restore Size"));
        LeftPanel->setFixedWidth(0);
        statusBar()->hide();
        // The client area's bounds, set back as they were: the frame's offset is not known
        // exactly while the window leaves the maximised state, and a frame position saved
        // and restored through it moved the window by a pixel per cycle.
        const QRect bounds = geometry();
        savedPreviewBounds_ = {bounds.width(), bounds.height(), bounds.x(), bounds.y()};
        showMaximized();
    } else {
        MaximizePreview->setText(QStringLiteral("Maximize"));
        LeftPanel->setFixedWidth(150);
        statusBar()->show();
        showNormal();
        setGeometry(savedPreviewBounds_[2], savedPreviewBounds_[3], savedPreviewBounds_[0],
                    savedPreviewBounds_[1]);
    }
    if (!CurrentDevice.isEmpty())
        RebuildGraph();
}

quint64 TCamViewMain::CaptureFrame() {
    const quint64 request = framesArrived_;
    VideoCapture().GrabFrame();
    return request;
}

bool TCamViewMain::GetCapturedFrame(quint64 request, QImage& bitmap) {
    QElapsedTimer waited;
    waited.start();
    // Sleeps until an event comes (the frame is one) rather than spinning; the timer wakes
    // the loop to check the bound when nothing else does.
    QTimer wake;
    wake.start(50);
    while (framesArrived_ <= request) {
        if (waited.elapsed() > FrameWaitBoundMs) {
            Display(QStringLiteral("No frame came from the camera within %1 seconds.")
                        .arg(FrameWaitBoundMs / 1000));
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    std::lock_guard guard(FrameLock);
    // Shared, not copied: the last frame is replaced, never written in place, and a fresh
    // frame-sized copy costs more in page faults than the copying itself.
    bitmap = LastGrabbedFrame;
    return true;
}

void TCamViewMain::capBitmapGrabbed(const TCapturedBitmap& bitmap) {
    // While a frame-file recording runs, this frame is the recording's as well: every
    // waiting command shares it rather than waiting for one that nobody requests.
    {
        std::lock_guard guard(FrameLock);
        LastGrabbedFrame = ToBitmap24(bitmap); // the camera never overwrites a kept frame
    }
    ++framesArrived_;
    SaveRecordingFrame(LastGrabbedFrame);
}

void TCamViewMain::capStartPreview() {
    FrameCapture->setEnabled(true);
}

void TCamViewMain::capStopPreview() {
    FrameCapture->setEnabled(false);
}

void TCamViewMain::capAborted() {
    AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Capture aborted"),
                         MessageIcon::Warning);
}

void TCamViewMain::capDeviceLost() {
    AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Capture device lost"),
                         MessageIcon::Warning);
}

bool TCamViewMain::PreviewRunning() {
    if (videoCapture_ && VideoCapture().Previewing())
        return true;
    Display(NoPreviewText);
    return false;
}

bool TCamViewMain::TakeFrame(QImage& frame) {
    if (CBNoiseReduction->isChecked())
        return StackIt(frame);
    return GetCapturedFrame(CaptureFrame(), frame);
}

void TCamViewMain::NrBoxEdited() {
    if (const auto count = ParseStackFrameCount(NrBox->currentText())) {
        StackFrames = *count;
        return;
    }
    const QString typed = NrBox->currentText();
    NrBox->setCurrentText(QString::number(StackFrames));
    // A count beyond what the sums hold is a positive whole number all the same.
    const QString digits = typed.trimmed();
    const bool tooMany =
        !digits.isEmpty() && digits.count(QLatin1Char('0')) < digits.size() &&
        std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    AppPrompts().Message(
        QStringLiteral("QUVAR"),
        tooMany ? QStringLiteral("At most %1 frames can be averaged.").arg(MaxStackFrames)
                : QStringLiteral("\"%1\" is not a positive whole number of frames.").arg(typed),
        MessageIcon::Warning);
}

bool TCamViewMain::StackIt(QImage& bitmap) {
    NrBoxEdited(); // a count typed without leaving the box counts as well
    TFrameStack stack;
    stack.Reset(VideoWidth, VideoHeight);
    const int n = StackFrames;
    for (int i = 1; i <= n; ++i) {
        Counter->setText(QString::number(n - i));
        QCoreApplication::processEvents();
        QImage frame;
        if (!GetCapturedFrame(CaptureFrame(), frame))
            return false;
        stack.Add(frame);
    }
    bitmap = stack.Average();
    return true;
}

void TCamViewMain::CBNoiseReductionClick() {
    const bool on = CBNoiseReduction->isChecked();
    NrBox->setVisible(on);
    Label3->setVisible(on);
    Counter->setVisible(on);
}

void TCamViewMain::ShutterClick() {
    if (!PlaySoundFile(ProgramFolder + QStringLiteral("Camera_Shutter.wav")))
        QApplication::beep();
}

QString TCamViewMain::GetImageExtension() const {
    return ::GetImageExtension(ImageExtention);
}

QString TCamViewMain::MakeSnapshotFileName() const {
    SnapshotNaming naming;
    naming.PhotoFolder = captureTaker_ ? captureTaker_->CapturePhotoFolder() : SnapshotFolder;
    naming.CaptureNr = CaptureNr;
    naming.Prefix = Prefix;
    naming.NameBoxIndex = NameBoxIndex;
    naming.ImageExtention = ImageExtention;
    naming.SampleDate = captureTaker_ ? captureTaker_->CaptureSampleDate() : QDate::currentDate();
    naming.Now = QTime::currentTime();
    return ::MakeSnapshotFileName(naming);
}

void TCamViewMain::SnapshotClick() {
    const bool remote = TakeRemoteRequest(); // asked for over TCP: the path is the reply
    if (!ButtonEnabled(Snapshot) || !PreviewRunning())
        return;
    const QString folder = captureTaker_ ? captureTaker_->CapturePhotoFolder() : SnapshotFolder;
    if (folder.trimmed().isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("No photo folder is set: choose one in the "
                                            "Preferences of the main window."),
                             MessageIcon::Warning);
        return;
    }
    QImage frame;
    if (!TakeFrame(frame))
        return;
    if (SoundEnabled)
        ShutterClick();
    const QString path = MakeSnapshotFileName();
    StatusPanel1->setText(path); // the bare path: Display's leading blank is the recording's
    bool write = true;
    if (QFile::exists(path))
        write = AppPrompts().Ask(QStringLiteral("Confirm"),
                                 QStringLiteral("The file ") + path +
                                     QStringLiteral(" exists.\r\nDo you want to overwrite "
                                                    "this file?"),
                                 AskButtons::YesNo) == Answer::Yes;
    // The counter advances also when the old file is kept.
    const int next = NextCaptureNr(CaptureNr);
    if (write)
        SaveImagePlain(frame, path);
    CaptureNr = next;
    if (remote)
        SendRemoteReply(path); // also when the old file was kept
}

void TCamViewMain::ToClipboardClick() {
    if (!ButtonEnabled(ToClipboard) || !PreviewRunning())
        return;
    QImage frame;
    if (!TakeFrame(frame))
        return;
    QApplication::clipboard()->setImage(frame);
    if (SoundEnabled)
        ShutterClick();
}

void TCamViewMain::ToMeasurementClick() {
    if (!ButtonEnabled(ToMeasurement) || !PreviewRunning())
        return;
    QImage frame;
    if (!TakeFrame(frame))
        return;
    if (!captureTaker_)
        return;
    captureTaker_->HoldFrame(frame);
    if (SoundEnabled)
        ShutterClick();
    QCoreApplication::processEvents();
    QString failure;
    QString written = QStringLiteral("FromCamera.jpg");
    try {
        const QString path = QDir(captureTaker_->CaptureWatchFolder()).filePath(written);
        // A link of that name came from outside: the frame goes into a file of its own,
        // never into the file the link points to.
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
        SaveImagePlain(frame, path);
    } catch (const std::exception& error) {
        failure = QString::fromStdString(error.what());
        written.clear(); // whatever stands under that name is not this frame
    }
    QCoreApplication::processEvents();
    frame = QImage();
    captureTaker_->LoadFrame(written); // also after a failed write: the frame is held
    if (!failure.isEmpty())
        throw QuvarError(failure);
}

void TCamViewMain::OptionsClick() {
    TOptionsDlg dialog(this);
    dialog.exec();
    SaveCamViewSettings(*this, ProgramFolder); // after Cancel as well
}

void TCamViewMain::ShowMeasurementClick() {
    // AVIBusy is left alone: it is cleared when an assembly ends, however it ends, and
    // clearing it here mid-assembly would let a second recording start on the same writer.
    if (!captureTaker_)
        return;
    captureTaker_->ShowInPlaceOf(*this);
    hide();
}

void TCamViewMain::closeEvent(QCloseEvent* event) {
    // From the title bar: the settings file first.
    if (event->spontaneous())
        QuvarApplication::RunGuarded([this] {
            SaveCamViewSettings(*this, ProgramFolder);
            return true;
        });
    // A recording ends with its file finished, whoever closes the window.
    QuvarApplication::RunGuarded([this] {
        StopRecording();
        return true;
    });
    if (videoCapture_) {
        VideoCapture().StopPreview();
        VideoCapture().StopCapture();
    }
    CloseComPort();
    hide();
    ShowMeasurementClick();
    event->accept(); // the window is only hidden
}

void TCamViewMain::Display(const QString& text) {
    StatusPanel1->setText(QStringLiteral(" ") + text);
}

void TCamViewMain::SaveSettings() {
    SaveCamViewSettings(*this, ProgramFolder);
}
