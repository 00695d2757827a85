#include "DeviceDialogs.h"

#include "capture/VideoCapture.h"
#include "platform/NumberFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

TVideoSourceDialog::TVideoSourceDialog(Reader read, Writer write, QWidget* parent)
    : QDialog(parent), read_(std::move(read)), write_(std::move(write)) {
    setWindowTitle(QStringLiteral("Video Source Settings"));
    auto* layout = new QVBoxLayout(this);
    form_ = new QWidget(this);
    layout->addWidget(form_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* defaults =
        buttons->addButton(QStringLiteral("Defaults"), QDialogButtonBox::ResetRole);
    connect(defaults, &QPushButton::clicked, this, [this] { DefaultsClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    controls_ = read_();
    Rebuild();
}

QWidget* TVideoSourceDialog::Editor(const QString& name) const {
    return form_->findChild<QWidget*>(name);
}

void TVideoSourceDialog::DefaultsClick() {
    for (const V4l2Control& control : controls_)
        if (control.kind != V4l2Control::Kind::Button && !control.readOnly)
            write_(control.id, control.defaultValue);
    controls_ = read_();
    Rebuild();
}

void TVideoSourceDialog::Set(const V4l2Control& control, int value) {
    if (rebuilding_)
        return;
    write_(control.id, value);
    // Read back: the driver may round the value or switch other controls on or off.
    controls_ = read_();
    Rebuild();
}

void TVideoSourceDialog::Rebuild() {
    rebuilding_ = true;
    delete form_->layout();
    for (QWidget* child : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child; // now, so Editor() never finds a stale one
    auto* form = new QFormLayout(form_);
    if (controls_.empty())
        form->addRow(new QLabel(QStringLiteral("The camera offers no settings."), form_));
    for (const V4l2Control& control : controls_) {
        QWidget* editor = nullptr;
        switch (control.kind) {
        case V4l2Control::Kind::Integer: {
            auto* row = new QWidget(form_);
            auto* rowLayout = new QHBoxLayout(row);
            rowLayout->setContentsMargins(0, 0, 0, 0);
            auto* slider = new QSlider(Qt::Horizontal, row);
            auto* spin = new QSpinBox(row);
            slider->setRange(control.minimum, control.maximum);
            spin->setRange(control.minimum, control.maximum);
            slider->setSingleStep(std::max(1, control.step));
            spin->setSingleStep(std::max(1, control.step));
            slider->setValue(control.value);
            spin->setValue(control.value);
            slider->setMinimumWidth(220);
            rowLayout->addWidget(slider, 1);
            rowLayout->addWidget(spin);
            connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
            // A drag is sent when released, not for every step on the way; the rebuild
            // that follows a change runs after the signal, never inside it.
            auto send = [this, control](int value) {
                if (value != control.value)
                    QMetaObject::invokeMethod(
                        this, [this, control, value] { Set(control, value); },
                        Qt::QueuedConnection);
            };
            connect(slider, &QSlider::sliderReleased, this,
                    [send, slider] { send(slider->value()); });
            connect(spin, &QSpinBox::valueChanged, this, [send, slider](int value) {
                if (!slider->isSliderDown())
                    send(value);
            });
            editor = row;
            break;
        }
        case V4l2Control::Kind::Boolean: {
            auto* box = new QCheckBox(form_);
            box->setChecked(control.value != 0);
            connect(box, &QCheckBox::toggled, this, [this, control](bool on) {
                QMetaObject::invokeMethod(
                    this, [this, control, on] { Set(control, on ? 1 : 0); }, Qt::QueuedConnection);
            });
            editor = box;
            break;
        }
        case V4l2Control::Kind::Menu: {
            auto* box = new QComboBox(form_);
            for (int i = 0; i < control.menuItems.size(); ++i)
                if (!control.menuItems[i].isEmpty())
                    box->addItem(control.menuItems[i], control.minimum + i);
            box->setCurrentIndex(box->findData(control.value));
            connect(box, &QComboBox::activated, this, [this, control, box](int index) {
                const int value = box->itemData(index).toInt();
                QMetaObject::invokeMethod(
                    this, [this, control, value] { Set(control, value); }, Qt::QueuedConnection);
            });
            editor = box;
            break;
        }
        case V4l2Control::Kind::Button: {
            auto* button = new QPushButton(control.name, form_);
            connect(button, &QPushButton::clicked, this, [this, control] {
                QMetaObject::invokeMethod(
                    this, [this, control] { Set(control, 1); }, Qt::QueuedConnection);
            });
            editor = button;
            break;
        }
        }
        editor->setObjectName(control.name);
        editor->setEnabled(!control.readOnly && !control.inactive);
        form->addRow(control.kind == V4l2Control::Kind::Button ? QString() : control.name + ":",
                     editor);
    }
    rebuilding_ = false;
}

void ShowVideoSourceSettings(QWidget* parent, const QString& devicePath) {
    TVideoSourceDialog dialog(
        [devicePath] { return ReadV4l2Controls(devicePath); },
        [devicePath](uint32_t id, int value) { return SetV4l2Control(devicePath, id, value); },
        parent);
    dialog.exec();
}

std::vector<double> OfferedFrameRates(const TVideoFormatInfo& capability) {
    const double low = capability.MinFrameRate > 0 ? capability.MinFrameRate : capability.FrameRate;
    const double high = std::max(capability.MaxFrameRate, capability.FrameRate);
    std::vector<double> rates;
    if (high <= 0)
        return rates;
    rates.push_back(low);
    for (double rate : {5.0, 7.5, 10.0, 15.0, 20.0, 25.0, 30.0, 50.0, 60.0})
        if (rate > low && rate < high)
            rates.push_back(rate);
    if (high > low)
        rates.push_back(high);
    // Another rate would be stored as 25 by the control, not as the rate chosen.
    std::erase_if(rates, [](double rate) {
        return rate < TVideoCapture::MinFrameRate || rate > TVideoCapture::MaxFrameRate;
    });
    return rates;
}

namespace {
QString SizeText(const TVideoFormatInfo& format) {
    return QStringLiteral("%1 x %2").arg(format.Width).arg(format.Height);
}
} // namespace

TVideoFormatDialog::TVideoFormatDialog(std::vector<TVideoFormatInfo> capabilities, int current,
                                       double currentRate, QWidget* parent)
    : QDialog(parent), capabilities_(std::move(capabilities)) {
    setWindowTitle(QStringLiteral("Video Format Settings"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    FormatBox = new QComboBox(this);
    SizeBox = new QComboBox(this);
    RateBox = new QComboBox(this);
    form->addRow(QStringLiteral("Format:"), FormatBox);
    form->addRow(QStringLiteral("Size:"), SizeBox);
    form->addRow(QStringLiteral("Frames per second:"), RateBox);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    for (const TVideoFormatInfo& format : capabilities_)
        if (FormatBox->findText(format.SubType) < 0)
            FormatBox->addItem(format.SubType);
    if (current >= 0 && current < int(capabilities_.size()))
        FormatBox->setCurrentIndex(FormatBox->findText(capabilities_[size_t(current)].SubType));
    FillSizes(current);
    FillRates(currentRate);
    connect(FormatBox, &QComboBox::currentIndexChanged, this, [this] {
        // Keep the size when the new format offers it too.
        const QString size = SizeBox->currentText();
        FillSizes(-1);
        const int index = SizeBox->findText(size);
        if (index >= 0)
            SizeBox->setCurrentIndex(index);
        FillRates(ChosenFrameRate());
    });
    connect(SizeBox, &QComboBox::currentIndexChanged, this,
            [this] { FillRates(ChosenFrameRate()); });
}

void TVideoFormatDialog::FillSizes(int preferredCapability) {
    const QSignalBlocker block(SizeBox);
    SizeBox->clear();
    const QString subType = FormatBox->currentText();
    for (int i = 0; i < int(capabilities_.size()); ++i) {
        const TVideoFormatInfo& format = capabilities_[size_t(i)];
        if (format.SubType == subType && SizeBox->findText(SizeText(format)) < 0)
            SizeBox->addItem(SizeText(format), i);
    }
    const int index = SizeBox->findData(preferredCapability);
    SizeBox->setCurrentIndex(index >= 0 ? index : 0);
}

void TVideoFormatDialog::FillRates(double preferredRate) {
    const QSignalBlocker block(RateBox);
    RateBox->clear();
    const auto chosen = ChosenCapability();
    if (!chosen)
        return;
    int preferred = -1;
    for (double rate : OfferedFrameRates(capabilities_[size_t(*chosen)])) {
        if (std::abs(rate - preferredRate) < 1e-6)
            preferred = RateBox->count();
        RateBox->addItem(FormatGeneral(rate), rate);
    }
    RateBox->setCurrentIndex(preferred >= 0 ? preferred : RateBox->count() - 1);
}

std::optional<int> TVideoFormatDialog::ChosenCapability() const {
    if (SizeBox->currentIndex() < 0)
        return std::nullopt;
    return SizeBox->currentData().toInt();
}

double TVideoFormatDialog::ChosenFrameRate() const {
    return RateBox->currentIndex() < 0 ? 0 : RateBox->currentData().toDouble();
}
