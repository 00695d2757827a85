#include "ToolDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// Pixels a pen of width w reaches beyond the shape's own points.
int PenReach(const QPen& pen) {
    return pen.width() / 2 + 2;
}

QRect Around(QRect shape, const QPen& pen, const QImage& image) {
    const int reach = PenReach(pen);
    return shape.normalized().adjusted(-reach, -reach, reach, reach).intersected(image.rect());
}

// Painting as the program always has: exact pixels, no smoothing.
class ImagePainter : public QPainter {
public:
    ImagePainter(QImage& image, const QPen& pen) : QPainter(&image) {
        setRenderHint(QPainter::Antialiasing, false);
        setPen(pen);
        setBrush(Qt::NoBrush);
    }
};

} // namespace

QPen MeasurePen(const TMainFields& Main) {
    QPen pen(ToQColor(Main.MeasurePenColor));
    pen.setWidth(std::max(1, Main.MeasurePenWidth));
    return pen;
}

QRect PaintLine(QImage& image, QPoint a, QPoint b, const QPen& pen) {
    ImagePainter(image, pen).drawLine(a, b);
    return Around(QRect(a, b), pen, image);
}

QRect PaintEllipse(QImage& image, QRect bounds, const QPen& pen) {
    ImagePainter(image, pen).drawEllipse(bounds);
    return Around(bounds.adjusted(0, 0, 1, 1), pen, image);
}

QRect PaintDot(QImage& image, QPoint centre, const QPen& pen) {
    ImagePainter painter(image, pen);
    painter.setBrush(pen.color());
    const QRect bounds(centre.x() - 1, centre.y() - 1, 2, 2);
    painter.drawEllipse(bounds);
    return Around(bounds.adjusted(0, 0, 1, 1), pen, image);
}

QRect PaintArrow(QImage& image, const ArrowShape& arrow, const QPen& pen, bool filled) {
    ImagePainter painter(image, pen);
    painter.drawLine(arrow.Base, arrow.Tail);
    const QPolygon head({arrow.Tip, arrow.Corner1, arrow.Corner2});
    if (filled) {
        painter.setBrush(pen.color());
        painter.drawPolygon(head);
    } else {
        painter.drawPolyline(QPolygon({arrow.Tip, arrow.Corner1, arrow.Corner2, arrow.Tip}));
    }
    return Around(QPolygon({arrow.Tip, arrow.Corner1, arrow.Corner2, arrow.Tail}).boundingRect(),
                  pen, image);
}

QRect PaintArc(QImage& image, const CurvatureResult& arc, const QPen& pen) {
    const QRect square = CircleBounds(arc.Centre, arc.RadiusPx);
    ImagePainter(image, pen).drawArc(square, arc.StartAngle16, arc.SpanAngle16);
    return Around(square.adjusted(0, 0, 1, 1), pen, image);
}

int MeasureTextPixelHeight(const TMainFields& Main, int imageHeight) {
    const int height = Main.ScaleAsPercentage ? imageHeight * Main.ScaleTextHeightPromil / 1000
                                              : Main.ScaleTextHeightPx;
    return std::max(1, height * 70 / 100);
}

QFont MeasureTextFont(const TMainFields& Main, int imageHeight) {
    QFont font = Main.ScaleFont.ToQFont();
    font.setPixelSize(MeasureTextPixelHeight(Main, imageHeight));
    return font;
}

QString MeasureText(const TMainFields& Main, const QString& text) {
    return Main.ScaleFont.Style & StyleItalic ? text + u' ' : text;
}

QSize LabelSize(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    return {std::max(1, metrics.horizontalAdvance(text)), std::max(1, metrics.height())};
}

QRect PaintLabel(QImage& image, QPoint topLeft, const QString& text, const QFont& font,
                 const QColor& textColour, std::optional<QColor> background) {
    const QRect box(topLeft, LabelSize(text, font));
    QPainter painter(&image);
    if (background)
        painter.fillRect(box, *background);
    painter.setFont(font);
    painter.setPen(textColour);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return box.intersected(image.rect());
}

QRect PaintCurvatureTexts(QImage& image, const QString& radiusText, const QString& angleText,
                          const QFont& font) {
    const int h1 = LabelSize(radiusText, font).height();
    const int h2 = LabelSize(angleText, font).height();
    const QRect first = PaintLabel(image, {10, image.height() - 2 * h1 - 8}, radiusText, font,
                                   Qt::black, QColor(Qt::white));
    const QRect second = PaintLabel(image, {10, image.height() - h2 - 4}, angleText, font,
                                    Qt::black, QColor(Qt::white));
    return first.united(second);
}
