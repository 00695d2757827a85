#pragma once
// Scale bars and text labels as the measuring window floats them over the image: the
// bar's length and ticks for the calibration on display, its text states, the rendered
// bitmap, where overlays are placed, held and snapped, and how one is painted into the
// work image. The window only shows what these compute.

#include "measure/MainFields.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

// The scale length a menu Tag (micrometres) stands for in unit: the Tag itself in "µm",
// a tenth of it with the remainder dropped otherwise (0 is half a unit).
int ScaleLengthFromTag(int tag, const QString& unit);
// The length as a number (0 is 0.5) and as the bar's text ("0.5 mm", "50 µm").
double ScaleLengthValue(int scaleLength);
QString ScaleText(int scaleLength, const QString& unit);

// The ruler's tick interval in unit for ScaleDivisions; a value outside 0 to 10 reads as
// Auto.
double TickInterval(int divisions, int scaleLength, const QString& unit);
// Tick positions 0, d, 2d, ... up to length (each i x d, so nothing drifts); an interval
// above the length gives 0 and the length.
std::vector<double> TickPositions(double length, double interval);

// Overlay state 0 none, 1 without text, 2 with text. A render shows the text or not and
// leaves the state as returned.
struct ScaleTextStep {
    bool Shown = false;
    int State = 0;
};
ScaleTextStep NextScaleTextState(int state, bool showScaleText);
// The state set before the re-render that follows a colour toggle, so the text stays.
int PreFlipScaleTextState(int state, bool showScaleText);
// Black when any other colour, white when black.
ColorRef ToggledScalePenColour(ColorRef pen);
// Grey 128, or 160/160/164 when the pen is that grey.
QColor ScaleKeyColour(const QColor& pen);

// Distance of the scale from the image edges: per mille of the image height or pixels.
int ScaleMargin(const TMainSettings& settings, int imageHeight);

enum class ScaleRefusal { None, NotCalibrated, WiderThanImage };
struct ScaleBarImage {
    ScaleRefusal Refusal = ScaleRefusal::None;
    QImage Image;              // Format_ARGB32 when transparent (key pixels clear)
    std::optional<QColor> Key; // the key colour left out when composited
    double PixelLength = 0;    // bar length in pixels
    std::vector<int> TickX;    // ruler ticks, columns in the bitmap
    ScaleTextStep Text;
};
// Renders the scale of scaleLength for micrometresPerPixel on a work image of imageSize;
// state is the overlay state before this render.
ScaleBarImage RenderScaleBitmap(const TMainSettings& settings, int scaleLength, int state,
                                double micrometresPerPixel, QSize imageSize);

// Top left of a new scale (position 0 left, 1 centre, 2 right) at margin from the edges.
QPoint ScalePlacement(int position, QSize image, QSize overlay, int margin);
// Top left of a new label: bottom edge 5 above the image's, left 5 / centred / right 5.
QPoint LabelPlacement(int placement, QSize image, QSize overlay);
// An overlay at topLeft held inside: right and bottom edges at least margin inside the
// image, left and top at least margin inside visible (image coordinates).
QPoint ClampOverlay(QPoint topLeft, QSize overlay, QSize image, QRect visible, int margin);
// Whether the overlay's centre is less than a thirtieth of the width from the image's.
bool NearImageCentre(int left, int overlayWidth, int imageWidth);

// Paints overlay into image at topLeft, leaving out its transparent pixels; clipped to the
// image. Returns the changed rectangle.
QRect CompositeOverlay(QImage& image, const QImage& overlay, QPoint topLeft);

// Word wrap at limit columns: a line break (CR LF) after the last blank, hyphen or tab
// before the limit; quoted passages are not broken. 0 leaves the text as it is.
QString WrapLabelText(const QString& text, int limit);
// The first "(c)" as "©".
QString WithCopyrightSign(QString text);
// The label text for kind 2, 4, 6; an italic font gets a trailing blank.
QString ItalicPadded(const QString& text, bool italic);

// A label's text (lines split at CR LF) in font and colour as it floats and as it is
// painted into the image: over background when one is given, else on clear pixels.
QImage RenderLabelBitmap(const QString& text, const QFont& font, const QColor& colour,
                         std::optional<QColor> background);
