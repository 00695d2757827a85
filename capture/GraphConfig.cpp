#include "capture/GraphConfig.h"

void TGraphConfig::Reset() {
    VideoDevice.clear();
    AudioDevice.clear();
    VideoCompressor.clear();
    AudioCompressor.clear();
    AudioFormat = {};
    VideoFormat = {};
    WantCapture = WantPreview = WantBitmaps = WantAudio = WantDVAudio = false;
    WantAudioPreview = true;
    BitmapPixelFormat = TPixelFormat::pf24bit;
    DVResolution = TDVResolution::dvrFull;
    CaptureFileName = QStringLiteral("capture.avi");
    UseTempFile = false;
    TempCaptureFileName = QStringLiteral("captemp.avi");
    DoPreallocFile = false;
    PreallocFileSize = 0;
}
