#pragma once
// The image area inside the scroll box: shows the work image one image pixel per device
// pixel, whatever the screen's scale, and repaints only the damaged rectangle.
//
// A paint copies from a mirror of the work image in the 32-bit format the paint engine
// copies without conversion. The mirror is filled in tiles as they are first painted, and
// kept up to date from what the window reports: UpdateImageRect after a change within a
// rectangle, ImageChanged after any other change in place. A new image (other pixels or
// size) is noticed by the view itself.

#include <QImage>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <vector>

class FotoView : public QWidget {
public:
    // image: the work image, owned by the window and read at every paint.
    explicit FotoView(const QImage& image, QWidget* parent = nullptr);

    // Resizes the view to the image (in logical pixels of this screen).
    void FitToImage();
    // Repaints the given rectangle of image pixels, after a change of the image inside it.
    void UpdateImageRect(const QRect& imageRect);
    // The same for the rectangles of a region of image pixels.
    void UpdateImageRegion(const QRegion& imageRegion);
    // Repaints everything after a change of the image anywhere.
    void ImageChanged();
    // The image pixel under a point of the widget, and back.
    QPoint ImagePoint(const QPointF& widgetPoint) const;
    QRectF WidgetRect(const QRect& imageRect) const;

    // The mouse over the image, in image pixels; the window sets these.
    using MouseHandler = std::function<void(QMouseEvent* event, QPoint imagePoint)>;
    MouseHandler OnMouseDown, OnMouseMove, OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double Scale() const; // device pixels per logical pixel
    // Brings the mirror up to date with the image within source.
    void RefreshMirror(const QRect& source);
    void CopyToMirror(const QRect& source);

    const QImage& image_;
    QImage mirror_;
    qint64 mirrorOf_ = 0;          // the image data the mirror was made from
    std::vector<bool> tileCopied_; // per tile, row by row
    int tileColumns_ = 0;
    QRegion changed_; // image pixels changed since they were copied
};
