#include "RemoteCommands.h"

#include "platform/SocketListener.h"
#include "platform/TextCodec.h"
#include "platform/WatchedSocket.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <ifaddrs.h>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

CommandReply JudgeCommand(QByteArrayView received, const QString& command, bool previewing) {
    if (!previewing)
        return CommandReply::NotPreviewing;
    if (command.isEmpty())
        return CommandReply::NotRecognized;
    const QByteArray utf8 = command.toUtf8();
    if (received.contains(utf8))
        return CommandReply::Snapshot;
    if (FitsWindows1252(command) && received.contains(EncodeWindows1252(command)))
        return CommandReply::Snapshot;
    return CommandReply::NotRecognized;
}

QByteArray ReplyBytes(const QString& text) {
    return EncodeText(text);
}

namespace {

// Connections queued before the server takes them in.
constexpr int ListenBacklog = 50;

// A socket listening on every IPv4 address at port; errno tells why there is none.
UniqueFd ListenOnAnyIPv4(quint16 port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        return {};
    // A restart listens again at once, though the connections it dropped linger a while.
    const int reuse = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), ListenBacklog) != 0)
        return {};
    return fd;
}

// Why a port cannot be listened on, in the words the error box has always used.
QString ListenErrorText(int error) {
    switch (error) {
    case EADDRINUSE:
        return QStringLiteral("The bound address is already in use");
    case EACCES:
        return QStringLiteral("The address is protected");
    case EADDRNOTAVAIL:
        return QStringLiteral("The address is not available");
    default:
        return qt_error_string(error);
    }
}

} // namespace

// Each accepted connection is a bare descriptor: a client that shuts down its sending side
// once it has sent the command (as "nc -q" does) must still get the path.
struct TCommandServer::Connection {
    explicit Connection(UniqueFd fd) : socket(std::move(fd)) {}

    WatchedSocket socket;
    QByteArray unsent;
    int outstanding = 0;     // its commands not yet answered
    qint64 lastActiveMs = 0; // when it last sent or was sent something
    bool ended = false;      // the client sends no more
};

TCommandServer::TCommandServer(QObject* parent) : QObject(parent), idleTimer_(new QTimer(this)) {
    SnapshotFailed = [](const std::exception& error) {
        qWarning("Snapshot for a client failed: %s", error.what());
    };
    idleTimer_->setSingleShot(true);
    connect(idleTimer_, &QTimer::timeout, this, [this] { CloseIdleConnections(); });
}

TCommandServer::~TCommandServer() {
    Close();
}

bool TCommandServer::Listen(int port, QString& error) {
    Close();
    if (port < 1 || port > 65535) {
        error = QStringLiteral("The port %1 is not a TCP port (1 to 65535).").arg(port);
        return false;
    }
    UniqueFd fd = ListenOnAnyIPv4(quint16(port));
    if (!fd) {
        error = ListenErrorText(errno);
        return false;
    }
    listener_ = std::make_unique<SocketListener>(
        std::move(fd), [this](UniqueFd descriptor) { Accept(std::move(descriptor)); });
    port_ = quint16(port);
    return true;
}

bool TCommandServer::IsListening() const {
    return listener_ != nullptr;
}

quint16 TCommandServer::Port() const {
    return listener_ ? port_ : 0;
}

void TCommandServer::Close() {
    listener_.reset();
    idleTimer_->stop();
    pending_.clear();
    // A handler on the stack keeps its connection alive; each is only shut here.
    for (const ConnectionPtr& client : std::exchange(connections_, {}))
        client->socket.Shut();
}

bool TCommandServer::TakeRequest() {
    const bool requested = Tag != 0;
    Tag = 0;
    return requested;
}

void TCommandServer::SendToFirstConnection(const QString& text) {
    if (!connections_.empty())
        Send(connections_.front(), text);
}

qint64 TCommandServer::Now() const {
    if (Clock)
        return Clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TCommandServer::ConnectionPtr TCommandServer::IdleLongest() const {
    const auto rank = [](const ConnectionPtr& c) {
        return std::pair(c->outstanding > 0 || !c->unsent.isEmpty(), c->lastActiveMs);
    };
    // The first of equals: the one connected earlier.
    return *std::min_element(
        connections_.begin(), connections_.end(),
        [&](const ConnectionPtr& a, const ConnectionPtr& b) { return rank(a) < rank(b); });
}

void TCommandServer::CloseIdleConnections() {
    const qint64 now = Now();
    std::optional<qint64> next;
    for (const ConnectionPtr& client : std::vector(connections_)) {
        // A client whose command waits for its snapshot is not idle: it waits for us.
        if (client->outstanding > 0)
            continue;
        const qint64 due = client->lastActiveMs + IdleTimeoutMs;
        if (due <= now)
            Drop(client);
        else
            next = std::min(next.value_or(due), due);
    }
    if (next)
        idleTimer_->start(std::chrono::milliseconds(*next - now));
    else
        idleTimer_->stop();
}

void TCommandServer::Accept(UniqueFd descriptor) {
    if (int(connections_.size()) >= MaxConnections)
        Drop(IdleLongest());
    auto client = std::make_shared<Connection>(std::move(descriptor));
    client->lastActiveMs = Now();
    const std::weak_ptr<Connection> weak = client;
    connect(&client->socket.readable, &QSocketNotifier::activated, this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            ServerSocketClientRead(c);
    });
    connect(&client->socket.writable, &QSocketNotifier::activated, this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            WriteReady(c);
    });
    connections_.push_back(std::move(client));
    if (!idleTimer_->isActive())
        CloseIdleConnections();
}

void TCommandServer::Drop(const ConnectionPtr& client) {
    client->socket.Shut();
    std::erase(connections_, client);
}

void TCommandServer::ServerSocketClientRead(const ConnectionPtr& client) {
    if (client->socket.closed)
        return;
    QByteArray text(MaxReadBytes, Qt::Uninitialized);
    const ssize_t n =
        ::recv(client->socket.fd.get(), text.data(), size_t(text.size()), MSG_DONTWAIT);
    if (n < 0) {
        if (!WouldBlock(errno))
            Drop(client); // reset by the client: no error of ours
        return;
    }
    if (n == 0) {
        // The client sends no more; it stays until what it asked for is answered.
        client->ended = true;
        client->socket.readable.setEnabled(false);
        if (client->outstanding == 0 && client->unsent.isEmpty())
            Drop(client);
        return;
    }
    text.truncate(n);
    client->lastActiveMs = Now();
    Tag = 0;
    switch (JudgeCommand(text, Command, Previewing && Previewing())) {
    case CommandReply::NotPreviewing:
        Send(client, NotPreviewingReply);
        break;
    case CommandReply::NotRecognized:
        Send(client, NotRecognizedReply);
        break;
    case CommandReply::Snapshot:
        ++client->outstanding;
        pending_.push_back(client);
        RunSnapshots();
        break;
    }
}

void TCommandServer::Send(const ConnectionPtr& client, const QString& text) {
    // A client that went away before its reply is no error: the reply has no receiver.
    if (client->socket.closed)
        return;
    const QByteArray bytes = ReplyBytes(text);
    client->lastActiveMs = Now();
    qsizetype sent = 0;
    if (client->unsent.isEmpty()) {
        const ssize_t n = ::send(client->socket.fd.get(), bytes.constData(), size_t(bytes.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && !WouldBlock(errno)) {
            Drop(client);
            return;
        }
        sent = std::max<qsizetype>(n, 0);
    }
    if (sent == bytes.size())
        return;
    client->unsent += bytes.mid(sent);
    if (client->unsent.size() > MaxUnsentBytes) {
        Drop(client); // it does not read what it asks for
        return;
    }
    client->socket.writable.setEnabled(true);
}

void TCommandServer::WriteReady(const ConnectionPtr& client) {
    if (client->socket.closed)
        return;
    const ssize_t n = ::send(client->socket.fd.get(), client->unsent.constData(),
                             size_t(client->unsent.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
        if (!WouldBlock(errno))
            Drop(client);
        return;
    }
    client->unsent.remove(0, n);
    if (!client->unsent.isEmpty())
        return;
    client->socket.writable.setEnabled(false);
    if (client->ended && client->outstanding == 0)
        Drop(client);
}

void TCommandServer::Answered(const ConnectionPtr& client) {
    --client->outstanding;
    if (!client->socket.closed && client->ended && client->outstanding == 0 &&
        client->unsent.isEmpty())
        Drop(client);
    else if (!idleTimer_->isActive()) // it may be idle from now on
        CloseIdleConnections();
}

void TCommandServer::RunSnapshots() {
    // A command that comes while a snapshot for a client runs waits for it (this loop, on
    // the stack below, takes it next) instead of starting a snapshot inside it.
    if (running_)
        return;
    running_ = true;
    struct Done {
        TCommandServer* server;
        ~Done() {
            server->running_ = false;
            server->Tag = 0;
        }
    } done{this};
    while (!pending_.empty()) {
        const ConnectionPtr sender = pending_.front();
        pending_.pop_front();
        // Judged again when its turn comes: the preview may have stopped meanwhile.
        if (!(Previewing && Previewing())) {
            Send(sender, NotPreviewingReply);
            Answered(sender);
            continue;
        }
        Tag = 1;
        try {
            if (Snapshot)
                Snapshot();
        } catch (const std::exception& error) {
            Tag = 0;
            if (SnapshotFailed)
                SnapshotFailed(error);
        }
        Tag = 0; // also when the snapshot was refused before it took the request
        Answered(sender);
    }
}

QString ServerAddressLabel(bool running, const QString& address, const QString& hostName) {
    if (!running)
        return QStringLiteral("---; ---");
    return address + QStringLiteral(";  ") + hostName;
}

std::optional<QString> FirstNonLoopbackIPv4(const QStringList& addresses) {
    for (const QString& address : addresses) {
        in_addr parsed{};
        if (::inet_pton(AF_INET, address.toLatin1().constData(), &parsed) == 1 &&
            ntohl(parsed.s_addr) >> 24 != IN_LOOPBACKNET)
            return address;
    }
    return std::nullopt;
}

namespace {

QString AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = nullptr;
    if (address->sa_family == AF_INET)
        bytes = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    else if (address->sa_family == AF_INET6)
        bytes = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (!bytes || !::inet_ntop(address->sa_family, bytes, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

// The IPv4 addresses of the network interfaces that are up.
QStringList InterfaceIPv4Addresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    QStringList addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP))
            addresses << AddressText(entry->ifa_addr);
    ::freeifaddrs(list);
    return addresses;
}

// A look-up running on a thread of its own, shared with it: the thread may end long after
// the waiter has given up, and then touches nothing but this.
struct PendingLookup {
    UniqueFd done{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)}; // readable once there is a result
    std::mutex mutex;
    std::optional<HostAddresses> result;
};

// The look-up's result, waited for at most boundMs with the event loop running (user
// input held back); nothing when it did not come in time.
std::optional<HostAddresses> LookUpWithin(const QByteArray& asciiName, int boundMs,
                                          const HostLookup& lookUp) {
    const auto pending = std::make_shared<PendingLookup>();
    if (!pending->done)
        return HostAddresses{EAI_SYSTEM, {}};
    try {
        // Detached: a name server that does not answer holds the look-up for many seconds,
        // and neither the window nor the program's exit waits for it.
        std::thread([pending, asciiName, lookUp] {
            HostAddresses found = lookUp(asciiName);
            {
                const std::lock_guard lock(pending->mutex);
                pending->result = std::move(found);
            }
            const quint64 one = 1;
            [[maybe_unused]] const ssize_t written = ::write(pending->done.get(), &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        return HostAddresses{EAI_SYSTEM, {}};
    }
    const auto taken = [&pending] {
        const std::lock_guard lock(pending->mutex);
        return pending->result;
    };
    if (std::optional<HostAddresses> found = taken())
        return found;
    QEventLoop loop;
    QSocketNotifier answered(pending->done.get(), QSocketNotifier::Read);
    QObject::connect(&answered, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return taken();
}

// Why a look-up failed, in the words the error box has always used.
QString LookUpErrorText(int error) {
    switch (error) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_FAIL:
        return QStringLiteral("Host not found");
    default:
        return QString::fromLocal8Bit(::gai_strerror(error));
    }
}

QString DoesNotResolveText(const QString& hostName, const QString& reason) {
    return QStringLiteral("The name of this computer, \"%1\", does not resolve: %2")
        .arg(hostName, reason);
}

} // namespace

HostAddresses LookUpHost(const QByteArray& asciiName) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM; // each address once, not once per socket type
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    int error = ::getaddrinfo(asciiName.constData(), nullptr, &hints, &list);
    if (error == EAI_BADFLAGS) {
        hints.ai_flags = 0;
        error = ::getaddrinfo(asciiName.constData(), nullptr, &hints, &list);
    }
    if (error != 0)
        return {error, {}};
    HostAddresses found;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        const QString text = AddressText(entry->ai_addr);
        if (!text.isEmpty() && !found.Addresses.contains(text))
            found.Addresses << text;
    }
    ::freeaddrinfo(list);
    return found;
}

bool GetLocalHostAddress(QString& hostName, QString& address, QString& error) {
    hostName = QSysInfo::machineHostName();
    address.clear();
    if (hostName.isEmpty()) {
        error = QStringLiteral("The name of this computer cannot be read.");
        return false;
    }
    return ResolveLocalHostName(hostName, address, error);
}

bool ResolveLocalHostName(const QString& hostName, QString& address, QString& error, int boundMs,
                          const HostLookup& lookUp) {
    address.clear();
    // Names beyond ASCII are looked up in their international (ACE) form.
    const QByteArray asciiName = QUrl::toAce(hostName);
    if (asciiName.isEmpty()) {
        error =
            DoesNotResolveText(hostName, hostName.isEmpty() ? QStringLiteral("No host name given")
                                                            : QStringLiteral("Invalid hostname"));
        return false;
    }
    // A look-up through an unreachable name server takes many seconds: waited for with a
    // bound, the GUI live meanwhile.
    const std::optional<HostAddresses> found = LookUpWithin(asciiName, boundMs, lookUp);
    if (!found) {
        error = QStringLiteral("The name of this computer, \"%1\", did not resolve within %2 "
                               "seconds.")
                    .arg(hostName)
                    .arg(boundMs / 1000.0);
        return false;
    }
    if (found->Error != 0) {
        error = DoesNotResolveText(hostName, LookUpErrorText(found->Error));
        return false;
    }
    // Many hosts files give the machine's own name a loopback address: the network
    // interfaces then tell the address others reach it at.
    std::optional<QString> chosen = FirstNonLoopbackIPv4(found->Addresses);
    if (!chosen)
        chosen = FirstNonLoopbackIPv4(InterfaceIPv4Addresses());
    if (!chosen) {
        error = QStringLiteral("This computer has no IPv4 address other than the loopback "
                               "address: clients on other computers cannot reach the server.");
        return false;
    }
    address = *chosen;
    return true;
}
