#pragma once
// The image area inside the scroll box: shows the work image one image pixel per device
// pixel, whatever the screen's scale, and repaints only the damaged rectangle.

#include <QWidget>

#include <functional>

class QImage;

class FotoView : public QWidget {
public:
    // image: the work image, owned by the window and read at every paint.
    explicit FotoView(const QImage& image, QWidget* parent = nullptr);

    // Resizes the view to the image (in logical pixels of this screen).
    void FitToImage();
    // Repaints the given rectangle of image pixels.
    void UpdateImageRect(const QRect& imageRect);
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

    const QImage& image_;
};
