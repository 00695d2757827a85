#include "FotoView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

FotoView::FotoView(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double FotoView::Scale() const {
    return std::max(devicePixelRatioF(), 1e-3);
}

void FotoView::FitToImage() {
    const double scale = Scale();
    resize(int(std::ceil(image_.width() / scale)), int(std::ceil(image_.height() / scale)));
}

QPoint FotoView::ImagePoint(const QPointF& widgetPoint) const {
    const double scale = Scale();
    return {int(std::floor(widgetPoint.x() * scale)), int(std::floor(widgetPoint.y() * scale))};
}

QRectF FotoView::WidgetRect(const QRect& imageRect) const {
    const double scale = Scale();
    return {imageRect.x() / scale, imageRect.y() / scale, imageRect.width() / scale,
            imageRect.height() / scale};
}

void FotoView::UpdateImageRect(const QRect& imageRect) {
    update(WidgetRect(imageRect).toAlignedRect());
}

void FotoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const double scale = Scale();
    const QRect damaged = event->rect();
    const QRect source = QRectF(damaged.x() * scale, damaged.y() * scale, damaged.width() * scale,
                                damaged.height() * scale)
                             .toAlignedRect()
                             .intersected(image_.rect());
    // Outside the image (a view larger than the image while resizing) stays dark.
    painter.fillRect(damaged, palette().dark());
    if (!source.isEmpty())
        painter.drawImage(WidgetRect(source), image_, source);
}

void FotoView::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event, ImagePoint(event->position()));
}

void FotoView::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove)
        OnMouseMove(event, ImagePoint(event->position()));
}

void FotoView::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp)
        OnMouseUp(event, ImagePoint(event->position()));
}
