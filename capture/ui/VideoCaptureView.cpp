#include "VideoCaptureView.h"

#include <QPaintEvent>
#include <QPainter>

TVideoCaptureView::TVideoCaptureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    capture_.OnFrameRendered = [this](TVideoCapture& sender) {
        update();
        if (FrameRendered)
            FrameRendered(sender);
    };
    capture_.OnStopPreview = [this](TVideoCapture& sender) {
        update(); // back to the colour
        if (PreviewStopped)
            PreviewStopped(sender);
    };
}

void TVideoCaptureView::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TVideoCaptureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage frame = capture_.Previewing() ? capture_.LatestFrame() : QImage();
    if (frame.isNull())
        painter.fillRect(rect(), color_);
    else
        painter.drawImage(rect(), frame);
}
