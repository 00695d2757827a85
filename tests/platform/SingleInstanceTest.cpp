#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <future>
#include <sys/socket.h>
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
    // A bound socket file nobody listens on, as a killed instance leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Name());
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
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

TEST(SingleInstanceName, PerUserAndProgramFolder) {
    const QString a = SingleInstanceName("/opt/quvar/");
    EXPECT_EQ(a, SingleInstanceName("/opt/quvar"));
    EXPECT_NE(a, SingleInstanceName("/home/u/quvar"));
    EXPECT_TRUE(a.contains(QStringLiteral("QUVAR-%1-").arg(getuid()))) << a.toStdString();
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
