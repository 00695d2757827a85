// The measuring window's crop frames: the fixed-size frame from the size menus and the
// free area, drawn by inverting pixels of the work image, and the crops they make.

#include "FotoView.h"
#include "MainWindow.h"
#include "measure/Calibration.h"
#include "measure/CropFrame.h"
#include "measure/LengthFormat.h"
#include "measure/WorkImageRebuild.h"
#include "platform/Prompts.h"
#include "settings/MainSettings.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QString Caption = QStringLiteral("QUVAR");
constexpr int FramePen = 3;
constexpr int CrossHalf = 10;

bool IsImageSizeItem(const QAction* item) {
    const QString name = item->objectName();
    return name == QStringLiteral("ImageSize") || name == QStringLiteral("ImageSize2");
}

// The wheel over the image steps through the sizes while a frame follows the mouse.
class WheelSteps : public QObject {
public:
    explicit WheelSteps(TMain* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        if (window_->MeasureMode != ModeCropPixels && window_->MeasureMode != ModeCropUnits)
            return false;
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        if (delta == 0)
            return true;
        const QPoint at =
            window_->Foto->ImagePoint(window_->Foto->mapFromGlobal(wheel->globalPosition()));
        (void)watched;
        window_->FormMouseWheel(delta < 0, at);
        return true;
    }

private:
    TMain* window_;
};

} // namespace

// ---- Menus ----------------------------------------------------------------------------

void TMain::BuildCropMenus(QMenu* pixels, QMenu* units) {
    for (int tag : CropPixelTags()) {
        QAction* item = pixels->addAction(QString());
        item->setObjectName(QStringLiteral("W%1").arg(tag));
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, item] { CutSelectionClick(item); });
    }
    QAction* whole = pixels->addAction(QString());
    whole->setObjectName(QStringLiteral("ImageSize"));
    whole->setData(0);
    connect(whole, &QAction::triggered, this, [this, whole] { CutSelectionClick(whole); });
    for (int tag : CropUnitTags()) {
        QAction* item = units->addAction(QString());
        item->setObjectName(QStringLiteral("U%1").arg(tag));
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, item] { CutSelectionClick_um(item); });
    }
    SizeLabel = new QLabel(Foto);
    SizeLabel->setObjectName(QStringLiteral("SizeLabel"));
    SizeLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The image area's dark background role would give the label the light text role.
    SizeLabel->setForegroundRole(QPalette::WindowText);
    SizeLabel->setBackgroundRole(QPalette::Window);
    SizeLabel->hide();
    Foto->installEventFilter(new WheelSteps(this));
}

void TMain::UpdateCropMenuCaptions() {
    const bool width = SizeWordIsWidth(UseWidth, SizeMenusSwapped);
    if (auto* pixels = findChild<QMenu*>(QStringLiteral("CropPixelsMenu")))
        for (QAction* item : pixels->actions())
            item->setText(IsImageSizeItem(item)
                              ? SetSizeMenuWording(QStringLiteral("x of Image "), width)
                              : CropPixelCaption(item->data().toInt(), width));
    if (auto* units = findChild<QMenu*>(QStringLiteral("CropUnitsMenu")))
        for (QAction* item : units->actions())
            item->setText(
                CropSizeCaption(item->data().toInt(), LengthUnit, UseWidth, SizeMenusSwapped));
    PictureFormatClick(SelectionFormat);
}

void TMain::PictureFormatClick(int tag) {
    SelectionFormat = NormalSelectionFormat(tag);
    for (int i = 1; i <= 4; ++i)
        if (auto* item = findChild<QAction*>(QStringLiteral("PictureFormat%1").arg(i))) {
            item->setCheckable(true);
            item->setChecked(i == SelectionFormat);
        }
}

QMenu* TMain::ActiveCropMenu() const {
    return findChild<QMenu*>(MeasureMode == ModeCropUnits ? QStringLiteral("CropUnitsMenu")
                                                          : QStringLiteral("CropPixelsMenu"));
}

void TMain::ShowCropSizeMenu(bool inLengthUnits) {
    QMenu popup(this);
    popup.addAction(QStringLiteral("Clear"), QKeySequence(Qt::Key_C), this,
                    [this] { ClearClick(); });
    popup.addSeparator();
    popup.addAction(QStringLiteral("Select Free Area"), QKeySequence(Qt::Key_A), this,
                    [this] { SelectFreeAreaClick(); });
    popup.addSeparator();
    const bool width = SizeWordIsWidth(UseWidth, SizeMenusSwapped);
    if (inLengthUnits) {
        for (int tag : PopupUnitTags()) {
            QAction* item = popup.addAction(PopupUnitCaption(tag, width, LengthUnit));
            item->setData(tag);
            connect(item, &QAction::triggered, this, [this, item] { CutSelectionClick_um(item); });
        }
    } else {
        for (int tag : PopupPixelTags()) {
            QAction* item = popup.addAction(PopupPixelCaption(tag, width));
            item->setData(tag);
            connect(item, &QAction::triggered, this, [this, item] { CutSelectionClick(item); });
        }
        popup.addSeparator();
        QAction* whole = popup.addAction(PopupImageSizeCaption(OriginalImage.size(), width));
        whole->setObjectName(QStringLiteral("ImageSize2"));
        connect(whole, &QAction::triggered, this, [this, whole] { CutSelectionClick(whole); });
    }
    popup.setObjectName(QStringLiteral("CropSizePopup"));
    popup.exec(QCursor::pos());
}

// ---- Size label -----------------------------------------------------------------------

QSize TMain::StyleSizeLabel(const QString& text) {
    // Bold, transparent, black or white whatever the style's own colours are.
    const QString sheet =
        cropLabelWhite_
            ? QStringLiteral("color: white; background: transparent; font-weight: bold")
            : QStringLiteral("color: black; background: transparent; font-weight: bold");
    if (SizeLabel->styleSheet() != sheet)
        SizeLabel->setStyleSheet(sheet);
    SizeLabel->setText(text);
    SizeLabel->adjustSize();
    const QPoint far = Foto->ImagePoint(QPointF(SizeLabel->width(), SizeLabel->height()));
    const QPoint near = Foto->ImagePoint(QPointF(0, 0));
    return {far.x() - near.x(), far.y() - near.y()};
}

void TMain::ShowCropLabel(QPoint imageTopLeft) {
    SizeLabel->move(Foto->WidgetRect(QRect(imageTopLeft, QSize(1, 1))).topLeft().toPoint());
    SizeLabel->show();
    SizeLabel->raise();
}

void TMain::ToggleCropColorClick() {
    // While a scale bar floats, K switches its pen between black and white instead.
    if (!ScaleImage->isHidden()) {
        ToggleScaleColour();
        return;
    }
    cropLabelWhite_ = !cropLabelWhite_;
    if (auto* item = findChild<QAction*>(QStringLiteral("ToggleCropColor"))) {
        item->setCheckable(true);
        item->setChecked(cropLabelWhite_);
    }
    if (SizeLabel && !SizeLabel->isHidden())
        StyleSizeLabel(SizeLabel->text());
}

// ---- Fixed frame ----------------------------------------------------------------------

void TMain::ToggleFixedFrame() {
    Foto->UpdateImageRect(XorRectangle(WorkImage, {RubberBand.X1, RubberBand.Y1},
                                       {RubberBand.X2, RubberBand.Y2}, FramePen, qRgb(0, 0, 0)));
}

void TMain::CutSelectionClick(QAction* item) {
    if (OriginalImage.isNull() || OriginalImage.width() == 0 || WorkImage.width() == 0)
        return;
    BurnInPendingOverlays();
    CancelCropFrame();
    RubberBand = {-10, -10, -10, -10};
    SizeLabel->hide();
    const QSize original = OriginalImage.size();
    const bool width = SizeWordIsWidth(UseWidth, SizeMenusSwapped);
    int tag = item->data().toInt();
    QSize crop;
    if (IsImageSizeItem(item)) {
        crop = ImageSizeCrop(original, SelectionFormat, SizeMenusSwapped);
        tag = width ? crop.width() : crop.height();
        item->setData(tag);
        if (auto* whole = findChild<QAction*>(QStringLiteral("ImageSize")))
            whole->setData(tag);
    } else {
        crop = PixelCropSize(tag, SelectionFormat, UseWidth, SizeMenusSwapped);
        if (crop.width() > original.width() || crop.height() > original.height()) {
            AppPrompts().Message(Caption, PixelCropRefusal(crop), MessageIcon::Information);
            return;
        }
    }
    const double s = double(original.width()) / WorkImage.width();
    CropSize = crop;
    CropFrameSize = {RoundEven(crop.width() / s), RoundEven(crop.height() / s)};
    Foto->setCursor(Qt::CrossCursor);
    CropFrameActive = true;
    MeasureMode = ModeCropPixels;
    StyleSizeLabel(PixelFrameLabel(*this, crop, EffectiveCalibration(*this).MicrometresPerPixel,
                                   WorkImage.width(), original.width()));
    SizeLabel->setProperty("Tag", tag);
    // Its Tag may equal a menu size (an image 2048 wide): Q swaps the image-size frame.
    SizeLabel->setProperty("ImageSizeItem", IsImageSizeItem(item));
}

void TMain::CutSelectionClick_um(QAction* item) {
    if (OriginalImage.isNull() || OriginalImage.width() == 0 || WorkImage.width() == 0)
        return;
    BurnInPendingOverlays();
    CancelCropFrame();
    RubberBand = {-10, -10, -10, -10};
    SizeLabel->hide();
    const double c = EffectiveCalibration(*this).MicrometresPerPixel;
    if (IsUncalibrated(c)) {
        AppPrompts().Message(Caption, CalibrateFirstText, MessageIcon::Information);
        return;
    }
    const QSize original = OriginalImage.size();
    const double s = double(original.width()) / WorkImage.width();
    const int tag = item->data().toInt();
    const UnitCropResult size = UnitCropSize(tag, LengthUnit, ToLengthUnit(c, LengthUnit), s,
                                             SelectionFormat, UseWidth, SizeMenusSwapped);
    if (size.Crop.width() < 1 || size.Crop.height() < 1 || size.Crop.width() > original.width() ||
        size.Crop.height() > original.height()) {
        AppPrompts().Message(Caption, UnitCropRefusal(size, LengthUnit), MessageIcon::Information);
        return;
    }
    CropSize = size.Crop;
    CropFrameSize = size.Frame;
    Foto->setCursor(Qt::CrossCursor);
    CropFrameActive = true;
    MeasureMode = ModeCropUnits;
    StyleSizeLabel(UnitFrameLabel(*this, size.Frame, size.Width, size.Height));
    SizeLabel->setProperty("Tag", tag);
}

void TMain::DrawCropFrame(int x, int y) {
    if (!CropFrameActive)
        return;
    Busy = true;
    if (fixedFrameDrawn_)
        ToggleFixedFrame();
    RubberBand = PlaceCropFrame({x, y}, CropFrameSize, WorkImage.size());
    ToggleFixedFrame();
    fixedFrameDrawn_ = true;
    const QSize label = StyleSizeLabel(SizeLabel->text());
    const int cx = RubberBand.X1 + CropFrameSize.width() / 2;
    const int cy = RubberBand.Y1 + CropFrameSize.height() / 2;
    int bottom = cy - 15;
    if (CropFrameSize.width() < label.width() + 60)
        bottom = RubberBand.Y1 - 15;
    ShowCropLabel({cx - label.width() / 2, bottom - label.height()});
    Busy = false;
}

void TMain::MoveCropFrame(int X, int Y) {
    if (MeasureMode == ModeCropPixels || MeasureMode == ModeCropUnits) {
        DrawCropFrame(X, Y);
        return;
    }
    if (MeasureMode != ModeFreeArea)
        return;
    if (FreeAreaDrawing) {
        if (MouseIsDown)
            DrawBand(XorShape::Rectangle, {RubberBand.X1, RubberBand.Y1}, {X, Y});
        return;
    }
    if (!freeFrameDrawn_)
        return;
    if (FreeAreaDragging) {
        ToggleFreeFrame();
        DragCropFrame(CropFrame, {X, Y}, WorkImage.size(),
                      QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier);
        ToggleFreeFrame();
        if (CropFrame.Zone == ZoneNone)
            FreeAreaDragging = false;
        ShowFreeAreaSize();
    } else {
        Foto->setCursor(CursorForZone(CropFrameHitTest(CropFrame, {X, Y})));
    }
}

void TMain::ExecuteCrop() {
    if (!CropFrameActive)
        return;
    SizeLabel->hide();
    if (fixedFrameDrawn_)
        ToggleFixedFrame();
    fixedFrameDrawn_ = false;
    CropFrameActive = false;
    MeasureMode = ModeTools;
    const double s = double(OriginalImage.width()) / WorkImage.width();
    const QRect source =
        CropSourceRect(RubberBand, s, CropSize, OriginalImage.size(), WorkImage.size());
    OriginalImage = OriginalImage.copy(source);
    // The newest entry is the original as it is now, so that undo steps back one crop.
    CropHistory.Add(OriginalImage);
    SetMCLabelWarning(false);
    Foto->unsetCursor();
    if (ImageState == ImageFreshCapture)
        CurrentFileName = MakeAutoFileName(0);
    Display(CurrentFileName);
    FormUpdate(RebuildAfterCrop);
}

void TMain::FormMouseWheel(bool down, QPoint imagePoint) {
    if (Busy || (MeasureMode != ModeCropPixels && MeasureMode != ModeCropUnits))
        return;
    QMenu* menu = ActiveCropMenu();
    if (!menu)
        return;
    const QList<QAction*> items = menu->actions();
    const int current = SizeLabel->property("Tag").toInt();
    const bool pixels = MeasureMode == ModeCropPixels;
    const QSize original = OriginalImage.size();
    const auto fits = [&](const QAction* item) {
        if (pixels) {
            if (IsImageSizeItem(item))
                return true;
            const QSize crop =
                PixelCropSize(item->data().toInt(), SelectionFormat, UseWidth, SizeMenusSwapped);
            return crop.width() <= original.width() && crop.height() <= original.height();
        }
        const double c = ToLengthUnit(EffectiveCalibration(*this).MicrometresPerPixel, LengthUnit);
        const UnitCropResult size = UnitCropSize(item->data().toInt(), LengthUnit, c,
                                                 double(original.width()) / WorkImage.width(),
                                                 SelectionFormat, UseWidth, SizeMenusSwapped);
        return size.Crop.width() >= 1 && size.Crop.height() >= 1 &&
               size.Crop.width() <= original.width() && size.Crop.height() <= original.height();
    };
    QAction* next = nullptr;
    if (down) {
        int at = -1;
        for (int i = 0; i < items.size() && at < 0; ++i)
            if (pixels ? items[i]->data().toInt() >= current : items[i]->data().toInt() == current)
                at = i;
        if (at < 0 || at + 1 >= items.size())
            return;
        next = items[at + 1];
        if (!fits(next)) {
            if (!pixels)
                return;
            next = items.back();
        }
    } else {
        for (int i = 0; i < items.size(); ++i) {
            const int tag = items[i]->data().toInt();
            if (pixels && tag > 0 && tag < current)
                next = items[i];
            if (!pixels && tag == current && i > 0) {
                next = items[i - 1];
                break;
            }
        }
        if (!next)
            return;
    }
    CancelCropFrame();
    if (pixels)
        CutSelectionClick(next);
    else
        CutSelectionClick_um(next);
    DrawCropFrame(imagePoint.x(), imagePoint.y());
}

void TMain::SwapCropOrientation() {
    if (MeasureMode != ModeCropPixels && MeasureMode != ModeCropUnits)
        return;
    SizeMenusSwapped = !SizeMenusSwapped;
    UpdateCropMenuCaptions();
    QMenu* menu = ActiveCropMenu();
    const int current = SizeLabel->property("Tag").toInt();
    const bool pixels = MeasureMode == ModeCropPixels;
    const bool wholeImage = pixels && SizeLabel->property("ImageSizeItem").toBool();
    QAction* found = nullptr;
    for (QAction* item : menu->actions())
        if (wholeImage ? IsImageSizeItem(item) : item->data().toInt() == current) {
            found = item;
            break;
        }
    if (!found)
        return;
    const int x = (RubberBand.X1 + RubberBand.X2) / 2;
    const int y = (RubberBand.Y1 + RubberBand.Y2) / 2;
    CancelCropFrame();
    if (pixels)
        CutSelectionClick(found);
    else
        CutSelectionClick_um(found);
    DrawCropFrame(x, y);
}

void TMain::CancelCropFrame() {
    if (SizeLabel)
        SizeLabel->hide();
    if (MeasureMode == ModeCropPixels || MeasureMode == ModeCropUnits) {
        if (fixedFrameDrawn_)
            ToggleFixedFrame();
        fixedFrameDrawn_ = false;
        CropFrameActive = false;
        MeasureMode = ModeTools;
        Foto->unsetCursor();
    } else if (MeasureMode == ModeFreeArea) {
        // The frame goes as it came; annotations and floating overlays stay.
        if (freeFrameDrawn_)
            ToggleFreeFrame();
        freeFrameDrawn_ = false;
        FreeAreaDragging = false;
        FreeAreaDrawing = false;
        CropFrame.Zone = ZoneNone;
        MeasureMode = ModeTools;
        Foto->unsetCursor();
    }
}

// ---- Free area ------------------------------------------------------------------------

void TMain::ToggleFreeFrame() {
    const QRgb white = qRgb(255, 255, 255);
    QRect changed = XorRectangle(WorkImage, {CropFrame.Left, CropFrame.Top},
                                 {CropFrame.Right, CropFrame.Bottom}, FramePen, white);
    changed |= XorLine(WorkImage, {CropFrame.CentreX - CrossHalf, CropFrame.CentreY},
                       {CropFrame.CentreX + CrossHalf, CropFrame.CentreY}, FramePen, white);
    changed |= XorLine(WorkImage, {CropFrame.CentreX, CropFrame.CentreY - CrossHalf},
                       {CropFrame.CentreX, CropFrame.CentreY + CrossHalf}, FramePen, white);
    Foto->UpdateImageRect(changed);
}

void TMain::SelectFreeAreaClick() {
    if (WorkImage.width() == 0) {
        AppPrompts().Message(Caption, QStringLiteral("No image available"),
                             MessageIcon::Information);
        return;
    }
    CancelMode();
    MeasureMode = ModeFreeArea;
    Foto->setCursor(Qt::SizeAllCursor);
    FreeAreaDrawing = true;
}

void TMain::StartFreeArea(int X, int Y) {
    if (FreeAreaDrawing) {
        EraseBand();
        MouseIsDown = true;
        RubberBand = {X, Y, X, Y};
        return;
    }
    FreeAreaDragging = freeFrameDrawn_ && CropFrame.Zone != ZoneNone;
}

void TMain::StartFreeAreaFrame() {
    if (!FreeAreaDrawing)
        return;
    FreeAreaDrawing = false;
    if (freeFrameDrawn_)
        ToggleFreeFrame();
    // A drag that ran past the image's edges ends at them, as a dragged frame does: the
    // label then states the size that the crop takes.
    const auto inside = [this](int x, int y) {
        return QPoint(std::clamp(x, 0, WorkImage.width()), std::clamp(y, 0, WorkImage.height()));
    };
    CropFrame =
        StartCropFrame(inside(RubberBand.X1, RubberBand.Y1), inside(RubberBand.X2, RubberBand.Y2),
                       double(OriginalImage.width()) / WorkImage.width());
    ToggleFreeFrame();
    freeFrameDrawn_ = true;
    ShowFreeAreaSize();
}

void TMain::KeyResizeCropFrame(int key, double step) {
    if (MeasureMode != ModeFreeArea || !freeFrameDrawn_)
        return;
    ToggleFreeFrame();
    ::KeyResizeCropFrame(CropFrame, key, step);
    ToggleFreeFrame();
}

void TMain::ShowFreeAreaSize() {
    if (MeasureMode != ModeFreeArea || !freeFrameDrawn_)
        return;
    const QSize label = StyleSizeLabel(FreeAreaLabel(
        *this, FreeAreaPixelSize(CropFrame), EffectiveCalibration(*this).MicrometresPerPixel,
        WorkImage.width(), OriginalImage.width()));
    ShowCropLabel({(CropFrame.Left + CropFrame.Right - label.width()) / 2,
                   (CropFrame.Top + CropFrame.Bottom - label.height()) / 2 - label.height()});
}

void TMain::CropToFreeArea() {
    if (MeasureMode != ModeFreeArea || !freeFrameDrawn_)
        return;
    const std::optional<QRect> source = FreeAreaSourceRect(CropFrame, OriginalImage.size());
    if (!source) {
        AppPrompts().Message(Caption, QStringLiteral("The area is smaller than one pixel"),
                             MessageIcon::Information);
        return;
    }
    SizeLabel->hide();
    ToggleFreeFrame();
    freeFrameDrawn_ = false;
    OriginalImage = OriginalImage.copy(*source);
    // The newest entry is the original as it is now, so that undo steps back one crop.
    CropHistory.Add(OriginalImage);
    MeasureMode = ModeTools;
    FreeAreaDragging = false;
    CropFrame.Zone = ZoneNone;
    Foto->unsetCursor();
    FormUpdate(RebuildCropCancelled);
}
