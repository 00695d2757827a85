#pragma once
// The preview window over fake cameras, with program and photo folders of its own; shared
// by the window's tests.

#include "CaptureTestSupport.h"

#include "capture/FakeCameras.h"
#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "support/EventWait.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace previewtest {

using quvartest::WaitFor;

inline const QRgb Colour = qRgb(200, 100, 50);

// The window takes the camera's first format, a YUV one: a channel may be a few steps off.
inline ::testing::AssertionResult Near(QRgb actual, QRgb expected) {
    if (std::abs(qRed(actual) - qRed(expected)) <= 4 &&
        std::abs(qGreen(actual) - qGreen(expected)) <= 4 &&
        std::abs(qBlue(actual) - qBlue(expected)) <= 4)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << QColor(actual).name().toStdString() << " is not near "
                                         << QColor(expected).name().toStdString();
}

class PreviewWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetFakeCameraColour("Cam", Colour);
        window = std::make_unique<TCamViewMain>();
        window->SnapshotFolder = photos.path();
    }
    void TearDown() override {
        window.reset();
        SetFakeCameraColour("Cam", std::nullopt);
        SetFakeCameraFault("Cam", FakeCameraFault::None);
    }
    QAction* CameraItem(const QString& name) {
        for (QAction* item : window->SelectVideoDevice->actions())
            if (item->text() == name)
                return item;
        return nullptr;
    }
    // Picks the camera as from the menu and waits for its first frames.
    void StartCamera(const QString& name = "Cam") {
        window->FormShow();
        QAction* item = CameraItem(name);
        ASSERT_NE(item, nullptr);
        window->SelectDeviceClick(item);
        ASSERT_TRUE(window->VideoCapture().Previewing());
        ASSERT_TRUE(WaitFor([&] { return !window->VideoCapture().LatestFrame().isNull(); }));
    }

    ScriptedPrompts prompts;
    FakeCameraScope cameras{"Cam;Other"};
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir photos;
    std::unique_ptr<TCamViewMain> window;
};

} // namespace previewtest
