// The camera's hot paths: a grabbed sample into a bitmap (against memcpy of the frame),
// the preview pipeline's CPU time (against the same source and conversion into a
// fakesink), and the latency from a grab request to the bitmap.

#include "capture/CaptureDeviceImpl.h"
#include "capture/CapturedFrame.h"
#include "capture/FakeCameras.h"
#include "capture/GraphConfig.h"
#include "capture/Snapshots.h"
#include "capture/VideoCapture.h"
#include "platform/FrameMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int Width = 1920, Height = 1080;
constexpr size_t FrameBytes = size_t(Width) * Height * 3;

void BM_Memcpy1080pBGR(benchmark::State& state) {
    std::vector<uint8_t> from(FrameBytes, 7), to(FrameBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), FrameBytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
}
BENCHMARK(BM_Memcpy1080pBGR);

void BM_SampleToCapturedBitmap1080pBGR(benchmark::State& state) {
    std::vector<uint8_t> from(FrameBytes, 7);
    for (auto _ : state) {
        QImage frame;
        CopyFrameRows(from.data(), from.size(), Width, Height, Width * 3, QImage::Format_BGR888,
                      frame);
        TCapturedBitmap bitmap(frame);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
}
BENCHMARK(BM_SampleToCapturedBitmap1080pBGR);

// A real event loop for ms milliseconds: it sleeps while nothing is to be done, so the
// process's CPU time is what the work costs, not the waiting.
void RunEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

TGraphConfig BenchConfig(TVideoCapture& capture) {
    TGraphConfig config;
    config.VideoDevice = "Bench Cam";
    config.WantPreview = true;
    config.WantBitmaps = true;
    capture.ApplyConfig(&config);
    for (int i = 0; i < capture.VideoCapabilityCount(); ++i) {
        auto format = capture.GetVideoCapability(i);
        if (format.SubType == "YUY2" && format.Width == Width && format.Height == Height)
            config.VideoFormat = format;
    }
    return config;
}

// A run of the fake 1920x1080 camera at 30 fps; state.range(0) seconds.
void BM_PreviewRun1080p(benchmark::State& state) {
    auto source = NewFakeCameraSource();
    SetAppDeviceSource(source.get());
    for (auto _ : state) {
        int rendered = 0;
        TVideoCapture capture;
        capture.OnFrameRendered = [&](TVideoCapture&) { ++rendered; };
        TGraphConfig config = BenchConfig(capture);
        capture.ApplyConfig(&config);
        rendered = 0;
        RunEvents(int(state.range(0)) * 1000);
        state.counters["frames"] = rendered;
    }
    SetAppDeviceSource(nullptr);
}
BENCHMARK(BM_PreviewRun1080p)->Arg(10)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

// The baseline: the same source and conversion into a fakesink, nothing else.
void BM_FakesinkRun1080p(benchmark::State& state) {
    auto source = NewFakeCameraSource();
    auto devices = source->Devices(DeviceCategory::VideoInput);
    for (auto _ : state) {
        gstsupport::ElementPtr pipeline = gstsupport::Adopt(gst_pipeline_new("baseline"));
        gstsupport::ElementPtr camera = devices.front().device->CreateElement();
        GstElement* format = gst_element_factory_make("capsfilter", nullptr);
        GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
        GstElement* bgr = gst_element_factory_make("capsfilter", nullptr);
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        GstCaps* yuy2 = gst_caps_from_string("video/x-raw,format=YUY2,width=1920,height=1080");
        GstCaps* packed = gst_caps_from_string("video/x-raw,format=BGR");
        g_object_set(format, "caps", yuy2, nullptr);
        g_object_set(bgr, "caps", packed, nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
        g_object_set(convert, "n-threads", 0u, nullptr); // as the preview converts
        gst_caps_unref(yuy2);
        gst_caps_unref(packed);
        gst_bin_add_many(GST_BIN(pipeline.get()), camera.get(), format, convert, bgr, sink,
                         nullptr);
        gst_element_link_many(camera.get(), format, convert, bgr, sink, nullptr);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        RunEvents(int(state.range(0)) * 1000);
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }
}
BENCHMARK(BM_FakesinkRun1080p)->Arg(10)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

// Request to OnBitmapGrabbed at 30 fps; the counters give the median and the 99th percentile.
void BM_GrabLatency(benchmark::State& state) {
    auto source = NewFakeCameraSource();
    SetAppDeviceSource(source.get());
    for (auto _ : state) {
        TVideoCapture capture;
        TGraphConfig config = BenchConfig(capture);
        capture.ApplyConfig(&config);
        bool arrived = false;
        capture.OnBitmapGrabbed = [&](const TCapturedBitmap&) { arrived = true; };
        RunEvents(300);
        std::vector<double> latencies_ms;
        for (int i = 0; i < 200; ++i) {
            arrived = false;
            QElapsedTimer timer;
            timer.start();
            capture.GrabFrame();
            while (!arrived && timer.elapsed() < 1000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            latencies_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            RunEvents((i * 7) % 34); // requests spread over the phases of the frame interval
        }
        std::sort(latencies_ms.begin(), latencies_ms.end());
        state.counters["p50_ms"] = latencies_ms[latencies_ms.size() / 2];
        state.counters["p99_ms"] = latencies_ms[latencies_ms.size() * 99 / 100];
    }
    SetAppDeviceSource(nullptr);
}
BENCHMARK(BM_GrabLatency)->Iterations(1)->UseRealTime();

// Noise reduction: one frame added into the sums, against a copy of the frame's bytes.
constexpr int StackWidth = 2592;
constexpr int StackHeight = 1944;

void BM_Memcpy5MpBGR(benchmark::State& state) {
    const size_t bytes = size_t(StackWidth) * StackHeight * 3;
    std::vector<uint8_t> from(bytes, 7), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_Memcpy5MpBGR);

void BM_FrameStackAdd5Mp(benchmark::State& state) {
    QImage frame(StackWidth, StackHeight, QImage::Format_BGR888);
    frame.fill(Qt::darkCyan);
    TFrameStack stack;
    stack.Reset(StackWidth, StackHeight);
    for (auto _ : state) {
        stack.Add(frame);
        if (stack.FramesAdded() == MaxStackFrames)
            stack.Reset(StackWidth, StackHeight);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.sizeInBytes()));
}
BENCHMARK(BM_FrameStackAdd5Mp);

} // namespace

int main(int argc, char** argv) {
    ReuseFreedFrameMemory(); // as the program does
    qputenv("QUVAR_TEST_CAMERAS", "Bench Cam");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
