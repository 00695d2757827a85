// The preview window's recording: the Start/Stop button, the ticks' hand-over to the GUI
// thread, frame files saved by the frame handler and the AVI assembled from them.

#include "CamViewMain.h"

#include "capture/VideoCapture.h"
#include "imaging/ImageFiles.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "platform/ui/QuvarApplication.h"
#include "video/AviWriter.h"
#include "video/FrameFileAssembly.h"
#include "video/OnTheFlyRecorder.h"
#include "video/PreciseTimer.h"
#include "video/RecordingPlan.h"
#include "video/ui/AviSettingsDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <mutex>
#include <stdexcept>

namespace {

const QString PreviewCaption = QStringLiteral("  Preview Window");

void Inform(const QString& text) {
    AppPrompts().Message(QStringLiteral("QUVAR"), text, MessageIcon::Information);
}

// The uncompressed writer warns from whichever thread writes the frame (the timer's, on
// the fly): the beep is posted to the GUI thread. Installed once, before any recording runs.
void InstallSizeWarningBeep() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!TCamViewMain::SizeWarningBeep)
            TCamViewMain::SizeWarningBeep = [] { QApplication::beep(); };
        TAVICreator::Beep = [] {
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app,
                    [] {
                        if (TCamViewMain::SizeWarningBeep)
                            TCamViewMain::SizeWarningBeep();
                    },
                    Qt::QueuedConnection);
        };
    });
}

} // namespace

void TCamViewMain::CreateRecording() {
    InstallSizeWarningBeep();
    AVIWriter = std::make_unique<TAviWriter_2>(this);
    AVITimer = std::make_unique<TPreciseTimer>();
    recorder_ = std::make_unique<TOnTheFlyRecorder>(*AVIWriter, *AVITimer);
    QFont bold = AVIStartStop->font();
    bold.setBold(true);
    AVIStartStop->setFont(bold);
    ShowRecordingCaption(false);
    connect(AVIStartStop, &QPushButton::clicked, this, [this] { AVIStartStopClick(); });
}

void TCamViewMain::FreeRecording() {
    // The ticks end before the writer and the frame they use go away; the file is finished.
    try {
        StopRecording();
    } catch (const std::exception& error) {
        qWarning("The recording could not be finished: %s", error.what());
    }
    recorder_.reset();
    AVITimer.reset();
    AVIWriter.reset();
}

bool TCamViewMain::Recording() const {
    return recorder_ && recorder_->Recording();
}

void TCamViewMain::ShowRecordingCaption(bool recording) {
    AVIStartStop->setText(recording ? QStringLiteral("Stop") : QStringLiteral("Start"));
    AVIStartStop->setStyleSheet(recording ? QStringLiteral("color: red")
                                          : QStringLiteral("color: green"));
}

TAVIDialog& TCamViewMain::RecordingDialog() {
    if (AVIDialog)
        return *AVIDialog;
    if (!ownAVIDialog_)
        ownAVIDialog_ = std::make_unique<TAVIDialog>(this);
    return *ownAVIDialog_;
}

void TCamViewMain::AVIStartStopClick() {
    // Stop always works while a recording runs, also when the camera has gone meanwhile.
    if (Recording()) {
        StopRecording();
        return;
    }
    const int width = videoCapture_ ? VideoCapture().GetVideoFormat().Width : 0;
    if (width < 640) {
        Inform(QStringLiteral("Cannot record video"));
        return;
    }
    if (AVIBusy) {
        Inform(QStringLiteral("Still working on the AVI. Wait a moment!"));
        return;
    }
    TAVIDialog& dialog = RecordingDialog();
    dialog.Fields = this;
    dialog.AVIWriter = AVIWriter.get();
    dialog.StartStopTag = 0;
    dialog.exec();
    if (dialog.StartStopTag == 0)
        return;
    StartRecording(dialog);
}

void TCamViewMain::StartRecording(TAVIDialog& dialog) {
    const TRecordingSettings& settings = *this;
    TRecordingPlan plan;
    try {
        plan = PlanRecording(settings);
    } catch (const std::invalid_argument& error) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QString::fromUtf8(error.what()),
                             MessageIcon::Warning);
        return;
    }

    // The writer takes the compressor the dialog shows, whatever was picked in it before a
    // Cancel, checked at the AVI size; its "No compressor for " error reaches the user
    // before anything has started.
    AVIWriter->SetWidth(dialog.AVIWidth);
    AVIWriter->SetHeight(dialog.AVIHeight);
    dialog.CompressorboxChange();

    // The frame folder is emptied: it must be a folder of its own, not a link elsewhere.
    const QString folder = QDir(AVIDir).filePath(QStringLiteral("temp"));
    const QFileInfo existing(folder);
    if (existing.isSymLink() || (existing.exists() && !existing.isDir())) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("%1 is not a folder of its own: the frames of a "
                                            "recording cannot be kept there.")
                                 .arg(QDir::toNativeSeparators(folder)),
                             MessageIcon::Error);
        return;
    }
    // Frames that a recording cut off by a crash left behind become its video before the
    // folder is emptied; when that fails they stay, and nothing starts.
    QStringList recovered;
    if (existing.isDir()) {
        try {
            recovered = RecoverUnfinishedRecordings(*AVIWriter, folder, AVIDir,
                                                    QSize(dialog.AVIWidth, dialog.AVIHeight),
                                                    plan.FrameTimeMs);
        } catch (const std::exception& error) {
            AppPrompts().Message(QStringLiteral("QUVAR"),
                                 ErrorMessage(error) +
                                     QStringLiteral("\nThe frames of the unfinished recording "
                                                    "stay in %1.")
                                         .arg(QDir::toNativeSeparators(folder)),
                                 MessageIcon::Error);
            return;
        }
    }
    DeleteFolderFiles(folder);
    QCoreApplication::processEvents();
    if (!QDir().mkpath(folder)) {
        AppPrompts().Message(
            QStringLiteral("QUVAR"),
            QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder)),
            MessageIcon::Error);
        return;
    }
    QCoreApplication::processEvents();
    Display(QString());
    StatusPanel0->clear();

    recordingPlan_ = plan;
    frameFolder_ = folder;
    recordingName_ = dialog.FileNameEdit->text();
    recordingFile_ = QDir(AVIDir).filePath(recordingName_);
    aviSize_ = QSize(dialog.AVIWidth, dialog.AVIHeight);
    QString shownText = QDir::toNativeSeparators(recordingFile_);
    if (!recovered.isEmpty()) {
        // By name only: they lie in the AVI folder, beside the recording shown first.
        QStringList shown;
        for (const QString& video : recovered)
            shown.append(QFileInfo(video).fileName());
        shownText += QStringLiteral("   (the frames of an unfinished recording were saved as %1)")
                         .arg(shown.join(QStringLiteral(", ")));
    }
    Display(shownText);
    AVITimer->SetTickCount(0);
    ShowRecordingCaption(true);

    TOnTheFlyRecorder::Hooks hooks = RecordingHooks();
    if (!dialog.OnTheFly) {
        // Until its AVI is assembled: a crash leaves the mark, and the next Start assembles.
        MarkRecordingUnfinished(folder, QFileInfo(recordingName_).completeBaseName());
        frameFileRecording_ = true; // from here every delivered frame becomes a file
        CaptureFrame();             // the first one is frame 000000
        recorder_->StartFrameFiles(plan, std::move(hooks));
        return;
    }
    QImage first;
    const bool arrived = GetCapturedFrame(CaptureFrame(), first);
    if (!arrived) {
        ShowRecordingCaption(false);
        return;
    }
    try {
        recorder_->Start(plan, aviSize_, recordingFile_, first, std::move(hooks));
    } catch (...) {
        ShowRecordingCaption(false);
        throw;
    }
}

TOnTheFlyRecorder::Hooks TCamViewMain::RecordingHooks() {
    // The hooks run on the timer thread: whatever touches the camera or a widget is posted
    // to the GUI thread, without waiting for it.
    TOnTheFlyRecorder::Hooks hooks;
    hooks.RequestFrame = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (videoCapture_)
                    CaptureFrame();
            },
            Qt::QueuedConnection);
    };
    hooks.LatestFrame = [this] {
        // The frame handler replaces the kept frame with a new image and never writes into
        // it, so sharing it (its reference count is atomic) is as safe as a copy, and free.
        std::lock_guard guard(FrameLock);
        return LastGrabbedFrame;
    };
    hooks.Ticked = [this](int tick) {
        QMetaObject::invokeMethod(
            this,
            [this, tick] {
                if (Recording())
                    setWindowTitle(QString::number(tick));
            },
            Qt::QueuedConnection);
    };
    hooks.StopDue = [this] { PostStopRecording({}); };
    hooks.Failed = [this](const QString& message) { PostStopRecording(message); };
    return hooks;
}

void TCamViewMain::PostStopRecording(const QString& failure) {
    QMetaObject::invokeMethod(
        this,
        [this, failure] {
            QuvarApplication::RunGuarded([this] {
                StopRecording();
                return true;
            });
            if (!failure.isEmpty())
                AppPrompts().Message(QStringLiteral("QUVAR"),
                                     QStringLiteral("The recording stopped: ") + failure,
                                     MessageIcon::Error);
        },
        Qt::QueuedConnection);
}

void TCamViewMain::StopRecording() {
    if (!Recording())
        return;
    const bool onTheFly = recorder_->OnTheFly();
    frameFileRecording_ = false; // the frame handler keeps no more files
    QString failure;
    try {
        recorder_->Stop(); // joins the ticks, then finishes the file on the fly
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    ShowRecordingCaption(false);
    setWindowTitle(PreviewCaption);
    if (!onTheFly)
        BuildAVIFromFrames(frameFolder_);
    if (!failure.isEmpty())
        throw QuvarError(failure);
}

void TCamViewMain::SaveRecordingFrame(const QImage& frame) {
    if (!frameFileRecording_)
        return;
    const QString path =
        QDir(frameFolder_).filePath(FrameFileName(recordingName_, AVITimer->TickCount()));
    try {
        SaveImagePlain(frame, path);
    } catch (const std::exception& error) {
        // A full disk: the frames so far still become the video. The capture control
        // swallows what its frame handler throws, so the user is told from here, after the
        // handler has returned.
        frameFileRecording_ = false;
        PostStopRecording(QString::fromUtf8(error.what()));
    }
}

void TCamViewMain::BuildAVIFromFrames(const QString& folder) {
    // However the assembly ends, a later recording is not blocked and the progress goes.
    AVIBusy = true;
    const auto done = qScopeGuard([this, folder] {
        AVIBusy = false;
        StatusPanel0->clear();
        // Assembled, or failed and reported: the next Start does not assemble it again.
        MarkRecordingFinished(folder, QFileInfo(recordingName_).completeBaseName());
    });
    const int64_t planned = recordingPlan_.PlannedFrames;
    const int frames = ::BuildAVIFromFrames(
        *AVIWriter, folder, aviSize_, recordingPlan_.FrameTimeMs, recordingFile_,
        [this, planned](int n) {
            StatusPanel0->setText(QStringLiteral("Creating...%1\\%2").arg(n).arg(planned));
            QCoreApplication::processEvents();
        });
    if (frames == 0)
        Display(QStringLiteral("No frame was recorded: no video was written."));
}
