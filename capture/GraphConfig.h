#pragma once
// A snapshot of a capture control's settings and device choice, from which a graph is
// rebuilt. Lives in memory only; the preview window owns one.

#include "capture/CaptureFormats.h"

#include <QByteArray>
#include <QString>

class TGraphConfig {
public:
    TGraphConfig() { Reset(); }
    // Everything back to its initial value except VfwCompressorState.
    void Reset();

    QString VideoDevice; // the TCapDeviceInfo Name of each device
    QString AudioDevice;
    QString VideoCompressor;
    QString AudioCompressor;
    TAudioFormatInfo AudioFormat;
    TVideoFormatInfo VideoFormat;
    QByteArray VfwCompressorState; // the compressor's opaque state, carried as bytes
    bool WantCapture = false;
    bool WantPreview = false;
    bool WantBitmaps = false;
    bool WantAudio = false;
    bool WantDVAudio = false;
    bool WantAudioPreview = true;
    TPixelFormat BitmapPixelFormat = TPixelFormat::pf24bit;
    TDVResolution DVResolution = TDVResolution::dvrFull;
    QString CaptureFileName;
    bool UseTempFile = false;
    QString TempCaptureFileName;
    bool DoPreallocFile = false;
    unsigned PreallocFileSize = 0; // megabytes
};
