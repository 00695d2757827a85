// Exposure correction as the dialog's preview runs it: the source corrected into the work
// image's pixels. On the work image (1600 x 1200) every slider step pays this; on a
// 24-megapixel original OK pays it once. The baseline does the same bytes as a lookup per
// channel through three tables from the source into a reused, pre-faulted target, on the
// same threads in the same bands: the least any table method can do.

#include "imaging/Bitmap.h"
#include "imaging/ExposureCorrection.h"
#include "platform/ThreadPool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

QImage Photo(int width, int height) {
    QImage image = NewBitmap(width, height);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar((x + 3 * y + ((x * 7919) ^ y) % 13) & 0xFF);
    }
    return image;
}

const ExposureSettings Strong{320, 30, 380, 40, 12, -8, 5};

void BM_CorrectExposure(benchmark::State& state) {
    const QImage source = Photo(int(state.range(0)), int(state.range(1)));
    QImage target;
    for (auto _ : state) {
        CorrectExposure(source, target, Strong);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetBytesProcessed(state.iterations() * source.sizeInBytes());
}

void BM_ThreeTablesThreaded(benchmark::State& state) {
    const QImage source = Photo(int(state.range(0)), int(state.range(1)));
    QImage target = NewBitmap(source.width(), source.height());
    target.fill(0);
    std::array<std::array<uint8_t, 256>, 3> tables{};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            tables[size_t(c)][size_t(i)] = uint8_t(255 - (i + c) % 256);
    const int height = source.height();
    const int parts = std::min(ThreadPoolSize(), height);
    for (auto _ : state) {
        RunParts(parts, [&](int part) {
            for (int y = height * part / parts; y < height * (part + 1) / parts; ++y) {
                const uint8_t* in = source.constScanLine(y);
                uint8_t* out = target.scanLine(y);
                for (int x = 0; x < source.width(); ++x, in += 3, out += 3) {
                    out[0] = tables[0][in[0]];
                    out[1] = tables[1][in[1]];
                    out[2] = tables[2][in[2]];
                }
            }
        });
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetBytesProcessed(state.iterations() * source.sizeInBytes());
}

} // namespace

BENCHMARK(BM_CorrectExposure)
    ->Args({1600, 1200})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ThreeTablesThreaded)
    ->Args({1600, 1200})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
