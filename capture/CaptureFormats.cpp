#include "capture/CaptureFormats.h"

bool SameVideoFormat(const TVideoFormatInfo& a, const TVideoFormatInfo& b) {
    return a.SubType == b.SubType && a.Width == b.Width && a.Height == b.Height &&
           a.BitCount == b.BitCount;
}

bool SameAudioFormat(const TAudioFormatInfo& a, const TAudioFormatInfo& b) {
    if (a.SubType != b.SubType)
        return false;
    if (a.SubType == QLatin1String("PCM"))
        return a.SamplesPerSec == b.SamplesPerSec && a.BitsPerSample == b.BitsPerSample &&
               a.Channels == b.Channels;
    return a.AvgBytesPerSec == b.AvgBytesPerSec && a.SamplesPerSec == b.SamplesPerSec &&
           a.Channels == b.Channels;
}

QString DeviceDialogName(int kind) {
    // Kinds 3 and 9 are the two this platform has; their names say what the dialogs show.
    static const char* const names[DeviceDialogCount] = {
        "Video Format",          "Video Source",      "Video Display",
        "Video Source Settings", "Video Crossbar",    "TV Tuner",
        "Audio Capture Filter",  "Audio Crossbar",    "TV Audio",
        "Video Format Settings", "Video Preview Pin", "Audio Capture Pin",
        "Video Compressor",      "Audio Compressor"};
    if (kind < 0 || kind >= DeviceDialogCount)
        return {};
    return QString::fromLatin1(names[kind]);
}
