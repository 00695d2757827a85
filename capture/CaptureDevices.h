#pragma once
// The four device lists and their unique names: the program's vocabulary for cameras,
// audio inputs and compressors. The preview window shows the Name values, the saved graph
// configuration stores them, and a device is found again by its Name.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// One device as the platform knows it; opaque outside the capture library.
class CaptureDevice;

enum class DeviceCategory { VideoInput, AudioInput, VideoCompressor, AudioCompressor };

struct TCapDeviceInfo {
    QString FriendlyName; // exactly as the device reports it, not trimmed
    QString Name;         // unique in its list: FriendlyName, or FriendlyName + " (n)"
    std::shared_ptr<CaptureDevice> Moniker;
};

using TCapDeviceList = std::vector<TCapDeviceInfo>;

// One device found by a device source, before it gets its unique name.
struct FoundDevice {
    QString friendlyName;
    std::shared_ptr<CaptureDevice> device;
};

// Where the lists come from. The program uses the platform's device monitor (which also
// lists the fake cameras named by QUVAR_TEST_CAMERAS); tests install the fake cameras alone.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    virtual std::vector<FoundDevice> Devices(DeviceCategory category) = 0;
};

// The source in use: the device monitor until another is installed.
DeviceSource& AppDeviceSource();
// Installs source (not owned); nullptr goes back to the device monitor.
void SetAppDeviceSource(DeviceSource* source);
// The platform's device monitor ("Video/Source", "Audio/Source").
std::unique_ptr<DeviceSource> NewMonitorDeviceSource();

// The compressors are the recording side's encoders, which this library does not link:
// the program installs their names for a compressor category (empty function: none). A
// category without names, as sound is (no branch of this program encodes it), lists nothing.
using CompressorNames = std::function<QStringList()>;
void SetCompressorNames(DeviceCategory category, CompressorNames names);

TCapDeviceList& VideoInputDevices();
TCapDeviceList& AudioInputDevices();
TCapDeviceList& VideoCompressors();
TCapDeviceList& AudioCompressors();
TCapDeviceList& DeviceList(DeviceCategory category);

// Appends a device under its unique name; a name that is blank once trimmed is skipped.
void AppendDevice(TCapDeviceList& list, const QString& friendlyName,
                  std::shared_ptr<CaptureDevice> moniker);

void EnumerateCategory(DeviceCategory category, TCapDeviceList& list);
void RefreshDeviceLists();
QStringList GetVideoDeviceNames();
std::shared_ptr<CaptureDevice> MonikerByName(const TCapDeviceList& list, const QString& name);
// Compares the device object itself, not its name.
QString NameOfMoniker(const TCapDeviceList& list, const std::shared_ptr<CaptureDevice>& moniker);
void ClearDeviceLists();
