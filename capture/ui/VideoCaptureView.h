#pragma once
// The capture control as a widget: it owns one TVideoCapture and paints the newest preview
// frame itself, scaled into its client area, so the picture shows on every platform and
// in grab(). The colour fills the area while no frame has arrived.

#include "capture/VideoCapture.h"

#include <QColor>
#include <QWidget>

class TVideoCaptureView : public QWidget {
public:
    explicit TVideoCaptureView(QWidget* parent = nullptr);

    TVideoCapture& Capture() { return capture_; }
    const TVideoCapture& Capture() const { return capture_; }

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

    // The control repaints on these two events itself; the owner's handlers run after.
    TVideoCapture::TNotifyEvent FrameRendered;
    TVideoCapture::TNotifyEvent PreviewStopped;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TVideoCapture capture_;
    QColor color_ = Qt::black;
};
