#include "platform/SingleInstance.h"
#include "platform/LocalSocketAddress.h"

#include "support/OpenDescriptors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Sends from another thread while this one runs the event loop that answers.
ChannelReply SendWhileServing(InstanceChannel& channel, const QByteArray& message) {
    auto reply = std::async(std::launch::async, [&] { return channel.Send(message); });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000));
    return reply.get();
}

// A bound socket file nobody listens on, as a killed instance leaves it.
bool LeaveStaleSocket(const QString& name) {
    const std::optional<sockaddr_un> address = SocketAddress(name);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = address && fd >= 0 && ::bind(fd, AsSockaddr(*address), sizeof *address) == 0;
    ::close(fd);
    return bound;
}

class SingleInstanceChannel : public ::testing::Test {
protected:
    QString Name() const { return dir.path() + "/quvar.socket"; }
    QTemporaryDir dir;
};

} // namespace

TEST_F(SingleInstanceChannel, NoInstanceUntilOneListens) {
    const auto client = MakeLocalSocketChannel(Name(), 2000);
    EXPECT_EQ(client->Send("hello").Result, ChannelResult::NoInstance);

    const auto running = MakeLocalSocketChannel(Name(), 2000);
    QList<QByteArray> received;
    ASSERT_TRUE(running->Listen([&](const QByteArray& message) {
        received << message;
        return message == "open" ? QByteArray("1") : QByteArray("0");
    }));
    const ChannelReply reply = SendWhileServing(*client, "open");
    EXPECT_EQ(reply.Result, ChannelResult::Replied);
    EXPECT_EQ(reply.Reply, "1");
    // Zero bytes and an empty message travel as they are.
    EXPECT_EQ(SendWhileServing(*client, QByteArray("a\0b", 3)).Reply, "0");
    EXPECT_EQ(SendWhileServing(*client, QByteArray()).Reply, "0");
    EXPECT_EQ(received, QList<QByteArray>({"open", QByteArray("a\0b", 3), QByteArray()}));

    // A second process cannot become the running one while this one answers.
    const auto second = MakeLocalSocketChannel(Name(), 2000);
    EXPECT_FALSE(second->Listen([](const QByteArray&) { return QByteArray(); }));
}

TEST_F(SingleInstanceChannel, OnlyTheOwnerMayConnect) {
    const auto running = MakeLocalSocketChannel(Name(), 2000);
    ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
    EXPECT_EQ(QFile::permissions(Name()) &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
              QFile::Permissions());
}

TEST_F(SingleInstanceChannel, ASocketLeftByACrashIsTakenOver) {
    ASSERT_TRUE(LeaveStaleSocket(Name()));
    ASSERT_TRUE(QFile::exists(Name()));

    const auto client = MakeLocalSocketChannel(Name(), 2000);
    EXPECT_EQ(client->Send("open").Result, ChannelResult::NoInstance);
    const auto running = MakeLocalSocketChannel(Name(), 2000);
    ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
    EXPECT_EQ(SendWhileServing(*client, "open").Reply, "1");
}

TEST_F(SingleInstanceChannel, SilenceAndOversizeAreBounded) {
    // Listening, but never answering: the sender gives up after its time.
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(Name()));
    const auto client = MakeLocalSocketChannel(Name(), 300);
    EXPECT_EQ(SendWhileServing(*client, "open").Result, ChannelResult::NoAnswer);
    silent.close();

    // A message beyond the bound is dropped unanswered, and the instance goes on.
    const auto running = MakeLocalSocketChannel(Name(), 2000);
    int handled = 0;
    ASSERT_TRUE(running->Listen([&](const QByteArray&) {
        ++handled;
        return QByteArray("1");
    }));
    const auto patient = MakeLocalSocketChannel(Name(), 2000);
    EXPECT_EQ(SendWhileServing(*patient, QByteArray(MaxChannelMessage + 1, 'x')).Result,
              ChannelResult::NoAnswer);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(SendWhileServing(*patient, QByteArray(MaxChannelMessage, 'x')).Reply, "1");
    EXPECT_EQ(handled, 1);
}

namespace {

// The peer's user id as another user's process would have it.
std::optional<uid_t> ForeignPeer(qintptr) {
    return ::geteuid() + 1;
}

} // namespace

// Another user who listens first would receive the paths and, by answering, end the start:
// a listener of another user counts as no instance, and a sender of another user is
// dropped before anything of it is read.
TEST_F(SingleInstanceChannel, APeerOfAnotherUserIsNeverTrusted) {
    const auto running = MakeLocalSocketChannel(Name(), 2000);
    int handled = 0;
    ASSERT_TRUE(running->Listen([&](const QByteArray&) {
        ++handled;
        return QByteArray("1");
    }));
    const auto wary = MakeLocalSocketChannel(Name(), 2000, ForeignPeer);
    EXPECT_EQ(SendWhileServing(*wary, "open").Result, ChannelResult::NoInstance);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(PeerUserId(-1), std::nullopt);

    const auto strict = MakeLocalSocketChannel(Name() + "2", 2000, ForeignPeer);
    ASSERT_TRUE(strict->Listen([&](const QByteArray&) {
        ++handled;
        return QByteArray("1");
    }));
    const auto client = MakeLocalSocketChannel(Name() + "2", 2000);
    EXPECT_EQ(SendWhileServing(*client, "open").Result, ChannelResult::NoAnswer);
    EXPECT_EQ(handled, 0);
}

// The socket's folder is the user's alone, checked on both sides: a folder others may
// enter, another user's folder or a link to a folder is no place for it.
TEST_F(SingleInstanceChannel, TheSocketLivesInAFolderOnlyTheUserCanEnter) {
    const QString made = dir.path() + "/made/QUVAR-x";
    const auto running = MakeLocalSocketChannel(made, 2000);
    ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(dir.path() + "/made").constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, S_IRWXU);
    EXPECT_EQ(status.st_uid, ::geteuid());

    ASSERT_TRUE(QDir(dir.path()).mkdir("open"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path() + "/open").constData(), 0755), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("foreign"));
    ASSERT_EQ(::chown(QFile::encodeName(dir.path() + "/foreign").constData(), ::geteuid() + 1,
                      ::getegid()),
              0);
    ASSERT_TRUE(QFile::link(dir.path() + "/made", dir.path() + "/link"));
    for (const char* folder : {"open", "foreign", "link"}) {
        SCOPED_TRACE(folder);
        const QString name = dir.path() + "/" + folder + "/QUVAR-y";
        const auto refused = MakeLocalSocketChannel(name, 2000);
        EXPECT_FALSE(refused->Listen([](const QByteArray&) { return QByteArray("1"); }));
        // Someone listening there is nobody to hand over to.
        QLocalServer::removeServer(name);
        QLocalServer other;
        if (other.listen(name)) {
            EXPECT_EQ(SendWhileServing(*refused, "open").Result, ChannelResult::NoInstance);
            other.close();
        }
    }
}

// Killed instances of other program folders left their sockets beside ours: removed when
// an instance starts listening, while a live one stays.
TEST_F(SingleInstanceChannel, StaleSocketsOfTheUserAreRemovedBeforeListening) {
    const QString stale = dir.path() + "/QUVAR-0-stale";
    ASSERT_TRUE(LeaveStaleSocket(stale));
    QLocalServer live;
    ASSERT_TRUE(live.listen(dir.path() + "/QUVAR-0-live"));
    const auto running = MakeLocalSocketChannel(dir.path() + "/QUVAR-0-own", 2000);
    ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/QUVAR-0-live"));
}

// No descriptor of the channel outlives it, however its connections ended, and each is
// closed on exec: a program started from the running instance never keeps its socket.
TEST_F(SingleInstanceChannel, NoDescriptorLeaksOrPassesToAProgramStartedLater) {
    const std::set<int> before = quvartest::OpenDescriptors();
    {
        const auto running = MakeLocalSocketChannel(Name(), 300);
        ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
        EXPECT_FALSE(MakeLocalSocketChannel(Name(), 300)->Listen([](const QByteArray&) {
            return QByteArray();
        }));
        const auto client = MakeLocalSocketChannel(Name(), 2000);
        EXPECT_EQ(SendWhileServing(*client, "open").Reply, "1");
        EXPECT_EQ(MakeLocalSocketChannel(Name() + "-none", 300)->Send("open").Result,
                  ChannelResult::NoInstance);

        // A sender that goes halfway through its message, and one that stalls: the running
        // instance drops it after its time.
        QLocalSocket gone, stalled;
        gone.connectToServer(Name());
        stalled.connectToServer(Name());
        ASSERT_TRUE(gone.waitForConnected(2000));
        ASSERT_TRUE(stalled.waitForConnected(2000));
        gone.write(QByteArray("\0\0\0\5ab", 6));
        stalled.write(QByteArray(2, '\0'));
        gone.flush();
        stalled.flush();
        gone.abort();
        // Open now: the listener, and the stalled sender's ends on either side.
        std::set<int> open;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                open = quvartest::OpenDescriptors();
                return open.size() >= before.size() + 3;
            },
            20000));
        for (const int fd : open)
            EXPECT_TRUE(before.contains(fd) || quvartest::ClosedOnExec(fd)) << fd;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return stalled.state() == QLocalSocket::UnconnectedState; }, 20000))
            << "the stalled sender still holds its connection";
    }
    EXPECT_EQ(quvartest::OpenDescriptors(), before);
}

// A running instance that takes nobody in (hung, its queue full): the sender waits for
// room no longer than its time.
TEST_F(SingleInstanceChannel, AQueueNobodyTakesFromIsNoInstanceAfterTheTime) {
    const int hung = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(hung, 0);
    const std::optional<sockaddr_un> address = SocketAddress(Name());
    ASSERT_TRUE(address);
    ASSERT_EQ(::bind(hung, AsSockaddr(*address), sizeof *address), 0);
    ASSERT_EQ(::listen(hung, 0), 0);
    // With a backlog of 0 one connection fills the queue.
    const int first = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(first, AsSockaddr(*address), sizeof *address), 0);

    const auto client = MakeLocalSocketChannel(Name(), 300);
    auto sent = std::async(std::launch::async, [&] { return client->Send("open").Result; });
    const bool ended = sent.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::close(hung); // wakes a sender that still waits
    EXPECT_TRUE(ended) << "the sender waits for room without a bound";
    EXPECT_EQ(sent.get(), ChannelResult::NoInstance);
    ::close(first);
}

TEST(SingleInstanceName, PerUserAndProgramFolder) {
    const QString a = SingleInstanceName("/opt/quvar/");
    EXPECT_EQ(a, SingleInstanceName("/opt/quvar"));
    EXPECT_NE(a, SingleInstanceName("/home/u/quvar"));
    EXPECT_TRUE(a.contains(QStringLiteral("QUVAR-%1-").arg(getuid()))) << a.toStdString();
    const QString folder = QFileInfo(a).path();
    EXPECT_TRUE(folder.endsWith("/quvar") ||
                folder.endsWith(QStringLiteral("/quvar-%1").arg(getuid())))
        << a.toStdString();
    EXPECT_LT(QFile::encodeName(a).size(), 100) << "fits a socket address";
}

// A runtime folder too deep for a socket address: the socket goes to the temporary folder,
// where the channel still works, instead of nowhere.
TEST(SingleInstanceName, FallsBackWhenTheRuntimeFolderIsTooDeep) {
    QTemporaryDir dir;
    const QString deep = dir.path() + "/" + QString(100, u'r');
    ASSERT_TRUE(QDir().mkpath(deep));
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(deep));
    const QString name = SingleInstanceName(dir.path()); // of its own, as no other test
    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(name.startsWith(deep)) << name.toStdString();
    const auto running = MakeLocalSocketChannel(name, 2000);
    ASSERT_TRUE(running->Listen([](const QByteArray&) { return QByteArray("1"); }));
    const auto client = MakeLocalSocketChannel(name, 2000);
    EXPECT_EQ(SendWhileServing(*client, "open").Reply, "1");
}
