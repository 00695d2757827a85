#include "SerialPort.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

class TermiosSerialPort final : public SerialPort {
public:
    explicit TermiosSerialPort(QString nodePrefix) : prefix_(std::move(nodePrefix)) {}
    ~TermiosSerialPort() override { Close(); }

    bool Open(int portNumber) override {
        Close();
        if (portNumber < MinComPort || portNumber > MaxComPort)
            return false;
        const QByteArray node = QFile::encodeName(prefix_ + QString::number(portNumber - 1));
        // Non-blocking: without it the open waits for the carrier of a modem line.
        const int fd = ::open(node.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        // Not shared: TIOCEXCL refuses later opens by others; the lock also refuses a
        // second open by a process that may ignore TIOCEXCL (root) but takes the lock.
        if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
            ::close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }

    void Close() override {
        if (fd_ < 0)
            return;
        ::tcflush(fd_, TCIOFLUSH);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

    bool IsOpen() const override { return fd_ >= 0; }

    unsigned ModemStatus() const override {
        int bits = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &bits) != 0)
            return 0;
        unsigned lines = 0;
        if (bits & TIOCM_CTS)
            lines |= ModemCTS;
        if (bits & TIOCM_DSR)
            lines |= ModemDSR;
        if (bits & TIOCM_CAR)
            lines |= ModemDCD;
        if (bits & TIOCM_RNG)
            lines |= ModemRing;
        return lines;
    }

private:
    QString prefix_;
    int fd_ = -1;
};

SerialPort* installed = nullptr;

bool LineHigh(unsigned line) {
    return (AppSerialPort().ModemStatus() & line) != 0;
}

} // namespace

std::unique_ptr<SerialPort> MakeTermiosSerialPort(const QString& nodePrefix) {
    return std::make_unique<TermiosSerialPort>(nodePrefix);
}

SerialPort& AppSerialPort() {
    if (installed)
        return *installed;
    static const std::unique_ptr<SerialPort> termios = MakeTermiosSerialPort();
    return *termios;
}

void SetAppSerialPort(SerialPort* port) {
    installed = port;
}

bool OpenComPort(int portNumber) {
    return AppSerialPort().Open(portNumber);
}

void CloseComPort() {
    AppSerialPort().Close();
}

bool ReadCTS() {
    return LineHigh(ModemCTS);
}

bool ReadDSR() {
    return LineHigh(ModemDSR);
}

bool ReadDCD() {
    return LineHigh(ModemDCD);
}

bool ReadRing() {
    return LineHigh(ModemRing);
}

bool ReadPortLine(int portLine) {
    switch (portLine) {
    case 0:
        return ReadCTS();
    case 1:
        return ReadDSR();
    case 2:
        return ReadDCD();
    case 3:
        return ReadRing();
    default:
        return false;
    }
}
