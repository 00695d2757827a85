#pragma once
// A camera's own controls (brightness, contrast, exposure, gain, white balance, ...), read
// and set through its V4L2 device node: what the video source settings dialog shows.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct V4l2Control {
    enum class Kind { Integer, Boolean, Menu, Button };
    uint32_t id = 0;
    QString name; // as the driver names it ("Brightness")
    Kind kind = Kind::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    QStringList menuItems; // for Menu: the item of each value from minimum on ("" where none)
    bool readOnly = false;
    bool inactive = false; // greyed out for now, e.g. exposure while automatic exposure is on
};

// The controls of the device, in the driver's order; empty when the node cannot be opened.
std::vector<V4l2Control> ReadV4l2Controls(const QString& devicePath);
// False when the node cannot be opened or the driver refuses the value.
bool SetV4l2Control(const QString& devicePath, uint32_t id, int value);
