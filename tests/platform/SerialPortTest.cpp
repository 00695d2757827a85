#include "platform/SerialPort.h"
#include "support/FakeSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// A pseudo-terminal: its slave node stands in for a serial device, found by the termios
// port as prefix + number.
class Pty {
public:
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        node = QString::fromLocal8Bit(ptsname(master));
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Pty() {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    bool Ok() const { return slave >= 0; }
    // "/dev/pts/" and the COM number whose node this is.
    QString Prefix() const { return node.left(node.lastIndexOf('/') + 1); }
    int ComNumber() const { return node.mid(node.lastIndexOf('/') + 1).toInt() + 1; }
    bool SlaveReadable(int ms) const {
        pollfd p{slave, POLLIN, 0};
        return ::poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
    }

    int master = -1;
    int slave = -1;
    QString node;
};

} // namespace

TEST(TermiosSerialPort, NumbersOutsideOneTo255AndMissingOrOtherNodesDoNotOpen) {
    QTemporaryDir dir;
    const QString prefix = dir.path() + "/ttyQ";
    QFile plain(prefix + "1"); // COM 2: a file, not a device
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    auto port = MakeTermiosSerialPort(prefix);
    for (int number : {-1, 0, 256, 1000, 1, 2}) {
        EXPECT_FALSE(port->Open(number)) << number;
        EXPECT_FALSE(port->IsOpen()) << number;
        EXPECT_EQ(port->ModemStatus(), 0u) << number;
    }
    port->Close(); // nothing open: no effect
    EXPECT_FALSE(port->IsOpen());
}

TEST(TermiosSerialPort, OpensExclusivelyFlushesOnCloseAndReadsNoLinesOfAPty) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    auto port = MakeTermiosSerialPort(pty.Prefix());
    auto other = MakeTermiosSerialPort(pty.Prefix());
    ASSERT_TRUE(port->Open(pty.ComNumber()));
    EXPECT_TRUE(port->IsOpen());
    // Not shared: a second open fails until the first closes.
    EXPECT_FALSE(other->Open(pty.ComNumber()));

    // A pty has no modem lines: every level reads low, and nothing fails.
    SetAppSerialPort(port.get());
    EXPECT_EQ(port->ModemStatus(), 0u);
    EXPECT_FALSE(ReadCTS());
    EXPECT_FALSE(ReadDSR());
    EXPECT_FALSE(ReadDCD());
    EXPECT_FALSE(ReadRing());

    // Closing discards what waits to be read.
    ASSERT_EQ(::write(pty.master, "abc\n", 4), 4);
    ASSERT_TRUE(pty.SlaveReadable(2000));
    CloseComPort();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(pty.SlaveReadable(0));
    SetAppSerialPort(nullptr);

    EXPECT_TRUE(other->Open(pty.ComNumber()));
    // An open first closes the port open before, also when the new one does not open.
    Pty second;
    ASSERT_TRUE(second.Ok());
    auto third = MakeTermiosSerialPort(second.Prefix());
    ASSERT_TRUE(third->Open(second.ComNumber()));
    EXPECT_FALSE(third->Open(pty.ComNumber())); // held by other
    EXPECT_FALSE(third->IsOpen());
    EXPECT_TRUE(port->Open(second.ComNumber())); // third let it go
}

TEST(SerialRoutines, EachReadsItsOwnLineAndPortLinesMapZeroToThree) {
    FakeSerialPort fake;
    ASSERT_TRUE(OpenComPort(1));
    struct Case {
        unsigned levels;
        bool cts, dsr, dcd, ring;
    };
    for (const Case& c :
         {Case{0, false, false, false, false}, Case{ModemCTS, true, false, false, false},
          Case{ModemDSR, false, true, false, false}, Case{ModemDCD, false, false, true, false},
          Case{ModemRing, false, false, false, true},
          Case{ModemCTS | ModemDSR | ModemDCD | ModemRing, true, true, true, true}}) {
        fake.levels = c.levels;
        EXPECT_EQ(ReadCTS(), c.cts) << c.levels;
        EXPECT_EQ(ReadDSR(), c.dsr) << c.levels;
        EXPECT_EQ(ReadDCD(), c.dcd) << c.levels;
        EXPECT_EQ(ReadRing(), c.ring) << c.levels;
        EXPECT_EQ(ReadPortLine(0), c.cts) << c.levels;
        EXPECT_EQ(ReadPortLine(1), c.dsr) << c.levels;
        EXPECT_EQ(ReadPortLine(2), c.dcd) << c.levels;
        EXPECT_EQ(ReadPortLine(3), c.ring) << c.levels;
        EXPECT_FALSE(ReadPortLine(4));
        EXPECT_FALSE(ReadPortLine(-1));
    }
    CloseComPort();
    EXPECT_FALSE(ReadCTS()); // closed: no level
}
