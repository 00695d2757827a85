#pragma once
// What the benchmarks of windows share: their main (WindowBenchMain.cpp) runs an offscreen
// QApplication, and a paint counter checks that the benchmarked work was really shown.

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QRandomGenerator>

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return QObject::eventFilter(watched, event);
    }
};

// A photograph-like image: smooth shading with a little noise, as a camera's JPEG holds
// (pure noise would compress and decode unlike any photograph).
inline QImage PhotographLike(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random.bounded(16));
            row[x] = qRgb((x / 24 + n) & 255, (y / 16 + n) & 255, ((x + y) / 40) & 255);
        }
    }
    return image;
}
