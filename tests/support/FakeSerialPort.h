#pragma once
// A serial port for tests: the ports that exist and the levels of their modem inputs are
// set by the test, and every open and close is recorded. Installed for its lifetime.

#include "platform/SerialPort.h"

#include <set>
#include <vector>

class FakeSerialPort final : public SerialPort {
public:
    FakeSerialPort() { SetAppSerialPort(this); }
    ~FakeSerialPort() override { SetAppSerialPort(nullptr); }
    FakeSerialPort(const FakeSerialPort&) = delete;
    FakeSerialPort& operator=(const FakeSerialPort&) = delete;

    std::set<int> existing{1}; // the COM numbers that open
    unsigned levels = 0;       // ModemLine bits that are high

    std::vector<int> opened; // every Open, with its number
    int closes = 0;          // Close calls while a port was open
    int current = 0;         // the open port, 0 when none

    bool Open(int portNumber) override {
        Close();
        opened.push_back(portNumber);
        if (!existing.count(portNumber))
            return false;
        current = portNumber;
        return true;
    }
    void Close() override {
        if (current == 0)
            return;
        ++closes;
        current = 0;
    }
    bool IsOpen() const override { return current != 0; }
    unsigned ModemStatus() const override { return current ? levels : 0; }
};
