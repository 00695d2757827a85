#pragma once
// The device dialogs of the capture control: "Video Source Settings" (the camera's own
// controls) and "Video Format Settings" (pixel format, size and frame rate).

#include "capture/CaptureFormats.h"
#include "capture/V4l2Controls.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;

// One editor per control; a change is sent to the camera at once, and the controls are
// read again afterwards, since one control can switch others on or off (automatic
// exposure greys out the exposure time).
class TVideoSourceDialog : public QDialog {
public:
    using Reader = std::function<std::vector<V4l2Control>()>;
    using Writer = std::function<bool(uint32_t id, int value)>;
    TVideoSourceDialog(Reader read, Writer write, QWidget* parent = nullptr);

    // The editor of the control with this driver name, or null.
    QWidget* Editor(const QString& name) const;
    // Every control back to the driver's default.
    void DefaultsClick();

private:
    void Rebuild();
    void Set(const V4l2Control& control, int value);

    Reader read_;
    Writer write_;
    std::vector<V4l2Control> controls_;
    QWidget* form_ = nullptr;
    bool rebuilding_ = false;
};

// Shows the source settings of the device node modally.
void ShowVideoSourceSettings(QWidget* parent, const QString& devicePath);

// The rates offered in the rate box for a capability: the usual rates within its range,
// and the range's own ends; only those the capture control keeps (1 to 50).
std::vector<double> OfferedFrameRates(const TVideoFormatInfo& capability);

class TVideoFormatDialog : public QDialog {
public:
    TVideoFormatDialog(std::vector<TVideoFormatInfo> capabilities, int current, double currentRate,
                       QWidget* parent = nullptr);

    QComboBox* FormatBox;
    QComboBox* SizeBox;
    QComboBox* RateBox;

    // The capability of the chosen format and size (nullopt when none is chosen).
    std::optional<int> ChosenCapability() const;
    double ChosenFrameRate() const;

private:
    void FillSizes(int preferredCapability);
    void FillRates(double preferredRate);

    std::vector<TVideoFormatInfo> capabilities_;
};
