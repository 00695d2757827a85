#pragma once
// Fake cameras, for tests and for a user without a camera: QUVAR_TEST_CAMERAS names them
// (";"-separated, duplicates allowed). Each is a live test-pattern source listed by the
// device monitor next to real cameras, with a fixed set of formats, so the program runs
// the same code path as with a real one.

#include "capture/CaptureDevices.h"

#include <QRgb>
#include <optional>

// The names in QUVAR_TEST_CAMERAS, in order, as written (blank entries included).
QStringList FakeCameraNames();

// Registers the fake cameras' device provider with GStreamer (done at start-up).
void RegisterFakeCameraProvider();

// A device source that lists only the fake cameras (video inputs; the other lists are
// empty), so tests do not depend on what is plugged into the machine.
std::unique_ptr<DeviceSource> NewFakeCameraSource();

// Frames of the camera with this FriendlyName: a solid colour, or (nullopt) the moving
// test pattern. Applies to sources made afterwards.
void SetFakeCameraColour(const QString& name, std::optional<QRgb> colour);

enum class FakeCameraFault {
    None,
    FailOnce,  // the next frame fails, as a camera does on a USB hiccup; later frames flow
    Unplugged, // every frame fails until the fault is cleared
};
// Applies at once, also to running sources.
void SetFakeCameraFault(const QString& name, FakeCameraFault fault);
