#include "RemoteClient.h"

#include "capture/RemoteCommands.h"
#include "support/OpenDescriptors.h"

#include <QHostInfo>
#include <gtest/gtest.h>

#include <future>
#include <netdb.h>

TEST(JudgeCommand, CommandAnywhereWithTheSameCaseWhilePreviewing) {
    struct Case {
        bool previewing;
        const char* command;
        QByteArray received;
        CommandReply reply;
    };
    const auto snap = CommandReply::Snapshot;
    const auto unknown = CommandReply::NotRecognized;
    const auto idle = CommandReply::NotPreviewing;
    const Case cases[] = {
        {true, "QUVAR_SNAP", "QUVAR_SNAP", snap},
        {true, "QUVAR_SNAP", "QUVAR_SNAP\r\n", snap},
        {true, "QUVAR_SNAP", "xxQUVAR_SNAPyy", snap},
        {true, "QUVAR_SNAP", "QUVAR_SNAPQUVAR_SNAP", snap}, // one read, one snapshot
        {true, "QUVAR_SNAP", "quvar_snap", unknown},
        {true, "QUVAR_SNAP", "QUVAR_SNA", unknown}, // the rest in a later read does not help
        {true, "QUVAR_SNAP", QByteArray("QUVAR\0_SNAP", 11), unknown},
        {true, "", "QUVAR_SNAP", unknown}, // an empty command never occurs
        {true, "", "", unknown},
        {false, "QUVAR_SNAP", "QUVAR_SNAP", idle},
        {false, "QUVAR_SNAP", "hello", idle},
        {false, "", "", idle},
        // A command beyond ASCII, sent in Windows-1252 or in UTF-8.
        {true, "Bild_\u00b5", "Bild_\xb5", snap},
        {true, "Bild_\u00b5", "Bild_\xc2\xb5", snap},
        {true, "Bild_\u00b5", "Bild_u", unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeCommand(c.received, QString::fromUtf8(c.command), c.previewing), c.reply)
            << c.command << " / " << c.received.toStdString() << " / " << c.previewing;
}

TEST(ReplyBytes, BareTextInWindows1252ElseUtf8) {
    EXPECT_EQ(ReplyBytes(NotPreviewingReply), QByteArray("Camera is not previewing"));
    EXPECT_EQ(ReplyBytes(NotRecognizedReply), QByteArray("Command not recognized"));
    EXPECT_EQ(ReplyBytes(u"/photos/5\u00b5m_00001.jpg"_qs), QByteArray("/photos/5\xb5m_00001.jpg"));
    // A path Windows-1252 cannot hold stays usable instead of arriving with "?" in it.
    EXPECT_EQ(ReplyBytes(u"/photos/\u0416_00001.jpg"_qs), QByteArray("/photos/\xd0\x96_00001.jpg"));
}

TEST(ServerAddress, LabelAndTheFirstIPv4ThatIsNotLoopback) {
    EXPECT_EQ(ServerAddressLabel(true, "192.168.1.20", "LAB-PC"), "192.168.1.20;  LAB-PC");
    EXPECT_EQ(ServerAddressLabel(false, "192.168.1.20", "LAB-PC"), "---; ---");
    using L = QStringList;
    const QString loop("127.0.0.1"), debian("127.0.1.1"), six("::1"), linkLocal6("fe80::1"),
        lan("192.168.1.20"), other("10.0.0.7");
    EXPECT_EQ(FirstNonLoopbackIPv4(L{loop, six, lan, other}), lan);
    EXPECT_EQ(FirstNonLoopbackIPv4(L{linkLocal6, other, lan}), other);
    EXPECT_EQ(FirstNonLoopbackIPv4(L{debian, loop, six}), std::nullopt);
    EXPECT_EQ(FirstNonLoopbackIPv4(L{}), std::nullopt);
}

TEST(ServerAddress, NameThatDoesNotResolveGivesFalseWithAText) {
    QString address = "stale";
    QString error;
    EXPECT_FALSE(ResolveLocalHostName("no-such-host.invalid", address, error));
    EXPECT_TRUE(address.isEmpty());
    EXPECT_TRUE(error.contains("\"no-such-host.invalid\"")) << error.toStdString();

    // This host: its own name, and an IPv4 address that is not a loopback one (or a text
    // saying why there is none).
    QString hostName;
    error.clear();
    if (GetLocalHostAddress(hostName, address, error)) {
        EXPECT_EQ(hostName, QHostInfo::localHostName());
        const QHostAddress parsed(address);
        EXPECT_EQ(parsed.protocol(), QAbstractSocket::IPv4Protocol) << address.toStdString();
        EXPECT_FALSE(parsed.isLoopback()) << address.toStdString();
    } else {
        EXPECT_FALSE(error.isEmpty());
    }
}

// The look-up that failed, in the words the error box shows.
TEST(ServerAddress, AFailedLookUpSaysWhy) {
    struct Case {
        const char* name;
        int lookUpError;
        const char* reason;
    };
    const Case cases[] = {
        {"lab-pc", EAI_NONAME, "Host not found"},
        {"lab-pc", EAI_NODATA, "Host not found"},
        {"lab-pc", EAI_FAIL, "Host not found"},
        {"lab-pc", EAI_AGAIN, "Temporary failure in name resolution"},
        {"a..b", 0, "Invalid hostname"}, // never looked up
        {"", 0, "No host name given"},
    };
    for (const Case& c : cases) {
        QByteArray asked;
        const auto lookUp = [&](const QByteArray& name) {
            asked = name;
            return HostAddresses{c.lookUpError, {}};
        };
        QString address = "stale", error;
        EXPECT_FALSE(ResolveLocalHostName(c.name, address, error, 5000, lookUp)) << c.name;
        EXPECT_TRUE(address.isEmpty());
        EXPECT_EQ(error, QStringLiteral("The name of this computer, \"%1\", does not resolve: %2")
                             .arg(c.name, c.reason));
        EXPECT_EQ(asked, c.lookUpError ? QByteArray(c.name) : QByteArray()) << c.name;
    }
}

// A name server that answers after the bound: the look-up is given up with the bound's
// text, and the late answer, which nobody waits for any more, harms nothing.
TEST(ServerAddress, AnAnswerAfterTheBoundIsDropped) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto token = std::make_shared<int>();
    const std::weak_ptr<int> held = token;
    QString address = "stale", error;
    EXPECT_FALSE(ResolveLocalHostName("lab-pc", address, error, 200,
                                      [token = std::move(token), released](const QByteArray&) {
                                          released.wait();
                                          return HostAddresses{0, {"192.168.1.20"}};
                                      }));
    EXPECT_TRUE(address.isEmpty());
    EXPECT_EQ(error, "The name of this computer, \"lab-pc\", did not resolve within 0.2 seconds.");
    release.set_value();
    // The look-up's thread has ended once it lets go of its copy of the look-up.
    EXPECT_TRUE(quvartest::WaitFor([&] { return held.expired(); }, 20000));
    PumpFor(100);

    // In time, the first IPv4 address that is not a loopback one.
    EXPECT_TRUE(ResolveLocalHostName("lab-pc", address, error, 20000, [](const QByteArray&) {
        return HostAddresses{0, {"::1", "127.0.1.1", "10.0.0.7"}};
    })) << error.toStdString();
    EXPECT_EQ(address, "10.0.0.7");
}

namespace {

// A server on a free port whose snapshot is played by the test.
class CommandServer : public ::testing::Test {
protected:
    void SetUp() override {
        server.Previewing = [this] { return previewing; };
        server.Snapshot = [this] {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            const bool requested = server.TakeRequest();
            if (during)
                during();
            --depth;
            if (fail)
                throw std::runtime_error("disk full");
            if (requested && !refuse)
                server.SendToFirstConnection(QStringLiteral("/p/%1.jpg").arg(++taken));
        };
        server.SnapshotFailed = [this](const std::exception& e) { failures << e.what(); };
        QString error;
        port = FreeTcpPort();
        ASSERT_TRUE(server.Listen(port, error)) << error.toStdString();
    }
    // Connects and waits until the server has taken the client in, so the order holds.
    std::unique_ptr<RemoteClient> Connect() {
        const int before = server.ConnectionCount();
        auto client = std::make_unique<RemoteClient>(port);
        EXPECT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() > before; }));
        return client;
    }

    TCommandServer server;
    int port = 0;
    bool previewing = true;
    bool fail = false;
    bool refuse = false;
    int taken = 0;
    int depth = 0;
    int maxDepth = 0;
    std::function<void()> during;
    QStringList failures;
};

} // namespace

TEST_F(CommandServer, PortInUseOrOutOfRangeDoesNotListen) {
    TCommandServer second;
    QString error;
    EXPECT_FALSE(second.Listen(port, error));
    EXPECT_FALSE(error.isEmpty());
    for (int bad : {0, -1, 65536}) {
        error.clear();
        EXPECT_FALSE(second.Listen(bad, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
    EXPECT_FALSE(second.IsListening());
}

TEST_F(CommandServer, CommandsDuringASnapshotWaitTheirTurnAndEachGetsAPath) {
    auto a = Connect();
    auto b = Connect();
    bool first = true;
    during = [&] {
        if (!std::exchange(first, false))
            return; // only inside the first snapshot
        // Another client, and the same one again, while the snapshot waits.
        b->Send("QUVAR_SNAP");
        EXPECT_TRUE(quvartest::WaitFor([&] { return server.Waiting() == 1; }));
        a->Send("xxQUVAR_SNAP");
        EXPECT_TRUE(quvartest::WaitFor([&] { return server.Waiting() == 2; }));
        EXPECT_TRUE(server.SnapshotRunning());
    };
    a->Send("QUVAR_SNAP");
    EXPECT_EQ(a->ReceiveAtLeast(24), "/p/1.jpg/p/2.jpg/p/3.jpg");
    EXPECT_EQ(maxDepth, 1); // never one inside another
    EXPECT_TRUE(b->Received().isEmpty());
    EXPECT_EQ(server.Tag, 0);
    EXPECT_FALSE(server.SnapshotRunning());
}

TEST_F(CommandServer, AFailedOrRefusedSnapshotLeavesNoRequestForALaterOne) {
    auto a = Connect();
    // A snapshot started later by someone else (a key) that would answer a request.
    auto later = [&] {
        if (server.TakeRequest())
            server.SendToFirstConnection("/p/late.jpg");
    };
    fail = true;
    a->Send("QUVAR_SNAP");
    EXPECT_TRUE(quvartest::WaitFor([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(failures, QStringList{"disk full"});
    EXPECT_EQ(server.Tag, 0);
    later();
    fail = false;

    refuse = true;
    a->Send("QUVAR_SNAP");
    PumpFor(100);
    EXPECT_EQ(server.Tag, 0);
    later();
    EXPECT_TRUE(a->Received().isEmpty());

    refuse = false;
    a->Send("QUVAR_SNAP");
    EXPECT_EQ(a->ReceiveAtLeast(8), "/p/1.jpg");
}

TEST_F(CommandServer, ClientGoneBeforeItsReplyLeavesThePathToTheNextOne) {
    RawClient a(port);
    ASSERT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 1; }));
    auto b = Connect();
    during = [&] {
        a.Reset();
        EXPECT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 1; }));
    };
    a.Send("QUVAR_SNAP");
    EXPECT_EQ(b->ReceiveAtLeast(8), "/p/1.jpg");
    during = nullptr;
    // The server goes on with the others; the one left alone gets its own replies.
    b->Send("hello");
    EXPECT_EQ(b->ReceiveAtLeast(30), "/p/1.jpgCommand not recognized");
    previewing = false;
    b->Send("QUVAR_SNAP");
    EXPECT_EQ(b->ReceiveAtLeast(54), "/p/1.jpgCommand not recognizedCamera is not previewing");
}

TEST_F(CommandServer, RestartDropsEveryClient) {
    std::vector<std::unique_ptr<RemoteClient>> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(Connect());
    QString error;
    server.Close();
    EXPECT_TRUE(quvartest::WaitFor([&] { return !clients.front()->Connected(); }));
    EXPECT_EQ(server.ConnectionCount(), 0);
    ASSERT_TRUE(server.Listen(port, error)) << error.toStdString();
    auto again = Connect();
    again->Send("nothing");
    EXPECT_EQ(again->ReceiveAtLeast(22), "Command not recognized");
}

// Clients that connect and send nothing (or a byte now and then) once kept every later
// client out for good. At the bound, a new client takes the place of the one idle longest.
TEST_F(CommandServer, IdleClientsNeverKeepANewOneOut) {
    qint64 now = 1000;
    server.Clock = [&] { return now; };
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < TCommandServer::MaxConnections; ++i) {
        ++now;
        idle.push_back(std::make_unique<RawClient>(port));
        ASSERT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == i + 1; }));
    }
    // The first one speaks now and then: the second is idle longest.
    ++now;
    idle[0]->Send("hello");
    ASSERT_TRUE(quvartest::WaitFor([&] { return idle[0]->Receive().size() == 22; }));

    ++now;
    auto latest = std::make_unique<RemoteClient>(port);
    latest->Send("QUVAR_SNAP");
    // The path goes to the first open connection, as ever.
    EXPECT_EQ(idle[0]->ReceiveAtLeast(22 + 8), "Command not recognized/p/1.jpg");
    EXPECT_TRUE(idle[1]->ReceiveToEnd().isEmpty());
    EXPECT_TRUE(idle[1]->Ended()) << "the client idle longest was closed";
    EXPECT_TRUE(latest->Connected());
    EXPECT_EQ(server.ConnectionCount(), TCommandServer::MaxConnections);
    latest->Send("QUVAR");
    EXPECT_EQ(latest->ReceiveAtLeast(22), "Command not recognized");
    previewing = false;
    idle[2]->Send("x");
    EXPECT_EQ(idle[2]->ReceiveAtLeast(24), "Camera is not previewing");
}

// A client that has sent nothing for the idle time is closed; one whose command waits for
// its snapshot is not.
TEST_F(CommandServer, ClientsIdleForTheIdleTimeAreClosed) {
    EXPECT_EQ(TCommandServer::DefaultIdleTimeoutMs, 60000);
    server.IdleTimeoutMs = 300;
    RawClient silent(port);
    ASSERT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 1; }));
    RawClient talking(port);
    ASSERT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 2; }));
    during = [&] {
        // The snapshot takes its time: the silent client goes meanwhile, the waiting stays.
        EXPECT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 1; }));
        PumpFor(2 * int(server.IdleTimeoutMs));
        EXPECT_EQ(server.ConnectionCount(), 1) << "the waiting client stays";
    };
    talking.Send("QUVAR_SNAP");
    EXPECT_TRUE(silent.ReceiveToEnd().isEmpty());
    EXPECT_TRUE(silent.Ended());
    during = nullptr;
    // Its path came to it, the first open connection now; then it falls idle in turn.
    EXPECT_EQ(talking.ReceiveToEnd(), "/p/1.jpg");
    EXPECT_TRUE(talking.Ended());
    EXPECT_EQ(server.ConnectionCount(), 0);
}

// A listen that fails says why in words for the error box, and keeps no descriptor.
TEST_F(CommandServer, AListenThatFailsSaysWhyAndKeepsNoDescriptor) {
    struct Case {
        int port;
        QString error;
    };
    const Case cases[] = {
        {port, "The bound address is already in use"},
        {0, "The port 0 is not a TCP port (1 to 65535)."},
        {65536, "The port 65536 is not a TCP port (1 to 65535)."},
    };
    TCommandServer second;
    for (const Case& c : cases) {
        const std::set<int> before = quvartest::OpenDescriptors();
        QString error;
        EXPECT_FALSE(second.Listen(c.port, error)) << c.port;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(quvartest::OpenDescriptors(), before) << c.port;
    }
}

namespace {

// The descriptors of this process whose socket has the local port given: a server's
// listening socket and its ends of the connections.
std::vector<int> DescriptorsOnPort(int port) {
    std::vector<int> found;
    for (const int fd : quvartest::OpenDescriptors()) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
            address.sin_family == AF_INET && ntohs(address.sin_port) == port)
            found.push_back(fd);
    }
    return found;
}

} // namespace

// Clients that went before the server took them in, or later, leave nothing open; each
// descriptor is closed on exec, so no program started from the window keeps the port.
TEST_F(CommandServer, NoDescriptorOutlivesItsClientOrPassesToAProgramStartedLater) {
    {
        RawClient early(port), earlier(port);
        ASSERT_TRUE(early.Connected());
        ASSERT_TRUE(earlier.Connected());
        early.Reset();
        earlier.Reset();
    }
    RawClient leaving(port);
    auto staying = Connect();
    staying->Send("hello");
    EXPECT_EQ(staying->ReceiveAtLeast(22), "Command not recognized");
    leaving.SendAndEnd("hello");
    EXPECT_EQ(leaving.ReceiveToEnd(), "Command not recognized");
    EXPECT_TRUE(leaving.Ended());
    EXPECT_TRUE(quvartest::WaitFor([&] { return server.ConnectionCount() == 1; }));
    const std::vector<int> open = DescriptorsOnPort(port);
    EXPECT_EQ(open.size(), 2u) << "the listener and the staying client";
    for (const int fd : open)
        EXPECT_TRUE(quvartest::ClosedOnExec(fd)) << fd;
    server.Close();
    EXPECT_TRUE(DescriptorsOnPort(port).empty());
}
