#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A frame: the length as 4 bytes, big-endian, then the bytes.
QByteArray Frame(const QByteArray& payload) {
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(payload.size()), frame.data());
    return frame + payload;
}

// The payload once the buffer holds a whole frame; Oversized for a length beyond the bound.
enum class FrameState { Incomplete, Complete, Oversized };
FrameState TakeFrame(QByteArray& buffer, QByteArray& payload) {
    if (buffer.size() < 4)
        return FrameState::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > quint32(MaxChannelMessage))
        return FrameState::Oversized;
    if (buffer.size() < 4 + qsizetype(length))
        return FrameState::Incomplete;
    payload = buffer.mid(4, length);
    buffer.remove(0, 4 + length);
    return FrameState::Complete;
}

const QString SocketPrefix = QStringLiteral("QUVAR-");

// A folder of ours that nobody else may enter or change, not a link to one.
bool IsPrivateFolder(const QString& folder) {
    struct stat status {};
    return ::lstat(QFile::encodeName(folder).constData(), &status) == 0 &&
           S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The folder made when missing; true when it is private.
bool MakePrivateFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), S_IRWXU) == 0)
        ::chmod(path.constData(), S_IRWXU); // whatever the umask
    return IsPrivateFolder(folder);
}

// The folder the socket file of name lies in, as QLocalSocket resolves it.
QString SocketFolder(const QString& name) {
    return name.startsWith(u'/') ? QFileInfo(name).path() : QDir::tempPath();
}

// Connecting fails at once on a socket file that nobody listens on any more.
bool IsStaleSocket(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(address.sun_path))
        return false;
    memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool stale = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == ECONNREFUSED;
    ::close(fd);
    return stale;
}

// The sockets that killed instances left in our folder: nothing else would remove them.
void RemoveStaleSockets(const QString& folder) {
    const QDir dir(folder);
    for (const QString& entry :
         dir.entryList({SocketPrefix + u'*'}, QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString path = dir.filePath(entry);
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) == 0 &&
            S_ISSOCK(status.st_mode) && status.st_uid == ::geteuid() && IsStaleSocket(path))
            QFile::remove(path);
    }
}

class LocalSocketChannel final : public InstanceChannel {
public:
    LocalSocketChannel(QString name, int timeoutMs, PeerUserIdReader peerUserId)
        : name_(std::move(name)), timeout_(timeoutMs), peerUserId_(std::move(peerUserId)) {}
    ~LocalSocketChannel() override {
        if (server_)
            server_->close();
    }

    ChannelReply Send(const QByteArray& message) override {
        // Another user's listener would read the paths and, by answering, end this start.
        if (!IsPrivateFolder(SocketFolder(name_)))
            return {ChannelResult::NoInstance, {}};
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (!socket.waitForConnected(timeout_))
            return {ChannelResult::NoInstance, {}};
        if (!IsOurs(socket)) {
            socket.abort();
            return {ChannelResult::NoInstance, {}};
        }
        const QDeadlineTimer deadline(timeout_);
        socket.write(Frame(message));
        QByteArray buffer, reply;
        while (true) {
            const int remaining = int(std::max<qint64>(0, deadline.remainingTime()));
            if (socket.bytesToWrite() > 0)
                socket.waitForBytesWritten(remaining);
            else
                socket.waitForReadyRead(remaining);
            buffer += socket.readAll();
            switch (TakeFrame(buffer, reply)) {
            case FrameState::Complete:
                return {ChannelResult::Replied, reply};
            case FrameState::Oversized:
                return {ChannelResult::NoAnswer, {}};
            case FrameState::Incomplete:
                break;
            }
            if (deadline.hasExpired() || socket.state() == QLocalSocket::UnconnectedState)
                break;
        }
        return {ChannelResult::NoAnswer, {}};
    }

    bool Listen(std::function<QByteArray(const QByteArray&)> handler) override {
        handler_ = std::move(handler);
        const QString folder = SocketFolder(name_);
        if (!MakePrivateFolder(folder))
            return false;
        // With access options the server replaces a socket file of that name, whoever
        // listens on it: look first. A socket nobody answers on was left by a crash.
        if (SomeoneOfOursListens())
            return false;
        QLocalServer::removeServer(name_);
        RemoveStaleSockets(folder);
        server_ = std::make_unique<QLocalServer>();
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        if (!server_->listen(name_)) {
            server_.reset();
            return false;
        }
        QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                         [this] { AcceptPending(); });
        return true;
    }

private:
    void AcceptPending() {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            socket->setParent(server_.get());
            // Nothing from another user is read, let alone answered.
            if (!IsOurs(*socket)) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto buffer = std::make_shared<QByteArray>();
            // A sender that never completes its message does not hold the connection.
            QTimer::singleShot(timeout_, socket, [socket] { socket->abort(); });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                QByteArray message;
                switch (TakeFrame(*buffer, message)) {
                case FrameState::Incomplete:
                    return;
                case FrameState::Oversized:
                    socket->abort();
                    return;
                case FrameState::Complete:
                    break;
                }
                QPointer<QLocalSocket> alive(socket);
                const QByteArray reply = handler_ ? handler_(message) : QByteArray();
                if (!alive) // the handler ran a nested loop in which the sender left
                    return;
                socket->write(Frame(reply));
                socket->flush();
                socket->disconnectFromServer();
            });
        }
    }

    bool IsOurs(QLocalSocket& socket) const {
        const std::optional<uid_t> peer = peerUserId_(socket.socketDescriptor());
        return peer && *peer == ::geteuid();
    }

    // Whether an instance of this user answers at the name now.
    bool SomeoneOfOursListens() const {
        QLocalSocket probe;
        probe.connectToServer(name_);
        const bool ours = probe.waitForConnected(timeout_) && IsOurs(probe);
        probe.abort();
        return ours;
    }

    QString name_;
    int timeout_;
    PeerUserIdReader peerUserId_;
    std::function<QByteArray(const QByteArray&)> handler_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace

QString SingleInstanceName(const QString& programFolder) {
    const QByteArray folderHash =
        QCryptographicHash::hash(QDir::cleanPath(programFolder).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    const QString name =
        SocketPrefix +
        QStringLiteral("%1-%2").arg(::geteuid()).arg(QString::fromLatin1(folderHash));
    const auto fits = [&name](const QString& folder) {
        return size_t(QFile::encodeName(folder + u'/' + name).size()) <
               sizeof(sockaddr_un::sun_path);
    };
    // The user's own runtime folder when the session has one: private by its rules, but
    // checked all the same. It may be too deep for a socket address: then nothing could
    // listen there, and every start would run as an instance of its own.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime)) {
        const QString folder = QDir::cleanPath(runtime) + QStringLiteral("/quvar");
        if (fits(folder))
            return folder + u'/' + name;
    }
    // Else a folder of our own in the temporary folder, whose sticky bit keeps others from
    // removing or replacing it.
    const QString own = QStringLiteral("/quvar-%1").arg(::geteuid());
    const QString temporary = QDir::tempPath() + own;
    return (fits(temporary) ? temporary : QStringLiteral("/tmp") + own) + u'/' + name;
}

std::optional<uid_t> PeerUserId(qintptr socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 ||
        ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

std::unique_ptr<InstanceChannel> MakeLocalSocketChannel(const QString& name, int timeoutMs,
                                                        PeerUserIdReader peerUserId) {
    return std::make_unique<LocalSocketChannel>(name, timeoutMs, std::move(peerUserId));
}
