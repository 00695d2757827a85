#pragma once
// What the benchmarks of windows share: their main (WindowBenchMain.cpp) runs an offscreen
// QApplication, and a paint counter checks that the benchmarked work was really shown.

#include <QEvent>
#include <QObject>

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
