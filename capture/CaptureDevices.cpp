#include "capture/CaptureDevices.h"

#include "capture/CaptureDeviceImpl.h"

using namespace gstsupport;

CaptureDevice::CaptureDevice(GstDevice* device) : device_(GST_DEVICE(gst_object_ref(device))) {}

ElementPtr CaptureDevice::CreateElement() const {
    if (!device_)
        return nullptr;
    return Adopt(gst_device_create_element(device_.get(), nullptr));
}

CapsPtr CaptureDevice::Caps() const {
    GstCaps* caps = device_ ? gst_device_get_caps(device_.get()) : nullptr;
    return CapsPtr(caps ? caps : gst_caps_new_empty());
}

QString CaptureDevice::DevicePath() const {
    GstStructure* properties = device_ ? gst_device_get_properties(device_.get()) : nullptr;
    if (!properties)
        return {};
    QString path;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        if (const gchar* value = gst_structure_get_string(properties, key)) {
            path = QString::fromUtf8(value);
            break;
        }
    }
    gst_structure_free(properties);
    return path;
}

namespace {

class MonitorDeviceSource final : public DeviceSource {
public:
    std::vector<FoundDevice> Devices(DeviceCategory category) override {
        std::vector<FoundDevice> found;
        const char* classes = nullptr;
        if (category == DeviceCategory::VideoInput)
            classes = "Video/Source";
        else if (category == DeviceCategory::AudioInput)
            classes = "Audio/Source";
        else
            return found; // compressors are not devices: see SetCompressorNames
        EnsureGstInit();
        ObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
        gst_device_monitor_add_filter(monitor.get(), classes, nullptr);
        // Not started: get_devices probes once and returns.
        GList* devices = gst_device_monitor_get_devices(monitor.get());
        for (GList* item = devices; item; item = item->next) {
            GstDevice* device = GST_DEVICE(item->data);
            GCharPtr name(gst_device_get_display_name(device));
            found.push_back({FromUtf8(name.get()), std::make_shared<CaptureDevice>(device)});
        }
        g_list_free_full(devices, gst_object_unref);
        return found;
    }
};

DeviceSource* installedSource = nullptr;

CompressorNames& InstalledCompressorNames(DeviceCategory category) {
    static CompressorNames video, audio;
    return category == DeviceCategory::AudioCompressor ? audio : video;
}

bool IsCompressorCategory(DeviceCategory category) {
    return category == DeviceCategory::VideoCompressor ||
           category == DeviceCategory::AudioCompressor;
}

} // namespace

std::unique_ptr<DeviceSource> NewMonitorDeviceSource() {
    return std::make_unique<MonitorDeviceSource>();
}

DeviceSource& AppDeviceSource() {
    static MonitorDeviceSource monitor;
    return installedSource ? *installedSource : monitor;
}

void SetAppDeviceSource(DeviceSource* source) {
    installedSource = source;
}

void SetCompressorNames(DeviceCategory category, CompressorNames names) {
    if (IsCompressorCategory(category))
        InstalledCompressorNames(category) = std::move(names);
}

TCapDeviceList& DeviceList(DeviceCategory category) {
    static TCapDeviceList lists[4];
    return lists[static_cast<int>(category)];
}

TCapDeviceList& VideoInputDevices() {
    return DeviceList(DeviceCategory::VideoInput);
}
TCapDeviceList& AudioInputDevices() {
    return DeviceList(DeviceCategory::AudioInput);
}
TCapDeviceList& VideoCompressors() {
    return DeviceList(DeviceCategory::VideoCompressor);
}
TCapDeviceList& AudioCompressors() {
    return DeviceList(DeviceCategory::AudioCompressor);
}

void AppendDevice(TCapDeviceList& list, const QString& friendlyName,
                  std::shared_ptr<CaptureDevice> moniker) {
    if (friendlyName.trimmed().isEmpty())
        return;
    int n = 1;
    for (const auto& entry : list)
        if (entry.FriendlyName == friendlyName)
            ++n;
    const QString name = n > 1 ? friendlyName + QStringLiteral(" (%1)").arg(n) : friendlyName;
    list.push_back({friendlyName, name, std::move(moniker)});
}

void EnumerateCategory(DeviceCategory category, TCapDeviceList& list) {
    list.clear();
    if (IsCompressorCategory(category)) {
        if (const CompressorNames& names = InstalledCompressorNames(category))
            for (const QString& name : names())
                AppendDevice(list, name, std::make_shared<CaptureDevice>());
        return;
    }
    for (auto& found : AppDeviceSource().Devices(category))
        AppendDevice(list, found.friendlyName, std::move(found.device));
}

void RefreshDeviceLists() {
    for (auto category : {DeviceCategory::VideoInput, DeviceCategory::AudioInput,
                          DeviceCategory::VideoCompressor, DeviceCategory::AudioCompressor})
        EnumerateCategory(category, DeviceList(category));
}

QStringList GetVideoDeviceNames() {
    EnumerateCategory(DeviceCategory::VideoInput, VideoInputDevices());
    QStringList names;
    for (const auto& entry : VideoInputDevices())
        names << entry.Name;
    return names;
}

std::shared_ptr<CaptureDevice> MonikerByName(const TCapDeviceList& list, const QString& name) {
    for (const auto& entry : list)
        if (entry.Name == name)
            return entry.Moniker;
    return nullptr;
}

QString NameOfMoniker(const TCapDeviceList& list, const std::shared_ptr<CaptureDevice>& moniker) {
    if (!moniker)
        return {};
    for (const auto& entry : list)
        if (entry.Moniker == moniker)
            return entry.Name;
    return {};
}

void ClearDeviceLists() {
    for (auto category : {DeviceCategory::VideoInput, DeviceCategory::AudioInput,
                          DeviceCategory::VideoCompressor, DeviceCategory::AudioCompressor})
        DeviceList(category).clear();
}
