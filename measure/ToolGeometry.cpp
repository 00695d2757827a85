#include "ToolGeometry.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int FullCircle16 = 360 * 16;
constexpr double HorizontalChordSlope = 1e6;

int Round(double value) {
    return int(RoundHalfEven(value));
}

// A bisector within a pixel of vertical on a very wide image would overflow int; clamped,
// it still crosses the image within a fraction of a pixel of the true line.
int RoundClamped(double value) {
    constexpr double limit = double(1 << 30);
    return Round(std::clamp(value, -limit, limit));
}

int Modulo(int value, int divisor) {
    const int r = value % divisor;
    return r < 0 ? r + divisor : r;
}

// Angle of the direction (dx, dy) in image coordinates, in QPainter's 1/16 degrees:
// counter-clockwise as seen on screen, where y grows downward.
int ScreenAngle16(double dx, double dy) {
    const double degrees = std::atan2(-dy, dx) * 180.0 / std::numbers::pi;
    return Modulo(Round(degrees * 16), FullCircle16);
}

QPoint BaseTowardTail(QPoint tip, QPoint tail, double headLength, double length) {
    const double f = headLength / length;
    return tip + QPoint(Round((tail.x() - tip.x()) * f), Round((tail.y() - tip.y()) * f));
}

std::optional<QPoint> AutomaticBase(QPoint tip, QPoint tail, double length) {
    const int roundedLength = Round(length);
    if (roundedLength < 3)
        return std::nullopt;
    if (roundedLength > 180)
        return BaseTowardTail(tip, tail, 36, roundedLength);
    if (roundedLength < 90)
        return BaseTowardTail(tip, tail, 18, roundedLength);
    return tail +
           QPoint(Round((tip.x() - tail.x()) * 8 / 10.0), Round((tip.y() - tail.y()) * 8 / 10.0));
}

int LeftBeside(TRubberBand band, QSize label) {
    return band.X2 < band.X1 ? band.X2 - label.width() - 3 : band.X2 + 3;
}

int Above(TRubberBand band, QSize label) {
    return band.Y2 - label.height() - 3;
}

int Below(TRubberBand band) {
    return band.Y2 + 3;
}

QPoint KeptInside(QPoint topLeft, QSize label, QSize image) {
    return {std::max(std::min(topLeft.x(), image.width() - label.width()), 0),
            std::max(std::min(topLeft.y(), image.height() - label.height()), 0)};
}

QPoint CentredOnStart(TRubberBand band, QSize label) {
    return {band.X1 - label.width() / 2, band.Y1 - label.height() / 2};
}

struct ArcAngles {
    int Start16, Span16;
};

// The arc from one chord end to the other that contains the direction of the apex.
ArcAngles ArcThroughApex(QPoint centre, QPoint end1, QPoint end2, double apexX, double apexY) {
    const int a1 = ScreenAngle16(end1.x() - centre.x(), end1.y() - centre.y());
    const int a2 = ScreenAngle16(end2.x() - centre.x(), end2.y() - centre.y());
    const int apex = ScreenAngle16(apexX, apexY);
    const int counterClockwise = Modulo(a2 - a1, FullCircle16);
    if (counterClockwise > 0 && Modulo(apex - a1, FullCircle16) < counterClockwise)
        return {a1, counterClockwise};
    // Ends that coincide give the whole circle.
    return {a2, FullCircle16 - counterClockwise};
}

} // namespace

QPoint SnapToAxis(QPoint start, QPoint end) {
    if (std::abs(end.x() - start.x()) > 30 && std::abs(end.y() - start.y()) < 20)
        end.setY(start.y());
    if (std::abs(end.y() - start.y()) > 30 && std::abs(end.x() - start.x()) < 20)
        end.setX(start.x());
    return end;
}

double Distance(QPoint a, QPoint b) {
    return std::hypot(double(b.x() - a.x()), double(b.y() - a.y()));
}

std::optional<ArrowShape> ArrowGeometry(QPoint tip, QPoint tail, int arrowHeadLength) {
    const double length = Distance(tip, tail);
    std::optional<QPoint> base;
    if (arrowHeadLength > 0) {
        if (length == 0)
            return std::nullopt;
        base = BaseTowardTail(tip, tail, arrowHeadLength, length);
    } else {
        base = AutomaticBase(tip, tail, length);
        if (!base)
            return std::nullopt;
    }
    const int hx = (tip.x() - base->x()) / 3;
    const int hy = (tip.y() - base->y()) / 3;
    return ArrowShape{tip, *base, tail, *base + QPoint(hy, -hx), *base + QPoint(-hy, hx)};
}

ChordBisector ChordBisectorOf(QPoint p1, QPoint p2, int imageWidth) {
    ChordBisector b;
    b.End1 = p1;
    b.End2 = p2;
    const int dx = p2.x() - p1.x();
    const int dy = p2.y() - p1.y();
    b.Mid = p1 + QPoint(dx / 2, dy / 2);
    b.Vertical = dy == 0;
    b.Slope = b.Vertical ? HorizontalChordSlope : -double(dx) / dy;
    const int w = imageWidth;
    if (b.Vertical) {
        b.Line = QLine(b.Mid + QPoint(0, w), b.Mid - QPoint(0, w));
    } else {
        const int rise = RoundClamped(w * b.Slope);
        b.Line = QLine(b.Mid + QPoint(w, rise), b.Mid - QPoint(w, rise));
    }
    b.HalfChord = Round(Distance(p1, p2) / 2);
    return b;
}

std::optional<CurvatureResult> MeasureCurvatureGeometry(const ChordBisector& b, QPoint third) {
    const int c = Round(Distance(b.Mid, third));
    if (c == 0)
        return std::nullopt;
    const double h = b.HalfChord;
    const double radius = (h * h + double(c) * c) / (2.0 * c);

    // The chord's unit normal, turned to point away from the third point's side. The side
    // comes from the chord line itself, so chords of any slope are judged alike.
    double nx = 0, ny = 1, side = third.y() - b.Mid.y();
    if (!b.Vertical) {
        const double dx = b.End2.x() - b.End1.x(), dy = b.End2.y() - b.End1.y();
        const double length = std::hypot(dx, dy);
        nx = -dy / length;
        ny = dx / length;
        side = nx * (third.x() - b.End1.x()) + ny * (third.y() - b.End1.y());
    }
    if (side > 0) {
        nx = -nx;
        ny = -ny;
    }

    // Beyond the chord from the third point while the arc is less than half a circle;
    // R - c turns negative past half a circle and brings the centre to the point's side.
    const double e = radius - c;
    CurvatureResult r;
    r.Centre = b.Mid + QPoint(Round(nx * e), Round(ny * e));
    r.Radius = radius;
    r.RadiusPx = Round(radius);
    r.AngleDegrees = Round(std::atan2(h, std::abs(e)) * 360.0 / std::numbers::pi);
    if (c > h)
        r.AngleDegrees = 360 - r.AngleDegrees;
    const ArcAngles arc = ArcThroughApex(r.Centre, b.End1, b.End2, -nx, -ny);
    r.StartAngle16 = arc.Start16;
    r.SpanAngle16 = arc.Span16;
    return r;
}

QPoint LiveLabelPosition(TRubberBand band, QSize label, QSize image, bool centredOnStart) {
    if (centredOnStart)
        return KeptInside(CentredOnStart(band, label), label, image);
    const bool leftAndDown = band.X2 < band.X1 && band.Y2 >= band.Y1;
    const int top = leftAndDown ? Below(band) : Above(band, label);
    return KeptInside({LeftBeside(band, label), top}, label, image);
}

QPoint ResultLabelPosition(TRubberBand band, QSize label, QSize image, bool centredOnStart) {
    if (centredOnStart)
        return KeptInside(CentredOnStart(band, label), label, image);
    const int top = band.Y2 >= band.Y1 ? Below(band) : Above(band, label);
    return KeptInside({LeftBeside(band, label), top}, label, image);
}

QRect EllipseBoundsForOval(TRubberBand band) {
    const int halfWidth = std::abs(band.X2 - band.X1);
    const int halfHeight = std::abs(band.Y2 - band.Y1);
    return {band.X1 - halfWidth, band.Y1 - halfHeight, 2 * halfWidth, 2 * halfHeight};
}

QRect CircleBounds(QPoint centre, int radius) {
    return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius};
}

int CircleRadius(TRubberBand band) {
    return Round(Distance({band.X1, band.Y1}, {band.X2, band.Y2}));
}
