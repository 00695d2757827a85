#include "capture/VideoCapture.h"

#include "capture/CaptureDeviceImpl.h"
#include "capture/CapturedFrame.h"
#include "capture/GraphConfig.h"
#include "capture/V4l2Controls.h"
#include "platform/Prompts.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

using namespace gstsupport;

namespace {

// How long a state change may take before it counts as failed.
constexpr GstClockTime StateChangeBound = 5 * GST_SECOND;

const char* const ErrNoVideoFilter = "Error %x.\r\nCan't create video capture filter - propably "
                                     "you havn't video capture device!";
const char* const ErrInitGraph = "Can't init graph. Probably DirectShow is not installed!";
const char* const ErrCameraProblem = "Problem with camera! Maybe not connected?";
const char* const ErrNoStreamConfig = "Error %x: Can't find VCapture:IAMStreamConfig!";
const char* const ErrNoAudioFilter = "Can't create audio capture filter!";
const char* const ErrCaptureFileName = "Capture filename required!";
const char* const ErrAddTee = "Can't add SmartTee";
const char* const ErrRenderPreview = "Can't render preview stream!";
const char* const ErrInstallGrabber =
    "Can't install SampleGrabber. Probably wrong color depth used?";
const char* const ErrPreviewFrameRate = "%x: can't set preview frame rate!";
const char* const ErrFrameRate = "Cannot set frame rate for capture!";
const char* const ErrStopPreview = "Error %x: Cannot stop preview graph!";

[[noreturn]] void RaiseCaptureError(const QString& text, unsigned code = 0) {
    ShowCaptureError(text, code);
    throw EVideoCaptureError(CaptureErrorText(text, code));
}

// The grabber's pixel formats by BitmapPixelFormat; empty for the formats a bitmap cannot
// take from this platform (the palette formats).
const char* GrabberFormats(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pfDevice:
        return "{ BGR, BGRx, RGB16, RGB15 }";
    case TPixelFormat::pf15bit:
        return "RGB15";
    case TPixelFormat::pf16bit:
        return "RGB16";
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfCustom:
        return "BGR";
    case TPixelFormat::pf32bit:
        return "BGRx";
    default:
        return nullptr;
    }
}

QImage::Format BitmapFormatOf(GstVideoFormat format) {
    switch (format) {
    case GST_VIDEO_FORMAT_BGR:
        return QImage::Format_BGR888;
    case GST_VIDEO_FORMAT_BGRx:
        return QImage::Format_RGB32;
    case GST_VIDEO_FORMAT_RGB16:
        return QImage::Format_RGB16;
    case GST_VIDEO_FORMAT_RGB15:
        return QImage::Format_RGB555;
    default:
        return QImage::Format_Invalid;
    }
}

// Where the sample's pixels are: format, first row and stride, from the caps and (when the
// buffer has one) its video meta.
struct SampleLayout {
    QImage::Format format = QImage::Format_Invalid;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
    size_t offset = 0;
};

bool LayoutOf(GstSample* sample, SampleLayout& layout) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return false;
    layout.format = BitmapFormatOf(GST_VIDEO_INFO_FORMAT(&info));
    layout.width = GST_VIDEO_INFO_WIDTH(&info);
    layout.height = GST_VIDEO_INFO_HEIGHT(&info);
    layout.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    layout.offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    if (GstVideoMeta* meta = gst_buffer_get_video_meta(buffer)) {
        layout.stride = meta->stride[0];
        layout.offset = meta->offset[0];
    }
    return true;
}

// One copy of the sample's rows into a bitmap, with the buffer's own stride.
bool SampleToBitmap(GstSample* sample, QImage& out) {
    SampleLayout layout;
    if (!LayoutOf(sample, layout))
        return false;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    bool copied = false;
    if (layout.offset <= map.size)
        copied = CopyFrameRows(map.data + layout.offset, map.size - layout.offset, layout.width,
                               layout.height, layout.stride, layout.format, out);
    gst_buffer_unmap(buffer, &map);
    return copied;
}

// A sample mapped for as long as a bitmap over its memory lives.
struct MappedSample {
    SamplePtr sample;
    GstMapInfo map;
};

void UnmapSample(void* data) {
    auto* mapped = static_cast<MappedSample*>(data);
    gst_buffer_unmap(gst_sample_get_buffer(mapped->sample.get()), &mapped->map);
    delete mapped;
}

// A read-only bitmap over the sample's own memory, without a copy: a paint only reads it.
// The sample stays mapped and referenced until the bitmap and its copies are gone.
QImage SampleView(GstSample* sample) {
    SampleLayout layout;
    if (!LayoutOf(sample, layout))
        return {};
    auto mapped = std::make_unique<MappedSample>();
    mapped->sample.reset(gst_sample_ref(sample));
    if (!gst_buffer_map(gst_sample_get_buffer(sample), &mapped->map, GST_MAP_READ))
        return {};
    const GstMapInfo& map = mapped->map;
    if (layout.offset > map.size || !FrameRowsFit(map.size - layout.offset, layout.width,
                                                  layout.height, layout.stride, layout.format)) {
        UnmapSample(mapped.release());
        return {};
    }
    const uchar* first = map.data + layout.offset;
    QImage view(first, layout.width, layout.height, qsizetype(layout.stride), layout.format,
                &UnmapSample, mapped.get());
    if (view.isNull()) {
        UnmapSample(mapped.release()); // a null bitmap never calls its cleanup
        return {};
    }
    mapped.release(); // the bitmap's cleanup owns it now
    return view;
}

int BitCountOf(const QString& subType) {
    if (subType == QLatin1String("MJPG"))
        return 24;
    const GstVideoFormat format = gst_video_format_from_string(subType.toUtf8().constData());
    GstVideoInfo info;
    if (format == GST_VIDEO_FORMAT_UNKNOWN || !gst_video_info_set_format(&info, format, 16, 16))
        return 0;
    return int(GST_VIDEO_INFO_SIZE(&info) * 8 / 256);
}

void RatesOf(const GValue* value, double& low, double& high) {
    low = high = 0;
    auto take = [&](const GValue* v) {
        if (!GST_VALUE_HOLDS_FRACTION(v) || gst_value_get_fraction_denominator(v) == 0)
            return;
        const double rate =
            double(gst_value_get_fraction_numerator(v)) / gst_value_get_fraction_denominator(v);
        if (rate <= 0)
            return;
        low = low == 0 ? rate : std::min(low, rate);
        high = std::max(high, rate);
    };
    if (!value)
        return;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            take(gst_value_list_get_value(value, i));
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        take(gst_value_get_fraction_range_min(value));
        take(gst_value_get_fraction_range_max(value));
    } else {
        take(value);
    }
}

// The device's formats, one capability per pixel format and size, in the device's order;
// FrameRate is the highest rate it offers there.
std::vector<TVideoFormatInfo> CapabilitiesOf(const GstCaps* caps) {
    std::vector<TVideoFormatInfo> capabilities;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        int width = 0, height = 0;
        if (!gst_structure_get_int(s, "width", &width) ||
            !gst_structure_get_int(s, "height", &height))
            continue; // a range of sizes is not a capability of its own
        QStringList subTypes;
        if (gst_structure_has_name(s, "image/jpeg")) {
            subTypes << QStringLiteral("MJPG");
        } else if (gst_structure_has_name(s, "video/x-raw")) {
            const GValue* formats = gst_structure_get_value(s, "format");
            if (formats && G_VALUE_HOLDS_STRING(formats))
                subTypes << FromUtf8(g_value_get_string(formats));
            else if (formats && GST_VALUE_HOLDS_LIST(formats))
                for (guint k = 0; k < gst_value_list_get_size(formats); ++k)
                    if (G_VALUE_HOLDS_STRING(gst_value_list_get_value(formats, k)))
                        subTypes << FromUtf8(
                            g_value_get_string(gst_value_list_get_value(formats, k)));
        }
        double low = 0, high = 0;
        RatesOf(gst_structure_get_value(s, "framerate"), low, high);
        for (const QString& subType : subTypes) {
            TVideoFormatInfo info;
            info.MajorType = QStringLiteral("video");
            info.SubType = subType;
            info.Width = std::abs(width);
            info.Height = std::abs(height);
            info.BitCount = BitCountOf(subType);
            info.FrameRate = high;
            info.MinFrameRate = low;
            info.MaxFrameRate = high;
            capabilities.push_back(info);
        }
    }
    return capabilities;
}

// The caps that hold the source to one format (and rate, when one is given).
GstCaps* CapsOf(const TVideoFormatInfo& format, double framesPerSecond) {
    GstStructure* s = nullptr;
    if (format.SubType == QLatin1String("MJPG"))
        s = gst_structure_new_empty("image/jpeg");
    else
        s = gst_structure_new("video/x-raw", "format", G_TYPE_STRING,
                              format.SubType.toUtf8().constData(), nullptr);
    gst_structure_set(s, "width", G_TYPE_INT, format.Width, "height", G_TYPE_INT, format.Height,
                      nullptr);
    if (framesPerSecond > 0) {
        int numerator = 0, denominator = 1;
        gst_util_double_to_fraction(framesPerSecond, &numerator, &denominator);
        gst_structure_set(s, "framerate", GST_TYPE_FRACTION, numerator, denominator, nullptr);
    }
    return gst_caps_new_full(s, nullptr);
}

} // namespace

QString CaptureErrorText(const QString& text, unsigned code) {
    QString result = text;
    return result.replace(QLatin1String("%x"), QString::number(code, 16));
}

void ShowCaptureError(const QString& text, unsigned code) {
    AppPrompts().Message(QStringLiteral("DirectShow - Capture"), CaptureErrorText(text, code),
                         MessageIcon::Error);
}

struct TVideoCapture::Engine {
    TVideoCapture* owner = nullptr;
    std::shared_ptr<CaptureDevice> videoMoniker, audioMoniker, videoCompressorMoniker,
        audioCompressorMoniker;
    QString videoFriendlyName, audioFriendlyName;

    ElementPtr pipeline;
    ElementPtr source;
    ElementPtr audioSource;         // bound, but no branch of this program records sound
    std::vector<ElementPtr> branch; // everything downstream of the source, in link order
    ElementPtr sourceFormat;        // the caps filter holding the chosen format
    std::vector<TVideoFormatInfo> capabilities;
    std::optional<TVideoFormatInfo> chosenFormat;
    bool grabberInstalled = false;

    // Shared with the streaming thread.
    std::atomic<bool> wantFrame{false};
    std::atomic<quint64> framesThisRun{0};
    std::atomic<quint64> run{0};
    // The run whose loss was handled (GUI thread): later errors of that run are the same
    // failure, also when they arrive while the loss is still being reported.
    quint64 lostRun = 0;
    std::mutex lock; // guards buffers and last
    // The copies of requested frames; buffers[last] is the newest. A copy that no receiver
    // holds any more takes the next frame in its memory, so a receiver may keep the last
    // frame without copying it and the streaming thread still writes into memory it has.
    std::array<QImage, 2> buffers;
    size_t last = 0;
    mutable std::mutex previewLock; // guards latest
    SamplePtr latest;
    std::mutex eventLock;        // guards events
    std::vector<quint64> events; // the run of each device loss not yet handled

    ~Engine() { ReleasePipeline(); }

    void ReleasePipeline() {
        if (!pipeline)
            return;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        ObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        branch.clear();
        sourceFormat.reset();
        source.reset();
        pipeline.reset();
        std::lock_guard guard(previewLock);
        latest.reset();
    }

    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* engine = static_cast<Engine*>(data);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* raw = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &raw, &debug);
            ErrorPtr error(raw);
            GCharPtr debugText(debug);
            qWarning("camera: %s (%s)", error ? error->message : "error",
                     debugText ? debugText.get() : "");
            bool first = false;
            {
                std::lock_guard guard(engine->eventLock);
                first = engine->events.empty();
                engine->events.push_back(engine->run.load());
            }
            if (first) {
                TVideoCapture* owner = engine->owner;
                QMetaObject::invokeMethod(
                    owner, [owner] { owner->WMGraphNotify(); }, Qt::QueuedConnection);
            }
        }
        // Nobody pops this bus: every message ends here, so none piles up. A handler that
        // drops a message owns it.
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
        auto* engine = static_cast<Engine*>(data);
        SamplePtr sample(gst_app_sink_pull_sample(sink));
        if (!sample)
            return GST_FLOW_OK;
        engine->framesThisRun.fetch_add(1);
        TVideoCapture* owner = engine->owner;
        if (engine->grabberInstalled && engine->wantFrame.exchange(false)) {
            QImage frame;
            bool copied = false;
            {
                std::lock_guard guard(engine->lock);
                // The other copy first: the newest may still be with a receiver.
                size_t slot = 1 - engine->last;
                if (!engine->buffers[slot].isDetached() &&
                    engine->buffers[engine->last].isDetached())
                    slot = engine->last;
                try {
                    copied = SampleToBitmap(sample.get(), engine->buffers[slot]);
                } catch (...) {
                    copied = false;
                }
                if (copied) {
                    engine->last = slot;
                    frame = engine->buffers[slot];
                }
            }
            if (copied)
                QMetaObject::invokeMethod(
                    owner, [owner, engine, frame] { owner->WMFrameGrabbed(engine, frame); },
                    Qt::QueuedConnection);
            else
                engine->wantFrame.store(true); // a broken sample: the next one serves the request
        }
        {
            std::lock_guard guard(engine->previewLock);
            engine->latest = std::move(sample);
        }
        QMetaObject::invokeMethod(
            owner, [owner] { owner->WMFrameRendered(); }, Qt::QueuedConnection);
        return GST_FLOW_OK;
    }

    GstElement* Add(const char* factory, const char* name) {
        ElementPtr element = MakeElement(factory, name);
        if (!element || !gst_bin_add(GST_BIN(pipeline.get()), element.get()))
            return nullptr; // the bin holds a reference of its own
        branch.push_back(std::move(element));
        return branch.back().get();
    }

    void RemoveBranch() {
        for (auto it = branch.rbegin(); it != branch.rend(); ++it) {
            gst_element_set_state(it->get(), GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline.get()), it->get());
        }
        branch.clear();
        sourceFormat.reset();
        grabberInstalled = false;
    }

    TVideoFormatInfo NegotiatedFormat() const {
        if (!source)
            return {};
        ObjectPtr<GstPad> pad(gst_element_get_static_pad(source.get(), "src"));
        if (!pad)
            return {};
        CapsPtr caps(gst_pad_get_current_caps(pad.get()));
        if (!caps)
            return {};
        auto found = CapabilitiesOf(caps.get());
        return found.empty() ? TVideoFormatInfo{} : found.front();
    }
};

// GStreamer starts when a camera is first needed (the device lists, the graph), not with
// the preview window: its start reads the plugin registry.
TVideoCapture::TVideoCapture(QObject* parent) : QObject(parent), d_(std::make_unique<Engine>()) {
    d_->owner = this;
}

TVideoCapture::~TVideoCapture() {
    StopPreview();
    StopCapture();
    TearDownGraph();
    ClearInterfaces();
    ClearDeviceLists();
}

void TVideoCapture::SetDVResolution(TDVResolution resolution) {
    dvResolution_ = resolution;
}

void TVideoCapture::SetFrameRate(double framesPerSecond) {
    frameRate_ = (framesPerSecond >= MinFrameRate && framesPerSecond <= MaxFrameRate)
                     ? framesPerSecond
                     : 25.0;
}

void TVideoCapture::Fire(const TNotifyEvent& event) {
    if (event)
        event(*this);
}

bool TVideoCapture::EnumerateDevices() {
    RefreshDeviceLists();
    return !VideoInputDevices().empty();
}

void TVideoCapture::ReleaseFilters() {
    d_->ReleasePipeline();
    d_->audioSource.reset();
    d_->capabilities.clear();
    graphBuilt_ = false;
    previewing_ = false;
    availableDialogs_ = 0;
}

void TVideoCapture::ClearInterfaces() {
    ReleaseFilters();
    d_->grabberInstalled = false;
    d_->wantFrame.store(false);
}

bool TVideoCapture::InitCaptureFilters() {
    EnsureGstInit();
    ReleaseFilters();
    Engine& e = *d_;
    try {
        unsigned code = 0;
        if (e.videoMoniker) {
            e.videoFriendlyName =
                FromUtf8(GCharPtr(gst_device_get_display_name(e.videoMoniker->Device())).get());
            e.source = e.videoMoniker->CreateElement();
            if (!e.source)
                code = CaptureCode::NoSourceElement;
        }
        if (!e.source)
            RaiseCaptureError(QString::fromLatin1(ErrNoVideoFilter), code);
        e.pipeline = Adopt(gst_pipeline_new("quvar-capture"));
        if (!e.pipeline)
            RaiseCaptureError(QString::fromLatin1(ErrInitGraph));
        ObjectPtr<GstBus> bus(gst_element_get_bus(e.pipeline.get()));
        gst_bus_set_sync_handler(bus.get(), &Engine::OnBusMessage, &e, nullptr);
        // The bin takes a reference of its own; ours stays with the engine.
        if (!gst_bin_add(GST_BIN(e.pipeline.get()), e.source.get()))
            RaiseCaptureError(QString::fromLatin1(ErrCameraProblem));
        e.capabilities = CapabilitiesOf(e.videoMoniker->Caps().get());
        if (e.capabilities.empty())
            ShowCaptureError(QString::fromLatin1(ErrNoStreamConfig), CaptureCode::NoFormats);
        if (WantAudio && e.audioMoniker) {
            e.audioFriendlyName =
                FromUtf8(GCharPtr(gst_device_get_display_name(e.audioMoniker->Device())).get());
            e.audioSource = e.audioMoniker->CreateElement();
            if (!e.audioSource)
                ShowCaptureError(QString::fromLatin1(ErrNoAudioFilter));
        }
        return true;
    } catch (const EVideoCaptureError&) {
        ReleaseFilters();
        return false;
    }
}

bool TVideoCapture::BuildGraph() {
    Engine& e = *d_;
    if (!e.pipeline)
        return false;
    if (graphBuilt_)
        return true;
    if (!e.source || (WantAudio && !e.audioSource))
        return false;
    if (WantCapture) {
        const QString file = UseTempFile ? tempCaptureFileName_ : CaptureFileName;
        if (file.isEmpty()) {
            ShowCaptureError(QString::fromLatin1(ErrCaptureFileName));
            return false;
        }
        // No frames are ever written to it; a stale one from an earlier run goes.
        QFile::remove(file);
    }
    try {
        GstElement* format = e.Add("capsfilter", "MyCapsFilter");
        GstElement* tee = e.Add("tee", "MySmartTee");
        if (!format || !tee || !gst_element_link(e.source.get(), format))
            RaiseCaptureError(QString::fromLatin1(ErrAddTee));
        g_object_set(tee, "allow-not-linked", TRUE, nullptr);
        GstElement* last = format;
        if (e.chosenFormat && e.chosenFormat->SubType == QLatin1String("MJPG")) {
            GstElement* decoder = e.Add("jpegdec", "MyJpegDecoder");
            if (!decoder || !gst_element_link(last, decoder))
                RaiseCaptureError(QString::fromLatin1(ErrAddTee));
            last = decoder;
        }
        if (!gst_element_link(last, tee))
            RaiseCaptureError(QString::fromLatin1(ErrAddTee));
        e.sourceFormat.reset(GST_ELEMENT(gst_object_ref(format)));

        if (WantPreview) {
            // The preview queue drops old frames, so a slow screen never stalls the camera.
            GstElement* queue = e.Add("queue", "MyPreviewQueue");
            GstElement* convert = e.Add("videoconvert", "MyConverter");
            GstElement* grabberFormat = e.Add("capsfilter", "MyGrabberFormat");
            GstElement* sink = e.Add("appsink", "MyBitmapGrabber");
            if (!queue || !convert || !grabberFormat || !sink)
                RaiseCaptureError(QString::fromLatin1(ErrRenderPreview));
            g_object_set(queue, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time",
                         guint64(0), nullptr);
            gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
            // Pixel values are measured: convert without dithering.
            gst_util_set_object_arg(G_OBJECT(convert), "dither", "none");
            // Converting a large frame on one core costs most of a frame interval of latency.
            g_object_set(convert, "n-threads", 0u, nullptr);
            const char* formats = WantBitmaps ? GrabberFormats(BitmapPixelFormat) : "BGRx";
            if (!formats) {
                ShowCaptureError(QString::fromLatin1(ErrInstallGrabber));
                formats = "BGRx";
            }
            e.grabberInstalled = WantBitmaps && GrabberFormats(BitmapPixelFormat);
            CapsPtr caps(gst_caps_from_string(
                (QByteArray("video/x-raw, format=(string)") + formats).constData()));
            g_object_set(grabberFormat, "caps", caps.get(), nullptr);
            g_object_set(sink, "sync", FALSE, "async", FALSE, "max-buffers", 1u, "drop", TRUE,
                         "enable-last-sample", FALSE, nullptr);
            GstAppSinkCallbacks callbacks{};
            callbacks.new_sample = &Engine::OnNewSample;
            gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &e, nullptr);
            if (!gst_element_link_many(tee, queue, convert, grabberFormat, sink, nullptr))
                RaiseCaptureError(QString::fromLatin1(ErrRenderPreview));
        }

        double rate = 0;
        if (UseFrameRate) {
            // Only a rate the device offers for this format: another one fails to negotiate.
            const TVideoFormatInfo current = GetVideoFormat();
            bool offered = false;
            if (current.Width > 0 && frameRate_ > 0) {
                CapsPtr wanted(CapsOf(current, frameRate_));
                offered = gst_caps_can_intersect(e.videoMoniker->Caps().get(), wanted.get());
            }
            if (offered) {
                rate = frameRate_;
            } else {
                // A format that is known but refuses the rate is the failed SetFormat.
                if (current.Width > 0 && frameRate_ > 0)
                    ShowCaptureError(QString::fromLatin1(ErrPreviewFrameRate),
                                     CaptureCode::FrameRateRefused);
                ShowCaptureError(QString::fromLatin1(ErrFrameRate));
            }
        }
        if (e.chosenFormat || rate > 0) {
            CapsPtr caps(e.chosenFormat ? CapsOf(*e.chosenFormat, rate)
                                        : CapsOf(GetVideoFormat(), rate));
            g_object_set(format, "caps", caps.get(), nullptr);
        }
        DetectDialogs();
        graphBuilt_ = true;
        return true;
    } catch (const EVideoCaptureError&) {
        graphBuilt_ = true;
        TearDownGraph();
        return false;
    }
}

void TVideoCapture::TearDownGraph() {
    if (!graphBuilt_)
        return;
    StopCapture();
    if (previewing_)
        StopPreview();
    Engine& e = *d_;
    if (e.pipeline)
        gst_element_set_state(e.pipeline.get(), GST_STATE_NULL);
    e.RemoveBranch();
    graphBuilt_ = false;
    if (WantCapture && !tempCaptureFileName_.isEmpty())
        QFile::remove(tempCaptureFileName_);
}

bool TVideoCapture::StartPreview() {
    return StartPreviewRun(false);
}

bool TVideoCapture::StartPreviewRun(bool afterDeviceLoss) {
    Engine& e = *d_;
    if (e.pipeline && previewing_)
        return true;
    if (!BuildGraph())
        return false;
    e.run.fetch_add(1);
    e.framesThisRun.store(0);
    GstStateChangeReturn result = gst_element_set_state(e.pipeline.get(), GST_STATE_PLAYING);
    unsigned code = CaptureCode::StateChangeFailed;
    if (result == GST_STATE_CHANGE_ASYNC) {
        result = gst_element_get_state(e.pipeline.get(), nullptr, nullptr, StateChangeBound);
        if (result == GST_STATE_CHANGE_ASYNC)
            code = CaptureCode::StateChangeTimedOut;
    }
    if (result == GST_STATE_CHANGE_FAILURE || result == GST_STATE_CHANGE_ASYNC) {
        gst_element_set_state(e.pipeline.get(), GST_STATE_NULL);
        ShowCaptureError(QString::fromLatin1(ErrCameraProblem), code);
        return false;
    }
    restartedAfterLoss_ = afterDeviceLoss;
    previewing_ = true;
    Fire(OnStartPreview);
    return true;
}

bool TVideoCapture::StopPreview() {
    if (!previewing_)
        return false;
    Engine& e = *d_;
    if (e.pipeline &&
        gst_element_set_state(e.pipeline.get(), GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE) {
        ShowCaptureError(QString::fromLatin1(ErrStopPreview), CaptureCode::StateChangeFailed);
        return false;
    }
    {
        std::lock_guard guard(e.previewLock);
        e.latest.reset();
    }
    Fire(OnStopPreview);
    previewing_ = false;
    return true;
}

bool TVideoCapture::GrabFrame() {
    const bool armed = d_->grabberInstalled && WantBitmaps && (previewing_ || Capturing());
    d_->wantFrame.store(armed);
    return armed;
}

void TVideoCapture::WMGraphNotify() {
    Engine& e = *d_;
    std::vector<quint64> events;
    {
        std::lock_guard guard(e.eventLock);
        events.swap(e.events);
    }
    if (!e.pipeline)
        return;
    const bool wasPreviewing = previewing_;
    const bool restarted = restartedAfterLoss_;
    const bool framesFlowed = e.framesThisRun.load() > 0;
    const quint64 current = e.run.load();
    bool lost = false;
    for (quint64 run : events)
        lost = lost || (run == current && previewing_); // a stopped run's errors are stale
    if (!lost || e.lostRun == current)
        return;
    // One loss however many errors the failing run posts, before or during its report.
    e.lostRun = current;
    if (restarted && !framesFlowed) {
        // The restart after a loss failed before a single frame: the same failure, so the
        // restart did not succeed (as a refused start would say); no restart loop.
        StopCapture();
        StopPreview();
        ShowCaptureError(QString::fromLatin1(ErrCameraProblem), CaptureCode::NoFrames);
        return;
    }
    Fire(OnDeviceLost);
    StopCapture();
    StopPreview();
    if (previewing_ == wasPreviewing || !WantPreview)
        return;
    StartPreviewRun(true);
}

void TVideoCapture::WMFrameGrabbed(const void* callback, const QImage& frame) {
    if (callback != d_.get())
        return;
    try {
        TCapturedBitmap bitmap(frame);
        if (OnBitmapGrabbed)
            OnBitmapGrabbed(bitmap);
    } catch (...) {
        // A handler's failure must not take the camera down.
    }
}

void TVideoCapture::WMFrameRendered() {
    Fire(OnFrameRendered);
}

QImage TVideoCapture::LatestFrame() const {
    SamplePtr sample;
    {
        std::lock_guard guard(d_->previewLock);
        if (d_->latest)
            sample.reset(gst_sample_ref(d_->latest.get()));
    }
    return sample ? SampleView(sample.get()) : QImage();
}

int TVideoCapture::VideoCapabilityCount() const {
    return int(d_->capabilities.size());
}

TVideoFormatInfo TVideoCapture::GetVideoFormat() const {
    TVideoFormatInfo format;
    if (d_->chosenFormat)
        format = *d_->chosenFormat;
    else if (previewing_)
        format = d_->NegotiatedFormat();
    if (format.Width == 0 && !d_->capabilities.empty())
        format = d_->capabilities.front(); // what the source starts with
    format.FrameRate = format.MinFrameRate = format.MaxFrameRate = 0;
    return format;
}

TVideoFormatInfo TVideoCapture::GetVideoCapability(int index) const {
    if (index < 0 || index >= VideoCapabilityCount())
        return {};
    return d_->capabilities[size_t(index)];
}

bool TVideoCapture::SelectVideoCapability(int index) {
    if (Capturing())
        return false;
    TearDownGraph();
    if (index < 0 || index >= VideoCapabilityCount())
        return false;
    d_->chosenFormat = d_->capabilities[size_t(index)];
    Fire(OnChangeVCapMode);
    return true;
}

bool TVideoCapture::SetVideoFormat(const TVideoFormatInfo& format) {
    if (SameVideoFormat(GetVideoFormat(), format))
        return true;
    for (int i = 0; i < VideoCapabilityCount(); ++i)
        if (SameVideoFormat(GetVideoCapability(i), format))
            return SelectVideoCapability(i);
    return false;
}

bool TVideoCapture::SetAudioFormat(const TAudioFormatInfo& format) {
    return SameAudioFormat(GetAudioFormat(), format);
}

void TVideoCapture::DetectDialogs() {
    availableDialogs_ = 0;
    if (!d_->source || !d_->videoMoniker)
        return;
    if (!ReadV4l2Controls(d_->videoMoniker->DevicePath()).empty())
        availableDialogs_ |= quint16(1u << VideoSourceSettingsDialog);
    if (!d_->capabilities.empty())
        availableDialogs_ |= quint16(1u << VideoFormatSettingsDialog);
}

bool TVideoCapture::ShowDeviceDialog(int kind) {
    if (kind < 0 || kind >= DeviceDialogCount || !(availableDialogs_ & (1u << kind)) || Capturing())
        return false;
    if (kind == VideoSourceSettingsDialog) {
        if (ShowSourceSettingsDialog)
            ShowSourceSettingsDialog(d_->videoMoniker->DevicePath());
    } else if (kind == VideoFormatSettingsDialog) {
        TearDownGraph();
        int current = -1;
        const TVideoFormatInfo format = GetVideoFormat();
        for (int i = 0; i < VideoCapabilityCount() && current < 0; ++i)
            if (SameVideoFormat(GetVideoCapability(i), format))
                current = i;
        if (ShowFormatSettingsDialog)
            if (auto chosen = ShowFormatSettingsDialog(d_->capabilities, current))
                SelectVideoCapability(*chosen);
        if (WantPreview)
            StartPreview();
    }
    return true;
}

void TVideoCapture::ReadConfig(TGraphConfig* config) {
    if (!config)
        return;
    config->Reset();
    config->UseTempFile = UseTempFile;
    config->WantBitmaps = WantBitmaps;
    config->DoPreallocFile = DoPreallocFile;
    config->WantCapture = WantCapture;
    config->WantPreview = WantPreview;
    config->WantDVAudio = WantDVAudio;
    config->WantAudio = WantAudio;
    config->WantAudioPreview = WantAudioPreview;
    config->PreallocFileSize = PreallocFileSize;
    config->TempCaptureFileName = tempCaptureFileName_;
    config->CaptureFileName = CaptureFileName;
    config->DVResolution = dvResolution_;
    config->BitmapPixelFormat = BitmapPixelFormat;
    config->AudioFormat = GetAudioFormat();
    config->VideoFormat = GetVideoFormat();
    config->VfwCompressorState.clear();
    config->VideoDevice = VideoDeviceName();
    config->AudioDevice = AudioDeviceName();
    config->VideoCompressor = VideoCompressorName();
    config->AudioCompressor = AudioCompressorName();
}

void TVideoCapture::ApplyConfig(TGraphConfig* config) {
    if (!config)
        return;
    TearDownGraph();
    ReleaseFilters();
    UseTempFile = config->UseTempFile;
    WantBitmaps = config->WantBitmaps;
    DoPreallocFile = config->DoPreallocFile;
    WantCapture = config->WantCapture;
    WantPreview = config->WantPreview;
    WantDVAudio = config->WantDVAudio;
    WantAudio = config->WantAudio;
    WantAudioPreview = config->WantAudioPreview;
    PreallocFileSize = config->PreallocFileSize;
    SetDVResolution(config->DVResolution);
    BitmapPixelFormat = config->BitmapPixelFormat;
    if (!config->TempCaptureFileName.isEmpty())
        SetTempCaptureFileName(config->TempCaptureFileName);
    if (!config->CaptureFileName.isEmpty())
        CaptureFileName = config->CaptureFileName;
    RefreshDeviceLists();
    Engine& e = *d_;
    e.videoMoniker = MonikerByName(VideoInputDevices(), config->VideoDevice);
    e.audioMoniker = MonikerByName(AudioInputDevices(), config->AudioDevice);
    e.audioCompressorMoniker = MonikerByName(AudioCompressors(), config->AudioCompressor);
    e.videoCompressorMoniker = MonikerByName(VideoCompressors(), config->VideoCompressor);
    e.chosenFormat.reset();
    InitCaptureFilters();
    SetAudioFormat(config->AudioFormat);
    SetVideoFormat(config->VideoFormat);
    if (BuildGraph() && WantPreview)
        StartPreview();
    Fire(OnChangeDevice);
    Fire(OnChangeCompressor);
}

namespace {

QString NameOfSelected(DeviceCategory category, const std::shared_ptr<CaptureDevice>& moniker) {
    QString name = NameOfMoniker(DeviceList(category), moniker);
    if (name.isEmpty() && moniker) {
        EnumerateCategory(category, DeviceList(category));
        name = NameOfMoniker(DeviceList(category), moniker);
    }
    return name;
}

} // namespace

QString TVideoCapture::VideoDeviceName() const {
    return NameOfSelected(DeviceCategory::VideoInput, d_->videoMoniker);
}
QString TVideoCapture::AudioDeviceName() const {
    return NameOfSelected(DeviceCategory::AudioInput, d_->audioMoniker);
}
QString TVideoCapture::VideoCompressorName() const {
    return NameOfSelected(DeviceCategory::VideoCompressor, d_->videoCompressorMoniker);
}
QString TVideoCapture::AudioCompressorName() const {
    return NameOfSelected(DeviceCategory::AudioCompressor, d_->audioCompressorMoniker);
}
