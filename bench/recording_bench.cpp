// Recording on the fly at 20 frames per second from a fake 1920x1080 camera into a
// 2048x1536 uncompressed AVI for 10 s, with the preview window painting every frame: the
// ticks that came late or were skipped, and the GUI thread's event-loop latency while it
// records, beside the same latency while the window only previews (the baseline, same run).

#include "PreviewBench.h"

#include "video/AviWriter.h"
#include "video/PreciseTimer.h"
#include "video/ui/AviSettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using previewbench::Percentile;

constexpr int Seconds = 10;
constexpr int ProbeMs = 10;

// How late a 10 ms timer fires on the GUI thread while events run for ms milliseconds.
std::vector<double> EventLoopLateness(int ms) {
    std::vector<double> late_ms;
    QElapsedTimer clock;
    clock.start();
    qint64 due = clock.nsecsElapsed() + qint64(ProbeMs) * 1000000;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(ProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late_ms.push_back(std::max<qint64>(0, now - due) / 1e6);
        due = now + qint64(ProbeMs) * 1000000;
    });
    probe.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return late_ms;
}

// The camera at 30 frames per second; recordings go to a folder of their own.
struct PreviewWindow : previewbench::PreviewWindow {
    QTemporaryDir videos;

    PreviewWindow() : previewbench::PreviewWindow(30) {}

    // "Start" with 20 frames per second for Seconds, 2048 x 1536, on the fly.
    void StartRecording() {
        window->UseNormalVideo = true;
        window->NVFPS = 6;
        window->NVTimeLimit = Seconds;
        window->CompressorInUse = 0;
        QTimer::singleShot(0, [this] {
            auto* dialog = dynamic_cast<TAVIDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->OnTheFlyCB->setChecked(true);
            dialog->SizeBox->setCurrentIndex(3);
            dialog->Compressorbox->setCurrentIndex(0);
            dialog->AVIDirEdit->setText(videos.path());
            dialog->Startbtn->click();
        });
        window->AVIStartStopClick();
    }
};

void BM_PreviewOnlyEventLoop1080p(benchmark::State& state) {
    for (auto _ : state) {
        PreviewWindow preview;
        if (!preview.RunningOrSkip(state))
            break;
        const int paints = preview.paints.Paints;
        const std::vector<double> late = EventLoopLateness(Seconds * 1000);
        state.counters["paints"] = preview.paints.Paints - paints;
        state.counters["loop_p50_ms"] = Percentile(late, 50);
        state.counters["loop_p99_ms"] = Percentile(late, 99);
        state.counters["loop_max_ms"] = Percentile(late, 100);
    }
}
BENCHMARK(BM_PreviewOnlyEventLoop1080p)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void BM_RecordOnTheFly20fpsTo2048x1536(benchmark::State& state) {
    for (auto _ : state) {
        PreviewWindow preview;
        if (!preview.RunningOrSkip(state))
            break;
        preview.StartRecording();
        if (!preview.window->Recording()) {
            state.SkipWithError("the recording did not start");
            break;
        }
        const int paints = preview.paints.Paints;
        std::vector<double> late;
        QElapsedTimer bound;
        bound.start();
        while (preview.window->Recording() && bound.elapsed() < (Seconds + 5) * 1000) {
            const std::vector<double> part = EventLoopLateness(500);
            late.insert(late.end(), part.begin(), part.end());
        }
        TPreciseTimer& timer = *preview.window->AVITimer;
        state.counters["ticks"] = timer.TickCount();
        state.counters["late_ticks"] = double(timer.LateTicks());
        state.counters["skipped_ticks"] = double(timer.SkippedTicks());
        state.counters["frames"] = preview.window->AVIWriter->Creator().FrameCount;
        state.counters["paints"] = preview.paints.Paints - paints;
        state.counters["loop_p50_ms"] = Percentile(late, 50);
        state.counters["loop_p99_ms"] = Percentile(late, 99);
        state.counters["loop_max_ms"] = Percentile(late, 100);
    }
}
BENCHMARK(BM_RecordOnTheFly20fpsTo2048x1536)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace
