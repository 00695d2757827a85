// What a microscopist waits for at the preview window of a fake 1920x1080 camera, while the
// window paints every frame: F1 until the snapshot file is written, beside its budget of one
// frame interval and saving the same frame with the image-file saver alone (measured here,
// in the same run); and one frame taken as the snapshot takes it.

#include "PreviewBench.h"

#include "imaging/ImageFiles.h"

#include <QDir>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using previewbench::Percentile;
using previewbench::RunEvents;

constexpr int Presses = 60;

// JPEG snapshots into a folder of their own, sound off.
struct PreviewWindow : previewbench::PreviewWindow {
    QTemporaryDir photos;

    explicit PreviewWindow(int framesPerSecond) : previewbench::PreviewWindow(framesPerSecond) {
        window->SnapshotFolder = photos.path();
        window->ImageExtention = 1; // jpg
        window->NameBoxIndex = 0;
        window->SoundEnabled = false;
    }
};

// state.range(0): the camera's frames per second.
void BM_F1ToSnapshotFile1080p(benchmark::State& state) {
    const int fps = int(state.range(0));
    for (auto _ : state) {
        PreviewWindow preview(fps);
        if (!preview.RunningOrSkip(state))
            break;
        // Inside the press, the window's frame handler (what it does with the delivered
        // frame) is timed apart: a frame-sized copy into fresh memory shows there.
        std::vector<double> pressed_ms, handler_ms, saved_ms;
        QElapsedTimer handlerTimer;
        double handled_ms = 0;
        auto handler = preview.window->VideoCapture().OnBitmapGrabbed;
        preview.window->VideoCapture().OnBitmapGrabbed = [&](const TCapturedBitmap& bitmap) {
            handlerTimer.start();
            handler(bitmap);
            handled_ms = double(handlerTimer.nsecsElapsed()) / 1e6;
        };
        int written = 0;
        const int paintsBefore = preview.paints.Paints;
        for (int i = 0; i < Presses; ++i) {
            const QString path = preview.window->MakeSnapshotFileName();
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
            QElapsedTimer timer;
            timer.start();
            QCoreApplication::sendEvent(preview.window.get(), &release);
            pressed_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            handler_ms.push_back(handled_ms);
            written += QFile::exists(path);

            // The baseline: the same frame saved alone by the same saver.
            QImage frame;
            {
                std::lock_guard guard(preview.window->FrameLock);
                frame = preview.window->LastGrabbedFrame;
            }
            const QString alone = preview.photos.filePath(QStringLiteral("alone.jpg"));
            timer.restart();
            SaveImagePlain(frame, alone);
            saved_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            QFile::remove(path);
            QFile::remove(alone);
            RunEvents(5 + (i * 37) % (1000 / fps)); // presses spread over the frame interval
        }
        preview.window->VideoCapture().OnBitmapGrabbed = handler;
        state.counters["written"] = written;
        state.counters["paints"] = preview.paints.Paints - paintsBefore;
        state.counters["camera_fps"] = preview.CameraFps();
        state.counters["f1_p50_ms"] = Percentile(pressed_ms, 50);
        state.counters["f1_p95_ms"] = Percentile(pressed_ms, 95);
        state.counters["f1_max_ms"] = Percentile(pressed_ms, 100);
        state.counters["handler_p50_ms"] = Percentile(handler_ms, 50);
        state.counters["handler_p95_ms"] = Percentile(handler_ms, 95);
        state.counters["save_p50_ms"] = Percentile(saved_ms, 50);
        // One frame interval and the save alone: the longest a press should take.
        state.counters["budget_ms"] = 1000.0 / fps + Percentile(saved_ms, 50);
    }
}
BENCHMARK(BM_F1ToSnapshotFile1080p)->Arg(10)->Arg(30)->Iterations(1)->UseRealTime();

// One frame as the snapshot takes it (request, wait, copy), while the window paints.
void BM_TakeFrameWhilePainting1080p(benchmark::State& state) {
    const int fps = int(state.range(0));
    for (auto _ : state) {
        PreviewWindow preview(fps);
        if (!preview.RunningOrSkip(state))
            break;
        std::vector<double> taken_ms;
        for (int i = 0; i < 200; ++i) {
            QImage frame;
            QElapsedTimer timer;
            timer.start();
            if (!preview.window->GetCapturedFrame(preview.window->CaptureFrame(), frame))
                break;
            taken_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            RunEvents((i * 7) % (1000 / fps + 1));
        }
        if (taken_ms.size() < 200) {
            state.SkipWithError("a frame did not come");
            break;
        }
        state.counters["interval_ms"] = 1000.0 / fps;
        state.counters["p50_ms"] = Percentile(taken_ms, 50);
        state.counters["p99_ms"] = Percentile(taken_ms, 99);
    }
}
BENCHMARK(BM_TakeFrameWhilePainting1080p)->Arg(30)->Iterations(1)->UseRealTime();

} // namespace
