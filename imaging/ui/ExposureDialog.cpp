#include "ExposureDialog.h"

#include "imaging/Bitmap.h"
#include "platform/ui/FormHelpers.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

struct BarSpec {
    const char* label;
    int minimum, maximum, defaultPosition, ticks;
};
// Brightness, contrast, saturation, gamma, red, green, blue.
constexpr std::array<BarSpec, 7> Specs{{
    {"Brightness", 128, 384, 255, 16},
    {"Contrast", -100, 100, 0, 10},
    {"Saturation", 0, 512, 255, 16},
    {"Gamma", -128, 255, 0, 32},
    {"Red", -64, 64, 0, 16},
    {"Green", -64, 64, 0, 16},
    {"Blue", -64, 64, 0, 16},
}};

std::array<int, 7> Defaults() {
    std::array<int, 7> positions{};
    for (size_t i = 0; i < Specs.size(); ++i)
        positions[i] = Specs[i].defaultPosition;
    return positions;
}

} // namespace

TBCSForm::TBCSForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BCSForm"));
    setWindowTitle(QStringLiteral("QUVAR Exposure Correction"));
    SetFixedDialogBorder(this);
    setFixedSize(455, 268);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    std::array<QSlider*, 7> bars{};
    for (size_t i = 0; i < Specs.size(); ++i) {
        const BarSpec& spec = Specs[i];
        auto* bar = new QSlider(Qt::Horizontal);
        bar->setRange(spec.minimum, spec.maximum);
        bar->setValue(spec.defaultPosition);
        bar->setTickInterval(spec.ticks);
        bar->setTickPosition(QSlider::TicksBelow);
        bar->setPageStep(spec.ticks);
        auto* value = new QLabel(QString::number(spec.defaultPosition));
        value->setMinimumWidth(30);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(bar, &QSlider::valueChanged, value,
                [value](int position) { value->setText(QString::number(position)); });
        connect(bar, &QSlider::valueChanged, this, [this] { ScrollBarChange(); });
        grid->addWidget(new QLabel(QString::fromLatin1(spec.label)), int(i), 0);
        grid->addWidget(bar, int(i), 1);
        grid->addWidget(value, int(i), 2);
        bars[i] = bar;
    }
    tbBright = bars[0];
    tbContrast = bars[1];
    tbSaturation = bars[2];
    tbGamma = bars[3];
    tbRed = bars[4];
    tbGreen = bars[5];
    tbBlue = bars[6];
    tbBright->setObjectName(QStringLiteral("tbBright"));
    tbContrast->setObjectName(QStringLiteral("tbContrast"));
    tbSaturation->setObjectName(QStringLiteral("tbSaturation"));
    tbGamma->setObjectName(QStringLiteral("tbGamma"));
    tbRed->setObjectName(QStringLiteral("tbRed"));
    tbGreen->setObjectName(QStringLiteral("tbGreen"));
    tbBlue->setObjectName(QStringLiteral("tbBlue"));

    OverExposure = new QCheckBox(QStringLiteral("Show Overexposure"));
    connect(OverExposure, &QCheckBox::clicked, this, [this] { ScrollBarChange(); });
    auto makeButton = [this](const char* text, void (TBCSForm::*handler)()) {
        auto* button = new QPushButton(QString::fromLatin1(text));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    };
    OK = makeButton("OK", &TBCSForm::OKClick);
    Cancel = makeButton("Cancel", &TBCSForm::CancelClick);
    Reset = makeButton("Reset", &TBCSForm::ResetClick);
    Store = makeButton("Store", &TBCSForm::StoreClick);
    Recall = makeButton("Recall", &TBCSForm::RecallClick);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {OK, Cancel, Reset, Store, Recall})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(OverExposure);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
}

std::array<QSlider*, 7> TBCSForm::Bars() const {
    return {tbBright, tbContrast, tbSaturation, tbGamma, tbRed, tbGreen, tbBlue};
}

ExposureSettings TBCSForm::Positions() const {
    return {tbBright->value(), tbContrast->value(), tbSaturation->value(), tbGamma->value(),
            tbRed->value(),    tbGreen->value(),    tbBlue->value()};
}

void TBCSForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TBCSForm::FormShow() {
    if (target_.WorkImage) {
        source_ = ToBitmap24(*target_.WorkImage);
        backup_ = target_.WorkImage->copy();
    }
    suspended_ = true;
    const std::array<int, 7> defaults = Defaults();
    const auto bars = Bars();
    for (size_t i = 0; i < bars.size(); ++i)
        bars[i]->setValue(defaults[i]);
    suspended_ = false;
}

void TBCSForm::ScrollBarChange() {
    if (!suspended_)
        ApplyExposure(false);
}

void TBCSForm::ApplyExposure(bool final) {
    QImage* target = final ? target_.OriginalImage : target_.WorkImage;
    if (!target || source_.isNull())
        return;
    // A preview writes into the work image's own pixels once it has them: no allocation
    // per slider step.
    CorrectExposure(source_, *target, Positions(), !final && OverExposure->isChecked());
    if (target_.Paint)
        target_.Paint();
}

void TBCSForm::OKClick() {
    if (target_.ColorAdjustmentTag)
        *target_.ColorAdjustmentTag = 1;
    if (target_.OriginalImage)
        source_ = ToBitmap24(*target_.OriginalImage);
    ApplyExposure(true);
    // The preview's copy of the work image is no longer needed.
    source_ = QImage();
    backup_ = QImage();
    accept();
}

void TBCSForm::CancelClick() {
    if (target_.WorkImage && !backup_.isNull()) {
        *target_.WorkImage = backup_;
        if (target_.Paint)
            target_.Paint();
    }
    source_ = QImage();
    backup_ = QImage();
    reject();
}

void TBCSForm::SetBars(const std::array<int, 7>& positions) {
    const auto bars = Bars();
    suspended_ = true;
    for (size_t i = 0; i < 4; ++i)
        bars[i]->setValue(positions[i]);
    suspended_ = false;
    for (size_t i = 4; i < bars.size(); ++i)
        bars[i]->setValue(positions[i]);
    ApplyExposure(false);
}

void TBCSForm::ResetClick() {
    SetBars(Defaults());
}

void TBCSForm::StoreClick() {
    const auto bars = Bars();
    for (size_t i = 0; i < bars.size(); ++i)
        tags_[i] = bars[i]->value();
}

void TBCSForm::RecallClick() {
    SetBars(tags_);
}
