// The measuring window's side of camera captures: the DSLR mode with its folder monitor,
// taking over a frame or an arrived file, and reopening earlier captures.

#include "MainWindow.h"
#include "capture/CaptureHandOff.h"
#include "capture/FolderMon.h"
#include "capture/ui/CamViewMain.h"
#include "imaging/ImageFiles.h"
#include "measure/ImageCalibrationState.h"
#include "measure/ImageFileCommands.h"
#include "measure/McSystemAccess.h"
#include "measure/WorkImageRebuild.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/ui/QuvarApplication.h"
#include "settings/SettingsUtilities.h"
#include "settings/ui/PreferencesDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {

const QString UnprocessedFolderName = QStringLiteral("Unprocessed");

void SetIndicator(QFrame* indicator, const QColor& colour) {
    QPalette palette = indicator->palette();
    palette.setColor(QPalette::Window, colour);
    indicator->setPalette(palette);
    indicator->setAutoFillBackground(true);
}

} // namespace

QString TMain::UnprocessedFolder() const {
    return QDir(PhotoFolder).filePath(UnprocessedFolderName);
}

void TMain::CreateFolderMonitor() {
    FolderMonitor = std::make_unique<TFolderMon>();
    FolderMonitor->OnActivated = [this](TFolderMon*) { ShowDSLRActivity(); };
    FolderMonitor->OnDeactivated = [this](TFolderMon*) { ClearDSLRActivity(); };
    FolderMonitor->OnFolderChange = [this](TFolderMon*, const TFolderItemInfo& info) {
        OnWatchFolderChange(info);
    };
}

void TMain::StopFolderMonitor() {
    if (FolderMonitor)
        FolderMonitor->Deactivate();
}

void TMain::ShowDSLRActivity() {
    SetIndicator(SDLRIndicator, QColor(0, 128, 0));
}

void TMain::ClearDSLRActivity() {
    SetIndicator(SDLRIndicator, palette().color(QPalette::Button));
}

void TMain::UpdateDSLRMode() {
    if (UseDSLR) {
        StopFolderMonitor();
        Preview->setText(QStringLiteral("Preview"));
        Preview->setLayoutDirection(Qt::LeftToRight);
        try {
            FolderMonitor->SetFolder(WatchFolder);
            FolderMonitor->SetEvents(FolderEventBit(FolderEventFileName));
            FolderMonitor->Activate();
        } catch (const std::exception& error) {
            QuvarApplication::ShowError(error);
        }
    } else {
        Preview->setText(QStringLiteral("Show\nPreview\nWindow"));
        // The glyph right of the caption.
        Preview->setLayoutDirection(Qt::RightToLeft);
        StopFolderMonitor();
    }
}

void TMain::OnWatchFolderChange(const TFolderItemInfo& info) {
    if (!IsArrivalAction(info.Action))
        return;
    if (takingCapture_) {
        // The capture being taken processes pending messages: this one comes after it.
        QTimer::singleShot(0, this, [this, info] { OnWatchFolderChange(info); });
        return;
    }
    QThread::msleep(40);
    if (!IsCaptureFileName(info.FileName))
        return;
    if (TPrefDlg* preferences = PrefDlg.IfMade(); preferences && preferences->isVisible())
        preferences->OKBtn->click();
    // The file reported, closed by its writer: never another one beside it.
    const QString name = info.FileName;
    if (!IsArrivedCapture(QDir(WatchFolder).filePath(name)))
        return;
    // Read aside: a file that cannot be read leaves the image on display, which may hold
    // unsaved work, and its comment as they are.
    QImage image;
    QStringList comment;
    try {
        LoadImageWithComment(image, QDir(WatchFolder).filePath(name), comment);
    } catch (const std::exception&) {
        // Not readable (yet): the file stays for a later report or a manual open.
        return;
    }
    if (image.width() > 0) {
        OriginalImage = image;
        CommentLines = comment;
        // Shared, not copied: LoadFrame rebuilds the work image from the original.
        WorkImage = OriginalImage;
        LoadFrame(name);
    }
}

void TMain::HoldFrame(const QImage& frame) {
    setEnabled(true);
    OriginalImage = frame;
}

void TMain::ShowInPlaceOf(const QWidget& preview) {
    setEnabled(true);
    if (preview.isMaximized()) {
        showMaximized();
    } else {
        showNormal();
        setGeometry(preview.geometry());
    }
    show();
}

void TMain::LoadFrame(const QString& arrivedName) {
    takingCapture_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{takingCapture_};

    CommentLines.clear();
    CommentMemo->clear();
    CurrentFileName.clear();
    SetMCLabelWarning(false);
    SampleDate = NewSampleDate;
    CurrentMCSystem = DefaultMCSystem;
    ShowObjectivePanel(CurrentMCSystem);
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    Display(MakeAutoFileName(0));
    ImageState = ImageFreshCapture;
    FillSystemComment(*this, PhotoLocation, PhotoCoordinates);
    CommentMemo->setPlainText(SystemCommentLines.join('\n'));
    const TMCsystem* system = CurrentSystem(*this);
    const int captureWidth = system ? system->CaptureWidth : 0;
    const QString systemName = system ? system->Name : QString();
    SetMCLabelWarning(CaptureWidthWarning(captureWidth, OriginalImage.width(), systemName));
    CaptureWidthRatio = CaptureWidthRatioOf(captureWidth, OriginalImage.width());
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    FormUpdate(RebuildNewImage);
    if (isMinimized())
        showNormal();
    if (isHidden())
        show();
    QCoreApplication::processEvents();

    if (arrivedName.isEmpty())
        return;
    const QString name = arrivedName;
    const QString source = QDir(WatchFolder).filePath(name);
    if (!SaveGrabbedFrames) {
        QFile::remove(source);
        return;
    }
    QString label;
    if (system)
        label =
            system->Objectives[size_t(std::clamp(system->CurrentObjective, 0, MaxObjectives - 1))]
                .ObjStr;
    LastCapturedName = CapturedFileName(QDateTime::currentDateTime(), systemName, label, name);
    FillMCSystemComment(*this);
    AssembleCommentLines(*this);
    const CaptureMove move = MoveCaptureInto(source, UnprocessedFolder(), LastCapturedName);
    if (move.Target.isEmpty()) {
        LastCapturedName.clear();
        AppPrompts().Message(QStringLiteral("QUVAR"), move.Error, MessageIcon::Error);
        return;
    }
    LastCapturedName = QFileInfo(move.Target).fileName();
    try {
        WriteCaptureComment(move.Target, OriginalImage, CommentLines);
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
}

void TMain::ShowLastImageClick() {
    if (!QFileInfo(UnprocessedFolder()).isDir()) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("The captured images from the camera are not "
                                            "saved\n\rChange the settings in Preferences"),
                             MessageIcon::None);
        return;
    }
    if (LastCapturedName.isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("Last captured image is not available"),
                             MessageIcon::None);
        return;
    }
    OpenCapturedFile(QDir(UnprocessedFolder()).filePath(LastCapturedName));
}

void TMain::OpenCapturedFile(const QString& path) {
    // Read aside: a file that is gone or unreadable leaves the image on display as it is.
    QImage image;
    QStringList comment;
    try {
        LoadImageWithComment(image, path, comment);
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
        return;
    }
    if (image.isNull()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Image not found"),
                             MessageIcon::None);
        return;
    }
    OriginalImage = image;
    CommentLines = comment;
    OpenCapturedImage();
}

void TMain::SearchUnprocessedClick() {
    if (!QFileInfo(UnprocessedFolder()).isDir()) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("The captured images from the camera are not "
                                            "saved.\n\rChange the settings in Preferences"),
                             MessageIcon::None);
        return;
    }
    FileDialogRequest request;
    request.caption = QStringLiteral("Open");
    request.folder = UnprocessedFolder();
    request.fileName = QStringLiteral("*");
    request.filters = GrabbedImageDialogFilters();
    request.imagePreview = true;
    const auto chosen = AppPrompts().OpenFile(request);
    if (!chosen || chosen->path.isEmpty())
        return;
    OpenCapturedFile(chosen->path);
}

void TMain::OpenCapturedImage() {
    if (OriginalImage.isNull()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Image not found"),
                             MessageIcon::None);
        return;
    }
    SampleDate = NewSampleDate;
    WorkImage = OriginalImage; // shared until the rebuild below replaces it
    CurrentMCSystem = DefaultMCSystem;
    ShowObjectivePanel(CurrentMCSystem);
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    if (!CommentLines.isEmpty() && CommentLines.front().contains(QStringLiteral("Comment")))
        ParseImageComment(*this, *this);
    ImageState = ImageFreshCapture;
    ShowAsFreshCapture();
}

void TMain::ShowAsFreshCapture() {
    CurrentFileName = MakeAutoFileName(0);
    Display(CurrentFileName);
    const TMCsystem* system = CurrentSystem(*this);
    CaptureWidthRatio =
        CaptureWidthRatioOf(system ? system->CaptureWidth : 0, OriginalImage.width());
    FillSystemComment(*this, PhotoLocation, PhotoCoordinates);
    FormUpdate(RebuildNewImage);
}

void TMain::AsFromDeviceClick() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Open");
    request.folder = UnprocessedFolder();
    request.fileName = QStringLiteral("*");
    request.defaultSuffix = QStringLiteral("*.*");
    const auto chosen = AppPrompts().OpenFile(request);
    if (!chosen || chosen->path.isEmpty())
        return;
    QImage image;
    QStringList discarded; // the image is taken as never commented; the file stays as it is
    try {
        LoadImageWithComment(image, chosen->path, discarded);
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
        return;
    }
    if (image.isNull())
        return;
    OriginalImage = image;
    const TMCsystem* current = CurrentSystem(*this);
    if (!current || image.width() != current->CaptureWidth) {
        const bool isDefault = DefaultMCSystem >= 0 && DefaultMCSystem < MaxMCSystems &&
                               image.width() == MCSystems[DefaultMCSystem].CaptureWidth;
        if (isDefault)
            CurrentMCSystem = DefaultMCSystem;
        else
            RenderPanel(MakeSimpleSystem(*this));
    }
    ImageState = ImageFreshCapture;
    ShowObjectivePanel(CurrentMCSystem);
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    ShowAsFreshCapture();
}

void TMain::EmptyWatchFolderAndMinimise() {
    const WatchFolderPurge purge = EmptyWatchFolder(WatchFolder, PhotoFolder, ProgramFolder);
    if (!purge.Refusal.isEmpty())
        AppPrompts().Message(QStringLiteral("QUVAR"), purge.Refusal, MessageIcon::Warning);
    showMinimized();
}
