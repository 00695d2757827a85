#include "capture/FakeCameras.h"

#include "capture/CaptureDeviceImpl.h"

#include <QMutex>
#include <atomic>
#include <map>

using namespace gstsupport;

namespace {

// Per-name state, kept for the life of the process: running sources point at it.
struct FakeState {
    std::atomic<int> fault{int(FakeCameraFault::None)};
    std::atomic<bool> solid{false};
    std::atomic<quint32> colour{0};
};

FakeState& StateOf(const QString& name) {
    static QMutex mutex;
    static std::map<QString, std::unique_ptr<FakeState>> states;
    QMutexLocker lock(&mutex);
    auto& state = states[name];
    if (!state)
        state = std::make_unique<FakeState>();
    return *state;
}

// The formats every fake camera offers: packed RGB and YUV at the usual sizes (and one
// odd size, which exposes row-padding faults), each at 30, 15 and 10 frames per second.
GstCaps* FakeCaps() {
    GstCaps* caps = gst_caps_new_empty();
    const int sizes[][2] = {{640, 480}, {320, 240}, {1280, 720}, {1920, 1080}, {161, 121}};
    for (const char* format : {"YUY2", "BGR"}) {
        for (const auto& size : sizes) {
            GValue rates = G_VALUE_INIT;
            g_value_init(&rates, GST_TYPE_LIST);
            for (int fps : {30, 15, 10}) {
                GValue rate = G_VALUE_INIT;
                g_value_init(&rate, GST_TYPE_FRACTION);
                gst_value_set_fraction(&rate, fps, 1);
                gst_value_list_append_and_take_value(&rates, &rate);
            }
            GstStructure* s =
                gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, "width",
                                  G_TYPE_INT, size[0], "height", G_TYPE_INT, size[1], nullptr);
            gst_structure_take_value(s, "framerate", &rates);
            gst_caps_append_structure(caps, s);
        }
    }
    return caps;
}

GstPadProbeReturn FaultProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* state = static_cast<FakeState*>(data);
    int fault = state->fault.load();
    if (fault == int(FakeCameraFault::FailOnce))
        state->fault.compare_exchange_strong(fault, int(FakeCameraFault::None));
    if (fault == int(FakeCameraFault::None))
        return GST_PAD_PROBE_OK;
    // What a camera's read failure looks like to the pipeline: the source stops with an error.
    gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

} // namespace

// GObject types of the fake device and its provider.
extern "C" {

struct QuvarFakeCamera {
    GstDevice parent;
    FakeState* state;
};
struct QuvarFakeCameraClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(QuvarFakeCamera, quvar_fake_camera, GST_TYPE_DEVICE)

static GstElement* quvar_fake_camera_create_element(GstDevice* device, const gchar* name) {
    auto* self = reinterpret_cast<QuvarFakeCamera*>(device);
    GstElement* bin = gst_bin_new(name);
    GstElement* source = gst_element_factory_make("videotestsrc", "fakesource");
    GstElement* filter = gst_element_factory_make("capsfilter", "fakeformats");
    if (!source || !filter) {
        if (source)
            gst_object_unref(gst_object_ref_sink(source));
        if (filter)
            gst_object_unref(gst_object_ref_sink(filter));
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    g_object_set(source, "is-live", TRUE, nullptr);
    if (self->state->solid.load()) {
        gst_util_set_object_arg(G_OBJECT(source), "pattern", "solid-color");
        g_object_set(source, "foreground-color", guint(self->state->colour.load()), nullptr);
    }
    GstCaps* caps = FakeCaps();
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), source, filter, nullptr);
    gst_element_link(source, filter);
    GstPad* sourcePad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(sourcePad, GST_PAD_PROBE_TYPE_BUFFER, FaultProbe, self->state, nullptr);
    gst_object_unref(sourcePad);
    GstPad* filterPad = gst_element_get_static_pad(filter, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", filterPad));
    gst_object_unref(filterPad);
    return bin;
}

static void quvar_fake_camera_class_init(QuvarFakeCameraClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = quvar_fake_camera_create_element;
}

static void quvar_fake_camera_init(QuvarFakeCamera* self) {
    self->state = nullptr;
}

struct QuvarFakeCameraProvider {
    GstDeviceProvider parent;
};
struct QuvarFakeCameraProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(QuvarFakeCameraProvider, quvar_fake_camera_provider, GST_TYPE_DEVICE_PROVIDER)

static GstDevice* NewFakeDevice(const QString& name) {
    GstCaps* caps = FakeCaps();
    GstStructure* properties =
        gst_structure_new("quvar-fake-camera", "device.api", G_TYPE_STRING, "fake", nullptr);
    QByteArray utf8 = name.toUtf8();
    auto* device = static_cast<QuvarFakeCamera*>(
        g_object_new(quvar_fake_camera_get_type(), "display-name", utf8.constData(), "caps", caps,
                     "device-class", "Video/Source", "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    device->state = &StateOf(name);
    return GST_DEVICE(device);
}

static GList* quvar_fake_camera_provider_probe(GstDeviceProvider*) {
    GList* devices = nullptr;
    for (const QString& name : FakeCameraNames())
        devices = g_list_append(devices, NewFakeDevice(name));
    return devices;
}

static void quvar_fake_camera_provider_class_init(QuvarFakeCameraProviderClass* klass) {
    auto* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = quvar_fake_camera_provider_probe;
    gst_device_provider_class_set_static_metadata(
        providerClass, "QUVAR fake cameras", "Video/Source", "Live test-pattern cameras", "QUVAR");
}

static void quvar_fake_camera_provider_init(QuvarFakeCameraProvider*) {}

static gboolean PluginInit(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "quvarfakecameras", GST_RANK_SECONDARY,
                                        quvar_fake_camera_provider_get_type());
}

} // extern "C"

QStringList FakeCameraNames() {
    const QString names = qEnvironmentVariable("QUVAR_TEST_CAMERAS");
    if (names.isEmpty())
        return {};
    return names.split(QLatin1Char(';'));
}

void RegisterFakeCameraProvider() {
    gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "quvarfakecameras",
                               "QUVAR fake cameras", PluginInit, "1.0", "unknown", "quvar", "quvar",
                               "https://quvar.invalid");
}

namespace {

class FakeCameraSource final : public DeviceSource {
public:
    std::vector<FoundDevice> Devices(DeviceCategory category) override {
        std::vector<FoundDevice> found;
        if (category != DeviceCategory::VideoInput)
            return found;
        EnsureGstInit();
        for (const QString& name : FakeCameraNames()) {
            ObjectPtr<GstDevice> device = Adopt(NewFakeDevice(name));
            found.push_back({name, std::make_shared<CaptureDevice>(device.get())});
        }
        return found;
    }
};

} // namespace

std::unique_ptr<DeviceSource> NewFakeCameraSource() {
    return std::make_unique<FakeCameraSource>();
}

void SetFakeCameraColour(const QString& name, std::optional<QRgb> colour) {
    FakeState& state = StateOf(name);
    state.colour.store(colour.value_or(0));
    state.solid.store(colour.has_value());
}

void SetFakeCameraFault(const QString& name, FakeCameraFault fault) {
    StateOf(name).fault.store(int(fault));
}
