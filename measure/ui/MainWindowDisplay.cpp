// The measuring window's image display and the edits that act on the whole image.

#include "FotoView.h"
#include "MainWindow.h"
#include "measure/DisplaySizes.h"
#include "measure/WorkImageRebuild.h"
#include "platform/Prompts.h"
#include "settings/SettingsUtilities.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// Keeps the scroll position of the image area across a rebuild.
class ScrollKeeper {
public:
    explicit ScrollKeeper(QScrollArea* area)
        : area_(area), x_(area->horizontalScrollBar()->value()),
          y_(area->verticalScrollBar()->value()) {}
    void Restore() const {
        area_->horizontalScrollBar()->setValue(x_);
        area_->verticalScrollBar()->setValue(y_);
    }

private:
    QScrollArea* area_;
    int x_, y_;
};

} // namespace

QSize TMain::ImageAreaSize() const {
    // The area as with the scroll bars off: the viewport shrinks while they show, and
    // "Fit to Window" must give one size for one window size.
    return MeasureBox->contentsRect().size();
}

void TMain::UpdateResizeMenuCaptions() {
    ImgWidthLabel->setText(ImgWidthLabelCaption(UseWidth));
    for (int i = FotoSizeFitToWindow + 1; i < FotoSize->count(); ++i)
        FotoSize->setItemText(i, ResizeItemCaption(FotoSize->itemText(i), UseWidth));
    FotoSize->setCurrentIndex(0);
}

void TMain::ApplySizeWording() {
    UpdateResizeMenuCaptions();
    CaptureWidth->setText(
        UseWidth ? QStringLiteral("Set Current Image Width as Capture Display Width")
                 : QStringLiteral("Set Current Image Height as Capture Display Height"));
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    CaptureWidthLabel->setText(QStringLiteral("Capture: ") + FotoSize->currentText());
}

void TMain::CancelMode() {
    // Bands and frames drawn by inverting pixels must be gone before the work image is
    // rebuilt, stepped back or copied, and a drag in progress ends with them.
    EraseBand();
    MouseIsDown = false;
    MLabel->hide();
    CancelCropFrame();
    if (cancelDrawing_)
        cancelDrawing_();
}

void TMain::BurnInPendingOverlays() {
    // A floating label or scale bar becomes part of the work image.
    CommitLabel();
    if (burnInOverlays_)
        burnInOverlays_();
}

void TMain::DiscardPendingOverlays() {
    DiscardLabel();
    if (discardOverlays_)
        discardOverlays_();
}

void TMain::FormUpdate(int mode) {
    CancelMode();
    DiscardPendingOverlays();
    if (OriginalImage.isNull())
        return;
    OrgSizeLabel->setText(QStringLiteral("Original Size = %1x%2")
                              .arg(OriginalImage.width())
                              .arg(OriginalImage.height()));
    if (!RebuildWorkImage(*this, mode, FotoSize->currentIndex(), ImageAreaSize()))
        return;
    ImageSizeTag = WorkImage.width();
    ShowCalibration();
    CurrentSizeLabel->setText(
        QStringLiteral("Current Size = %1x%2").arg(WorkImage.width()).arg(WorkImage.height()));
    // Arrow keys then move nothing in the size box.
    if (isVisible())
        CalibrationBox->setFocus();
    Foto->FitToImage();
    Foto->ImageChanged();
}

void TMain::ClearClick() {
    const ScrollKeeper scroll(MeasureBox);
    FormUpdate(RebuildRedraw);
    scroll.Restore();
}

void TMain::ResizeImageClick() {
    if (WarningOnResize)
        WarningOnResize = !WarnWithDontShowAgain(
            QStringLiteral("All measurements will be lost on resize!\n\rFirst set the right "
                           "size, then perform measurements\n\rNOTE: The image will be saved "
                           "in this format"));
    FormUpdate(RebuildRedraw);
}

void TMain::Copy1Click() {
    CancelMode();
    BurnInPendingOverlays();
    if (!WorkImage.isNull())
        QApplication::clipboard()->setImage(WorkImage);
}

void TMain::Paste1Click() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasImage())
        return;
    const QImage picture = qvariant_cast<QImage>(data->imageData());
    if (picture.isNull())
        return;
    CancelMode();
    OriginalImage = picture.convertToFormat(QImage::Format_BGR888);
    UnknownSystemClick();
    WorkImage = OriginalImage.copy();
    FotoSize->setCurrentIndex(std::clamp(CaptureImageSize, 0, FotoSize->count() - 1));
    NamePastedImage();
    const TMCsystem& system = MCSystems[CurrentMCSystem];
    CaptureWidthRatio = double(system.CaptureWidth) / OriginalImage.width();
    RefillSystemComment();
    FormUpdate(RebuildNewImage);
}

void TMain::Rotate90Click() {
    if (OriginalImage.isNull())
        return;
    CancelMode();
    RotateOriginalRight(*this);
    FormUpdate(RebuildRedraw);
}

void TMain::Rotate270Click() {
    if (OriginalImage.isNull())
        return;
    CancelMode();
    RotateOriginalLeft(*this);
    FormUpdate(RebuildRedraw);
}

void TMain::ExposureCorrectionClick() {
    if (WorkImage.isNull()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("No image available"),
                             MessageIcon::Information);
        return;
    }
    CancelMode();
    ColorAdjustmentTag = 0;
    ExposureImage = OriginalImage.copy();
    // Shared, not copied: a preview writes into the work image's own pixels.
    const QImage before = WorkImage;
    // Without a dialog the rebuild would only throw the annotations away.
    if (!RunExposureDialog())
        return;
    if (ColorAdjustmentTag != 1) {
        // Nothing was corrected: the annotations, burnt in or floating, stay, whichever
        // way the dialog was left; a rebuild from the original would lose them for good.
        WorkImage = before;
        Foto->ImageChanged();
        return;
    }
    CropHistory.Add(OriginalImage);
    FormUpdate(RebuildAfterExposure);
}

void TMain::FixImageClick() {
    if (MeasureMode != ModeTools || OriginalImage.isNull())
        return;
    CancelMode();
    BurnInPendingOverlays();
    MakeWorkImagePermanent(*this, CalibrationForDisplay());
    ImageObjective = MCSystems[CurrentMCSystem].CurrentObjective;
    FotoSize->setCurrentIndex(0);
    FormUpdate(RebuildNewImage);
}

void TMain::Undo1Click() {
    const ScrollKeeper scroll(MeasureBox);
    CancelMode();
    BurnInPendingOverlays();
    UndoAnnotation(*this);
    Foto->FitToImage();
    Foto->ImageChanged();
    scroll.Restore();
}

void TMain::Redo1Click() {
    CancelMode();
    BurnInPendingOverlays();
    RedoAnnotation(*this);
    Foto->FitToImage();
    Foto->ImageChanged();
}

void TMain::UndoSelectArea1Click() {
    CancelMode();
    if (UndoCropOrExposure(*this))
        FormUpdate(RebuildRedraw);
}
