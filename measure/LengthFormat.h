#pragma once
// Measured values for display. Lengths are held in micrometres and converted to the
// user's unit ("µm", "mm" or "mil") only here.

#include "measure/MainFields.h"

#include <QString>

// Micrometres in the unit: / 1000 for "mm", / 25.4 for "mil", unchanged otherwise.
double ToLengthUnit(double micrometres, const QString& unit);

// Fixed-point text with decimals by magnitude, after rounding to 4 significant digits (6
// above 1000; halves to even at both roundings): "XX" up to 0.001 (every negative value too), 4
// decimals up to 0.01, 3 up to 0.1, 2 up to 5, 1 up to 50, none above; exponent form when the
// integer part needs more digits than kept (1234567 gives 1.23457E6).
QString FormatMeasureValue(double value);
// Micrometres converted to the unit, without unit text.
QString FormatLength(const TMainFields& Main, double micrometres);
// Micrometres converted to the unit, " " + unit appended when AddUnit is set.
QString FormatLengthWithUnit(const TMainFields& Main, double micrometres);
// A value already in the unit, " " + unit appended when AddUnit is set.
QString FormatValueWithUnit(const TMainFields& Main, double value);

// The calibration display: the edit `Calibration`, the label `CalLabel` and whether the
// label `NotCalibrated` shows (reading NotCalibratedText) or is hidden.
struct CalibrationDisplay {
    QString Text;      // 6 decimals after rounding to 4 significant digits, halves to even
    QString UnitLabel; // "mm/pixel"
    bool NotCalibrated = false;
};
CalibrationDisplay ShowCalibration(const TMainFields& Main, double micrometresPerPixel);

// The two readings of the label `NotCalibrated`.
QString NotCalibratedText();  // "Not Calibrated!"
QString EstimateNoticeText(); // "Est. Calibration Value"
