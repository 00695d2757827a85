#include "XorDraw.h"

#include <QLineF>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// An ellipse's pixels are computed row by row: those within half the pen's width of the
// curve, the filled ellipse widened by the pen less the filled ellipse narrowed by it, so a
// row holds at most two spans and each pixel is toggled once.
//
// Lines and rectangles are first rasterised into a mask over their box, then each marked
// pixel is toggled once. QPainter's own exclusive-or toggles a pixel once per stroke that covers it
// (the joints of a polyline come out unchanged), so erasing would leave traces.
//
// A band's box is mostly empty (a diagonal line of 1500 pixels has a box of two megapixels),
// so the mask is cleared and read only along the outline: on each row, within the spans
// where the outline's curve, widened by a margin beyond the pen's half-width, can reach.
// The rest of the mask is never looked at and keeps whatever the last band left there.

namespace {

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

// The spans of pixels (x, y) within half the pen's width of the ellipse, for each row of
// the mask: the ellipse's points are at pixel coordinates, so a circle of radius 5 about a
// pixel reaches 5 pixels either side of it.
class EllipseRing {
public:
    explicit EllipseRing(const Outline& o)
        : cx_((o.P.x() + o.Q.x()) / 2), cy_((o.P.y() + o.Q.y()) / 2),
          a_(std::abs(o.Q.x() - o.P.x()) / 2), b_(std::abs(o.Q.y() - o.P.y()) / 2),
          h_(o.PenWidth / 2.0), steps_(std::max(4, int(std::ceil(o.PenWidth * 4.0)))) {}

    void Row(int y, int width, RowSpans& row) const {
        const double t = y - cy_;
        double outer = 0, inner = -1;
        if (!Reach(t, outer, inner))
            return;
        // Pixels with |x - cx| <= outer and not |x - cx| < inner.
        const double left = std::ceil(cx_ - outer), right = std::floor(cx_ + outer);
        if (inner > 0) {
            const double holeLeft = std::floor(cx_ - inner) + 1;
            const double holeRight = std::ceil(cx_ + inner) - 1;
            if (holeLeft <= holeRight) {
                Add(row, left, holeLeft - 1, width);
                Add(row, holeRight + 1, right, width);
                return;
            }
        }
        Add(row, left, right, width);
    }

private:
    // Half-width of the filled ellipse at height t from the centre, for |t| <= b.
    double HalfWidth(double t) const {
        if (b_ == 0)
            return a_;
        const double u = t / b_;
        return a_ * std::sqrt(std::max(0.0, 1 - u * u));
    }

    // At height t: the half-width of the ellipse widened by the pen (false when the row is
    // beyond it), and of the ellipse narrowed by it (negative when there is none).
    bool Reach(double t, double& outer, double& inner) const {
        if (a_ == b_) {
            const double widened = a_ + h_, narrowed = a_ - h_;
            if (std::abs(t) > widened)
                return false;
            outer = std::sqrt(std::max(0.0, widened * widened - t * t));
            inner = narrowed > 0 && std::abs(t) < narrowed ? std::sqrt(narrowed * narrowed - t * t)
                                                           : -1;
            return true;
        }
        // Widened: the widest chord of a pen's disc about a point of the filled ellipse;
        // narrowed: where every chord of the disc fits inside. Both over the disc's rows.
        const double from = std::max(-h_, -b_ - t), to = std::min(h_, b_ - t);
        if (from > to)
            return false;
        const auto chord = [&](double d) { return std::sqrt(std::max(0.0, h_ * h_ - d * d)); };
        outer = HalfWidth(t + std::clamp(-t, from, to)) + chord(std::clamp(-t, from, to));
        for (int i = 0; i <= steps_; ++i) {
            const double d = from + (to - from) * i / steps_;
            outer = std::max(outer, HalfWidth(t + d) + chord(d));
        }
        inner = -1;
        if (from == -h_ && to == h_ && h_ > 0) {
            inner = HalfWidth(t);
            for (int i = 0; i <= steps_; ++i) {
                const double d = -h_ + 2 * h_ * i / steps_;
                inner = std::min(inner, HalfWidth(t + d) - chord(d));
            }
        }
        return true;
    }

    static void Add(RowSpans& row, double from, double to, int width) {
        const double a = std::max(from, 0.0), b = std::min(to, double(width - 1));
        if (a > b)
            return;
        row.From[row.Count] = int(a);
        row.To[row.Count] = int(b);
        ++row.Count;
    }

    double cx_, cy_, a_, b_, h_;
    int steps_;
};

std::vector<RowSpans> OutlineRows(const Outline& o, QSize mask) {
    const SpanBuilder spans(mask.width());
    std::vector<RowSpans> rows(size_t(mask.height()));
    if (o.Shape == XorShape::Ellipse) {
        const EllipseRing ring(o);
        for (int y = 0; y < mask.height(); ++y)
            ring.Row(y, mask.width(), rows[size_t(y)]);
        return rows;
    }
    for (int y = 0; y < mask.height(); ++y) {
        RowSpans& row = rows[size_t(y)];
        if (o.Dot || o.Shape == XorShape::Line)
            LineSpans(o, y, spans, row);
        else
            RectangleSpans(o, y, spans, row);
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
    case XorShape::Ellipse: // toggled from its spans, no mask
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

// Calls toggle(x, y) for each marked pixel within the spans (every pixel in them without a
// mask), in mask coordinates, and
// returns the box of those pixels; with region, also adds the boxes of each span's pixels
// per band of rows.
template <typename F>
QRect ForEachMarked(const QImage* mask, QSize size, const std::vector<RowSpans>& rows,
                    QRegion* region, QPoint origin, F toggle) {
    int left = size.width(), right = -1, top = size.height(), bottom = -1;
    ChangedBox band[2];
    const auto flush = [&] {
        for (ChangedBox& box : band) {
            if (region && box.Right >= 0)
                *region += QRect(QPoint(box.Left, box.Top), QPoint(box.Right, box.Bottom))
                               .translated(origin);
            box = ChangedBox();
        }
    };
    for (int y = 0; y < size.height(); ++y) {
        if (y % RegionBandRows == 0)
            flush();
        const uint32_t* m =
            mask ? reinterpret_cast<const uint32_t*>(mask->constScanLine(y)) : nullptr;
        const RowSpans& row = rows[size_t(y)];
        bool marked = false;
        for (int i = 0; i < row.Count; ++i)
            for (int x = row.From[i]; x <= row.To[i]; ++x) {
                if (m && m[x] == 0)
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

QRect ApplyMask(QImage& image, const QImage* mask, QSize size, const std::vector<RowSpans>& rows,
                QPoint origin, QRgb colour, QRegion* region) {
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto pixel = [&](int x, int y, int bytes) {
        return bits + (origin.y() + y) * stride + qsizetype(origin.x() + x) * bytes;
    };
    QRect changed;
    if (image.format() == QImage::Format_BGR888) {
        const Toggle24 t = ToggleFor24(colour);
        changed = ForEachMarked(mask, size, rows, region, origin, [&](int x, int y) {
            uchar* p = pixel(x, y, 3);
            p[0] ^= t.Bytes[0];
            p[1] ^= t.Bytes[1];
            p[2] ^= t.Bytes[2];
        });
    } else {
        const uint32_t t = ToggleFor32(colour);
        changed = ForEachMarked(mask, size, rows, region, origin, [&](int x, int y) {
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
    if (shape == XorShape::Ellipse) {
        changed =
            ApplyMask(image, nullptr, box.size(), rows, box.topLeft(), penColour, changedRegion);
    } else {
        {
            QImage mask = MaskOver(box.size(), rows);
            PaintOutline(mask, outline);
            changed =
                ApplyMask(image, &mask, box.size(), rows, box.topLeft(), penColour, changedRegion);
        }
        ReleaseLargeMask();
    }
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
