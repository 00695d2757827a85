#pragma once
// Rubber bands and frames drawn into the work image so that drawing the same outline again
// erases it, byte for byte. Every pixel under the outline is toggled exactly once, however
// the outline overlaps itself: exclusive-or with the pen colour, or inverted when the pen
// is black (exclusive-or with black would change nothing). Works on the program's
// bitmaps, Format_BGR888 and Format_RGB32; other formats are left untouched.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QRgb>

enum class XorShape {
    Line,      // from a to b, round ends
    Ellipse,   // inside the box with corners a and b (its outline touches both)
    Rectangle, // outline through corners a and b, both included
};

// Toggles the shape's outline, penWidth pixels wide (at least 1), clipped to the image.
// Returns the rectangle of pixels it changed, empty when none: the part to repaint.
QRect XorDraw(QImage& image, XorShape shape, QPoint a, QPoint b, int penWidth, QRgb penColour);
// The same, also adding the changed pixels to *changedRegion as boxes along the outline (per
// few rows), far smaller than the rectangle for long or round outlines: the part to repaint.
QRect XorDraw(QImage& image, XorShape shape, QPoint a, QPoint b, int penWidth, QRgb penColour,
              QRegion* changedRegion);

QRect XorLine(QImage& image, QPoint a, QPoint b, int penWidth, QRgb penColour);
// bounds as QPainter::drawEllipse reads a QRect: the outline spans x() to x() + width().
QRect XorEllipse(QImage& image, QRect bounds, int penWidth, QRgb penColour);
QRect XorRectangle(QImage& image, QPoint a, QPoint b, int penWidth, QRgb penColour);
