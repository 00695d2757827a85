// One move of a rubber band on a 24-megapixel work image at original size: erase the
// previous band, draw the next one, and repaint what changed through the view's own paint,
// as the window does it. Beside it the same move with a copy of the damaged rectangle's
// bytes standing in for the repaint, and that copy alone. Bands: a diagonal line of about
// 1500 pixels and a circle of radius 750, with pens 1 and 3 pixels wide.

#include "WindowBench.h"
#include "measure/XorDraw.h"
#include "measure/ui/FotoView.h"

#include <QApplication>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int ImageWidth = 6000;
constexpr int ImageHeight = 4000;

const QImage& WorkImage() {
    static const QImage image = [] {
        QImage noisy(ImageWidth, ImageHeight, QImage::Format_BGR888);
        std::mt19937 random(1);
        uchar* bits = noisy.bits();
        for (qsizetype i = 0; i < noisy.sizeInBytes(); ++i)
            bits[i] = uchar(random());
        return noisy;
    }();
    return image;
}

// A diagonal band of about 1500 pixels whose end moves by one pixel each time.
struct Band {
    XorShape shape;
    QPoint start, end[2];
};

Band BandOf(const benchmark::State& state) {
    if (state.range(1) == 0)
        return {XorShape::Line, {2000, 1000}, {{3060, 2060}, {3061, 2061}}};
    // A circle band of radius about 750 (its box has the line's size).
    return {XorShape::Ellipse, {2000, 1000}, {{3500, 2500}, {3501, 2501}}};
}

QRect DamagedRectangle(const Band& band, int penWidth) {
    QImage image = WorkImage();
    const QRect first = XorDraw(image, band.shape, band.start, band.end[0], penWidth, 0xFFFFFFFF);
    const QRect second = XorDraw(image, band.shape, band.start, band.end[1], penWidth, 0xFFFFFFFF);
    return first | second;
}

void CopyRectangle(const QImage& image, QRect r, std::vector<uchar>& out) {
    const size_t rowBytes = size_t(r.width()) * 3;
    for (int y = 0; y < r.height(); ++y)
        std::memcpy(out.data() + size_t(y) * rowBytes,
                    image.constScanLine(r.top() + y) + size_t(r.left()) * 3, rowBytes);
}

void Label(benchmark::State& state, QRect r) {
    state.SetLabel(std::string(state.range(1) == 0 ? "line" : "circle") + ", damage " +
                   std::to_string(r.width()) + "x" + std::to_string(r.height()));
    state.SetBytesProcessed(int64_t(state.iterations()) * r.width() * r.height() * 3);
}

void BM_CopyDamagedRectangle(benchmark::State& state) {
    const Band band = BandOf(state);
    const int penWidth = int(state.range(0));
    const QRect damaged = DamagedRectangle(band, penWidth);
    const QImage image = WorkImage();
    std::vector<uchar> out(size_t(damaged.width()) * damaged.height() * 3);
    for (auto _ : state) {
        CopyRectangle(image, damaged, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Label(state, damaged);
}

void BM_RubberBandMove(benchmark::State& state) {
    const Band band = BandOf(state);
    const int penWidth = int(state.range(0));
    QImage image = WorkImage();
    image.detach();
    std::vector<uchar> out(size_t(image.width()) * image.height() * 3);
    XorDraw(image, band.shape, band.start, band.end[0], penWidth, 0xFFFFFFFF);
    int shown = 0;
    QRect damaged;
    for (auto _ : state) {
        const int next = 1 - shown;
        const QRect erased =
            XorDraw(image, band.shape, band.start, band.end[shown], penWidth, 0xFFFFFFFF);
        const QRect drawn =
            XorDraw(image, band.shape, band.start, band.end[next], penWidth, 0xFFFFFFFF);
        damaged = erased | drawn;
        CopyRectangle(image, damaged, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        shown = next;
    }
    Label(state, damaged);
}

void BM_RubberBandMoveRepainted(benchmark::State& state) {
    const Band band = BandOf(state);
    const int penWidth = int(state.range(0));
    QImage image = WorkImage();
    image.detach();
    // A full-screen image area scrolled onto the band, as the user sees it.
    QScrollArea box;
    auto* view = new FotoView(image);
    view->FitToImage();
    box.setWidget(view);
    box.resize(1920, 1200);
    box.show();
    box.horizontalScrollBar()->setValue(1800);
    box.verticalScrollBar()->setValue(900);
    PaintCounter counter;
    view->installEventFilter(&counter);
    view->UpdateImageRect(
        XorDraw(image, band.shape, band.start, band.end[0], penWidth, 0xFFFFFFFF));
    QApplication::processEvents();
    const int paintsBefore = counter.Paints;
    int shown = 0;
    for (auto _ : state) {
        const int next = 1 - shown;
        // As the window toggles a band: the changed region to the view, then a paint.
        for (const QPoint end : {band.end[shown], band.end[next]}) {
            QRegion changed;
            XorDraw(image, band.shape, band.start, end, penWidth, 0xFFFFFFFF, &changed);
            view->UpdateImageRegion(changed);
        }
        QApplication::processEvents();
        shown = next;
    }
    if (counter.Paints - paintsBefore < int(state.iterations()))
        state.SkipWithError("the view was not repainted at every move");
    state.SetLabel(std::string(state.range(1) == 0 ? "line" : "circle") + ", viewport 1920x1200");
}

} // namespace

// Arguments: pen width, band (0 line, 1 circle).
BENCHMARK(BM_CopyDamagedRectangle)->ArgsProduct({{1, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RubberBandMove)->ArgsProduct({{1, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RubberBandMoveRepainted)
    ->ArgsProduct({{1, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
