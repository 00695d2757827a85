#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace {

// A title bar needs this much of the screen below its top edge to be grabbed.
constexpr int64_t kTitleBarReach = 30;

// Plain 64-bit edges: stored values may be anything, and QRect's own arithmetic overflows.
struct Span {
    int64_t Left, Top, Width, Height;
    int64_t Right() const { return Left + Width; }
    int64_t Bottom() const { return Top + Height; }
};

Span FromRect(const QRect& r) {
    return {r.left(), r.top(), r.width(), r.height()};
}

int64_t Overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
    return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

int64_t VisibleArea(const Span& w, const Span& s) {
    return Overlap(w.Left, w.Right(), s.Left, s.Right()) *
           Overlap(w.Top, w.Bottom(), s.Top, s.Bottom());
}

int64_t Bounded(int64_t value, int64_t low, int64_t high) {
    return std::clamp(value, low, std::max(low, high));
}

// The start on the screen's axis: as stored when the window fits there, else the nearest
// start that keeps it inside; a window larger than the screen starts at its edge.
int64_t PlaceOnAxis(int64_t start, int64_t length, int64_t screenStart, int64_t screenLength) {
    return Bounded(start, screenStart, screenStart + screenLength - length);
}

QRect ToRect(const Span& w) {
    const auto limited = [](int64_t v) {
        return int(std::clamp<int64_t>(v, -WindowCoordinateLimit, WindowCoordinateLimit));
    };
    return {limited(w.Left), limited(w.Top), limited(w.Width), limited(w.Height)};
}

} // namespace

QRect KeepOnScreen(QPoint frameTopLeft, QSize size, const std::vector<QRect>& screens,
                   QSize minimum) {
    const int64_t minWidth = std::clamp(minimum.width(), 1, WindowCoordinateLimit);
    const int64_t minHeight = std::clamp(minimum.height(), 1, WindowCoordinateLimit);
    Span w{Bounded(frameTopLeft.x(), -WindowCoordinateLimit, WindowCoordinateLimit),
           Bounded(frameTopLeft.y(), -WindowCoordinateLimit, WindowCoordinateLimit),
           Bounded(size.width(), minWidth, WindowCoordinateLimit),
           Bounded(size.height(), minHeight, WindowCoordinateLimit)};
    if (screens.empty())
        return ToRect(w);

    const auto most =
        std::max_element(screens.begin(), screens.end(), [&w](const QRect& a, const QRect& b) {
            return VisibleArea(w, FromRect(a)) < VisibleArea(w, FromRect(b));
        });
    const Span s = FromRect(VisibleArea(w, FromRect(*most)) > 0 ? *most : screens.front());

    const bool titleBarOnScreen = w.Top >= s.Top && w.Top <= s.Bottom() - kTitleBarReach &&
                                  Overlap(w.Left, w.Right(), s.Left, s.Right()) > 0;
    if (titleBarOnScreen && 2 * VisibleArea(w, s) >= w.Width * w.Height)
        return ToRect(w);

    w.Width = std::max(std::min(w.Width, s.Width), minWidth);
    w.Height = std::max(std::min(w.Height, s.Height), minHeight);
    w.Left = PlaceOnAxis(w.Left, w.Width, s.Left, s.Width);
    w.Top = PlaceOnAxis(w.Top, w.Height, s.Top, s.Height);
    return ToRect(w);
}
