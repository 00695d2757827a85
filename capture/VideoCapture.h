#pragma once
// The capture engine: one camera's pipeline with its live preview branch and the frame
// grabber, run on the GUI thread; frames come from the streaming thread as posted events.

#include "capture/CaptureDevices.h"
#include "capture/CaptureFormats.h"
#include "platform/Errors.h"

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TGraphConfig;

// The bitmap handed to OnBitmapGrabbed; valid during the event only, so a receiver that
// keeps the picture copies it.
class TCapturedBitmap : public QImage {
public:
    explicit TCapturedBitmap(const QImage& image) : QImage(image) {}
};

class EVideoCaptureError : public QuvarError {
public:
    using QuvarError::QuvarError;
};

// Codes shown in the error texts in place of "%x" (0 when no device was bound).
namespace CaptureCode {
inline constexpr unsigned NoSourceElement = 0x80040201; // the device gave no source element
inline constexpr unsigned StateChangeFailed = 0x80040202;
inline constexpr unsigned StateChangeTimedOut = 0x80040203; // no answer within the bound
inline constexpr unsigned NoFrames = 0x80040204; // the camera failed again after a restart
inline constexpr unsigned NoFormats = 0x80040205;
inline constexpr unsigned FrameRateRefused = 0x80040206; // the format does not offer the rate
} // namespace CaptureCode

// The text with code in place of "%x", in lower-case hexadecimal.
QString CaptureErrorText(const QString& text, unsigned code);
// The error box (caption "DirectShow - Capture"); processing goes on.
void ShowCaptureError(const QString& text, unsigned code = 0);

class TVideoCapture : public QObject {
public:
    explicit TVideoCapture(QObject* parent = nullptr);
    ~TVideoCapture() override;
    TVideoCapture(const TVideoCapture&) = delete;
    TVideoCapture& operator=(const TVideoCapture&) = delete;

    // Properties, with the values of a new control.
    TDVResolution DVResolution() const { return dvResolution_; }
    void SetDVResolution(TDVResolution resolution); // no DV decoder here: stored only
    bool WantBitmaps = true;
    TPixelFormat BitmapPixelFormat = TPixelFormat::pf24bit;
    bool WantAudio = true;
    bool WantDVAudio = true;
    bool WantAudioPreview = true;
    bool WantPreview = true;
    bool WantCapture = true;
    bool UseFrameRate = false;
    double FrameRate() const { return frameRate_; }
    static constexpr double MinFrameRate = 1.0;
    static constexpr double MaxFrameRate = 50.0;
    // Below 1, above 50 or not a number stores 25.
    void SetFrameRate(double framesPerSecond);
    QString CaptureFileName;
    bool UseTempFile = false;
    QString TempCaptureFileName() const { return tempCaptureFileName_; }
    void SetTempCaptureFileName(const QString& name) { tempCaptureFileName_ = name; }
    bool UseTimeLimit = false;
    int TimeLimit = 0; // seconds
    bool DoPreallocFile = false;
    unsigned PreallocFileSize = 1; // megabytes

    // Events, in their declared order; all on the GUI thread.
    using TNotifyEvent = std::function<void(TVideoCapture& sender)>;
    TNotifyEvent OnAborted;
    TNotifyEvent OnDeviceLost;
    TNotifyEvent OnChangeDevice;
    TNotifyEvent OnChangeCompressor;
    TNotifyEvent OnChangeVCapMode;
    TNotifyEvent OnChangeACapMode;
    TNotifyEvent OnCaptureProgress;
    TNotifyEvent OnStopCapture;
    TNotifyEvent OnStopPreview;
    TNotifyEvent OnStartCapture;
    TNotifyEvent OnStartPreview;
    std::function<void(const TCapturedBitmap& capturedImage)> OnBitmapGrabbed;
    TNotifyEvent OnFrameRendered;

    // The device dialogs, installed by the window that owns the control. Source settings
    // get the device node; format settings get the capabilities and the current index and
    // return the one chosen (nullopt when cancelled).
    std::function<void(const QString& devicePath)> ShowSourceSettingsDialog;
    std::function<std::optional<int>(const std::vector<TVideoFormatInfo>& capabilities,
                                     int current)>
        ShowFormatSettingsDialog;

    bool EnumerateDevices();
    bool InitCaptureFilters();
    bool BuildGraph();
    void TearDownGraph();
    bool IsDVSource() const { return false; } // DV sources are not supported here
    void ClearInterfaces();
    void ReleaseFilters();

    bool GraphBuilt() const { return graphBuilt_; }
    bool Previewing() const { return previewing_; }
    bool Capturing() const { return false; } // the control has no operation that captures
    quint16 AvailableDialogs() const { return availableDialogs_; }

    bool StartPreview();
    bool StopPreview();
    bool StopCapture() { return false; }
    bool GrabFrame();

    int VideoCapabilityCount() const;
    int AudioCapabilityCount() const { return 0; }
    TVideoFormatInfo GetVideoFormat() const;
    TVideoFormatInfo GetVideoCapability(int index) const;
    TAudioFormatInfo GetAudioFormat() const { return {}; }
    TAudioFormatInfo GetAudioCapability(int) const { return {}; }
    bool SelectVideoCapability(int index);
    bool SelectAudioCapability(int) { return false; }
    bool SetVideoFormat(const TVideoFormatInfo& format);
    bool SetAudioFormat(const TAudioFormatInfo& format);

    void DetectDialogs();
    bool ShowDeviceDialog(int kind);

    void ReadConfig(TGraphConfig* config);
    void ApplyConfig(TGraphConfig* config);

    QString VideoDeviceName() const;
    QString AudioDeviceName() const;
    QString VideoCompressorName() const;
    QString AudioCompressorName() const;

    // The newest frame of the preview branch for painting (null before the first one and
    // after the preview stopped), as a 32-bit or 24-bit bitmap over the frame's own memory:
    // no copy is made, and the frame stays held while the bitmap or a copy of it lives.
    QImage LatestFrame() const;

    struct Engine; // the GStreamer side, private to the library

private:
    bool StartPreviewRun(bool afterDeviceLoss);
    void WMGraphNotify();
    void WMFrameGrabbed(const void* callback, const QImage& frame);
    void WMFrameRendered();
    void Fire(const TNotifyEvent& event);

    TDVResolution dvResolution_ = TDVResolution::dvrDontWorry;
    double frameRate_ = 0;
    QString tempCaptureFileName_;
    bool graphBuilt_ = false;
    bool previewing_ = false;
    quint16 availableDialogs_ = 0;
    bool restartedAfterLoss_ = false;
    std::unique_ptr<Engine> d_;
};
