// Resizing and rotation against their baselines: a memcpy of the source (the floor),
// QImage::scaled and, when installed, OpenCV's cv::resize on the same pixels. Ours and
// OpenCV's run on one thread ("/threads:1") and with the automatic count ("/threads:0",
// OpenCV's default); all report wall time.

#include "imaging/Bitmap.h"
#include "imaging/BitmapResize.h"
#include "imaging/BitmapRotate.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#ifdef QUVAR_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

QImage Photo(int w, int h, QImage::Format format) {
    // Smooth gradients with noise: closer to a photograph than pure noise.
    QImage image = NewBitmap(w, h, format);
    std::mt19937 random(1);
    const int bytes = image.depth() / 8;
    for (int y = 0; y < h; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bytes; ++c)
                line[x * bytes + c] = uchar((x * (c + 1) + y * 3 + int(random() % 16)) & 0xFF);
    }
    return image;
}

struct Scene {
    int sw, sh, dw, dh;
};
// A 24-megapixel photograph to half size and to a 1600-wide window, and a VGA frame up.
constexpr Scene Scenes[] = {
    {6000, 4000, 3000, 2000}, {6000, 4000, 1600, 1067}, {640, 480, 2048, 1536}};
const Scene& SceneOf(const benchmark::State& state) {
    return Scenes[state.range(0)];
}

void Label(benchmark::State& state) {
    const Scene& s = SceneOf(state);
    state.SetLabel(std::to_string(s.sw) + "x" + std::to_string(s.sh) + " -> " +
                   std::to_string(s.dw) + "x" + std::to_string(s.dh));
}

void BM_MemcpySource24(benchmark::State& state) {
    const Scene& s = SceneOf(state);
    const QImage src = Photo(s.sw, s.sh, Bitmap24Format);
    QImage copy = NewBitmap(s.sw, s.sh);
    copy.fill(0); // the floor copies into memory already there, as a reused bitmap is
    for (auto _ : state) {
        std::memcpy(copy.bits(), src.constBits(), size_t(src.sizeInBytes()));
        benchmark::DoNotOptimize(copy.bits());
    }
    Label(state);
}

void BM_Bilinear(benchmark::State& state) {
    const Scene& s = SceneOf(state);
    const QImage src = Photo(s.sw, s.sh, Bitmap24Format);
    QImage out = NewBitmap(s.dw, s.dh);
    for (auto _ : state) {
        BilinearResize(src, out, int(state.range(1)));
        benchmark::DoNotOptimize(out.bits());
    }
    Label(state);
}

QImage::Format FormatOf(int bits) {
    return bits == 24 ? Bitmap24Format : Bitmap32Format;
}

void BM_AreaAverage(benchmark::State& state) {
    const Scene& s = SceneOf(state);
    const QImage src = Photo(s.sw, s.sh, FormatOf(int(state.range(2))));
    QImage out = NewBitmap(s.dw, s.dh, FormatOf(int(state.range(2))));
    for (auto _ : state) {
        AreaAverageResize(src, out, int(state.range(1)));
        benchmark::DoNotOptimize(out.bits());
    }
    Label(state);
}

// Each vector level on one thread: what a processor with narrower vectors than this one
// gets (0 baseline, 1 AVX2, 2 AVX-512, 3 AVX-512 with byte permutes; a level this
// processor lacks is skipped).
template <bool Area> void BM_ResizeAtLevel(benchmark::State& state) {
    const auto level = ResizeVectors(state.range(1));
    if (LimitResizeVectors(level) != level) {
        LimitResizeVectors(ResizeVectors::Avx512Vbmi);
        state.SkipWithError("the processor lacks this level");
        return;
    }
    const Scene& s = SceneOf(state);
    const QImage src = Photo(s.sw, s.sh, Bitmap24Format);
    QImage out = NewBitmap(s.dw, s.dh);
    for (auto _ : state) {
        if (Area)
            AreaAverageResize(src, out, 1);
        else
            BilinearResize(src, out, 1);
        benchmark::DoNotOptimize(out.bits());
    }
    LimitResizeVectors(ResizeVectors::Avx512Vbmi);
    Label(state);
}

void BM_QtSmooth(benchmark::State& state) {
    const Scene& s = SceneOf(state);
    const QImage src = Photo(s.sw, s.sh, state.range(1) == 24 ? Bitmap24Format : Bitmap32Format);
    for (auto _ : state) {
        QImage out = src.scaled(s.dw, s.dh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
    }
    Label(state);
}

#ifdef QUVAR_HAVE_OPENCV
// OpenCV's own thread count, read before any benchmark changes it.
const int OpenCvDefaultThreads = cv::getNumThreads();

void OpenCvResize(benchmark::State& state, int interpolation, int bits) {
    cv::setNumThreads(state.range(1) == 1 ? 1 : OpenCvDefaultThreads);
    const Scene& s = SceneOf(state);
    QImage src = Photo(s.sw, s.sh, FormatOf(bits));
    const int type = bits == 24 ? CV_8UC3 : CV_8UC4;
    const cv::Mat in(s.sh, s.sw, type, src.bits(), size_t(src.bytesPerLine()));
    cv::Mat out(s.dh, s.dw, type);
    for (auto _ : state) {
        cv::resize(in, out, out.size(), 0, 0, interpolation);
        benchmark::DoNotOptimize(out.data);
    }
    cv::setNumThreads(OpenCvDefaultThreads);
    Label(state);
}

void BM_OpenCvLinear(benchmark::State& state) {
    OpenCvResize(state, cv::INTER_LINEAR, 24);
}

void BM_OpenCvArea(benchmark::State& state) {
    OpenCvResize(state, cv::INTER_AREA, int(state.range(2)));
}

BENCHMARK(BM_OpenCvLinear)
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->ArgNames({"scene", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenCvArea)
    ->ArgsProduct({{0, 1, 2}, {1, 0}, {24, 32}})
    ->ArgNames({"scene", "threads", "bits"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#else
// Without OpenCV the figures above have no outside baseline: say so where they are read.
void BM_OpenCvBaseline(benchmark::State& state) {
    state.SkipWithError("no OpenCV baseline: its headers were not found when this was built "
                        "(apt-get install libopencv-dev, then configure again)");
}
BENCHMARK(BM_OpenCvBaseline);
#endif

void BM_MemcpyRotateSource(benchmark::State& state) {
    const QImage src = Photo(6000, 4000, Bitmap24Format);
    QImage copy = NewBitmap(6000, 4000);
    copy.fill(0); // the floor copies into memory already there, as a reused bitmap is
    for (auto _ : state) {
        std::memcpy(copy.bits(), src.constBits(), size_t(src.sizeInBytes()));
        benchmark::DoNotOptimize(copy.bits());
    }
}

// The rotation is in place, so each iteration rotates the result of the one before; a
// quarter turn keeps alternating between 6000 x 4000 and 4000 x 6000.
template <void (*Rotate)(QImage&, int)> void BM_Rotate(benchmark::State& state) {
    QImage image = Photo(6000, 4000, Bitmap24Format);
    for (auto _ : state) {
        Rotate(image, int(state.range(0)));
        benchmark::DoNotOptimize(image.constBits());
    }
}

} // namespace

BENCHMARK(BM_MemcpySource24)->DenseRange(0, 2)->ArgName("scene")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bilinear)
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->ArgNames({"scene", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AreaAverage)
    ->ArgsProduct({{0, 1, 2}, {1, 0}, {24, 32}})
    ->ArgNames({"scene", "threads", "bits"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResizeAtLevel<false>)
    ->Name("BM_BilinearAtLevel")
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"scene", "level"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResizeAtLevel<true>)
    ->Name("BM_AreaAverageAtLevel")
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"scene", "level"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_QtSmooth)
    ->ArgsProduct({{0, 1, 2}, {24, 32}})
    ->ArgNames({"scene", "bits"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyRotateSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate<RotateLeft90>)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Rotate<RotateRight90>)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Rotate<Rotate180>)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
