#pragma once
// The channel between a starting process and the running instance of the program, on a
// local socket per user and program folder. A message and its reply are opaque bytes;
// each message has its own connection, and every wait is bounded.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

enum class ChannelResult {
    NoInstance, // nobody listens (also a socket left by a crashed instance)
    Replied,
    NoAnswer, // connected, but no reply in time
};

struct ChannelReply {
    ChannelResult Result = ChannelResult::NoInstance;
    QByteArray Reply;
};

class InstanceChannel {
public:
    virtual ~InstanceChannel() = default;
    // Sends message to the running instance and waits for its reply.
    virtual ChannelReply Send(const QByteArray& message) = 0;
    // Becomes the running instance: each message is answered with what handler returns
    // (on the thread that listens, from its event loop). False when another instance
    // listens; a socket left by a crashed one is removed and taken over, and so are those
    // that crashed instances of other program folders left beside it.
    virtual bool Listen(std::function<QByteArray(const QByteArray&)> handler) = 0;
};

// The longest message or reply either side accepts.
constexpr qsizetype MaxChannelMessage = 64 * 1024;

// The socket for this user and program folder, in a folder of the user's that nobody else
// may enter: "quvar" in the user's runtime folder when there is a private one, else
// "quvar-<user id>" in the temporary folder. Each program folder has settings files of its
// own, so it has its own instance.
QString SingleInstanceName(const QString& programFolder);

// The user id of the process at the other end of a connected local socket
// (SO_PEERCRED); nothing when it cannot be read.
std::optional<uid_t> PeerUserId(qintptr socketDescriptor);
using PeerUserIdReader = std::function<std::optional<uid_t>(qintptr socketDescriptor)>;

// The channel on a local stream socket (AF_UNIX). Its socket's folder must be the user's own,
// with no access for others (Listen creates it so): else nobody listens and nobody may. A
// peer of another user (by peerUserId) is never trusted: a listener of another user counts
// as no instance, and a sender of another user is dropped unheard.
std::unique_ptr<InstanceChannel> MakeLocalSocketChannel(const QString& name, int timeoutMs = 30000,
                                                        PeerUserIdReader peerUserId = PeerUserId);
