#pragma once
// Geometry of the measuring tools in work-image pixels (y grows downward): axis snapping,
// arrow heads, the chord bisector and curvature of the closteriometer, the places of the
// floating value labels, and the boxes of circles and ovals. Pure functions; the window
// draws what they compute.

#include "measure/MainFields.h"

#include <QLine>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Ctrl held while dragging: an almost horizontal drag becomes horizontal (|dX| > 30 and
// |dY| < 20 puts end on start's row), then an almost vertical one becomes vertical.
QPoint SnapToAxis(QPoint start, QPoint end);

double Distance(QPoint a, QPoint b);

// An arrow from the tail to the tip: the shaft runs from Tail to Base, the head is the
// triangle Tip, Corner1, Corner2 (its half-width a third of its length).
struct ArrowShape {
    QPoint Tip, Base, Tail, Corner1, Corner2;
};

// The arrow for a head of arrowHeadLength pixels, or for 0 the automatic length: a fifth
// of the arrow, but 36 pixels above 180 and 18 below 90. Nothing for an automatic arrow
// shorter than 3 pixels, nor for a tip on the tail.
std::optional<ArrowShape> ArrowGeometry(QPoint tip, QPoint tail, int arrowHeadLength);

// The perpendicular bisector of the chord End1-End2 through its midpoint Mid (halves
// truncated toward zero). Slope is dy/dx of the bisector, 1e6 with Vertical set when the
// chord is horizontal. Line crosses an image of the given width whatever the slope;
// HalfChord is half the chord's length, rounded.
struct ChordBisector {
    QPoint End1, End2;
    QPoint Mid;
    double Slope = 0;
    bool Vertical = false;
    int HalfChord = 0;
    QLine Line;
};

ChordBisector ChordBisectorOf(QPoint p1, QPoint p2, int imageWidth);

// The circle through both chord ends whose arc rises as far above the chord as the third
// point lies from its midpoint. Radius in pixels (RadiusPx rounded); AngleDegrees is the
// arc's central angle. StartAngle16 and SpanAngle16 give the arc in QPainter::drawArc's
// 1/16-degree units (counter-clockwise on screen, 0 at three o'clock) for the square
// Centre ± RadiusPx: it runs between the chord ends on the third point's side.
struct CurvatureResult {
    QPoint Centre;
    double Radius = 0;
    int RadiusPx = 0;
    int AngleDegrees = 0;
    int StartAngle16 = 0;
    int SpanAngle16 = 0;
};

// Nothing when the third point is (to the pixel) on the chord's midpoint: no finite radius.
std::optional<CurvatureResult> MeasureCurvatureGeometry(const ChordBisector& bisector,
                                                        QPoint third);

// Top-left corner of the live value label beside the dragging mouse at (X2, Y2): above it,
// except below when the drag goes left and down; centred on (X1, Y1) for circles. Kept
// inside the image.
QPoint LiveLabelPosition(TRubberBand band, QSize label, QSize image, bool centredOnStart);

// The same for a result label, which sits below the end point whenever the drag goes down.
QPoint ResultLabelPosition(TRubberBand band, QSize label, QSize image, bool centredOnStart);

// Ellipse boxes as QPainter reads a QRect given to drawEllipse: the outline spans x() to
// x() + width(), so the centre is exact. The oval's centre is (X1, Y1), a corner at (X2, Y2).
QRect EllipseBoundsForOval(TRubberBand band);
QRect CircleBounds(QPoint centre, int radius);

// The circle band's radius: from (X1, Y1) to (X2, Y2), rounded.
int CircleRadius(TRubberBand band);
