#pragma once
// What the preview window needs of the window that takes its captures: where snapshots go
// and the sample date their names carry, the watched folder a frame is handed through, the
// frame itself, and showing that window in the preview window's place. The program wires
// the measuring window in; the preview window works without one.

#include <QDate>
#include <QImage>
#include <QString>

class QWidget;

class TCaptureTaker {
public:
    virtual ~TCaptureTaker() = default;

    virtual QString CapturePhotoFolder() const = 0;
    virtual QDate CaptureSampleDate() const = 0;
    virtual QString CaptureWatchFolder() const = 0;
    // Enables the window and holds frame as its new original image, before its file is
    // written into the watched folder.
    virtual void HoldFrame(const QImage& frame) = 0;
    // Takes the held frame in; arrivedName is its file in the watched folder, empty when
    // none was written.
    virtual void LoadFrame(const QString& arrivedName) = 0;
    // Enabled and shown where preview stands: maximised as it is, else on its rectangle.
    virtual void ShowInPlaceOf(const QWidget& preview) = 0;
};
