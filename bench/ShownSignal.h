#pragma once
// How a start-up probe tells the benchmark that its window is shown and the first events
// after it are handled: one byte on the pipe whose descriptor the benchmark puts in
// STARTUP_SHOWN_FD. What the process does after it, its teardown, nobody waits for at start.

#include <QByteArray>
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
