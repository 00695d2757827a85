#include "measure/CropFrame.h"

#include "measure/LengthFormat.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

constexpr int HitTolerance = 5;
constexpr int MinimumSide = 20;

int RoundHalfUp(double x) {
    return int(std::floor(x + 0.5));
}

// Plain shortest form, "2.5" or "37.5": the menus' own numbers, not a measured value.
QString UnitValueText(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

int NormalSelectionFormat(int format) {
    return format < 1 || format > 4 ? 2 : format;
}

double SelectionHeightFromWidth(int format, double x) {
    switch (NormalSelectionFormat(format)) {
    case 1:
        return x * 2 / 3;
    case 3:
        return x * 9 / 16;
    case 4:
        return x;
    default:
        return x * 3 / 4;
    }
}

double SelectionWidthFromHeight(int format, double x) {
    switch (NormalSelectionFormat(format)) {
    case 1:
        return x * 3 / 2;
    case 3:
        return x * 16 / 9;
    case 4:
        return x;
    default:
        return x * 4 / 3;
    }
}

int RoundEven(double x) {
    // A frame of micrometres at an absurdly fine calibration is billions of pixels: held at
    // the largest int, which every image is smaller than, instead of wrapping.
    if (std::isnan(x))
        return 0;
    return int(std::clamp(std::nearbyint(x), double(INT_MIN), double(INT_MAX)));
}

bool SizeWordIsWidth(bool useWidth, bool swapped) {
    return useWidth != swapped;
}

QString SetSizeMenuWording(const QString& caption, bool width) {
    const qsizetype blank = caption.indexOf(QLatin1Char(' '));
    const QString rest = blank < 0 ? QString() : caption.mid(blank);
    return (width ? QStringLiteral("Width") : QStringLiteral("Height")) + rest;
}

const QList<int>& CropPixelTags() {
    static const QList<int> tags{240,  320,  400,  480,  600,  640,  800,  960,
                                 1024, 1280, 1440, 1536, 1600, 1680, 2048, 2240,
                                 2560, 2800, 3200, 3400, 3648, 4096, 4608};
    return tags;
}

const QList<int>& CropUnitTags() {
    static const QList<int> tags{10, 15, 20,  25,  30,  35,  40,  50,
                                 60, 80, 100, 120, 150, 200, 250, 500};
    return tags;
}

const QList<int>& PopupPixelTags() {
    static const QList<int> tags{240,  320,  480,  600,  640,  800,  960,  1024,
                                 1280, 1600, 2048, 2240, 2560, 2800, 3200, 3648};
    return tags;
}

const QList<int>& PopupUnitTags() {
    static const QList<int> tags{10, 20, 30, 40, 50, 60, 80, 100, 120, 150, 200, 250, 500};
    return tags;
}

QString CropPixelCaption(int tag, bool width) {
    return SetSizeMenuWording(QStringLiteral("x = %1").arg(tag), width);
}

QString PopupPixelCaption(int tag, bool width) {
    return SetSizeMenuWording(QStringLiteral("x in pixels = %1").arg(tag), width);
}

QString PopupUnitCaption(int tag, bool width, const QString& unit) {
    const int value = unit == QString::fromUtf8("µm") ? tag : tag / 10;
    return SetSizeMenuWording(QStringLiteral("x in %1 = %2").arg(unit).arg(value), width);
}

QString PopupImageSizeCaption(QSize original, bool width) {
    return (width ? QStringLiteral("Image Width in pixels = %1")
                  : QStringLiteral("Image Height in pixels = %1"))
        .arg(width ? original.width() : original.height());
}

QSize PixelCropSize(int tag, int format, bool useWidth, bool swapped) {
    int w = tag;
    int h = RoundEven(SelectionHeightFromWidth(format, tag));
    if (!useWidth) {
        h = tag;
        w = RoundEven(SelectionWidthFromHeight(format, tag));
    }
    if (swapped)
        std::swap(w, h);
    return {w, h};
}

QSize ImageSizeCrop(QSize original, int format, bool swapped) {
    int w = original.width();
    int h = original.height();
    if (!swapped) {
        h = RoundEven(SelectionHeightFromWidth(format, w));
        if (h > original.height()) {
            h = original.height();
            w = RoundEven(SelectionWidthFromHeight(format, h));
        }
    } else {
        w = RoundEven(SelectionHeightFromWidth(format, h));
        if (w > original.width()) {
            w = original.width();
            h = RoundEven(SelectionWidthFromHeight(format, w));
        }
    }
    return {w, h};
}

QString PixelCropRefusal(QSize crop) {
    return QStringLiteral("Not possible. Image is smaller than %1 x %2pixels")
        .arg(crop.width())
        .arg(crop.height());
}

bool IsUncalibrated(double micrometresPerPixel) {
    return !std::isfinite(micrometresPerPixel) || std::abs(micrometresPerPixel) < 1e-9;
}

UnitCropResult UnitCropSize(int tag, const QString& unit, double unitsPerPixel, double scale,
                            int format, bool useWidth, bool swapped) {
    UnitCropResult r;
    const double v = unit == QString::fromUtf8("µm") ? tag : tag / 10.0;
    double u = v;
    double t = SelectionHeightFromWidth(format, v);
    if (!useWidth) {
        t = v;
        u = SelectionWidthFromHeight(format, v);
    }
    r.Value = v;
    r.Derived = useWidth ? t : u;
    int fw = RoundEven(u / unitsPerPixel);
    int fh = RoundEven(SelectionHeightFromWidth(format, fw));
    if (swapped) {
        std::swap(fw, fh);
        std::swap(u, t);
    }
    r.Frame = {fw, fh};
    r.Crop = {RoundEven(fw * scale), RoundEven(fh * scale)};
    r.Width = u;
    r.Height = t;
    return r;
}

QString UnitCropRefusal(const UnitCropResult& size, const QString& unit) {
    return QStringLiteral("Not possible. Image is smaller than ") + UnitValueText(size.Value) +
           QStringLiteral(" X ") + UnitValueText(size.Derived) + QStringLiteral(" ") + unit;
}

TRubberBand PlaceCropFrame(QPoint centre, QSize frame, QSize display) {
    const int fw = frame.width();
    const int fh = frame.height();
    TRubberBand b;
    b.X1 = centre.x() - fw / 2;
    b.X2 = b.X1 + fw;
    b.Y1 = centre.y() - fh / 2;
    b.Y2 = b.Y1 + fh;
    if (b.X1 < -1) {
        b.X1 = -1;
        b.X2 = fw - 1;
    }
    if (b.X2 > display.width()) {
        b.X2 = display.width();
        b.X1 = b.X2 - fw;
    }
    if (b.Y1 < -1) {
        b.Y1 = -1;
        b.Y2 = fh - 1;
    }
    if (b.Y2 > display.height()) {
        b.Y2 = display.height();
        b.Y1 = b.Y2 - fh;
    }
    return b;
}

QRect CropSourceRect(const TRubberBand& frame, double scale, QSize crop, QSize original,
                     QSize display) {
    const int w = std::min(crop.width(), original.width());
    const int h = std::min(crop.height(), original.height());
    int left = RoundEven(frame.X1 * scale);
    int top = RoundEven(frame.Y1 * scale);
    // Rounding the display size can leave the last original pixels out of a frame that
    // ends at the display's edge.
    if (frame.X2 >= display.width())
        left = original.width() - w;
    if (frame.Y2 >= display.height())
        top = original.height() - h;
    return {std::clamp(left, 0, original.width() - w), std::clamp(top, 0, original.height() - h), w,
            h};
}

// ---- Free area ------------------------------------------------------------------------

namespace {

void Centre(TCropFrame& f) {
    f.CentreX = f.Left + (f.Right - f.Left) / 2;
    f.CentreY = f.Top + (f.Bottom - f.Top) / 2;
}

bool Near(int a, int b) {
    return std::abs(a - b) <= HitTolerance;
}

} // namespace

TCropFrame StartCropFrame(QPoint a, QPoint b, double scale) {
    TCropFrame f;
    f.Left = std::min(a.x(), b.x());
    f.Right = std::max(a.x(), b.x());
    f.Top = std::min(a.y(), b.y());
    f.Bottom = std::max(a.y(), b.y());
    f.Scale = scale;
    Centre(f);
    return f;
}

int CropFrameHitTest(TCropFrame& f, QPoint m) {
    f.LastMouse = m;
    int zone = ZoneNone;
    const std::pair<QPoint, int> corners[] = {{{f.Left, f.Top}, ZoneTopLeft},
                                              {{f.Right, f.Top}, ZoneTopRight},
                                              {{f.Right, f.Bottom}, ZoneBottomRight},
                                              {{f.Left, f.Bottom}, ZoneBottomLeft}};
    for (const auto& [corner, z] : corners)
        if (Near(m.x(), corner.x()) && Near(m.y(), corner.y()))
            zone = z;
    const bool betweenRows = f.Top + HitTolerance < m.y() && m.y() < f.Bottom - HitTolerance;
    const bool betweenColumns = f.Left + HitTolerance < m.x() && m.x() < f.Right - HitTolerance;
    if (Near(m.x(), f.Left) && betweenRows)
        zone = ZoneLeft;
    if (Near(m.x(), f.Right) && betweenRows)
        zone = ZoneRight;
    if (betweenColumns && Near(m.y(), f.Top))
        zone = ZoneTop;
    if (betweenColumns && Near(m.y(), f.Bottom))
        zone = ZoneBottom;
    if (betweenColumns && betweenRows)
        zone = ZoneInside;
    f.Zone = zone;
    return zone;
}

Qt::CursorShape CursorForZone(int zone) {
    switch (zone) {
    case ZoneTopLeft:
    case ZoneBottomRight:
        return Qt::SizeFDiagCursor;
    case ZoneTopRight:
    case ZoneBottomLeft:
        return Qt::SizeBDiagCursor;
    case ZoneLeft:
    case ZoneRight:
        return Qt::SizeHorCursor;
    case ZoneTop:
    case ZoneBottom:
        return Qt::SizeVerCursor;
    case ZoneInside:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void DragCropFrame(TCropFrame& f, QPoint m, QSize work, bool symmetric) {
    const int zone = f.Zone;
    const bool left = zone == ZoneTopLeft || zone == ZoneBottomLeft || zone == ZoneLeft;
    const bool right = zone == ZoneTopRight || zone == ZoneBottomRight || zone == ZoneRight;
    const bool top = zone == ZoneTopLeft || zone == ZoneTopRight || zone == ZoneTop;
    const bool bottom = zone == ZoneBottomLeft || zone == ZoneBottomRight || zone == ZoneBottom;
    if (zone == ZoneInside) {
        const QPoint d = m - f.LastMouse;
        f.Left += d.x();
        f.Right += d.x();
        f.Top += d.y();
        f.Bottom += d.y();
        f.LastMouse = m;
    } else {
        if (left) {
            f.Left = m.x();
            if (symmetric)
                f.Right = 2 * f.CentreX - f.Left;
        }
        if (right) {
            f.Right = m.x();
            if (symmetric)
                f.Left = 2 * f.CentreX - f.Right;
        }
        if (top) {
            f.Top = m.y();
            if (symmetric)
                f.Bottom = 2 * f.CentreY - f.Top;
        }
        if (bottom) {
            f.Bottom = m.y();
            if (symmetric)
                f.Top = 2 * f.CentreY - f.Bottom;
        }
    }
    if (f.Right < f.Left)
        std::swap(f.Left, f.Right);
    if (f.Bottom < f.Top)
        std::swap(f.Top, f.Bottom);
    if (std::abs(f.Left - f.Right) < MinimumSide) {
        if (left)
            f.Left = f.Right - MinimumSide;
        else if (right)
            f.Right = f.Left + MinimumSide;
        f.Zone = ZoneNone;
    }
    if (std::abs(f.Top - f.Bottom) < MinimumSide) {
        if (top)
            f.Top = f.Bottom - MinimumSide;
        else if (bottom)
            f.Bottom = f.Top + MinimumSide;
        f.Zone = ZoneNone;
    }
    f.Left = std::max(f.Left, 0);
    f.Top = std::max(f.Top, 0);
    f.Right = std::min(f.Right, work.width());
    f.Bottom = std::min(f.Bottom, work.height());
    Centre(f);
}

void KeyResizeCropFrame(TCropFrame& f, int key, double t) {
    if (!std::isfinite(t) || t <= 1e-12)
        return;
    Centre(f);
    const double g = RoundEven(t * (f.Right - f.Left) / 5) * 5.0;
    const double h = RoundEven(t * (f.Bottom - f.Top) / 5) * 5.0;
    const double u = 2.5 / t;
    switch (key) {
    case Qt::Key_Left:
        if (g > 9) {
            f.Left += RoundHalfUp(u);
            f.Right = f.Left + RoundHalfUp((g - 5) / t);
        }
        break;
    case Qt::Key_Right:
        f.Left -= RoundHalfUp(u);
        f.Right = f.Left + RoundHalfUp((g + 5) / t);
        break;
    case Qt::Key_Down:
        if (h > 9) {
            f.Top += RoundEven(u);
            f.Bottom = f.Top + RoundEven((h - 5) / t);
        }
        break;
    case Qt::Key_Up:
        f.Top -= RoundEven(u);
        f.Bottom = f.Top + RoundEven((h + 5) / t);
        break;
    default:
        return;
    }
    Centre(f);
}

std::optional<QRect> FreeAreaSourceRect(const TCropFrame& f, QSize original) {
    const int left = std::clamp(RoundHalfUp(f.Left * f.Scale), 0, original.width());
    const int right = std::clamp(RoundHalfUp(f.Right * f.Scale), 0, original.width());
    const int top = std::clamp(RoundHalfUp(f.Top * f.Scale), 0, original.height());
    const int bottom = std::clamp(RoundHalfUp(f.Bottom * f.Scale), 0, original.height());
    if (right - left < 1 || bottom - top < 1)
        return std::nullopt;
    return QRect(left, top, right - left, bottom - top);
}

QSize FreeAreaPixelSize(const TCropFrame& f) {
    return {std::abs(RoundHalfUp(f.Right * f.Scale) - RoundHalfUp(f.Left * f.Scale)),
            std::abs(RoundHalfUp(f.Bottom * f.Scale) - RoundHalfUp(f.Top * f.Scale))};
}

// ---- Size labels ----------------------------------------------------------------------

namespace {

QString UnitSizes(const TMainFields& main, QSize pixels, double micrometresPerPixel,
                  int displayWidth, int originalWidth) {
    const double perOriginal =
        originalWidth > 0 ? micrometresPerPixel * displayWidth / originalWidth : 0;
    return FormatValueWithUnit(main, ToLengthUnit(perOriginal * pixels.width(), main.LengthUnit)) +
           QStringLiteral(" X ") +
           FormatValueWithUnit(main, ToLengthUnit(perOriginal * pixels.height(), main.LengthUnit));
}

} // namespace

QString PixelFrameLabel(const TMainFields& main, QSize crop, double micrometresPerPixel,
                        int displayWidth, int originalWidth) {
    return QStringLiteral("%1 X %2 pixels = ").arg(crop.width()).arg(crop.height()) +
           UnitSizes(main, crop, micrometresPerPixel, displayWidth, originalWidth);
}

QString UnitFrameLabel(const TMainFields& main, QSize frame, double width, double height) {
    return QStringLiteral("%1 X %2pixels = ").arg(frame.width()).arg(frame.height()) +
           FormatValueWithUnit(main, width) + QStringLiteral(" X ") +
           FormatValueWithUnit(main, height);
}

QString FreeAreaLabel(const TMainFields& main, QSize pixels, double micrometresPerPixel,
                      int displayWidth, int originalWidth) {
    return QStringLiteral("%1 X %2 = ").arg(pixels.width()).arg(pixels.height()) +
           UnitSizes(main, pixels, micrometresPerPixel, displayWidth, originalWidth);
}
