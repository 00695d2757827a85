// Scale bars and text labels: they float over the image, where the user drags them,
// toggles the scale's text or edits the label, until something commits them into the work
// image. Layout, placement and painting come from the measure core.

#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"

#include "measure/Calibration.h"
#include "measure/McSystemAccess.h"
#include "measure/ScaleBar.h"
#include "platform/NumberFormat.h"
#include "platform/Prompts.h"
#include "settings/FontAndTextDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// Hands the overlays' mouse events to the window before any other filter sees them.
class OverlayFilter final : public QObject {
public:
    OverlayFilter(QObject* parent, std::function<bool(QObject*, QEvent*)> handler)
        : QObject(parent), handler_(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return handler_(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> handler_;
};

bool IsOverlayMouseEvent(const QEvent* event) {
    const auto type = event->type();
    return type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
           type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick;
}

QPixmap ImagePixmap(const QImage& image, double scale) {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QImage LimeCircle() {
    QImage image(11, 11, QImage::Format_ARGB32);
    image.fill(0);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 255, 0));
    painter.drawEllipse(QRect(0, 0, 11, 11));
    return image;
}

} // namespace

void TMain::BuildOverlays() {
    ScaleImage = new QLabel(Foto);
    ScaleImage->setObjectName(QStringLiteral("ScaleImage"));
    ScaleImage->setAttribute(Qt::WA_TranslucentBackground);
    ScaleImage->hide();
    PosLabel = new QLabel(Foto);
    PosLabel->setObjectName(QStringLiteral("PosLabel"));
    PosLabel->setAlignment(Qt::AlignRight);
    PosLabel->setForegroundRole(QPalette::WindowText);
    PosLabel->setBackgroundRole(QPalette::Window);
    PosLabel->setAutoFillBackground(true);
    PosLabel->hide();
    PosShape = new QLabel(Foto);
    PosShape->setObjectName(QStringLiteral("PosShape"));
    PosShape->setPixmap(QPixmap::fromImage(LimeCircle()));
    PosShape->resize(11, 11);
    PosShape->hide();
    auto* filter = new OverlayFilter(this, [this](QObject* watched, QEvent* event) {
        // Only mouse events concern the overlays. The others pass without touching the
        // window: the overlays still get some while they are deleted, after its destructor.
        if (!IsOverlayMouseEvent(event))
            return false;
        if (watched == ScaleImage)
            return OverlayMouseEvent(ScaleImage, event);
        if (watched == ImgLabel)
            return OverlayMouseEvent(ImgLabel, event);
        return false;
    });
    ScaleImage->installEventFilter(filter);
    ImgLabel->installEventFilter(filter);
    SetBurnInOverlays([this] { CommitScaleBar(); });
    SetDiscardOverlays([this] {
        ScaleImage->hide();
        ScaleImageTag = 0;
    });
}

QPoint TMain::OverlayImagePos(const QWidget* overlay) const {
    return Foto->ImagePoint(overlay->pos());
}

void TMain::MoveOverlay(QWidget* overlay, QPoint imageTopLeft) {
    overlay->move(Foto->WidgetRect(QRect(imageTopLeft, QSize(1, 1))).topLeft().toPoint());
}

QSize TMain::OverlayImageSize(const QWidget* overlay) const {
    if (overlay == ScaleImage)
        return scaleBitmap_.size();
    if (!labelBitmap_.isNull())
        return labelBitmap_.size();
    const double scale = Foto->devicePixelRatioF();
    return {int(RoundHalfEven(overlay->width() * scale)),
            int(RoundHalfEven(overlay->height() * scale))};
}

// ---- Scale bar ------------------------------------------------------------------------

void TMain::InsertScaleClick(int tag) {
    if (MeasureMode != ModeTools)
        return;
    CommitLabel();
    CommitScaleBar();
    if (WorkImage.isNull())
        return;
    ScaleLength = ScaleLengthFromTag(tag, LengthUnit);
    if (!RenderScaleBar())
        return;
    ++ScaleImageTag;
    const int margin = ScaleMargin(*this, WorkImage.height());
    MoveOverlay(ScaleImage,
                ScalePlacement(ScalePosition, WorkImage.size(), scaleBitmap_.size(), margin));
    ScaleImage->setCursor(Qt::PointingHandCursor);
    ScaleImage->show();
    ScaleImage->raise();
    OverlayDragging = false;
}

bool TMain::RenderScaleBar() {
    const double c = EffectiveCalibration(*this).MicrometresPerPixel;
    CurrentCalibration = c;
    const ScaleBarImage bar =
        RenderScaleBitmap(*this, ScaleLength, ScaleImageTag, c, WorkImage.size());
    if (bar.Refusal != ScaleRefusal::None) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             bar.Refusal == ScaleRefusal::NotCalibrated
                                 ? QStringLiteral("Image is not calibrated")
                                 : QStringLiteral("Not possible. Scale is wider than image"),
                             MessageIcon::None);
        return false;
    }
    ScaleImageTag = bar.Text.State;
    scaleBitmap_ = bar.Image;
    const QPixmap pixmap = ImagePixmap(scaleBitmap_, Foto->devicePixelRatioF());
    ScaleImage->setPixmap(pixmap);
    ScaleImage->resize(pixmap.deviceIndependentSize().toSize());
    return true;
}

void TMain::CommitScaleBar() {
    if (ScaleImageTag == 0 || ScaleImage->isHidden()) {
        ScaleImageTag = 0;
        return;
    }
    ScaleImage->hide();
    ScaleImage->unsetCursor();
    Foto->UpdateImageRect(CompositeOverlay(WorkImage, scaleBitmap_, OverlayImagePos(ScaleImage)));
    AnnotationHistory.Add(WorkImage);
    ScaleImageTag = 0;
}

void TMain::ToggleScaleColour() {
    const ColorRef pen = ScalePenColor;
    const int state = ScaleImageTag;
    ScalePenColor = ToggledScalePenColour(ScalePenColor);
    ScaleImageTag = PreFlipScaleTextState(ScaleImageTag, ShowScaleText);
    if (!RenderScaleBar()) {
        ScalePenColor = pen;
        ScaleImageTag = state;
    }
}

// ---- Labels ---------------------------------------------------------------------------

void TMain::ShowLabelBitmap(const QString& text, const QFont& font, const QColor& colour,
                            std::optional<QColor> background) {
    labelText_ = text;
    labelBitmap_ = RenderLabelBitmap(text, font, colour, background);
    const QPixmap pixmap = ImagePixmap(labelBitmap_, Foto->devicePixelRatioF());
    ImgLabel->setAutoFillBackground(false);
    ImgLabel->setPixmap(pixmap);
    ImgLabel->resize(pixmap.deviceIndependentSize().toSize());
}

void TMain::InsertLabelClick(int tag) {
    // A crop frame or free area drawn by inversion would otherwise stay in the image.
    if (MeasureMode != ModeTools)
        return;
    CommitLabel();
    CommitScaleBar();
    if (WorkImage.isNull())
        return;
    MeasureMode = tag;
    LabelKind = tag;
    QString text;
    FontRecord font;
    int placement = 0;
    if (tag == ModeCopyrightLabel) {
        text = WithCopyrightSign(CopyrightText);
        font = CopyrightFont;
        placement = CopyrightPosition;
    } else if (tag == ModeTextLabel) {
        text = WrapLabelText(QStringLiteral("Right Click to Enter Text"), WrapLength);
        font = LabelFont;
        placement = LabelPosition;
    } else {
        const TMCsystem* system = CurrentSystem(*this);
        if (system && ObjectiveInUse(*system, system->CurrentObjective))
            text = system->Objectives[size_t(system->CurrentObjective)].ObjStr;
        if (text.isEmpty())
            text = QStringLiteral("Unknown");
        font = ScaleFont;
        placement = ObjectiveLabelPosition;
    }
    text = ItalicPadded(text, font.Style & StyleItalic);
    LabelWrap = 0;
    ShowLabelBitmap(text, font.ToQFont(), ToQColor(font.Color), std::nullopt);
    ImgLabelTag = 1;
    OverlayPlacement = placement;
    const QPoint at = LabelPlacement(placement, WorkImage.size(), labelBitmap_.size());
    MoveOverlay(ImgLabel, at);
    ImgLabel->setCursor(Qt::PointingHandCursor);
    ImgLabel->show();
    ImgLabel->raise();
    ImgLabel->setToolTip(
        QStringLiteral("%1  %2 px").arg(at.x()).arg(at.y() + labelBitmap_.height()));
    MeasureMode = ModeTools;
    OverlayDragging = false;
}

void TMain::CommitLabelBitmap() {
    if (ImgLabelTag == 1 && !ImgLabel->isHidden()) {
        ImgLabel->hide();
        ImgLabel->unsetCursor();
        Foto->UpdateImageRect(CompositeOverlay(WorkImage, labelBitmap_, OverlayImagePos(ImgLabel)));
        AnnotationHistory.Add(WorkImage);
    }
    ImgLabel->hide();
    ImgLabelTag = 0;
    labelBitmap_ = QImage();
}

void TMain::EditLabelText() {
    QString text = labelBitmap_.isNull() ? ImgLabel->text() : labelText_;
    text.remove(u'\r');
    text.remove(u'\n');
    QString wrap = QString::number(LabelKind == ModeTextLabel ? WrapLength : LabelWrap);
    if (!AppFontAndTextDialogs().InputTextAndWrap(QStringLiteral("QUVAR Label"),
                                                  QStringLiteral("Enter (Modify) the Label text:"),
                                                  text, wrap))
        return;
    const std::optional<int32_t> length = ParseInteger(wrap.trimmed());
    if (!length) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("'%1' is not a valid integer value").arg(wrap),
                             MessageIcon::Error);
        return;
    }
    text = WithCopyrightSign(text);
    FontRecord font = LabelKind == ModeCopyrightLabel ? CopyrightFont
                      : LabelKind == ModeTextLabel    ? LabelFont
                                                      : ScaleFont;
    if (LabelKind == 0)
        font.Size = font.Size * 70 / 100;
    text = ItalicPadded(text, font.Style & StyleItalic);
    if (LabelKind != ModeTextLabel)
        LabelWrap = *length;
    if (*length > 0)
        text = WrapLabelText(text, *length);
    // A result label keeps its own background; the others stay transparent.
    const std::optional<QColor> background = LabelKind == 0 && !UnitTransparancy
                                                 ? std::optional<QColor>(ToQColor(UnitBackColor))
                                                 : std::nullopt;
    ShowLabelBitmap(text, font.ToQFont(), ToQColor(font.Color), background);
    MoveOverlay(ImgLabel, ClampOverlay(OverlayImagePos(ImgLabel), labelBitmap_.size(),
                                       WorkImage.size(), VisibleImageRect(), 5));
}

// ---- Dragging -------------------------------------------------------------------------

QRect TMain::VisibleImageRect() const {
    const QPoint origin = Foto->mapFrom(MeasureBox->viewport(), QPoint(0, 0));
    const QPoint topLeft =
        Foto->ImagePoint(QPointF(std::max(origin.x(), 0), std::max(origin.y(), 0)));
    return {topLeft, WorkImage.size()};
}

void TMain::PlacePosLabel(const QWidget* overlay) {
    PosLabel->adjustSize();
    int left = overlay->x() - 2 - PosLabel->width();
    if (left < 0)
        left = overlay->x() + overlay->width() + 2;
    PosLabel->move(left, overlay->y() + 3);
}

bool TMain::OverlayMouseEvent(QLabel* overlay, QEvent* event) {
    if (!IsOverlayMouseEvent(event))
        return false;
    const auto type = event->type();
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool scale = overlay == ScaleImage;
    const QPoint mousePoint = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        if (mouse->button() == Qt::RightButton && !OverlayDragging) {
            if (scale)
                RenderScaleBar();
            else
                EditLabelText();
            return true;
        }
        OverlayDragStart = mousePoint;
        OverlayDragging = true;
        PlacePosLabel(overlay);
        PosLabel->show();
        PosLabel->raise();
        return true;
    }
    const QSize image = WorkImage.size();
    const QSize size = OverlayImageSize(overlay);
    const bool centreRule = scale || OverlayPlacement < 4;
    if (type == QEvent::MouseMove) {
        if (!OverlayDragging || !(mouse->buttons() & Qt::LeftButton))
            return true;
        const QPoint before = OverlayImagePos(overlay);
        const int fromBottom = image.height() - (before.y() + size.height());
        if (scale && ScaleAsPercentage)
            PosLabel->setText(QStringLiteral("%1 %\n%2 %")
                                  .arg(100.0 * before.x() / image.width(), 0, 'f', 1)
                                  .arg(100.0 * fromBottom / image.height(), 0, 'f', 1));
        else
            PosLabel->setText(QStringLiteral("%1 px\n%2 px").arg(before.x()).arg(fromBottom));
        const int margin = scale ? (QApplication::keyboardModifiers() & Qt::ControlModifier
                                        ? 0
                                        : ScaleMargin(*this, image.height()))
                                 : 5;
        const QPoint moved = Foto->ImagePoint(overlay->mapToParent(mousePoint) - OverlayDragStart);
        const QPoint held = ClampOverlay(moved, size, image, VisibleImageRect(), margin);
        MoveOverlay(overlay, held);
        PlacePosLabel(overlay);
        if (centreRule && NearImageCentre(held.x(), size.width(), image.width())) {
            PosShape->move(overlay->pos() - QPoint(11, 11));
            PosShape->show();
            PosShape->raise();
        } else {
            PosShape->hide();
        }
        return true;
    }
    OverlayDragging = false;
    const QPoint at = OverlayImagePos(overlay);
    if (centreRule && NearImageCentre(at.x(), size.width(), image.width()))
        MoveOverlay(overlay, {(image.width() - size.width()) / 2, at.y()});
    PosShape->hide();
    PosLabel->hide();
    return true;
}
