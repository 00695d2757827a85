// The measuring window's tools: the mouse over the image, the rubber bands, the tool
// buttons and the result labels. Geometry and painting are in measure/ToolGeometry and
// measure/ToolDrawing; bands are drawn and erased only through XorDraw.

#include "FotoView.h"
#include "MainWindow.h"
#include "MeasurementListWindow.h"
#include "measure/Calibration.h"
#include "measure/LengthFormat.h"
#include "measure/ToolDrawing.h"
#include "measure/ToolGeometry.h"
#include "platform/NumberFormat.h"
#include "platform/Prompts.h"

#include <QEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolButton>

namespace {

constexpr int MinimumDrag = 3; // pixels; shorter drags measure nothing

// Button glyphs of the tool modes, drawn rather than shipped as pictures.
enum class Glyph { ArrowPx, ArrowUnit, DotPx, DotUnit, Circle, Oval };

// The unit beside the arrow or dot, 9 pixels high, centred in a 16 x 12 box at box's top
// left. It is the interface's own font scaled down: a font of its own size would cost the
// start a font of its own for two letters.
void DrawUnit(QPainter& painter, QPoint box, const QString& unit) {
    const double scale = 9.0 / std::max(1, QFontInfo(painter.font()).pixelSize());
    painter.save();
    painter.translate(box.x() + 8, box.y() + 6);
    painter.scale(scale, scale);
    painter.drawText(QRectF(-8 / scale, -6 / scale, 16 / scale, 12 / scale), Qt::AlignCenter, unit);
    painter.restore();
}

QIcon GlyphIcon(Glyph glyph) {
    QPixmap pixmap(32, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    const QString unit = glyph == Glyph::ArrowPx || glyph == Glyph::DotPx ? QStringLiteral("px")
                                                                          : QStringLiteral("µm");
    switch (glyph) {
    case Glyph::ArrowPx:
    case Glyph::ArrowUnit:
        painter.drawLine(4, 20, 22, 4);
        painter.setBrush(Qt::black);
        painter.drawPolygon(QPolygon({{24, 2}, {14, 6}, {20, 12}}));
        DrawUnit(painter, {16, 12}, unit);
        break;
    case Glyph::DotPx:
    case Glyph::DotUnit:
        painter.setBrush(Qt::black);
        painter.drawEllipse(QPoint(10, 10), 4, 4);
        DrawUnit(painter, {16, 12}, unit);
        break;
    case Glyph::Circle:
        painter.drawEllipse(QPoint(16, 12), 9, 9);
        break;
    case Glyph::Oval:
        painter.drawEllipse(QPoint(16, 12), 13, 7);
        break;
    }
    return QIcon(pixmap);
}

const char* const ArrowModeAction[] = {"Draw Arrow. Position in px", "Draw Arrow. Position in µm",
                                       "Draw Dot. Position in px", "Draw Dot. Position in µm"};
const Glyph ArrowModeGlyph[] = {Glyph::ArrowPx, Glyph::ArrowUnit, Glyph::DotPx, Glyph::DotUnit};

} // namespace

// ---- Set-up ---------------------------------------------------------------------------

void TMain::BuildTools() {
    MLabel = new QLabel(Foto);
    MLabel->setObjectName(QStringLiteral("MLabel"));
    MLabel->hide();
    ImgLabel = new QLabel(Foto);
    ImgLabel->setObjectName(QStringLiteral("ImgLabel"));
    for (QLabel* label : {MLabel, ImgLabel}) {
        // The image area's dark background role would otherwise give the labels the
        // light text role: white text, whatever colour the settings give.
        label->setForegroundRole(QPalette::WindowText);
        label->setBackgroundRole(QPalette::Window);
    }
    ImgLabel->setCursor(Qt::PointingHandCursor);
    ImgLabel->hide();
    ImgLabel->installEventFilter(this);

    Foto->setMouseTracking(true);
    Foto->OnMouseDown = [this](QMouseEvent* e, QPoint p) {
        FotoMouseDown(e->button(), e->modifiers(), p.x(), p.y());
    };
    Foto->OnMouseMove = [this](QMouseEvent* e, QPoint p) {
        FotoMouseMove(e->buttons(), e->modifiers(), p.x(), p.y());
    };
    Foto->OnMouseUp = [this](QMouseEvent* e, QPoint p) {
        FotoMouseUp(e->button(), e->modifiers(), p.x(), p.y());
    };

    for (QToolButton* b : {Calibrate, Measure, Closteriometer, ArrowButton, CircleButton})
        b->installEventFilter(this);
    connect(Calibrate, &QToolButton::clicked, this, [this] { CalibrateClick(); });
    connect(MakeListButton, &QToolButton::clicked, this, [this] { MakeListButtonClick(); });
    MakeListButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    MakeListButton->setIconSize(QSize(24, 24));
    UpdateListButtonGlyph();
    ArrowButton->setIcon(GlyphIcon(Glyph::ArrowPx));
    CircleButton->setIcon(GlyphIcon(Glyph::Circle));
    for (QToolButton* b : {ArrowButton, CircleButton}) {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIconSize(QSize(32, 24));
    }
}

bool TMain::ToolEventFilter(QObject* watched, QEvent* event) {
    // The tool buttons act on mouse down of any button, as their captions and glyphs change
    // before the button is released; the second click of a quick pair cycles a mode too.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        for (QToolButton* b : {Calibrate, Measure, Closteriometer, ArrowButton, CircleButton})
            if (watched == b) {
                SpeedButtonMouseDown(b, mouse->button());
                return mouse->button() != Qt::LeftButton;
            }
    }
    if (watched == ImgLabel)
        return DragResultLabel(event);
    return false;
}

// ---- Tool buttons ---------------------------------------------------------------------

void TMain::SetAction(const QString& text) {
    Action->setText(text);
    Action->setToolTip(text);
}

void TMain::PressTool(QToolButton* button) {
    button->setChecked(true);
}

void TMain::SelectMeasureTool() {
    PressTool(Measure);
    ActiveTool = ToolMeasure;
}

void TMain::SpeedButtonMouseDown(QToolButton* button, Qt::MouseButton mouseButton) {
    if (button == Calibrate) {
        PressTool(Calibrate);
        SetAction(QStringLiteral("Calibrate"));
        ActiveTool = ToolCalibrate;
    } else if (button == Measure) {
        SelectMeasureTool();
        SetAction(QStringLiteral("Measure"));
    } else if (button == Closteriometer) {
        PressTool(Closteriometer);
        SetAction(QStringLiteral("Closteriometry"));
        ActiveTool = ToolClosteriometer;
    } else if (button == ArrowButton) {
        if (mouseButton == Qt::RightButton) {
            AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Counter Reset"),
                                 MessageIcon::Information);
            ArrowButtonTag = 1;
        } else {
            ProcessArrowButton();
        }
    } else if (button == CircleButton) {
        ProcessCircleButton();
    }
    // Any tool button abandons a closteriometry waiting for its third point.
    ClosteriometerTag = 0;
}

void TMain::ProcessArrowButton() {
    if (!ArrowButton->isChecked()) {
        PressTool(ArrowButton);
    } else {
        ArrowpxImageTag = (ArrowpxImageTag + 1) % 4;
        PositionsInPixels = ArrowpxImageTag % 2 == 0;
        ArrowButton->setIcon(GlyphIcon(ArrowModeGlyph[ArrowpxImageTag]));
    }
    // Set on the first press too, so a dot never draws a line band while dragging.
    ActiveTool = ToolArrowOrDot;
    SetAction(QString::fromUtf8(ArrowModeAction[ArrowpxImageTag]));
}

void TMain::ProcessCircleButton() {
    if (CircleButton->isChecked()) {
        CircleButtonTag = CircleButtonTag == 0 ? 1 : 0;
        CircleButton->setIcon(GlyphIcon(CircleButtonTag == 1 ? Glyph::Oval : Glyph::Circle));
    } else {
        PressTool(CircleButton);
    }
    ActiveTool = ToolCircleOrOval;
    SetAction(CircleButtonTag == 1 ? QStringLiteral("Draw Oval") : QStringLiteral("Draw Circle"));
}

void TMain::CalibrateClick() {
    if (::CalibrateClick(*this) == CalibrateChoice::Declined) {
        SelectMeasureTool();
        SetAction(QStringLiteral("Measure"));
    }
}

// ---- Rubber bands ---------------------------------------------------------------------

void TMain::ToggleBand() {
    QRegion changed;
    XorDraw(WorkImage, band_->Shape, band_->A, band_->B, band_->Width, band_->Colour, &changed);
    Foto->UpdateImageRegion(changed);
}

void TMain::DrawBand(XorShape shape, QPoint a, QPoint b) {
    EraseBand();
    band_ = DrawnBand{shape, a, b, std::max(1, MeasurePenWidth), ToQColor(MeasurePenColor).rgb()};
    ToggleBand();
}

void TMain::EraseBand() {
    if (!band_)
        return;
    ToggleBand();
    band_.reset();
}

void TMain::DrawEllipseBand(QRect box) {
    // The box as QPainter reads it: the outline spans x() to x() + width().
    DrawBand(XorShape::Ellipse, box.topLeft(), box.topLeft() + QPoint(box.width(), box.height()));
}

void TMain::DrawLineRubberBand(int X, int Y, bool ctrl) {
    const QPoint start(RubberBand.X1, RubberBand.Y1);
    QPoint end(X, Y);
    if (ctrl)
        end = SnapToAxis(start, end);
    const double d = Distance(start, end);
    if (d < MinimumDrag)
        return;
    CurrentCalibration = EffectiveCalibration(*this).MicrometresPerPixel;
    DrawBand(XorShape::Line, start, end);
    // The value sits beside the mouse where it is now, not where it was.
    RubberBand.X2 = end.x();
    RubberBand.Y2 = end.y();
    ShowLiveValue(FormatLengthWithUnit(*this, d * CurrentCalibration));
}

void TMain::DrawEllipseRubberBand(int X, int Y) {
    TRubberBand next = RubberBand;
    next.X2 = X;
    next.Y2 = Y;
    if (CircleButtonTag == 0) {
        const int r = CircleRadius(next);
        DrawEllipseBand(CircleBounds({next.X1, next.Y1}, r));
        if (r > 1)
            ShowLiveValue(FormatLengthWithUnit(*this, r * CurrentCalibration));
    } else {
        DrawEllipseBand(EllipseBoundsForOval(next));
        PushHistoryOnMouseUp = true;
    }
    RubberBand = next;
}

// ---- Mouse ----------------------------------------------------------------------------

void TMain::FotoMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    if (shift & Qt::ControlModifier) {
        CropToFreeArea();
        return;
    }
    BurnInPendingOverlays();
    MLabel->hide();
    MLabel->clear();
    if (button == Qt::RightButton) {
        if (MeasureMode != ModeTools)
            CancelMode();
        else
            ShowCropSizeMenu(shift & Qt::AltModifier);
        return;
    }
    switch (MeasureMode) {
    case ModeFreeArea:
        StartFreeArea(X, Y);
        break;
    case ModeTools:
        StartMeasurement(X, Y);
        break;
    case ModeCropPixels:
    case ModeCropUnits:
        ExecuteCrop();
        break;
    default:
        break;
    }
}

void TMain::StartMeasurement(int X, int Y) {
    EraseBand();
    MouseIsDown = true;
    if (ClosteriometerTag == 1)
        ClosteriometerTag = 2;
    RubberBand = {X, Y, X, Y};
}

void TMain::FotoMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int X, int Y) {
    if (Busy)
        return;
    Busy = true;
    MoveCropFrame(X, Y);
    Busy = false;
    if (!MouseIsDown || !(buttons & Qt::LeftButton))
        return;
    // Bands belong to the tools only: the free area draws its own rectangle.
    if (MeasureMode != ModeTools)
        return;
    const bool arrowWithBand = ActiveTool == ToolArrowOrDot && ArrowpxImageTag < 2;
    if (ActiveTool != ToolArrowOrDot || arrowWithBand) {
        if (CircleButton->isChecked())
            DrawEllipseRubberBand(X, Y);
        else
            DrawLineRubberBand(X, Y, shift & Qt::ControlModifier);
    }
}

void TMain::FotoMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    (void)button;
    MLabel->hide();
    MLabel->clear();
    FreeAreaDragging = false;
    Foto->unsetCursor();
    if (!MouseIsDown)
        return;
    MouseIsDown = false;
    // Whatever the band shows goes first: the result is drawn where the mouse was let go.
    EraseBand();
    RubberBand.X2 = X;
    RubberBand.Y2 = Y;
    if (MeasureMode == ModeFreeArea) {
        StartFreeAreaFrame();
        return;
    }
    const QPoint start(RubberBand.X1, RubberBand.Y1);
    const QPoint end(X, Y);
    if (Measure->isChecked() && Distance(start, end) < MinimumDrag)
        return;
    if (MeasureMode != ModeTools)
        return;
    LabelKind = 0;
    const QPen pen = MeasurePen(*this);
    const bool ctrl = shift & Qt::ControlModifier;

    if (Calibrate->isChecked()) {
        if (CalibrateByTwoPoints(*this, Distance(start, end), *this))
            NotCalibrated->hide();
        ShowCalibration();
        // Measure follows every calibration drag, also a cancelled or refused one, and the
        // Action box says so.
        SelectMeasureTool();
        SetAction(QStringLiteral("Measure"));
    } else if (Measure->isChecked()) {
        if (ctrl) {
            const QPoint snapped = SnapToAxis(start, end);
            RubberBand.X2 = snapped.x();
            RubberBand.Y2 = snapped.y();
        }
        PaintLine(WorkImage, start, {RubberBand.X2, RubberBand.Y2}, pen);
        FinishLengthMeasurement();
    } else if (ArrowButton->isChecked()) {
        if (ArrowpxImageTag < 2) {
            if (RoundHalfEven(Distance(start, end)) < MinimumDrag)
                return;
            DrawArrow(ctrl);
        } else {
            RubberBand.X2 = RubberBand.X1 + 1;
            RubberBand.Y2 = RubberBand.Y1 + 1;
            DrawDot();
        }
    } else if (CircleButton->isChecked()) {
        // A shape without a result label is recorded here, also when no move drew its band.
        if (CircleButtonTag == 1) {
            PaintEllipse(WorkImage, EllipseBoundsForOval(RubberBand), pen);
            PushHistoryOnMouseUp = true;
        } else {
            const int r = CircleRadius(RubberBand);
            PaintEllipse(WorkImage, CircleBounds(start, r), pen);
            if (r > 1)
                ShowResultLabel(QStringLiteral("D = ") +
                                FormatLengthWithUnit(*this, 2 * r * CurrentCalibration));
            else
                PushHistoryOnMouseUp = true;
        }
    } else if (Closteriometer->isChecked()) {
        if (ClosteriometerTag == 2) {
            MeasureCurvature(X, Y);
            Foto->ImageChanged();
            return;
        }
        if (ClosteriometerTag == 0) {
            // A chord too short to measure is ignored like a short line.
            if (Distance(start, end) < MinimumDrag)
                return;
            PaintEllipse(WorkImage, CircleBounds(start, 2), pen);
            PaintEllipse(WorkImage, CircleBounds(end, 2), pen);
            PaintLine(WorkImage, start, end, pen);
            FinishLengthMeasurement();
            DrawChordBisector();
        }
    }
    if (PushHistoryOnMouseUp) {
        AnnotationHistory.Add(WorkImage);
        PushHistoryOnMouseUp = false;
    }
    Foto->ImageChanged();
}

// ---- Measurement list -----------------------------------------------------------------

void TMain::MakeListButtonClick() {
    MakeListButton->setChecked(false);
    SetAction(LBForm->IsListActive() ? QStringLiteral("Show Measurement List")
                                     : QStringLiteral("Initialize Measurement List"));
    LBForm->SetListActive(true);
    UpdateListButtonGlyph();
    // Placed again once shown: only then is the width of its frame known.
    const auto place = [this] {
        const QRect main = frameGeometry();
        LBForm->move(main.left() + main.width() - LBForm->frameGeometry().width() - 5,
                     main.top() + 50);
    };
    place();
    LBForm->show();
    place();
    if (LBForm->CurrentRow() < 1)
        LBForm->SetCurrentRow(1);
}

void TMain::UpdateListButtonGlyph() {
    MakeListButton->setChecked(false);
    MakeListButton->setIcon(MakeListGlyph(LBForm.IfMade() && LBForm->IsListActive()));
}

// ---- Results --------------------------------------------------------------------------

bool TMain::ListIsActive() const {
    return LBForm.IfMade() && LBForm->IsListActive();
}

void TMain::FinishLengthMeasurement() {
    const double d = Distance({RubberBand.X1, RubberBand.Y1}, {RubberBand.X2, RubberBand.Y2});
    if (d < MinimumDrag)
        return;
    CurrentCalibration = EffectiveCalibration(*this).MicrometresPerPixel;
    const double micrometres = d * CurrentCalibration;
    if (ListIsActive()) {
        const int n = LBForm->CurrentRow();
        LBForm->AddMeasurement({FormatLength(*this, micrometres)});
        activateWindow();
        SetAction(QStringLiteral("Count: %1").arg(n));
        ShowResultLabel(QString::number(n));
    } else {
        const QString text = FormatLengthWithUnit(*this, micrometres);
        SetAction(QStringLiteral("Last Distance: ") + text);
        ShowResultLabel(text);
    }
}

void TMain::DrawArrow(bool ctrl) {
    const QPoint tip(RubberBand.X1, RubberBand.Y1);
    QPoint tail(RubberBand.X2, RubberBand.Y2);
    if (ctrl) {
        tail = SnapToAxis(tip, tail);
        RubberBand.X2 = tail.x();
        RubberBand.Y2 = tail.y();
    }
    const auto arrow = ArrowGeometry(tip, tail, ArrowHeadLength);
    if (!arrow)
        return;
    PaintArrow(WorkImage, *arrow, MeasurePen(*this), FillArrow);
    ArrowAndDotResults();
}

void TMain::DrawDot() {
    PaintDot(WorkImage, {RubberBand.X1, RubberBand.Y1}, MeasurePen(*this));
    ArrowAndDotResults();
}

void TMain::ArrowAndDotResults() {
    int n;
    if (ListIsActive()) {
        n = LBForm->CurrentRow();
        if (PositionsInPixels) {
            LBForm->AddMeasurement(
                {QString::number(RubberBand.X1), QString::number(RubberBand.Y1)});
        } else {
            const double cal = EffectiveCalibration(*this).MicrometresPerPixel;
            LBForm->AddMeasurement({FormatLength(*this, RubberBand.X1 * cal),
                                    FormatLength(*this, RubberBand.Y1 * cal)});
        }
        activateWindow();
    } else {
        n = ArrowButtonTag++;
    }
    ShowResultLabel(QString::number(n));
}

void TMain::DrawChordBisector() {
    chord_ = ChordBisectorOf({RubberBand.X1, RubberBand.Y1}, {RubberBand.X2, RubberBand.Y2},
                             WorkImage.width());
    PaintLine(WorkImage, chord_.Line.p1(), chord_.Line.p2(), MeasurePen(*this));
    ClosteriometerTag = 1;
}

void TMain::MeasureCurvature(int X, int Y) {
    const auto arc = MeasureCurvatureGeometry(chord_, {X, Y});
    if (arc) {
        PaintArc(WorkImage, *arc, MeasurePen(*this));
        const double rho = arc->Radius * EffectiveCalibration(*this).MicrometresPerPixel;
        const QFont font = MeasureTextFont(*this, WorkImage.height());
        PaintCurvatureTexts(
            WorkImage,
            MeasureText(*this, QStringLiteral("Radius = ") + FormatLengthWithUnit(*this, rho)),
            MeasureText(*this, QStringLiteral("Curvature = %1 degrees").arg(arc->AngleDegrees)),
            font);
        if (ListIsActive()) {
            LBForm->AddMeasurement(
                {FormatMeasureValue(arc->AngleDegrees), FormatLength(*this, rho)});
            activateWindow();
        }
    }
    // A third point on the chord's midpoint has no finite radius: the closteriometry is
    // abandoned without drawing.
    ClosteriometerTag = 0;
    SelectMeasureTool();
    MeasureMode = ModeTools;
    if (arc)
        AnnotationHistory.Add(WorkImage);
}

// ---- Labels ---------------------------------------------------------------------------

QSize TMain::StyleValueLabel(QLabel* label, const QString& text) {
    const QFont imageFont = MeasureTextFont(*this, WorkImage.height());
    const QString shown = MeasureText(*this, text.trimmed());
    const double scale = std::max(Foto->devicePixelRatioF(), 1e-3);
    QFont font = imageFont;
    font.setPixelSize(std::max(1, int(RoundHalfEven(font.pixelSize() / scale))));
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, ToQColor(ScaleFont.Color));
    colours.setColor(QPalette::Window, ToQColor(UnitBackColor));
    // Only when the settings changed, not at every move.
    if (label->palette() != colours)
        label->setPalette(colours);
    label->setAutoFillBackground(!UnitTransparancy);
    if (label->font() != font)
        label->setFont(font);
    label->setText(shown);
    label->adjustSize();
    return LabelSize(shown, imageFont);
}

void TMain::PlaceLabel(QLabel* label, QPoint imageTopLeft) {
    label->move(Foto->WidgetRect(QRect(imageTopLeft, QSize(1, 1))).topLeft().toPoint());
}

void TMain::ShowLiveValue(const QString& text) {
    if (text.trimmed().isEmpty()) {
        MLabel->hide();
        return;
    }
    const QSize size = StyleValueLabel(MLabel, text);
    PlaceLabel(MLabel,
               LiveLabelPosition(RubberBand, size, WorkImage.size(), CircleButton->isChecked()));
    MLabel->show();
}

void TMain::ShowResultLabel(const QString& text) {
    CommitLabel();
    const QSize size = StyleValueLabel(ImgLabel, text);
    PlaceLabel(ImgLabel,
               ResultLabelPosition(RubberBand, size, WorkImage.size(), CircleButton->isChecked()));
    ImgLabel->show();
    ImgLabel->raise();
    ImgLabelTag = 1;
    OverlayPlacement = 4;
}

bool TMain::DragResultLabel(QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress)
        labelGrab_ = mouse->position().toPoint();
    else if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton))
        ImgLabel->move(ImgLabel->mapToParent(mouse->position().toPoint()) - labelGrab_);
    return true;
}

void TMain::CommitLabel() {
    if (!labelBitmap_.isNull()) {
        CommitLabelBitmap();
        return;
    }
    if (ImgLabelTag != 1 || ImgLabel->isHidden()) {
        ImgLabelTag = 0;
        return;
    }
    const QString text = ImgLabel->text();
    const QPoint topLeft = Foto->ImagePoint(ImgLabel->pos());
    const std::optional<QColor> background =
        UnitTransparancy ? std::nullopt : std::optional<QColor>(ToQColor(UnitBackColor));
    Foto->UpdateImageRect(PaintLabel(WorkImage, topLeft, text,
                                     MeasureTextFont(*this, WorkImage.height()),
                                     ToQColor(ScaleFont.Color), background));
    ImgLabel->hide();
    ImgLabelTag = 0;
    AnnotationHistory.Add(WorkImage);
}

void TMain::DiscardLabel() {
    ImgLabel->hide();
    ImgLabelTag = 0;
    labelBitmap_ = QImage();
    // The rebuild that discards the label also takes the chord of a closteriometry waiting
    // for its third point: its arc would be drawn for a chord no longer shown, perhaps in
    // pixels of another size.
    ClosteriometerTag = 0;
}
