#include "SingleInstance.h"

#include "platform/LocalSocketAddress.h"
#include "platform/SocketListener.h"
#include "platform/UniqueFd.h"
#include "platform/WatchedSocket.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

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
// Connections queued before the running instance takes them in; a sender beyond waits.
constexpr int ListenBacklog = 50;
// The most bytes one read takes.
constexpr qsizetype ReadChunk = 64 * 1024;

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

// The socket file of a name: a path as it is, else a file of that name in the temporary
// folder. Every version of the program resolves it so, and they find one another.
QString SocketPath(const QString& name) {
    return name.startsWith(u'/') ? name : QDir::tempPath() + u'/' + name;
}

QString SocketFolder(const QString& name) {
    return QFileInfo(SocketPath(name)).path();
}

// The milliseconds left for poll(): -1 waits for good, as the deadline does.
int PollTimeout(const QDeadlineTimer& deadline) {
    return deadline.isForever() ? -1 : int(std::max<qint64>(0, deadline.remainingTime()));
}

// Connecting fails at once on a socket file that nobody listens on any more.
bool IsStaleSocket(const QString& path) {
    const std::optional<sockaddr_un> address = SocketAddress(path);
    if (!address)
        return false;
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    return fd && ::connect(fd.get(), AsSockaddr(*address), sizeof *address) != 0 &&
           errno == ECONNREFUSED;
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

// A non-blocking connection to the socket of name. A listener whose queue is full takes
// it in once it has room: the connect blocks for that, bounded by the send timeout.
UniqueFd ConnectTo(const QString& name, int timeoutMs) {
    const std::optional<sockaddr_un> address = SocketAddress(SocketPath(name));
    if (!address)
        return {};
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return {};
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const qint64 leftMs =
            deadline.isForever() ? 0 : std::max<qint64>(1, deadline.remainingTime());
        const timeval bound{time_t(leftMs / 1000), suseconds_t(leftMs % 1000 * 1000)};
        if (::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound) != 0)
            return {};
        if (::connect(fd.get(), AsSockaddr(*address), sizeof *address) == 0 || errno == EISCONN)
            break;
        // A signal ends the wait for room early (a call with a timeout is not restarted).
        if (errno != EINTR || deadline.hasExpired())
            return {};
    }
    if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK) != 0)
        return {};
    return fd;
}

// A socket that listens at path, its file for the user alone. It is bound in a new folder
// of its own and renamed into place once only the user may use it, so it is never found
// open to others; a file of that name is replaced.
UniqueFd ListenAt(const QString& path) {
    const std::optional<sockaddr_un> target = SocketAddress(path);
    QByteArray folder = QFile::encodeName(QFileInfo(path).path() + QStringLiteral("/.l-XXXXXX"));
    if (!target || !::mkdtemp(folder.data()))
        return {};
    const QByteArray bound = folder + "/s";
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const std::optional<sockaddr_un> address = SocketAddress(QFile::decodeName(bound));
    const bool listening =
        fd && address && ::bind(fd.get(), AsSockaddr(*address), sizeof *address) == 0 &&
        ::listen(fd.get(), ListenBacklog) == 0 && ::chmod(bound.constData(), S_IRWXU) == 0 &&
        ::rename(bound.constData(), target->sun_path) == 0;
    if (!listening) {
        ::unlink(bound.constData());
        fd.reset();
    }
    ::rmdir(folder.constData());
    return fd;
}

// Which file a path names now: a later instance may have put its own in its place.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileId{status.st_dev, status.st_ino};
}

// One sender's connection, on the running instance's side.
struct Sender {
    explicit Sender(UniqueFd fd) : socket(std::move(fd)) {}
    void Shut() {
        expiry.stop();
        socket.Shut();
    }

    WatchedSocket socket;
    QTimer expiry;
    QByteArray received;
    QByteArray unsent;
    bool taken = false; // its message is whole: nothing more of it is read
};
using SenderPtr = std::shared_ptr<Sender>;

class LocalSocketChannel final : public InstanceChannel {
public:
    LocalSocketChannel(QString name, int timeoutMs, PeerUserIdReader peerUserId)
        : name_(std::move(name)), timeout_(timeoutMs), peerUserId_(std::move(peerUserId)) {}
    ~LocalSocketChannel() override { Close(); }

    ChannelReply Send(const QByteArray& message) override {
        // Another user's listener would read the paths and, by answering, end this start.
        if (!IsPrivateFolder(SocketFolder(name_)))
            return {ChannelResult::NoInstance, {}};
        const UniqueFd socket = ConnectTo(name_, timeout_);
        if (!socket || !IsOurs(socket.get()))
            return {ChannelResult::NoInstance, {}};
        const QDeadlineTimer deadline(timeout_);
        QByteArray unsent = Frame(message);
        QByteArray buffer, reply;
        while (!deadline.hasExpired()) {
            // Read while writing too: a listener may drop the message before it is all sent.
            pollfd watch{socket.get(), short(POLLIN | (unsent.isEmpty() ? 0 : POLLOUT)), 0};
            if (::poll(&watch, 1, PollTimeout(deadline)) < 0 && errno != EINTR)
                break;
            if (!unsent.isEmpty() && (watch.revents & POLLOUT)) {
                const ssize_t n = ::send(socket.get(), unsent.constData(), size_t(unsent.size()),
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n < 0 && !WouldBlock(errno))
                    break; // the listener went or dropped the message
                unsent.remove(0, std::max<ssize_t>(n, 0));
            }
            if (!(watch.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const qsizetype old = buffer.size();
            buffer.resize(old + ReadChunk);
            const ssize_t n =
                ::recv(socket.get(), buffer.data() + old, size_t(ReadChunk), MSG_DONTWAIT);
            buffer.truncate(old + std::max<ssize_t>(n, 0));
            if (n == 0 || (n < 0 && !WouldBlock(errno)))
                break; // the listener ended the connection before its whole reply
            switch (TakeFrame(buffer, reply)) {
            case FrameState::Complete:
                return {ChannelResult::Replied, reply};
            case FrameState::Oversized:
                return {ChannelResult::NoAnswer, {}};
            case FrameState::Incomplete:
                break;
            }
        }
        return {ChannelResult::NoAnswer, {}};
    }

    bool Listen(std::function<QByteArray(const QByteArray&)> handler) override {
        if (listener_)
            return false;
        handler_ = std::move(handler);
        const QString folder = SocketFolder(name_);
        if (!MakePrivateFolder(folder))
            return false;
        // The socket file of that name is replaced, whoever listens on it: look first. A
        // socket nobody answers on was left by a crash.
        if (SomeoneOfOursListens())
            return false;
        const QString path = SocketPath(name_);
        QFile::remove(path);
        RemoveStaleSockets(folder);
        UniqueFd fd = ListenAt(path);
        if (!fd)
            return false;
        file_ = IdOf(path);
        listener_ = std::make_unique<SocketListener>(std::move(fd),
                                                     [this](UniqueFd c) { Accept(std::move(c)); });
        return true;
    }

private:
    void Close() {
        if (!listener_)
            return;
        listener_.reset();
        for (const SenderPtr& sender : std::exchange(senders_, {}))
            sender->Shut();
        // Only our own file: an instance that took the name since keeps its socket.
        const QString path = SocketPath(name_);
        if (file_ && IdOf(path) == file_)
            QFile::remove(path);
    }

    void Accept(UniqueFd fd) {
        // Nothing from another user is read, let alone answered.
        if (!IsOurs(fd.get()))
            return;
        auto sender = std::make_shared<Sender>(std::move(fd));
        const std::weak_ptr<Sender> weak = sender;
        QSocketNotifier* readable = &sender->socket.readable;
        QSocketNotifier* writable = &sender->socket.writable;
        QObject::connect(readable, &QSocketNotifier::activated, readable, [this, weak] {
            if (const SenderPtr s = weak.lock())
                Read(s);
        });
        QObject::connect(writable, &QSocketNotifier::activated, writable, [this, weak] {
            if (const SenderPtr s = weak.lock())
                Flush(s);
        });
        // A sender that never completes its message, or never reads the reply, does not
        // hold the connection.
        sender->expiry.setSingleShot(true);
        QObject::connect(&sender->expiry, &QTimer::timeout, &sender->expiry, [this, weak] {
            if (const SenderPtr s = weak.lock())
                Drop(s);
        });
        sender->expiry.start(timeout_);
        senders_.push_back(std::move(sender));
    }

    void Read(const SenderPtr& sender) {
        if (sender->socket.closed)
            return;
        QByteArray& buffer = sender->received;
        const qsizetype old = buffer.size();
        buffer.resize(old + ReadChunk);
        const ssize_t n =
            ::recv(sender->socket.fd.get(), buffer.data() + old, size_t(ReadChunk), MSG_DONTWAIT);
        buffer.truncate(old + std::max<ssize_t>(n, 0));
        if (n < 0 && WouldBlock(errno))
            return;
        if (n <= 0) { // it went
            Drop(sender);
            return;
        }
        if (sender->taken) {
            buffer.clear(); // beyond its message: nobody reads it
            return;
        }
        QByteArray message;
        switch (TakeFrame(buffer, message)) {
        case FrameState::Incomplete:
            return;
        case FrameState::Oversized:
            Drop(sender);
            return;
        case FrameState::Complete:
            break;
        }
        sender->taken = true;
        buffer.clear();
        const QByteArray reply = handler_ ? handler_(message) : QByteArray();
        if (sender->socket.closed) // the handler ran a nested loop in which the sender left
            return;
        sender->unsent = Frame(reply);
        Flush(sender);
    }

    // Sends what the reply has left; once it is all sent, the connection ends.
    void Flush(const SenderPtr& sender) {
        if (sender->socket.closed)
            return;
        const ssize_t n = ::send(sender->socket.fd.get(), sender->unsent.constData(),
                                 size_t(sender->unsent.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && !WouldBlock(errno)) {
            Drop(sender);
            return;
        }
        sender->unsent.remove(0, std::max<ssize_t>(n, 0));
        if (sender->unsent.isEmpty())
            Drop(sender);
        else
            sender->socket.writable.setEnabled(true);
    }

    void Drop(const SenderPtr& sender) {
        sender->Shut();
        std::erase(senders_, sender);
    }

    bool IsOurs(int fd) const {
        const std::optional<uid_t> peer = peerUserId_(fd);
        return peer && *peer == ::geteuid();
    }

    // Whether an instance of this user answers at the name now.
    bool SomeoneOfOursListens() const {
        const UniqueFd probe = ConnectTo(name_, timeout_);
        return probe && IsOurs(probe.get());
    }

    QString name_;
    int timeout_;
    PeerUserIdReader peerUserId_;
    std::function<QByteArray(const QByteArray&)> handler_;
    std::unique_ptr<SocketListener> listener_;
    std::optional<FileId> file_;
    std::vector<SenderPtr> senders_;
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
