#include "RemoteCommands.h"

#include "platform/TextCodec.h"

#include <QEventLoop>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/socket.h>
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

// Takes each accepted connection as a bare descriptor: QTcpSocket closes a connection at
// the client's end of input, and a client that shuts down its sending side once it has
// sent the command (as "nc -q" does) must still get the path.
class TCommandServer::Listener : public QTcpServer {
public:
    explicit Listener(TCommandServer& owner) : owner_(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override { owner_.Accept(descriptor); }

private:
    TCommandServer& owner_;
};

struct TCommandServer::Connection {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    QByteArray unsent;
    int outstanding = 0;     // its commands not yet answered
    qint64 lastActiveMs = 0; // when it last sent or was sent something
    bool ended = false;      // the client sends no more
    bool closed = false;

    ~Connection() { Shut(); }
    void Shut() {
        if (closed)
            return;
        closed = true;
        // Off before the descriptor goes, so a new connection may take its number.
        readable->setEnabled(false);
        writable->setEnabled(false);
        ::close(fd);
    }
};

TCommandServer::TCommandServer(QObject* parent)
    : QObject(parent), listener_(std::make_unique<Listener>(*this)), idleTimer_(new QTimer(this)) {
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
    if (!listener_->listen(QHostAddress::AnyIPv4, quint16(port))) {
        error = listener_->errorString();
        return false;
    }
    return true;
}

bool TCommandServer::IsListening() const {
    return listener_->isListening();
}

quint16 TCommandServer::Port() const {
    return listener_->serverPort();
}

void TCommandServer::Close() {
    listener_->close();
    idleTimer_->stop();
    pending_.clear();
    // A handler on the stack keeps its connection alive; each is only shut here.
    for (const ConnectionPtr& client : std::exchange(connections_, {}))
        client->Shut();
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

void TCommandServer::Accept(qintptr descriptor) {
    const int fd = int(descriptor);
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(fd);
        return;
    }
    if (int(connections_.size()) >= MaxConnections)
        Drop(IdleLongest());
    auto client = std::make_shared<Connection>();
    client->fd = fd;
    client->lastActiveMs = Now();
    client->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    client->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    client->writable->setEnabled(false);
    const std::weak_ptr<Connection> weak = client;
    connect(client->readable.get(), &QSocketNotifier::activated, this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            ServerSocketClientRead(c);
    });
    connect(client->writable.get(), &QSocketNotifier::activated, this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            WriteReady(c);
    });
    connections_.push_back(std::move(client));
    if (!idleTimer_->isActive())
        CloseIdleConnections();
}

void TCommandServer::Drop(const ConnectionPtr& client) {
    client->Shut();
    std::erase(connections_, client);
}

void TCommandServer::ServerSocketClientRead(const ConnectionPtr& client) {
    if (client->closed)
        return;
    QByteArray text(MaxReadBytes, Qt::Uninitialized);
    const ssize_t n = ::recv(client->fd, text.data(), size_t(text.size()), MSG_DONTWAIT);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            Drop(client); // reset by the client: no error of ours
        return;
    }
    if (n == 0) {
        // The client sends no more; it stays until what it asked for is answered.
        client->ended = true;
        client->readable->setEnabled(false);
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
    if (client->closed)
        return;
    const QByteArray bytes = ReplyBytes(text);
    client->lastActiveMs = Now();
    qsizetype sent = 0;
    if (client->unsent.isEmpty()) {
        const ssize_t n = ::send(client->fd, bytes.constData(), size_t(bytes.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
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
    client->writable->setEnabled(true);
}

void TCommandServer::WriteReady(const ConnectionPtr& client) {
    if (client->closed)
        return;
    const ssize_t n = ::send(client->fd, client->unsent.constData(), size_t(client->unsent.size()),
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            Drop(client);
        return;
    }
    client->unsent.remove(0, n);
    if (!client->unsent.isEmpty())
        return;
    client->writable->setEnabled(false);
    if (client->ended && client->outstanding == 0)
        Drop(client);
}

void TCommandServer::Answered(const ConnectionPtr& client) {
    --client->outstanding;
    if (!client->closed && client->ended && client->outstanding == 0 && client->unsent.isEmpty())
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

std::optional<QHostAddress> FirstNonLoopbackIPv4(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& address : addresses)
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address;
    return std::nullopt;
}

bool GetLocalHostAddress(QString& hostName, QString& address, QString& error) {
    hostName = QHostInfo::localHostName();
    address.clear();
    if (hostName.isEmpty()) {
        error = QStringLiteral("The name of this computer cannot be read.");
        return false;
    }
    return ResolveLocalHostName(hostName, address, error);
}

bool ResolveLocalHostName(const QString& hostName, QString& address, QString& error, int boundMs) {
    address.clear();
    // A look-up through an unreachable name server takes many seconds: waited for with a
    // bound, the GUI live meanwhile.
    std::optional<QHostInfo> found;
    QEventLoop loop;
    const int id = QHostInfo::lookupHost(hostName, &loop, [&](const QHostInfo& info) {
        found = info;
        loop.quit();
    });
    if (!found) {
        QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!found) {
        QHostInfo::abortHostLookup(id);
        error = QStringLiteral("The name of this computer, \"%1\", did not resolve within %2 "
                               "seconds.")
                    .arg(hostName)
                    .arg(boundMs / 1000.0);
        return false;
    }
    if (found->error() != QHostInfo::NoError) {
        error = QStringLiteral("The name of this computer, \"%1\", does not resolve: %2")
                    .arg(hostName, found->errorString());
        return false;
    }
    // Many hosts files give the machine's own name a loopback address: the network
    // interfaces then tell the address others reach it at.
    std::optional<QHostAddress> chosen = FirstNonLoopbackIPv4(found->addresses());
    if (!chosen)
        chosen = FirstNonLoopbackIPv4(QNetworkInterface::allAddresses());
    if (!chosen) {
        error = QStringLiteral("This computer has no IPv4 address other than the loopback "
                               "address: clients on other computers cannot reach the server.");
        return false;
    }
    address = chosen->toString();
    return true;
}
