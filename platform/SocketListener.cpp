#include "SocketListener.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

// A failure of the one connection being taken in (it went, or its network did), passed on
// by accept: the others in the queue are still there.
bool IsConnectionError(int error) {
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
        return true;
    default:
        return false;
    }
}

} // namespace

SocketListener::SocketListener(UniqueFd listening, std::function<void(UniqueFd)> accepted)
    : fd_(std::move(listening)), accepted_(std::move(accepted)),
      notifier_(fd_.get(), QSocketNotifier::Read) {
    pause_.setSingleShot(true);
    QObject::connect(&pause_, &QTimer::timeout, &notifier_, [this] { notifier_.setEnabled(true); });
    QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_,
                     [this] { AcceptPending(); });
}

void SocketListener::AcceptPending() {
    for (int attempt = 0; attempt < MaxAcceptsPerTurn; ++attempt) {
        UniqueFd connection(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (connection) {
            accepted_(std::move(connection));
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        if (IsConnectionError(errno))
            continue;
        // Out of descriptors or memory: the connection stays queued and the socket readable,
        // so without a pause the event loop would spin on it.
        notifier_.setEnabled(false);
        pause_.start(ResourcePauseMs);
        return;
    }
}
