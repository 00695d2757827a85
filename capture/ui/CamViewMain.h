#pragma once
// The preview window: the live camera picture, snapshots, averaged frames, the clipboard
// and the hand-over to the measuring window. The rules live in capture/Snapshots.h and
// capture/CamViewSettings.h; the window wires them to its controls.

#include "capture/CamViewFields.h"
#include "capture/GraphConfig.h"

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <array>
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
class TVideoCaptureView;
class TVideoCapture;
class TCapturedBitmap;

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
    void Display(const QString& text);
    QString MakeSnapshotFileName() const;
    QString GetImageExtension() const;
    void SaveSettings();
    // Docks the command column left or right after ShowPanelRight.
    void PlaceLeftPanel();

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

    TVideoCaptureView* videoCapture_ = nullptr;
    QWidget* mainArea_ = nullptr;
    quint64 framesArrived_ = 0;
    std::array<int, 4> savedPreviewBounds_{};
    std::array<int, 4> savedScrollState_{};
};

inline TCamViewMain* CamViewMain = nullptr;
