#pragma once
// Capture formats as the rest of the program sees them, the rule for "the same format",
// and the names of the device dialogs.

#include "imaging/PixelFormat.h"
#include <QString>
#include <array>

// SubType names the pixel layout as the platform does ("YUY2", "BGR", "MJPG").
struct TVideoFormatInfo {
    QString MajorType; // "video"; empty in a zero record
    QString SubType;
    int Width = 0;
    int Height = 0;
    int BitCount = 0;
    double FrameRate = 0;
    double MinFrameRate = 0;
    double MaxFrameRate = 0;
};

struct TAudioFormatInfo {
    QString MajorType;
    QString SubType; // "PCM" for plain samples
    int SamplesPerSec = 0;
    int BitsPerSample = 0;
    int Channels = 0;
    int AvgBytesPerSec = 0;
};

// Equal SubType, Width, Height and BitCount; the rates are not compared.
bool SameVideoFormat(const TVideoFormatInfo& a, const TVideoFormatInfo& b);
// Equal SubType and, for PCM, rate, bits and channels; otherwise byte rate, rate and channels.
bool SameAudioFormat(const TAudioFormatInfo& a, const TAudioFormatInfo& b);

enum class TDVResolution { dvrDontWorry, dvrFull, dvrHalf, dvrQuater, dvrDC };

struct DVSize {
    int width, height, bitCount;
};
inline constexpr std::array<DVSize, 4> DVSizes{
    {{720, 576, 24}, {360, 288, 24}, {180, 144, 24}, {88, 72, 24}}};

// Device dialog kinds: the index is the bit in TVideoCapture::AvailableDialogs.
inline constexpr int DeviceDialogCount = 14;
inline constexpr int VideoSourceSettingsDialog = 3; // the device's own controls
inline constexpr int VideoFormatSettingsDialog = 9; // formats, sizes and frame rates
QString DeviceDialogName(int kind);
