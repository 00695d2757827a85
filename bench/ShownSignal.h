#pragma once
// How a start-up probe tells the benchmark that its window is there: once the window's first
// frame has been painted, one byte on the pipe whose descriptor the benchmark puts in
// STARTUP_SHOWN_FD, and the program then quits. What the process does after it, its
// teardown, nobody waits for at start.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <unistd.h>

inline void SignalShown() {
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue("STARTUP_SHOWN_FD", &ok);
    if (!ok)
        return;
    const char shown = 's';
    [[maybe_unused]] const ssize_t written = write(fd, &shown, 1);
    close(fd);
}

// The window paints its frame while it handles its first update request; the zero timer
// set then fires after it.
class SignalWhenPainted : public QObject {
public:
    explicit SignalWhenPainted(QWidget* window) : QObject(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, [] {
                SignalShown();
                QCoreApplication::quit();
            });
        }
        return false;
    }
};
