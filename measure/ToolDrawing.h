#pragma once
// Painting the results of the measuring tools into the work image with the measuring pen,
// and the text of result labels and curvature values in the scale font. Each routine
// returns the rectangle of image pixels it may have changed, for a repaint of just that.

#include "measure/MainFields.h"
#include "measure/ToolGeometry.h"

#include <QFont>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QString>

#include <optional>

// Width MeasurePenWidth (at least 1), colour MeasurePenColor, square-free round caps as a
// plain pen.
QPen MeasurePen(const TMainFields& Main);

QRect PaintLine(QImage& image, QPoint a, QPoint b, const QPen& pen);
// Ellipse (also a circle) inside bounds, as QPainter::drawEllipse reads a QRect; hollow.
QRect PaintEllipse(QImage& image, QRect bounds, const QPen& pen);
// A filled dot of radius 1 around centre; the pen width gives it its size.
QRect PaintDot(QImage& image, QPoint centre, const QPen& pen);
// Shaft from the base to the tail and the head: a filled triangle, or its outline.
QRect PaintArrow(QImage& image, const ArrowShape& arrow, const QPen& pen, bool filled);
// The arc of the curvature circle between the chord ends.
QRect PaintArc(QImage& image, const CurvatureResult& arc, const QPen& pen);

// Height in pixels of the text of result labels and curvature values: 70 % of the scale
// text height (per mille of the image height, or pixels).
int MeasureTextPixelHeight(const TMainFields& Main, int imageHeight);
// The scale font's name and style at that height.
QFont MeasureTextFont(const TMainFields& Main, int imageHeight);
// The text as labels show it: one blank appended to italic text, so its slant is not cut.
QString MeasureText(const TMainFields& Main, const QString& text);

// The size of a label showing text in font, and the label painted into the image at
// topLeft: on background when one is given, else transparent.
QSize LabelSize(const QString& text, const QFont& font);
QRect PaintLabel(QImage& image, QPoint topLeft, const QString& text, const QFont& font,
                 const QColor& textColour, std::optional<QColor> background);

// The two curvature texts at the bottom left of the image, black on white.
QRect PaintCurvatureTexts(QImage& image, const QString& radiusText, const QString& angleText,
                          const QFont& font);
