#include "measure/ScaleBar.h"

#include "platform/NumberFormat.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QString Micrometre = QString::fromUtf8("µm");

bool IsMil(const QString& unit) {
    return unit == QLatin1String("mil");
}

int Round(double value) {
    return int(RoundHalfEven(value));
}

} // namespace

int ScaleLengthFromTag(int tag, const QString& unit) {
    return unit == Micrometre ? tag : tag / 10;
}

double ScaleLengthValue(int scaleLength) {
    return scaleLength == 0 ? 0.5 : double(scaleLength);
}

QString ScaleText(int scaleLength, const QString& unit) {
    return (scaleLength == 0 ? QStringLiteral("0.5") : QString::number(scaleLength)) + u' ' + unit;
}

double TickInterval(int divisions, int scaleLength, const QString& unit) {
    static const double fixed[] = {0, 1, 2, 5, 10, 20, 25, 50, 100, 200, 250};
    double d = 0;
    if (divisions == 2 && (scaleLength == 5 || scaleLength == 0)) {
        if (scaleLength == 0)
            d = 1;
        else
            d = unit == Micrometre ? 5 : unit == QLatin1String("mm") ? 1 : 2;
    } else if (divisions >= 1 && divisions <= 10) {
        d = fixed[divisions];
    } else {
        d = scaleLength > 100 ? 100 : scaleLength > 50 ? 20 : scaleLength > 10 ? 10 : 5;
    }
    return IsMil(unit) ? d / 10 : d;
}

std::vector<double> TickPositions(double length, double interval) {
    if (!(length > 0))
        return {0};
    if (!(interval > 0) || interval > length)
        return {0, length};
    // A position that is the length but for rounding of i x d still ends the ruler.
    const double slack = length * 1e-9;
    std::vector<double> ticks;
    for (int i = 0;; ++i) {
        const double position = i * interval;
        if (position > length + slack)
            break;
        ticks.push_back(std::min(position, length));
    }
    return ticks;
}

ScaleTextStep NextScaleTextState(int state, bool showScaleText) {
    if (state == 1)
        return {true, 2};
    if (state == 2)
        return {false, 1};
    return {showScaleText, showScaleText ? 1 : 0};
}

int PreFlipScaleTextState(int state, bool showScaleText) {
    if (state == 1)
        return 2;
    if (state == 2)
        return 1;
    return showScaleText ? 1 : 0;
}

ColorRef ToggledScalePenColour(ColorRef pen) {
    return pen == 0 ? 0xFFFFFF : 0;
}

QColor ScaleKeyColour(const QColor& pen) {
    const QColor grey(128, 128, 128);
    return pen.rgb() == grey.rgb() ? QColor(160, 160, 164) : grey;
}

int ScaleMargin(const TMainSettings& settings, int imageHeight) {
    return settings.ScaleAsPercentage
               ? Round(double(imageHeight) * settings.ScaleMarginPromil / 1000.0)
               : settings.ScaleMarginPx;
}

ScaleBarImage RenderScaleBitmap(const TMainSettings& settings, int scaleLength, int state,
                                double micrometresPerPixel, QSize imageSize) {
    ScaleBarImage out;
    const double q = ScaleLengthValue(scaleLength);
    const QString text = ScaleText(scaleLength, settings.LengthUnit);
    const int imageHeight = imageSize.height();
    const int t = settings.ScaleAsPercentage ? imageHeight * settings.ScaleWidthPromil / 1000
                                             : settings.ScaleWidthPx;
    double c = micrometresPerPixel;
    if (!(c > 0)) {
        out.Refusal = ScaleRefusal::NotCalibrated;
        return out;
    }
    if (settings.LengthUnit == QLatin1String("mm"))
        c /= 1000;
    else if (IsMil(settings.LengthUnit))
        c /= 25.4;
    const double L = q / c;
    if (L > imageSize.width()) {
        out.Refusal = ScaleRefusal::WiderThanImage;
        return out;
    }
    out.PixelLength = L;
    out.Text = NextScaleTextState(state, settings.ShowScaleText);

    const QColor pen = ToQColor(settings.ScalePenColor);
    QFont font = settings.ScaleFont.ToQFont();
    font.setPixelSize(std::max(1, settings.ScaleAsPercentage
                                      ? imageHeight * settings.ScaleTextHeightPromil / 1000
                                      : settings.ScaleTextHeightPx));
    // Against the key colour a smoothed edge would leave a grey halo in the image.
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    const int tw = metrics.horizontalAdvance(text);
    const int th = metrics.height();
    const int bar = std::max(t, 0);
    const int barLength = Round(L);
    int W = tw < L ? barLength + 8 : tw;
    int H = th + bar + 8;

    int p = 1;
    if (settings.ScaleType == 2) {
        // t is already per mille of the height; the line width takes that share once more.
        p = settings.ScaleAsPercentage ? Round(double(imageHeight) * t / 1000.0) : t;
        p = std::max(p, 1);
        W += p;
        H = th + 4 * p + 4;
    }

    const QColor key = ScaleKeyColour(pen);
    QImage image(std::max(W, 1), std::max(H, 1), QImage::Format_ARGB32);
    if (settings.ScaleTransparent) {
        image.fill(key);
        out.Key = key;
    } else {
        image.fill(pen.rgb() == QColor(Qt::white).rgb() ? Qt::black : Qt::white);
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    painter.setPen(pen);
    const auto drawText = [&](int x) {
        if (out.Text.Shown)
            painter.drawText(QRect(x, 0, tw, th), Qt::AlignLeft | Qt::AlignTop, text);
    };

    if (settings.ScaleType == 2) {
        const std::vector<double> ticks = TickPositions(
            q, TickInterval(settings.ScaleDivisions, scaleLength, settings.LengthUnit));
        const double end = ticks.back();
        const int o = tw > L ? (W - barLength) / 2 : 0;
        const int x0 = p / 2 + o + 4;
        const int tickTop = H - 3 * p - 4;
        const int baseY = H - p - 4;
        for (double position : ticks) {
            const int x = x0 + Round(position / c);
            out.TickX.push_back(x);
            painter.fillRect(QRect(x - p / 2, tickTop, p, baseY - tickTop), pen);
        }
        const int baseEnd = x0 + Round(end / c) + (p == 1 ? 1 : 0);
        painter.fillRect(
            QRect(x0 - (p == 1 ? 0 : p / 2), baseY - p / 2, baseEnd - x0 + (p == 1 ? 0 : p), p),
            pen);
        // Moved left where the bitmap would cut its end off (a text wider than the ruler).
        drawText(std::max(std::min((W - tw) / 2 + 8, W - tw), 0));
    } else if (tw < L) {
        drawText((W - tw) / 2 + 4);
        painter.fillRect(QRect(4, H - bar - 4, W - 8, bar), pen);
    } else {
        drawText(0);
        painter.fillRect(QRect(Round((W - L) / 2), H - bar - 4, barLength, bar), pen);
    }
    painter.end();

    if (out.Key) {
        const QRgb keyRgb = key.rgb();
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (row[x] == keyRgb)
                    row[x] = 0;
        }
    }
    out.Image = image;
    return out;
}

QPoint ScalePlacement(int position, QSize image, QSize overlay, int margin) {
    const int top = image.height() - overlay.height() - margin;
    const int left = position == 1   ? (image.width() - overlay.width()) / 2
                     : position == 2 ? image.width() - overlay.width() - margin
                                     : margin;
    return {left, top};
}

QPoint LabelPlacement(int placement, QSize image, QSize overlay) {
    return ScalePlacement(placement, image, overlay, 5);
}

QPoint ClampOverlay(QPoint topLeft, QSize overlay, QSize image, QRect visible, int margin) {
    int x = std::min(topLeft.x(), image.width() - overlay.width() - margin);
    int y = std::min(topLeft.y(), image.height() - overlay.height() - margin);
    x = std::max(x, visible.left() + margin);
    y = std::max(y, visible.top() + margin);
    return {x, y};
}

bool NearImageCentre(int left, int overlayWidth, int imageWidth) {
    const double centre = left + overlayWidth / 2.0;
    return std::abs(centre - imageWidth / 2.0) < imageWidth / 30;
}

QRect CompositeOverlay(QImage& image, const QImage& overlay, QPoint topLeft) {
    const QRect target = QRect(topLeft, overlay.size()).intersected(image.rect());
    if (target.isEmpty())
        return {};
    const QImage source = overlay.convertToFormat(QImage::Format_ARGB32);
    for (int y = target.top(); y <= target.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y - topLeft.y()));
        for (int x = target.left(); x <= target.right(); ++x) {
            const QRgb pixel = from[x - topLeft.x()];
            if (qAlpha(pixel) == 255)
                image.setPixel(x, y, pixel);
            else if (qAlpha(pixel) != 0) {
                const QRgb under = image.pixel(x, y);
                const int a = qAlpha(pixel);
                const auto mix = [a](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
                image.setPixel(x, y,
                               qRgb(mix(qRed(pixel), qRed(under)),
                                    mix(qGreen(pixel), qGreen(under)),
                                    mix(qBlue(pixel), qBlue(under))));
            }
        }
    }
    return target;
}

QString WrapLabelText(const QString& text, int limit) {
    if (limit <= 0)
        return text;
    QString out;
    int lineStart = 0;  // in out
    int lastBreak = -1; // index in out after which a break may go
    QChar quote;
    for (const QChar ch : text) {
        out += ch;
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
        } else if (ch == u'"' || ch == u'\'') {
            quote = ch;
        } else if (ch == u' ' || ch == u'-' || ch == u'\t') {
            lastBreak = int(out.size());
        }
        if (int(out.size()) - lineStart > limit && lastBreak > lineStart) {
            out.insert(lastBreak, QStringLiteral("\r\n"));
            lineStart = lastBreak + 2;
            lastBreak = -1;
        }
    }
    return out;
}

QString WithCopyrightSign(QString text) {
    const int at = int(text.indexOf(QLatin1String("(c)")));
    if (at >= 0)
        text.replace(at, 3, QString(QChar(0xA9)));
    return text;
}

QString ItalicPadded(const QString& text, bool italic) {
    return italic && !text.endsWith(u' ') ? text + u' ' : text;
}

QImage RenderLabelBitmap(const QString& text, const QFont& font, const QColor& colour,
                         std::optional<QColor> background) {
    const QStringList lines =
        QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(u'\n');
    // Measured on an image, so the size does not follow the screen's resolution.
    QImage probe(1, 1, QImage::Format_ARGB32);
    const QFontMetrics metrics(font, &probe);
    int width = 1;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int lineHeight = std::max(1, metrics.height());
    QImage image(width, lineHeight * int(lines.size()), QImage::Format_ARGB32);
    image.fill(background ? background->rgb() : 0);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(colour);
    for (int i = 0; i < int(lines.size()); ++i)
        painter.drawText(QRect(0, i * lineHeight, width, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines[i]);
    return image;
}
