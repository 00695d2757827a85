#pragma once
// A window that takes the preview window's captures, for tests that need no measuring
// window: its folders and sample date are set by the test, and it records what it is
// asked to do.

#include "capture/ui/CaptureTaker.h"

#include <QFileInfo>
#include <QRect>
#include <QStringList>
#include <QWidget>

class FakeCaptureTaker : public TCaptureTaker {
public:
    QString PhotoFolder;
    QDate SampleDate;
    QString WatchFolder;

    // Every call in order: "HoldFrame", "LoadFrame <name>", "ShowInPlaceOf".
    QStringList Calls;
    QImage Held;
    // Whether the watched folder held the file named at LoadFrame as a regular file.
    bool LoadedFileExisted = false;
    bool ShownMaximized = false;
    QRect ShownOn;

    QString CapturePhotoFolder() const override { return PhotoFolder; }
    QDate CaptureSampleDate() const override { return SampleDate; }
    QString CaptureWatchFolder() const override { return WatchFolder; }
    void HoldFrame(const QImage& frame) override {
        Calls << QStringLiteral("HoldFrame");
        Held = frame;
    }
    void LoadFrame(const QString& arrivedName) override {
        Calls << QStringLiteral("LoadFrame ") + arrivedName;
        const QFileInfo file(WatchFolder + QStringLiteral("/") + arrivedName);
        LoadedFileExisted = !arrivedName.isEmpty() && file.isFile() && !file.isSymLink();
    }
    void ShowInPlaceOf(const QWidget& preview) override {
        Calls << QStringLiteral("ShowInPlaceOf");
        ShownMaximized = preview.isMaximized();
        ShownOn = preview.geometry();
    }
};
