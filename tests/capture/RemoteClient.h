#pragma once
// A client of the command server for tests: a real TCP connection to 127.0.0.1, driven
// by the test's own event loop (the server runs on the same thread).

#include "support/EventWait.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Runs the event loop for ms, for checks that nothing more arrives.
inline void PumpFor(int ms) {
    quvartest::WaitFor([] { return false; }, ms);
}

// A port nobody listens on now.
inline int FreeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

class RemoteClient {
public:
    explicit RemoteClient(int port) : socket_(std::make_unique<QTcpSocket>()) {
        socket_->connectToHost(QHostAddress::LocalHost, quint16(port));
        socket_->waitForConnected(5000);
    }
    bool Connected() const { return socket_->state() == QAbstractSocket::ConnectedState; }
    void Send(const QByteArray& bytes) {
        socket_->write(bytes);
        socket_->flush();
    }
    // Everything received so far (kept, so later calls see it all).
    QByteArray Received() {
        received_ += socket_->readAll();
        return received_;
    }
    // Waits until at least size bytes have arrived, then a little more for any surplus.
    QByteArray ReceiveAtLeast(qsizetype size, int boundMs = 5000) {
        quvartest::WaitFor([&] { return Received().size() >= size; }, boundMs);
        PumpFor(50);
        return Received();
    }
    QTcpSocket& Socket() { return *socket_; }

private:
    std::unique_ptr<QTcpSocket> socket_;
    QByteArray received_;
};

// A client on a bare socket, for what QTcpSocket cannot do: shut down its sending side
// and go on reading.
class RawClient {
public:
    explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return connected_; }
    bool Ended() const { return ended_; }
    void Send(const QByteArray& bytes) {
        ::send(fd_, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    }
    // Goes at once, with a reset instead of an orderly end.
    void Reset() {
        const linger now{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        ::close(fd_);
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        connected_ = false;
    }
    void SendAndEnd(const QByteArray& bytes) {
        ::send(fd_, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
        ::shutdown(fd_, SHUT_WR);
    }
    // Everything received so far, without waiting.
    QByteArray Receive() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            received_.append(buffer, n);
        return received_;
    }
    // Waits until at least size bytes have arrived, then a little more for any surplus.
    QByteArray ReceiveAtLeast(qsizetype size, int boundMs = 5000) {
        quvartest::WaitFor([&] { return Receive().size() >= size; }, boundMs);
        PumpFor(50);
        return Receive();
    }
    // Reads until the server ends the connection (or the bound passes).
    QByteArray ReceiveToEnd(int boundMs = 5000) {
        quvartest::WaitFor(
            [&] {
                char buffer[4096];
                for (;;) {
                    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (n > 0) {
                        received_.append(buffer, n);
                        continue;
                    }
                    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                        ended_ = true;
                    return ended_;
                }
            },
            boundMs);
        return received_;
    }

private:
    int fd_;
    bool connected_ = false;
    bool ended_ = false;
    QByteArray received_;
};
