#pragma once
// Runs the GUI thread's events until a condition holds, for tests of windows and of
// anything that reports through the event loop.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace quvartest {

// True once done() holds; false when bound_ms pass first.
inline bool WaitFor(const std::function<bool()>& done, int bound_ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > bound_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace quvartest
