#pragma once
// The image area inside the scroll box: shows the work image one image pixel per device
// pixel, whatever the screen's scale, and repaints only the damaged rectangle.

#include <QWidget>

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double Scale() const; // device pixels per logical pixel

    const QImage& image_;
};
