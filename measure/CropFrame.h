#pragma once
// Crop frames: the fixed-size frame chosen from a size menu and the free area drawn with
// the mouse. Sizes, wording, placement, hit zones, dragging, key steps and the source
// rectangle in the original image; the window draws and dispatches.

#include "measure/MainFields.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>

#include <optional>

// Selection formats: 1 3:2, 2 4:3, 3 16:9, 4 1:1; anything else is 4:3.
int NormalSelectionFormat(int format);
double SelectionHeightFromWidth(int format, double x);
double SelectionWidthFromHeight(int format, double x);

// Nearest integer, halves to even; beyond the range of int, its nearest end (NaN is 0).
int RoundEven(double x);

// The size captions begin "Width" when the menus give widths and the orientation is not
// swapped, or they give heights and it is; otherwise "Height".
bool SizeWordIsWidth(bool useWidth, bool swapped);
// The caption with its first word (up to the first blank) replaced by "Width" or "Height".
QString SetSizeMenuWording(const QString& caption, bool width);

// Tags of the size menus, in the order of the wheel steps.
const QList<int>& CropPixelTags();  // "Select Crop Area (pixels)", before ImageSize
const QList<int>& CropUnitTags();   // "Select Crop Area (unit)"
const QList<int>& PopupPixelTags(); // right-click pop-up
const QList<int>& PopupUnitTags();  // Alt + right-click pop-up
// "Width = 640" (or "Height = ..."): a pixel item's caption.
QString CropPixelCaption(int tag, bool width);
// The pop-up captions: "Width in pixels = 640", "Width in µm = 50" (Tag div 10 outside µm),
// "Image Width in pixels = 2048" (the side named).
QString PopupPixelCaption(int tag, bool width);
QString PopupUnitCaption(int tag, bool width, const QString& unit);
QString PopupImageSizeCaption(QSize original, bool width);

// The crop in original pixels for a pixel item of this tag.
QSize PixelCropSize(int tag, int format, bool useWidth, bool swapped);
// The largest crop of the format that fits the original.
QSize ImageSizeCrop(QSize original, int format, bool swapped);
// "Not possible. Image is smaller than 640 x 480pixels"
QString PixelCropRefusal(QSize crop);

inline const QString CalibrateFirstText = QStringLiteral("Calibrate the image first");

// A unit item's frame. unitsPerPixel is the calibration in the unit per display pixel;
// scale is original pixels per display pixel.
struct UnitCropResult {
    QSize Frame;        // display pixels
    QSize Crop;         // original pixels
    double Width = 0;   // in the unit
    double Height = 0;  // in the unit
    double Value = 0;   // the item's value in the unit
    double Derived = 0; // the other side the value gives, in the unit
};
UnitCropResult UnitCropSize(int tag, const QString& unit, double unitsPerPixel, double scale,
                            int format, bool useWidth, bool swapped);
// "Not possible. Image is smaller than 50 X 37.5 µm"
QString UnitCropRefusal(const UnitCropResult& size, const QString& unit);
// A calibration this small counts as none.
bool IsUncalibrated(double micrometresPerPixel);

// The frame's corners when centred on a display point and held at the display's edges: at
// the left or top it starts one pixel outside, at the right or bottom it ends at the edge.
TRubberBand PlaceCropFrame(QPoint centre, QSize frame, QSize display);

// The source rectangle of a fixed frame: crop.width() x crop.height() original pixels from
// the frame's corner times scale, moved inside the original where the frame touches an edge.
// A frame held at the display's right or bottom edge takes the original's last pixels.
QRect CropSourceRect(const TRubberBand& frame, double scale, QSize crop, QSize original,
                     QSize display);

// ---- Free area ------------------------------------------------------------------------

enum CropZone : int {
    ZoneNone = 0,
    ZoneTopLeft = 1,
    ZoneTopRight = 2,
    ZoneBottomRight = 3,
    ZoneBottomLeft = 4,
    ZoneLeft = 5,
    ZoneTop = 6,
    ZoneRight = 7,
    ZoneBottom = 8,
    ZoneInside = 9,
};

struct TCropFrame {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int CentreX = 0, CentreY = 0;
    QPoint LastMouse;
    double Scale = 1;
    int Zone = ZoneNone;
};

// The frame through two opposite corners, in either order.
TCropFrame StartCropFrame(QPoint a, QPoint b, double scale);
// Sets Zone (and LastMouse) for a display point; the zone's cursor.
int CropFrameHitTest(TCropFrame& frame, QPoint m);
Qt::CursorShape CursorForZone(int zone);
// Moves the grabbed part to m, mirrored about the centre when symmetric; a side pushed
// under 20 pixels is set back to 20 and ends the drag (Zone 0); kept inside the work image.
void DragCropFrame(TCropFrame& frame, QPoint m, QSize work, bool symmetric);
// One arrow step of 5 units about the centre; t is units per display pixel. Left and Down
// shrink, Right and Up grow. Nothing for a step of 0 (no calibration).
void KeyResizeCropFrame(TCropFrame& frame, int key, double t);
// The frame's corners times Scale, rounded half up, held inside the original; nullopt when
// less than 1 x 1 pixel is left.
std::optional<QRect> FreeAreaSourceRect(const TCropFrame& frame, QSize original);
// The frame's size in original pixels as the label shows it.
QSize FreeAreaPixelSize(const TCropFrame& frame);

// ---- Size labels ----------------------------------------------------------------------

// "640 X 480 pixels = 320 µm X 240 µm": crop in original pixels, calibration per display
// pixel in micrometres, display width and original width.
QString PixelFrameLabel(const TMainFields& main, QSize crop, double micrometresPerPixel,
                        int displayWidth, int originalWidth);
// "128 X 96pixels = 50 µm X 37.5 µm"
QString UnitFrameLabel(const TMainFields& main, QSize frame, double width, double height);
// "640 X 480 = 320 µm X 240 µm"
QString FreeAreaLabel(const TMainFields& main, QSize pixels, double micrometresPerPixel,
                      int displayWidth, int originalWidth);
