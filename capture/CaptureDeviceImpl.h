#pragma once
// Internal to the capture library: what a device is on this platform.

#include "capture/CaptureDevices.h"
#include "capture/GstSupport.h"

class CaptureDevice {
public:
    // Holds a reference of its own to device.
    explicit CaptureDevice(GstDevice* device);
    // A compressor: no device behind it, known by its list entry alone.
    CaptureDevice() = default;

    // Null for a compressor.
    GstDevice* Device() const { return device_.get(); }
    // A new source element for the device, or null when it cannot be made.
    gstsupport::ElementPtr CreateElement() const;
    // The formats the device offers; an empty caps object when it says nothing.
    gstsupport::CapsPtr Caps() const;
    // The V4L2 device node ("/dev/video0") where the device has one, else empty.
    QString DevicePath() const;

private:
    gstsupport::ObjectPtr<GstDevice> device_;
};
