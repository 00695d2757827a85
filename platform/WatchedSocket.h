#pragma once
// A connected, non-blocking socket watched from the event loop of the thread that made it:
// its notifiers tell when it can be read and written. Reading is watched from the start,
// writing only once turned on, while something waits to be sent.

#include "platform/UniqueFd.h"

#include <QSocketNotifier>

#include <cerrno>

struct WatchedSocket {
    explicit WatchedSocket(UniqueFd descriptor)
        : fd(std::move(descriptor)), readable(fd.get(), QSocketNotifier::Read),
          writable(fd.get(), QSocketNotifier::Write) {
        writable.setEnabled(false);
    }
    WatchedSocket(const WatchedSocket&) = delete;
    WatchedSocket& operator=(const WatchedSocket&) = delete;
    ~WatchedSocket() { Shut(); }

    // Closes it, once; closed stays true.
    void Shut() {
        if (closed)
            return;
        closed = true;
        // Off before the descriptor goes, so a new connection may take its number.
        readable.setEnabled(false);
        writable.setEnabled(false);
        fd.reset();
    }

    UniqueFd fd; // declared first: closed after the notifiers that watch it are gone
    QSocketNotifier readable;
    QSocketNotifier writable;
    bool closed = false;
};

// Whether a call on a non-blocking socket failed only because it would have to wait, or
// was interrupted: it is tried again when the socket is ready.
inline bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}
