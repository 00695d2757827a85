#include "FotoView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Tiles of the mirror filled on first paint: small enough that the first paint of the
// visible part copies little beyond it.
constexpr int TileSize = 128;

// Format_BGR888 (bytes B, G, R) to Format_RGB32 (0xffRRGGBB, bytes B, G, R, 0xff), the
// formats of the program's bitmaps and of the screen.
void Bgr888ToRgb32(const uchar* from, uint32_t* to, int pixels) {
    for (int x = 0; x < pixels; ++x, from += 3)
        to[x] = 0xFF000000u | uint32_t(from[0]) | uint32_t(from[1]) << 8 | uint32_t(from[2]) << 16;
}

} // namespace

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
    if (imageRect.isEmpty())
        return;
    changed_ += imageRect;
    update(WidgetRect(imageRect).toAlignedRect());
}

void FotoView::UpdateImageRegion(const QRegion& imageRegion) {
    if (imageRegion.isEmpty())
        return;
    changed_ += imageRegion;
    QRegion damaged;
    for (const QRect& r : imageRegion)
        damaged += WidgetRect(r).toAlignedRect();
    update(damaged);
}

void FotoView::ImageChanged() {
    mirrorOf_ = 0;
    update();
}

void FotoView::CopyToMirror(const QRect& source) {
    const QRect r = source.intersected(mirror_.rect());
    if (r.isEmpty())
        return;
    if (image_.format() == QImage::Format_BGR888) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            Bgr888ToRgb32(image_.constScanLine(y) + qsizetype(r.left()) * 3,
                          reinterpret_cast<uint32_t*>(mirror_.scanLine(y)) + r.left(), r.width());
        return;
    }
    // Any other format through Qt's own conversion, as the paint engine would do it.
    const QImage part = image_.copy(r).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < r.height(); ++y)
        std::copy_n(part.constScanLine(y), qsizetype(r.width()) * 4,
                    mirror_.scanLine(r.top() + y) + qsizetype(r.left()) * 4);
}

void FotoView::RefreshMirror(const QRect& source) {
    // The data's serial number, not the whole key: every write access changes the rest.
    const qint64 data = image_.cacheKey() >> 32;
    if (mirror_.size() != image_.size()) {
        // Left uninitialised: pages of tiles never painted are never touched.
        mirror_ = QImage(image_.size(), QImage::Format_RGB32);
        mirrorOf_ = 0;
    }
    if (mirrorOf_ != data) {
        tileColumns_ = (image_.width() + TileSize - 1) / TileSize;
        const int rows = (image_.height() + TileSize - 1) / TileSize;
        tileCopied_.assign(size_t(tileColumns_) * size_t(rows), false);
        changed_ = QRegion();
        mirrorOf_ = data;
    }
    for (int ty = source.top() / TileSize; ty <= source.bottom() / TileSize; ++ty)
        for (int tx = source.left() / TileSize; tx <= source.right() / TileSize; ++tx) {
            const size_t tile = size_t(ty) * size_t(tileColumns_) + size_t(tx);
            if (tileCopied_[tile])
                continue;
            CopyToMirror(QRect(tx * TileSize, ty * TileSize, TileSize, TileSize));
            tileCopied_[tile] = true;
        }
    // Region arithmetic allocates: skipped when nothing changed since the last copy.
    if (changed_.isEmpty())
        return;
    const QRegion stale = changed_.intersected(source);
    for (const QRect& r : stale)
        CopyToMirror(r);
    changed_ -= stale;
}

void FotoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const double scale = Scale();
    // Outside the image (a view larger than the image while resizing) stays dark; where a
    // logical pixel is partly image, the image is painted over the dark.
    const QSizeF shown = WidgetRect(image_.rect()).size();
    const QRect inside(0, 0, int(shown.width()), int(shown.height()));
    if (!inside.contains(event->rect()))
        for (const QRect& r : event->region().subtracted(inside))
            painter.fillRect(r, palette().dark());
    for (const QRect& damaged : event->region()) {
        const QRect source = QRectF(damaged.x() * scale, damaged.y() * scale,
                                    damaged.width() * scale, damaged.height() * scale)
                                 .toAlignedRect()
                                 .intersected(image_.rect());
        if (source.isEmpty())
            continue;
        RefreshMirror(source);
        if (scale == 1.0)
            painter.drawImage(source.topLeft(), mirror_, source); // a plain copy of rows
        else
            painter.drawImage(WidgetRect(source), mirror_, source);
    }
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
