// Rebuilding the work image for display and painting a damaged rectangle, each beside a
// memcpy of the same bytes.

#include "measure/MainFields.h"
#include "measure/WorkImageRebuild.h"
#include "measure/ui/FotoView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

QImage NoisyImage(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int i = 0; i < image.bytesPerLine() / 4; ++i)
            row[i] = random.generate();
    }
    return image;
}

const QImage& Original() {
    static const QImage image = NoisyImage(6000, 4000);
    return image;
}

constexpr int kWidth1600Item = 19; // "Width = 1600"

void Rebuild(benchmark::State& state, int item) {
    TMainFields main;
    main.OriginalImage = Original();
    for (auto _ : state) {
        RebuildWorkImage(main, RebuildRedraw, item, {1600, 1000});
        benchmark::DoNotOptimize(main.WorkImage.constBits());
    }
}

void BM_RebuildFitToWindow(benchmark::State& state) {
    Rebuild(state, 1);
}
void BM_RebuildWidth1600(benchmark::State& state) {
    Rebuild(state, kWidth1600Item);
}

// The floor for a rebuild: copying the work image's bytes once.
void BM_MemcpyWorkImage1600x1067(benchmark::State& state) {
    std::vector<char> from(size_t(1600) * 1067 * 3), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
}

void BM_PaintDamaged200x200(benchmark::State& state) {
    const QImage& work = Original();
    FotoView view(work);
    view.FitToImage();
    QImage target(200, 200, QImage::Format_ARGB32_Premultiplied);
    const QRect damaged(2900, 1900, 200, 200);
    for (auto _ : state) {
        view.render(&target, QPoint(), QRegion(damaged));
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_Memcpy200x200(benchmark::State& state) {
    std::vector<char> from(size_t(200) * 200 * 4), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
}

} // namespace

BENCHMARK(BM_RebuildFitToWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildWidth1600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyWorkImage1600x1067)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintDamaged200x200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy200x200)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
