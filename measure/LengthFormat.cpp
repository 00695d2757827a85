#include "LengthFormat.h"

#include "imaging/ImageComment.h"

#include <cmath>

double ToLengthUnit(double micrometres, const QString& unit) {
    if (unit == QStringLiteral("mm"))
        return micrometres / 1000;
    if (unit == QStringLiteral("mil"))
        return micrometres / 25.4;
    return micrometres;
}

QString FormatMeasureValue(double value) {
    if (!(value > 0.001) || !std::isfinite(value))
        return QStringLiteral("XX");
    const int decimals = value <= 0.01  ? 4
                         : value <= 0.1 ? 3
                         : value <= 5   ? 2
                         : value <= 50  ? 1
                                        : 0;
    const int significant = value > 1000 ? 6 : 4;
    // Display texts take halves to even, as every rounding the program shows.
    const DecimalNumber rounded =
        RoundSignificant(ToDecimal(value), significant, HalfRounding::ToEven);
    if (rounded.exponent + 1 > significant)
        return ExponentText(rounded);
    return FixedText(RoundDecimals(rounded, decimals, HalfRounding::ToEven), decimals);
}

QString FormatLength(const TMainFields& Main, double micrometres) {
    return FormatMeasureValue(ToLengthUnit(micrometres, Main.LengthUnit));
}

QString FormatLengthWithUnit(const TMainFields& Main, double micrometres) {
    return FormatValueWithUnit(Main, ToLengthUnit(micrometres, Main.LengthUnit));
}

QString FormatValueWithUnit(const TMainFields& Main, double value) {
    QString text = FormatMeasureValue(value);
    if (Main.AddUnit)
        text += QStringLiteral(" ") + Main.LengthUnit;
    return text;
}

CalibrationDisplay ShowCalibration(const TMainFields& Main, double micrometresPerPixel) {
    const double converted = ToLengthUnit(micrometresPerPixel, Main.LengthUnit);
    CalibrationDisplay display;
    display.Text = std::isfinite(converted)
                       ? FixedText(RoundDecimals(RoundSignificant(ToDecimal(converted), 4,
                                                                  HalfRounding::ToEven),
                                                 6, HalfRounding::ToEven),
                                   6)
                       : QStringLiteral("0.000000");
    display.UnitLabel = Main.LengthUnit + QStringLiteral("/pixel");
    display.NotCalibrated = !(converted >= CalibrationEpsilon);
    return display;
}

QString NotCalibratedText() {
    return QStringLiteral("Not Calibrated!");
}

QString EstimateNoticeText() {
    return QStringLiteral("Est. Calibration Value");
}
