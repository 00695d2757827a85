#pragma once
// The serial port of the hardware trigger: one port at a time, opened exclusively, and the
// levels of its four modem-status inputs. COM n is the device node /dev/ttyS<n-1>; only
// COM 1 to 255 exist. Nothing here reads or writes data, and the outputs (RTS, DTR) are
// left as the driver sets them.

#include <QString>
#include <memory>

// The modem-status inputs, as bits of SerialPort::ModemStatus.
enum ModemLine : unsigned {
    ModemCTS = 1,
    ModemDSR = 2,
    ModemDCD = 4, // receive-line-signal detect ("carrier")
    ModemRing = 8,
};

inline constexpr int MinComPort = 1;
inline constexpr int MaxComPort = 255;

class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Opens COM portNumber, closing any port open before. False when it does not open
    // (no such device, in use, no permission, a number outside 1 to 255).
    virtual bool Open(int portNumber) = 0;
    // Discards what is queued in both directions and closes; nothing when none is open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The ModemLine bits that are high now; 0 when no port is open or the device has no
    // modem lines.
    virtual unsigned ModemStatus() const = 0;
};

// termios and ioctl on the device nodes nodePrefix + (n - 1).
std::unique_ptr<SerialPort> MakeTermiosSerialPort(const QString& nodePrefix = "/dev/ttyS");

// The port the program uses. Until one is installed, a termios port on /dev/ttyS.
SerialPort& AppSerialPort();
// Installs port (not owned); nullptr goes back to the termios one.
void SetAppSerialPort(SerialPort* port);

// The routines of the trigger settings, on AppSerialPort().
bool OpenComPort(int portNumber);
void CloseComPort();
bool ReadCTS();
bool ReadDSR();
bool ReadDCD();
bool ReadRing();
// The level of the input the trigger settings name: 0 CTS, 1 DSR, 2 DCD, 3 RI; false for
// any other number.
bool ReadPortLine(int portLine);
