#pragma once
// The preview window's command server: a client sends text, and when it holds the
// configured command the window takes a snapshot and its path is sent back. Replies are
// bare texts with no line end. A read takes at most a fixed number of bytes and nothing is
// kept between reads, so no client, however broken, makes the program hold more or wait.

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

inline const QString NotPreviewingReply = QStringLiteral("Camera is not previewing");
inline const QString NotRecognizedReply = QStringLiteral("Command not recognized");

enum class CommandReply { NotPreviewing, Snapshot, NotRecognized };

// What one read gets: without a preview, NotPreviewing whatever it holds; else Snapshot
// when the command occurs anywhere in it with the same case (an empty command never
// does), else NotRecognized. The command is looked for in Windows-1252 and in UTF-8.
CommandReply JudgeCommand(QByteArrayView received, const QString& command, bool previewing);

// The bytes of a reply: Windows-1252 whenever every character has a byte there (the
// client reads the program's ANSI text), else UTF-8, so no path arrives with "?" in it.
QByteArray ReplyBytes(const QString& text);

class SocketListener;

class TCommandServer : public QObject {
public:
    // The most bytes one read takes from a client; the rest waits in the network.
    static constexpr qint64 MaxReadBytes = 64 * 1024;
    // A client that leaves more of its replies unread than this is dropped.
    static constexpr qint64 MaxUnsentBytes = 64 * 1024;
    // At most this many clients: one more that connects takes the place of the client
    // idle longest, so idle or slow clients never keep a new one out.
    static constexpr int MaxConnections = 64;
    // A client that has sent nothing and been sent nothing for this long is closed.
    static constexpr qint64 DefaultIdleTimeoutMs = 60 * 1000;

    explicit TCommandServer(QObject* parent = nullptr);
    ~TCommandServer() override;

    // Listens on every IPv4 address of the host; false, with a text saying why, when the port is
    // outside 1 to 65535 or cannot be listened on (in use, no right).
    bool Listen(int port, QString& error);
    // Stops listening and drops every client; queued commands are forgotten.
    void Close();
    bool IsListening() const;
    quint16 Port() const;

    QString Command = QStringLiteral("QUVAR_SNAP");
    // The idle time after which a client is closed, and the clock that measures it
    // (milliseconds, monotonic); tests set both.
    qint64 IdleTimeoutMs = DefaultIdleTimeoutMs;
    std::function<qint64()> Clock;
    // Whether the camera previews now.
    std::function<bool()> Previewing;
    // Takes a snapshot; it ends by calling SendToFirstConnection(path) when it took the
    // request (TakeRequest).
    std::function<void()> Snapshot;
    // A snapshot that threw: the error, for the error box.
    std::function<void(const std::exception&)> SnapshotFailed;

    // The request flag: 1 while a snapshot asked for by a client runs, else 0.
    int Tag = 0;
    // The flag, cleared: a snapshot takes the request at its start, so a snapshot started
    // inside it (a key, another window) never sends its path in place of this one.
    bool TakeRequest();
    // Sends text to the client connected longest that is still connected.
    void SendToFirstConnection(const QString& text);

    // The clients connected now. A client that has shut down its sending side (as
    // "nc -q" does at the end of its input) stays until its commands are answered.
    int ConnectionCount() const { return int(connections_.size()); }
    // A snapshot asked for by a client runs (others wait their turn).
    bool SnapshotRunning() const { return running_; }
    // Commands waiting for the running snapshot.
    qsizetype Waiting() const { return qsizetype(pending_.size()); }

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    void Accept(UniqueFd descriptor);
    // The read event of one client: each read is judged by itself, with no framing.
    void ServerSocketClientRead(const ConnectionPtr& client);
    void WriteReady(const ConnectionPtr& client);
    void Send(const ConnectionPtr& client, const QString& text);
    void Answered(const ConnectionPtr& client);
    void Drop(const ConnectionPtr& client);
    void RunSnapshots();
    qint64 Now() const;
    // The client idle longest, for a new one to take its place: one with nothing in
    // hand (no command waiting for its snapshot, no reply unsent) before any other.
    ConnectionPtr IdleLongest() const;
    // Closes the clients idle for IdleTimeoutMs and waits for the next one to be.
    void CloseIdleConnections();

    std::unique_ptr<SocketListener> listener_;
    quint16 port_ = 0;
    // In the order the clients connected.
    std::vector<ConnectionPtr> connections_;
    // The senders of commands waiting for the running snapshot, in arrival order.
    std::deque<ConnectionPtr> pending_;
    bool running_ = false;
    QTimer* idleTimer_ = nullptr;
};

// address + ";  " + host name (a semicolon and two blanks) while the server runs, else
// "---; ---".
QString ServerAddressLabel(bool running, const QString& address, const QString& hostName);

// The first IPv4 address of the list that is not a loopback address (addresses as text;
// IPv6 ones are passed over).
std::optional<QString> FirstNonLoopbackIPv4(const QStringList& addresses);

// What the look-up of a host name found: getaddrinfo's result (0 when the name resolved)
// and the addresses as text, IPv4 and IPv6.
struct HostAddresses {
    int Error = 0;
    QStringList Addresses;
};
// A look-up of a name in its ASCII form; it may take many seconds.
using HostLookup = std::function<HostAddresses(const QByteArray& asciiName)>;
// The system's look-up (getaddrinfo).
HostAddresses LookUpHost(const QByteArray& asciiName);

// The host's name and its first IPv4 address that is not a loopback address: from the
// name's look-up, else from the network interfaces (a name that resolves only to a
// loopback address, as many hosts files have it). False with a text saying why when the
// name cannot be read, does not resolve within boundMs, or no such address exists.
bool GetLocalHostAddress(QString& hostName, QString& address, QString& error);
// The same for the host's name given, looked up by lookUp on a thread of its own while the
// GUI stays live; an answer after the bound is dropped.
bool ResolveLocalHostName(const QString& hostName, QString& address, QString& error,
                          int boundMs = 3000, const HostLookup& lookUp = LookUpHost);
