// Undo history of line measurements on a large photograph: each step changes a line of a
// few thousand pixels. Reports the memory the history holds (the resident memory it added,
// in MB and in images of the measured size, and its own count, held_MB) and the wall time
// of twenty Adds, of one Undo and of one Redo.

#include "imaging/Bitmap.h"
#include "imaging/BmpHistory.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int Width = 8000, Height = 6000, Lines = 20;

QImage Photo() {
    QImage image = NewBitmap(Width, Height);
    for (int y = 0; y < Height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < Width * 3; ++x)
            line[x] = uchar((x + 3 * y + ((x * 7919) ^ y) % 13) & 0xFF);
    }
    return image;
}

// Measurement k: a 2-pixel-thick line 3000 pixels long, alternately near horizontal and
// near vertical, at a place of its own.
void DrawLine(QImage& image, int k) {
    const bool across = k % 2 == 0;
    const int x0 = 200 + 300 * k, y0 = 150 + 250 * k;
    for (int t = 0; t < 3000; ++t)
        for (int d = 0; d < 2; ++d) {
            const int x = across ? (x0 + t) % Width : (x0 + t / 8 + d) % Width;
            const int y = across ? (y0 + t / 8 + d) % Height : (y0 + t) % Height;
            std::memset(image.scanLine(y) + 3 * x, 37 * k + 11, 3);
        }
}

qint64 ResidentBytes() {
    long total = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &total, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

void ReportMemory(benchmark::State& state, qint64 bytes, const QImage& image) {
    state.counters["history_MB"] = double(bytes) / (1 << 20);
    state.counters["images"] = double(bytes) / double(image.sizeInBytes());
}

// Twenty measurements added in turn, the way the measuring window records them.
void BM_HistoryTwentyLines(benchmark::State& state) {
    const QImage photo = Photo();
    qint64 held = 0, counted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QImage work = photo.copy();
        malloc_trim(0); // what the previous iteration freed must not be counted as reused
        const qint64 before = ResidentBytes();
        {
            BmpHistory history;
            history.Clear();
            state.ResumeTiming();
            history.Add(work);
            for (int k = 0; k < Lines; ++k) {
                DrawLine(work, k);
                history.Add(work);
            }
            state.PauseTiming();
            held = ResidentBytes() - before;
            counted = history.MemoryBytes();
        }
        state.ResumeTiming();
    }
    ReportMemory(state, held, photo);
    state.counters["held_MB"] = double(counted) / (1 << 20);
}

// One step back (range 0) or forward (range 1) after twenty measurements; the other
// direction runs untimed to return to the same place.
void BM_HistoryStep(benchmark::State& state) {
    QImage work = Photo();
    BmpHistory history;
    history.Add(work);
    for (int k = 0; k < Lines; ++k) {
        DrawLine(work, k);
        history.Add(work);
    }
    const bool redo = state.range(0) == 1;
    if (redo)
        history.Undo(work);
    for (auto _ : state) {
        const bool done = redo ? history.Redo(work) : history.Undo(work);
        state.PauseTiming();
        if (!done)
            state.SkipWithError("nothing to undo or redo");
        const bool back = redo ? history.Undo(work) : history.Redo(work);
        if (!back)
            state.SkipWithError("could not return");
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_HistoryTwentyLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HistoryStep)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("redo")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
