#pragma once
// The preview window: the live camera picture, snapshots, averaged frames, the clipboard
// and the hand-over to the measuring window. The rules live in capture/Snapshots.h and
// capture/CamViewSettings.h; the window wires them to its controls.

#include "capture/CamViewFields.h"
#include "capture/GraphConfig.h"
#include "platform/ui/WindowOnFirstUse.h"
#include "video/OnTheFlyRecorder.h"
#include "video/RecordingPlan.h"

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolButton;
class TAVIDialog;
class TAviWriter_2;
class TPreciseTimer;
class TVideoCaptureView;
class TVideoCapture;
class TCapturedBitmap;
class TCommandServer;
class TCaptureTaker;

class TCamViewMain : public QMainWindow, public TCamViewFields {
public:
    explicit TCamViewMain(QWidget* parent = nullptr);
    ~TCamViewMain() override;

    // Every frame wait ends after this long.
    static constexpr int FrameWaitBoundMs = 5000;

    void FormShow();
    void SetDeviceList();
    void SelectDeviceClick(QAction* item);
    void DisconnectDeviceClick();
    void capChangeDevice();
    void VSClick(QAction* item);
    void DelayTimer();
    void SetVidCapSize();
    void FitToPreviewWindowClick();
    void VidCapBoxResize();
    void MaximizePreviewClick();
    // Arms the one-shot grab; the number of frames that had arrived before it.
    quint64 CaptureFrame();
    // Waits (the GUI live) for a frame after the request; false, with a status text, when
    // none comes within the bound.
    bool GetCapturedFrame(quint64 request, QImage& bitmap);
    void capBitmapGrabbed(const TCapturedBitmap& bitmap);
    void capStartPreview();
    void capStopPreview();
    void capAborted();
    void capDeviceLost();
    void capFrameRendered() {}
    void SnapshotClick();
    void ToClipboardClick();
    void ToMeasurementClick();
    // Averages the "Nr of frames" frames into bitmap; false when a frame did not come.
    bool StackIt(QImage& bitmap);
    void CBNoiseReductionClick();
    void ShutterClick();
    void OptionsClick();
    void ShowMeasurementClick();
    // The window that takes the captures; none: snapshots go to SnapshotFolder and the
    // measurement commands do nothing.
    void SetCaptureTaker(TCaptureTaker* taker) { captureTaker_ = taker; }
    TCaptureTaker* CaptureTaker() const { return captureTaker_; }
    void Display(const QString& text);
    QString MakeSnapshotFileName() const;
    QString GetImageExtension() const;
    void SaveSettings();
    // Remote triggers: the command server, listening on TCPIPPort while ServerRunning.
    // Restarted after the settings dialog's OK; throws the socket library's error when it
    // cannot listen.
    void RestartServer();
    TCommandServer* ServerSocket = nullptr;
    // Docks the command column left or right after ShowPanelRight.
    void PlaceLeftPanel();

    // Recording: "Start" opens the settings dialog and records; "Stop" finishes the file.
    void AVIStartStopClick();
    // The stop steps: ends the ticks and finishes the file with the frames so far (from
    // frame files: assembles it). Nothing when no recording runs.
    void StopRecording();
    bool Recording() const;
    // Assembles the recording's AVI from the frame files of folder.
    void BuildAVIFromFrames(const QString& folder);
    std::unique_ptr<TAviWriter_2> AVIWriter;
    std::unique_ptr<TPreciseTimer> AVITimer;
    // The warning that an uncompressed recording nears the end of its format: the writer's
    // thread posts it to the GUI thread for every frame written from 2,000,000,000 bytes on.
    // The system beep; tests count it instead.
    static inline std::function<void()> SizeWarningBeep;

    TVideoCapture& VideoCapture() const;
    TVideoCaptureView* VideoCaptureView() const { return videoCapture_; }
    TGraphConfig GraphConfig;
    QString ProgramFolder;
    QString SnapshotFolder;
    bool AVIBusy = false;
    // The counter of NrBox's last accepted value.
    int StackFrames = 4;

    // The last frame delivered; FrameLock guards it against the recording thread.
    QImage LastGrabbedFrame;
    std::mutex FrameLock;

    // Components, by their names.
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QWidget* LeftPanel;
    QPushButton* ShowMeasurement;
    QGroupBox* FrameCapture;
    QToolButton* Snapshot;
    QToolButton* ToClipboard;
    QToolButton* ToMeasurement;
    QCheckBox* FitToPreviewWindow;
    QCheckBox* CBNoiseReduction;
    QLabel* Label3;
    QComboBox* NrBox;
    QLabel* Counter;
    QGroupBox* AVIBox;
    QPushButton* AVIStartStop;
    QScrollArea* VidCapBox;
    QMenu* SelectVideoDevice;
    QMenu* DeviceOptions;
    QAction* Options;
    QMenu* Preview1;
    QAction* MaximizePreview;
    QTimer* HWTimer;
    QTimer* Delay;
    // The device dialogs offered in "Camera &Options": name and kind.
    std::vector<std::pair<QString, int>> DeviceDialogList;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateVideoCapture();
    void FreeVideoCapture();
    void BuildLayout();
    void BuildMenus();
    // Refuses a frame command while no preview runs (with a status text).
    bool PreviewRunning();
    // One frame, or the average of several with noise reduction on.
    bool TakeFrame(QImage& frame);
    void NrBoxEdited();
    void RebuildGraph();
    // The server at creation: a port that cannot listen is reported in the status bar.
    void CreateServerSocket();
    // A snapshot asked for over TCP takes the request at its start and sends its path.
    bool TakeRemoteRequest();
    void SendRemoteReply(const QString& path);
    void CreateRecording();
    void FreeRecording();
    void ShowRecordingCaption(bool recording);
    TAVIDialog& RecordingDialog();
    void StartRecording(TAVIDialog& dialog);
    TOnTheFlyRecorder::Hooks RecordingHooks();
    // Stops the recording from the GUI thread's loop, after the caller has returned (a tick
    // thread, or the camera's frame handler, which swallows what it throws); a failure is
    // shown as "The recording stopped: <failure>".
    void PostStopRecording(const QString& failure);
    // During a frame-file recording, saves the delivered frame under the tick's name.
    void SaveRecordingFrame(const QImage& frame);

    TVideoCaptureView* videoCapture_ = nullptr;
    TCaptureTaker* captureTaker_ = nullptr;
    QWidget* mainArea_ = nullptr;
    quint64 framesArrived_ = 0;
    std::array<int, 4> savedPreviewBounds_{};
    std::array<int, 4> savedScrollState_{};

    std::unique_ptr<TOnTheFlyRecorder> recorder_;
    std::unique_ptr<TAVIDialog> ownAVIDialog_;
    TRecordingPlan recordingPlan_;
    bool frameFileRecording_ = false;
    QString frameFolder_;
    QString recordingName_;
    QString recordingFile_;
    QSize aviSize_;
};

inline TWindowOnFirstUse<TCamViewMain> CamViewMain;
