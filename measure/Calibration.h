#pragma once
// The effective calibration of the image on display and the two-point calibration of the
// current objective.

#include "measure/MainFields.h"
#include "measure/ObjectivePanel.h"

// What the label `NotCalibrated` does.
enum class CalibrationNotice {
    Unchanged,     // no work image: leave it
    Hidden,        // calibrated (measured)
    NotCalibrated, // shown reading "Not Calibrated!"
    Estimate,      // shown reading "Est. Calibration Value"
};

struct EffectiveCalibrationResult {
    double MicrometresPerPixel = 0; // per work-image pixel; 0 when not calibrated
    CalibrationNotice Notice = CalibrationNotice::Unchanged;
};

// Micrometres per work-image pixel. An image calibrated from its comment (state 3) scales
// the comment's value to the display and by the chosen objective against the image's
// own; every other state scales the objective's value from the capture width. An image
// whose own objective is uncalibrated or no objective in use counts as not calibrated.
EffectiveCalibrationResult EffectiveCalibration(const TMainFields& Main);

// The user chose the Calibrate tool. NoImage: "No image available" was shown. Declined:
// the objective holds a measured value and the user would not change it; the window
// releases Calibrate and presses Measure.
enum class CalibrateChoice { NoImage, Proceed, Declined };
CalibrateChoice CalibrateClick(const TMainFields& Main);

// Calibrates the current objective from two points pixelLength work-image pixels apart:
// asks the real distance in the length unit ("Calibration" input box), stores the value
// at the system's capture width (the image's width for a system without one), gives the
// system's uncalibrated objectives estimates, lays out the panel through view and writes
// the calibration file. True when a value was stored; the window then hides
// `NotCalibrated` and makes Measure the active tool. A distance below 3 pixels, Cancel
// and a refused input change nothing.
bool CalibrateByTwoPoints(TMainFields& Main, double pixelLength, McPanelView& view);
