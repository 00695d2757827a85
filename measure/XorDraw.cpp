#include "XorDraw.h"

#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// The outline is first rasterised into a mask over its box, then each marked pixel is
// toggled once. QPainter's own exclusive-or toggles a pixel once per stroke that covers it
// (the joints of a polyline come out unchanged), so erasing would leave traces.
//
// A band's box is mostly empty (a diagonal line of 1500 pixels has a box of two megapixels),
// so the mask is cleared and read only along the outline: on each row, within the spans
// where the outline's curve, widened by a margin beyond the pen's half-width, can reach.
// The rest of the mask is never looked at and keeps whatever the last band left there.

namespace {

// QPainter's aliased ellipse loses its outline when its box reaches further than this from
// the device; such ellipses go through a path, which is slower but has no such limit.
constexpr double SafeEllipseCoordinate = 1 << 16;

// Wide ellipses are stroked along Bezier curves, which stray from the true ellipse by up to
// 0.03 % of the radius; the spans allow for a little more.
constexpr double BezierSlack = 0.001;

constexpr uint32_t Marked = 0xFF000000u; // opaque black, as the pen paints it

int MarginFor(int penWidth) {
    return penWidth + 2;
}

// The box of the corners a and b grown by margin, within the image; empty when outside.
QRect ClippedBox(QPoint a, QPoint b, int margin, QSize image) {
    const int64_t left = std::max<int64_t>(int64_t(std::min(a.x(), b.x())) - margin, 0);
    const int64_t top = std::max<int64_t>(int64_t(std::min(a.y(), b.y())) - margin, 0);
    const int64_t right =
        std::min<int64_t>(int64_t(std::max(a.x(), b.x())) + margin, image.width() - 1);
    const int64_t bottom =
        std::min<int64_t>(int64_t(std::max(a.y(), b.y())) + margin, image.height() - 1);
    if (left > right || top > bottom)
        return {};
    return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
}

// The shape in mask coordinates.
struct Outline {
    XorShape Shape;
    QPointF P, Q;
    bool Dot; // a line or rectangle without length: the pen's end shape
    int PenWidth;
    int Margin;
};

// Where on a row the outline may lie: at most two spans of columns, inclusive, sorted and
// apart (a pixel in two spans would be toggled twice).
struct RowSpans {
    int From[2], To[2];
    int Count = 0;
};

class SpanBuilder {
public:
    explicit SpanBuilder(int width) : width_(width) {}

    void Add(RowSpans& row, double from, double to) const {
        const int a = int(std::max(std::floor(from), 0.0));
        const int b = int(std::min(std::ceil(to), double(width_ - 1)));
        if (a > b)
            return;
        if (row.Count == 1 && a <= row.To[0] + 1 && b >= row.From[0] - 1) {
            row.From[0] = std::min(row.From[0], a);
            row.To[0] = std::max(row.To[0], b);
            return;
        }
        row.From[row.Count] = a;
        row.To[row.Count] = b;
        ++row.Count;
        if (row.Count == 2 && row.From[1] < row.From[0]) {
            std::swap(row.From[0], row.From[1]);
            std::swap(row.To[0], row.To[1]);
        }
    }

private:
    int width_;
};

// The columns of the segment p-q at heights within [top, bottom], if it gets there.
std::optional<std::pair<double, double>> SegmentColumns(QPointF p, QPointF q, double top,
                                                        double bottom) {
    const double low = std::max(top, std::min(p.y(), q.y()));
    const double high = std::min(bottom, std::max(p.y(), q.y()));
    if (low > high)
        return std::nullopt;
    if (p.y() == q.y())
        return std::pair(std::min(p.x(), q.x()), std::max(p.x(), q.x()));
    const auto xAt = [&](double y) {
        return p.x() + (y - p.y()) * (q.x() - p.x()) / (q.y() - p.y());
    };
    const double a = xAt(low), b = xAt(high);
    return std::pair(std::min(a, b), std::max(a, b));
}

void LineSpans(const Outline& o, int y, const SpanBuilder& spans, RowSpans& row) {
    const double m = o.Margin;
    if (const auto columns = SegmentColumns(o.P, o.Q, y - m, y + m))
        spans.Add(row, columns->first - m, columns->second + m);
}

void RectangleSpans(const Outline& o, int y, const SpanBuilder& spans, RowSpans& row) {
    const double m = o.Margin;
    const double left = std::min(o.P.x(), o.Q.x()), right = std::max(o.P.x(), o.Q.x());
    const double top = std::min(o.P.y(), o.Q.y()), bottom = std::max(o.P.y(), o.Q.y());
    if (y < top - m || y > bottom + m)
        return;
    if (y <= top + m || y >= bottom - m) {
        spans.Add(row, left - m, right + m);
        return;
    }
    spans.Add(row, left - m, left + m);
    spans.Add(row, right - m, right + m);
}

void EllipseSpans(const Outline& o, int y, const SpanBuilder& spans, RowSpans& row) {
    const double cx = (o.P.x() + o.Q.x()) / 2, cy = (o.P.y() + o.Q.y()) / 2;
    const double rx = std::abs(o.Q.x() - o.P.x()) / 2, ry = std::abs(o.Q.y() - o.P.y()) / 2;
    const double m = o.Margin + BezierSlack * std::max(rx, ry);
    const double low = std::max(y - m, cy - ry), high = std::min(y + m, cy + ry);
    if (low > high)
        return;
    // Half-width of the ellipse at a height, largest nearest the centre's row.
    const auto halfWidth = [&](double at) {
        if (ry == 0)
            return rx;
        const double t = (at - cy) / ry;
        return rx * std::sqrt(std::max(0.0, 1 - t * t));
    };
    const double widest = halfWidth(std::clamp(cy, low, high));
    const double narrowest = halfWidth(std::abs(low - cy) > std::abs(high - cy) ? low : high);
    spans.Add(row, cx - widest - m, cx - narrowest + m);
    spans.Add(row, cx + narrowest - m, cx + widest + m);
}

std::vector<RowSpans> OutlineRows(const Outline& o, QSize mask) {
    const SpanBuilder spans(mask.width());
    std::vector<RowSpans> rows(size_t(mask.height()));
    for (int y = 0; y < mask.height(); ++y) {
        RowSpans& row = rows[size_t(y)];
        if (o.Dot || o.Shape == XorShape::Line)
            LineSpans(o, y, spans, row);
        else if (o.Shape == XorShape::Rectangle)
            RectangleSpans(o, y, spans, row);
        else
            EllipseSpans(o, y, spans, row);
    }
    return rows;
}

// The mask is 32-bit, although one byte would hold a mark: QPainter strokes on other formats
// through a conversion of the whole image, ten times slower. Its buffer is kept for the
// next move of the band, unless it grew very large; it is never cleared as a whole.
struct MaskStore {
    std::unique_ptr<uint32_t[]> Pixels;
    size_t Size = 0;
};

MaskStore& Store() {
    thread_local MaskStore store;
    return store;
}

constexpr size_t KeptMaskPixels = size_t(1) << 22;

QImage MaskOver(QSize size, const std::vector<RowSpans>& rows) {
    MaskStore& store = Store();
    const size_t pixels = size_t(size.width()) * size_t(size.height());
    if (store.Size < pixels) {
        store.Pixels.reset(new uint32_t[pixels]); // left uninitialised: only spans are used
        store.Size = pixels;
    }
    uint32_t* bits = store.Pixels.get();
    for (size_t y = 0; y < rows.size(); ++y)
        for (int i = 0; i < rows[y].Count; ++i)
            std::fill(bits + y * size_t(size.width()) + rows[y].From[i],
                      bits + y * size_t(size.width()) + rows[y].To[i] + 1, 0u);
    return QImage(reinterpret_cast<uchar*>(bits), size.width(), size.height(),
                  qsizetype(size.width()) * 4, QImage::Format_ARGB32_Premultiplied);
}

void ReleaseLargeMask() {
    MaskStore& store = Store();
    if (store.Size > KeptMaskPixels)
        store = MaskStore();
}

// Liang-Barsky: the part of the segment inside the box, if any.
std::optional<QLineF> ClipSegment(QLineF line, QRectF box) {
    const double dx = line.dx(), dy = line.dy();
    double t0 = 0, t1 = 1;
    const auto keep = [&](double direction, double distance) {
        if (direction == 0)
            return distance >= 0;
        const double t = distance / direction;
        if (direction < 0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    const QPointF p = line.p1();
    if (!keep(-dx, p.x() - box.left()) || !keep(dx, box.right() - p.x()) ||
        !keep(-dy, p.y() - box.top()) || !keep(dy, box.bottom() - p.y()))
        return std::nullopt;
    return QLineF(line.pointAt(t0), line.pointAt(t1));
}

void PaintLine(QPainter& painter, QLineF line, QRectF reach) {
    // Lines that stay near the mask are drawn as given, so that they look as QPainter draws
    // them elsewhere; far ends are cut off where they cannot show.
    if (!reach.contains(line.p1()) || !reach.contains(line.p2())) {
        const std::optional<QLineF> inside = ClipSegment(line, reach);
        if (!inside)
            return;
        line = *inside;
    }
    painter.drawLine(line);
}

void PaintEllipse(QPainter& painter, QRectF box) {
    const auto safe = [](double v) { return std::abs(v) <= SafeEllipseCoordinate; };
    if (safe(box.left()) && safe(box.right()) && safe(box.top()) && safe(box.bottom())) {
        painter.drawEllipse(box);
        return;
    }
    QPainterPath path;
    path.addEllipse(box);
    painter.drawPath(path);
}

void PaintRectangle(QPainter& painter, QRectF box, QRectF reach) {
    // Sides beyond the reach are moved onto its border, where they cannot show either.
    const double left = std::clamp(box.left(), reach.left(), reach.right());
    const double right = std::clamp(box.right(), reach.left(), reach.right());
    const double top = std::clamp(box.top(), reach.top(), reach.bottom());
    const double bottom = std::clamp(box.bottom(), reach.top(), reach.bottom());
    if (left == right || top == bottom) {
        PaintLine(painter, QLineF(left, top, right, bottom), reach); // no inside to go round
        return;
    }
    painter.drawRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
}

// A wide pen strokes nothing along a line without length, and QPainter's wide points are
// off centre: the pen's end shape is marked about the pixel instead, a disc or a square
// penWidth pixels across (centred half a pixel down and right for even widths).
void MarkDot(QImage& mask, QPoint centre, int penWidth, bool round) {
    const int shift = penWidth % 2 == 0 ? 1 : 0;
    const int low = -(penWidth - shift) / 2, high = (penWidth + shift) / 2;
    const int limit = penWidth * penWidth;
    for (int dy = low; dy <= high; ++dy)
        for (int dx = low; dx <= high; ++dx) {
            const int x = centre.x() + dx, y = centre.y() + dy;
            const int ex = 2 * dx - shift, ey = 2 * dy - shift;
            if (x < 0 || y < 0 || x >= mask.width() || y >= mask.height())
                continue;
            if (!round || ex * ex + ey * ey <= limit)
                reinterpret_cast<uint32_t*>(mask.scanLine(y))[x] = Marked;
        }
}

void PaintOutline(QImage& mask, const Outline& o) {
    if (o.Dot) {
        MarkDot(mask, o.P.toPoint(), o.PenWidth, o.Shape == XorShape::Line);
        return;
    }
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Only covered pixels are written; the uncleared rest of the mask is never read.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const bool rectangle = o.Shape == XorShape::Rectangle;
    painter.setPen(QPen(QColor(0, 0, 0, 255), o.PenWidth, Qt::SolidLine,
                        rectangle ? Qt::SquareCap : Qt::RoundCap,
                        rectangle ? Qt::MiterJoin : Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const double m = o.Margin;
    const QRectF reach(-m, -m, mask.width() + 2 * m, mask.height() + 2 * m);
    switch (o.Shape) {
    case XorShape::Line:
        PaintLine(painter, QLineF(o.P, o.Q), reach);
        break;
    case XorShape::Ellipse:
        PaintEllipse(painter, QRectF(o.P, o.Q).normalized());
        break;
    case XorShape::Rectangle:
        PaintRectangle(painter, QRectF(o.P, o.Q).normalized(), reach);
        break;
    }
}

// What a toggle does to each colour byte, in the pixel's memory order.
struct Toggle24 {
    uchar Bytes[3];
};

bool IsBlack(QRgb colour) {
    return (colour & 0xFFFFFFu) == 0;
}

Toggle24 ToggleFor24(QRgb colour) {
    if (IsBlack(colour))
        return {{0xFF, 0xFF, 0xFF}};
    return {{uchar(qBlue(colour)), uchar(qGreen(colour)), uchar(qRed(colour))}};
}

uint32_t ToggleFor32(QRgb colour) {
    return IsBlack(colour) ? 0xFFFFFFu : (colour & 0xFFFFFFu);
}

// Rows per band of the changed region: a few dozen rectangles for a band across the screen.
constexpr int RegionBandRows = 16;

// The box of the pixels changed in one band of rows and one of its spans.
struct ChangedBox {
    int Left = std::numeric_limits<int>::max(), Right = -1, Top = 0, Bottom = 0;

    void Add(int x, int y) {
        if (Right < 0)
            Top = y;
        Left = std::min(Left, x);
        Right = std::max(Right, x);
        Bottom = y;
    }
};

// Calls toggle(x, y) for each marked pixel within the spans, in mask coordinates, and
// returns the box of those pixels; with region, also adds the boxes of each span's pixels
// per band of rows.
template <typename F>
QRect ForEachMarked(const QImage& mask, const std::vector<RowSpans>& rows, QRegion* region,
                    QPoint origin, F toggle) {
    int left = mask.width(), right = -1, top = mask.height(), bottom = -1;
    ChangedBox band[2];
    const auto flush = [&] {
        for (ChangedBox& box : band) {
            if (region && box.Right >= 0)
                *region += QRect(QPoint(box.Left, box.Top), QPoint(box.Right, box.Bottom))
                               .translated(origin);
            box = ChangedBox();
        }
    };
    for (int y = 0; y < mask.height(); ++y) {
        if (y % RegionBandRows == 0)
            flush();
        const uint32_t* m = reinterpret_cast<const uint32_t*>(mask.constScanLine(y));
        const RowSpans& row = rows[size_t(y)];
        bool marked = false;
        for (int i = 0; i < row.Count; ++i)
            for (int x = row.From[i]; x <= row.To[i]; ++x) {
                if (m[x] == 0)
                    continue;
                toggle(x, y);
                left = std::min(left, x);
                right = std::max(right, x);
                band[i].Add(x, y);
                marked = true;
            }
        if (marked) {
            top = std::min(top, y);
            bottom = y;
        }
    }
    flush();
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect ApplyMask(QImage& image, const QImage& mask, const std::vector<RowSpans>& rows, QPoint origin,
                QRgb colour, QRegion* region) {
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto pixel = [&](int x, int y, int bytes) {
        return bits + (origin.y() + y) * stride + qsizetype(origin.x() + x) * bytes;
    };
    QRect changed;
    if (image.format() == QImage::Format_BGR888) {
        const Toggle24 t = ToggleFor24(colour);
        changed = ForEachMarked(mask, rows, region, origin, [&](int x, int y) {
            uchar* p = pixel(x, y, 3);
            p[0] ^= t.Bytes[0];
            p[1] ^= t.Bytes[1];
            p[2] ^= t.Bytes[2];
        });
    } else {
        const uint32_t t = ToggleFor32(colour);
        changed = ForEachMarked(mask, rows, region, origin, [&](int x, int y) {
            uchar* p = pixel(x, y, 4);
            uint32_t word;
            std::memcpy(&word, p, 4);
            word ^= t;
            std::memcpy(p, &word, 4);
        });
    }
    return changed.isEmpty() ? QRect() : changed.translated(origin);
}

} // namespace

QRect XorDraw(QImage& image, XorShape shape, QPoint a, QPoint b, int penWidth, QRgb penColour) {
    return XorDraw(image, shape, a, b, penWidth, penColour, nullptr);
}

QRect XorDraw(QImage& image, XorShape shape, QPoint a, QPoint b, int penWidth, QRgb penColour,
              QRegion* changedRegion) {
    if (image.format() != QImage::Format_BGR888 && image.format() != QImage::Format_RGB32)
        return {};
    penWidth = std::max(penWidth, 1);
    const int margin = MarginFor(penWidth);
    const QRect box = ClippedBox(a, b, margin, image.size());
    if (box.isEmpty())
        return {};
    const QPointF origin(box.topLeft());
    const Outline outline{shape,
                          QPointF(a) - origin,
                          QPointF(b) - origin,
                          a == b && shape != XorShape::Ellipse,
                          penWidth,
                          margin};
    const std::vector<RowSpans> rows = OutlineRows(outline, box.size());
    QRect changed;
    {
        QImage mask = MaskOver(box.size(), rows);
        PaintOutline(mask, outline);
        changed = ApplyMask(image, mask, rows, box.topLeft(), penColour, changedRegion);
    }
    ReleaseLargeMask();
    return changed;
}

QRect XorLine(QImage& image, QPoint a, QPoint b, int penWidth, QRgb penColour) {
    return XorDraw(image, XorShape::Line, a, b, penWidth, penColour);
}

QRect XorEllipse(QImage& image, QRect bounds, int penWidth, QRgb penColour) {
    const QPoint farCorner = bounds.topLeft() + QPoint(bounds.width(), bounds.height());
    return XorDraw(image, XorShape::Ellipse, bounds.topLeft(), farCorner, penWidth, penColour);
}

QRect XorRectangle(QImage& image, QPoint a, QPoint b, int penWidth, QRgb penColour) {
    return XorDraw(image, XorShape::Rectangle, a, b, penWidth, penColour);
}
