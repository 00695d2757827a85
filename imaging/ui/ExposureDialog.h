#pragma once
// Brightness, contrast and colour correction of the image: every change is previewed on the
// work image; OK corrects the original image, Cancel gives the work image back.

#include "imaging/ExposureCorrection.h"
#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

// What the dialog works on: the measuring window's images, the Tag it sets on OK and how
// the window repaints the work image.
struct ExposureTarget {
    QImage* WorkImage = nullptr;
    QImage* OriginalImage = nullptr;
    int* ColorAdjustmentTag = nullptr;
    std::function<void()> Paint;
};

class TBCSForm : public QDialog {
public:
    explicit TBCSForm(QWidget* parent = nullptr);

    void SetTarget(ExposureTarget target) { target_ = std::move(target); }

    void FormShow();
    void ScrollBarChange();
    void OKClick();
    void CancelClick();
    void ResetClick();
    void StoreClick();
    void RecallClick();
    // Corrects a copy of the source into the work image (preview, with over-exposed pixels
    // in red when asked) or into the original image (final).
    void ApplyExposure(bool final);
    // The seven positions.
    ExposureSettings Positions() const;

    QSlider* tbBright;
    QSlider* tbContrast;
    QSlider* tbSaturation;
    QSlider* tbGamma;
    QSlider* tbRed;
    QSlider* tbGreen;
    QSlider* tbBlue;
    QCheckBox* OverExposure;
    QPushButton* OK;
    QPushButton* Cancel;
    QPushButton* Reset;
    QPushButton* Store;
    QPushButton* Recall;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::array<QSlider*, 7> Bars() const;
    // The first four with previews suspended, then red, green and blue each previewing, then
    // one preview more.
    void SetBars(const std::array<int, 7>& positions);

    ExposureTarget target_;
    QImage source_;
    QImage backup_;
    bool suspended_ = false;
    std::array<int, 7> tags_{}; // the positions "Store" remembered
};

inline TWindowOnFirstUse<TBCSForm> BCSForm;
