// Rebuilding the work image for display and painting a damaged rectangle, each beside a
// memcpy of the same bytes; opening a 24-megapixel JPEG until it is shown, beside its
// decode alone.

#include "WindowBench.h"
#include "imaging/ImageFiles.h"
#include "measure/MainFields.h"
#include "measure/WorkImageRebuild.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

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

// The view's own paint of a damaged rectangle as the window repaints it: through the
// window's backing store, in a full-screen image area scrolled onto the rectangle.
void BM_PaintDamaged200x200(benchmark::State& state) {
    QScrollArea box;
    auto* view = new FotoView(Original());
    view->FitToImage();
    box.setWidget(view);
    box.resize(1920, 1200);
    box.show();
    box.horizontalScrollBar()->setValue(2000);
    box.verticalScrollBar()->setValue(1200);
    QApplication::processEvents();
    PaintCounter counter;
    view->installEventFilter(&counter);
    const QRect damaged(2900, 1900, 200, 200);
    for (auto _ : state)
        view->repaint(damaged);
    if (counter.Paints < int(state.iterations()))
        state.SkipWithError("the view was not repainted at every iteration");
}

void BM_Memcpy200x200(benchmark::State& state) {
    std::vector<char> from(size_t(200) * 200 * 4), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
}

// What no paint of the rectangle can avoid: its 200 rows copied one by one from the
// 32-bit 6000-wide image into a 1920-wide 32-bit backing store, without a painter.
void BM_CopyRows200x200(benchmark::State& state) {
    QImage from(6000, 4000, QImage::Format_RGB32);
    from.fill(Qt::gray);
    QImage to(1920, 1200, QImage::Format_RGB32);
    to.fill(Qt::black);
    for (auto _ : state) {
        for (int y = 0; y < 200; ++y)
            std::memcpy(to.scanLine(300 + y) + 400 * 4, from.constScanLine(1900 + y) + 2900 * 4,
                        200 * 4);
        benchmark::DoNotOptimize(to.constBits());
    }
}

// A photograph-like 6000 x 4000 JPEG: smooth shading with a little noise.
const QString& Jpeg24MP() {
    static QTemporaryDir folder;
    static const QString path = [] {
        const QImage image = PhotographLike(6000, 4000);
        const QString file = folder.path() + QStringLiteral("/photo.jpg");
        image.save(file, "JPEG", 95);
        return file;
    }();
    return path;
}

void BM_DecodeJpeg24MP(benchmark::State& state) {
    for (auto _ : state) {
        QImage image;
        QStringList comment;
        LoadImageWithComment(image, Jpeg24MP(), comment);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The whole opening: read, calibration decision, rebuild to "Fit to Window", histories.
void BM_LoadImageFileFitToWindow(benchmark::State& state) {
    QTemporaryDir program;
    qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(program.path()));
    TMain window;
    window.resize(1400, 900);
    window.show();
    window.NrOfMCSystems = 1;
    window.BrowsingFolder = true; // a tall image is then fitted to the window
    for (auto _ : state) {
        window.LoadImageFile(Jpeg24MP());
        benchmark::DoNotOptimize(window.WorkImage.constBits());
    }
}

} // namespace

BENCHMARK(BM_DecodeJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadImageFileFitToWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebuildFitToWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebuildWidth1600)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemcpyWorkImage1600x1067)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintDamaged200x200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy200x200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyRows200x200)->Unit(benchmark::kMicrosecond);
