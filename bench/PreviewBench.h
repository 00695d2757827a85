#pragma once
// What the preview window's benchmarks share: the window as a user has it (shown, fitting
// the video, the fake camera picked from the menu at 1920x1080 and a chosen frame rate,
// painting every frame), counting the frames the camera delivers, and the statistics.

#include "WindowBench.h"

#include "capture/CaptureDevices.h"
#include "capture/FakeCameras.h"
#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/VideoCaptureView.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace previewbench {

constexpr int Width = 1920, Height = 1080;

// A real event loop for ms milliseconds: it sleeps while nothing is to be done, so the
// process's CPU time is what the work costs, not the waiting.
inline void RunEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double Percentile(std::vector<double> values, int percent) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * size_t(percent) / 100)];
}

struct PreviewWindow {
    QTemporaryDir program;
    std::unique_ptr<DeviceSource> cameras;
    std::unique_ptr<TCamViewMain> window;
    PaintCounter paints;
    int frames = 0; // delivered by the camera since the start of the measurement
    QElapsedTimer running;

    explicit PreviewWindow(int framesPerSecond) {
        qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(program.path()));
        qputenv("QUVAR_TEST_CAMERAS", "Bench Cam");
        cameras = NewFakeCameraSource();
        SetAppDeviceSource(cameras.get());
        window = std::make_unique<TCamViewMain>();
        window->resize(1000, 760);
        window->show();
        window->FitToPreviewWindow->setChecked(true);
        for (QAction* item : window->SelectVideoDevice->actions())
            if (item->text() == QLatin1String("Bench Cam"))
                window->SelectDeviceClick(item);
        // As the device file or the format dialog gives them.
        window->VideoWidth = Width;
        window->VideoHeight = Height;
        window->VideoCapture().SetFrameRate(framesPerSecond);
        window->DelayTimer();
        window->VideoCaptureView()->installEventFilter(&paints);
        auto rendered = window->VideoCaptureView()->FrameRendered;
        window->VideoCaptureView()->FrameRendered = [this, rendered](TVideoCapture& sender) {
            ++frames;
            rendered(sender);
        };
        RunEvents(500);
        frames = 0;
        running.start();
    }
    ~PreviewWindow() {
        window.reset();
        SetAppDeviceSource(nullptr);
        ClearDeviceLists();
        qunsetenv("QUVAR_TEST_CAMERAS");
        qunsetenv("QUVAR_PROGRAM_FOLDER");
    }
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    bool Running() const {
        const TVideoFormatInfo format = window->VideoCapture().GetVideoFormat();
        return window->VideoCapture().Previewing() && format.Width == Width &&
               format.Height == Height;
    }
    // Running, or the benchmark is marked as skipped with the reason.
    bool RunningOrSkip(benchmark::State& state) const {
        if (Running())
            return true;
        state.SkipWithError("the fake camera did not run at 1920x1080");
        return false;
    }
    double CameraFps() const { return frames * 1000.0 / double(running.elapsed()); }
};

} // namespace previewbench
