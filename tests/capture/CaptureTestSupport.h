#pragma once
// Shared by the capture tests: fake cameras named for one test, installed as the only
// device source so the machine's own cameras never change a result.

#include "capture/CaptureDevices.h"
#include "capture/FakeCameras.h"

#include <QByteArray>
#include <memory>

class FakeCameraScope {
public:
    explicit FakeCameraScope(const QByteArray& names)
        : old_(qgetenv("QUVAR_TEST_CAMERAS")),
          hadOld_(qEnvironmentVariableIsSet("QUVAR_TEST_CAMERAS")), source_(NewFakeCameraSource()) {
        qputenv("QUVAR_TEST_CAMERAS", names);
        SetAppDeviceSource(source_.get());
    }
    ~FakeCameraScope() {
        SetAppDeviceSource(nullptr);
        ClearDeviceLists();
        if (hadOld_)
            qputenv("QUVAR_TEST_CAMERAS", old_);
        else
            qunsetenv("QUVAR_TEST_CAMERAS");
    }
    FakeCameraScope(const FakeCameraScope&) = delete;
    FakeCameraScope& operator=(const FakeCameraScope&) = delete;

private:
    QByteArray old_;
    bool hadOld_;
    std::unique_ptr<DeviceSource> source_;
};
