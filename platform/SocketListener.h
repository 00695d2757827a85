#pragma once
// Takes the connections of a listening socket from the event loop of the thread that made
// the listener.

#include "platform/UniqueFd.h"

#include <QSocketNotifier>
#include <QTimer>

#include <functional>

class SocketListener {
public:
    // The most connections one turn of the event loop takes: the rest wait for the next, so
    // a crowd that connects at once never holds up the program's other work.
    static constexpr int MaxAcceptsPerTurn = 64;
    // Out of descriptors, accepting pauses this long instead of trying again at once.
    static constexpr int ResourcePauseMs = 1000;

    // listening: a non-blocking socket that listens. Each connection goes to accepted,
    // non-blocking and closed on exec; accepted must not destroy the listener.
    SocketListener(UniqueFd listening, std::function<void(UniqueFd)> accepted);
    SocketListener(const SocketListener&) = delete;
    SocketListener& operator=(const SocketListener&) = delete;

    int Descriptor() const { return fd_.get(); }

private:
    void AcceptPending();

    // Declared first, so it is closed after the notifier that watches it is gone.
    UniqueFd fd_;
    std::function<void(UniqueFd)> accepted_;
    QSocketNotifier notifier_;
    QTimer pause_;
};
