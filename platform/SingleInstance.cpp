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

// Whether something answers at name now.
bool SomeoneListens(const QString& name, int timeoutMs) {
    QLocalSocket probe;
    probe.connectToServer(name);
    const bool connected = probe.waitForConnected(timeoutMs);
    probe.abort();
    return connected;
}

class LocalSocketChannel final : public InstanceChannel {
public:
    LocalSocketChannel(QString name, int timeoutMs) : name_(std::move(name)), timeout_(timeoutMs) {}
    ~LocalSocketChannel() override {
        if (server_)
            server_->close();
    }

    ChannelReply Send(const QByteArray& message) override {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (!socket.waitForConnected(timeout_))
            return {ChannelResult::NoInstance, {}};
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
        // With access options the server replaces a socket file of that name, whoever
        // listens on it: look first. A socket nobody answers on was left by a crash.
        if (SomeoneListens(name_, timeout_))
            return false;
        QLocalServer::removeServer(name_);
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

    QString name_;
    int timeout_;
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
        QStringLiteral("QUVAR-%1-%2").arg(getuid()).arg(QString::fromLatin1(folderHash));
    // The user's own runtime folder when the session has one; else the system's temporary
    // folder, where the socket's permissions keep other users out. So too when the runtime
    // folder is too deep for a socket address: nothing could listen there, and every start
    // would run as an instance of its own.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir())
        return name;
    const QString path = runtime + QLatin1Char('/') + name;
    if (size_t(QFile::encodeName(path).size()) >= sizeof(sockaddr_un::sun_path))
        return name;
    return path;
}

std::unique_ptr<InstanceChannel> MakeLocalSocketChannel(const QString& name, int timeoutMs) {
    return std::make_unique<LocalSocketChannel>(name, timeoutMs);
}
