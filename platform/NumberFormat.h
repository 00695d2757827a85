#pragma once
// Number texts in files and on screen, independent of the C locale: "." is the decimal
// separator, whatever the environment says.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

// The general float format: rounded to 15 significant digits, no trailing zeros and no
// trailing point, fixed from 0.0001 up to below 1E15, exponent notation otherwise ("5E-5").
QString FormatGeneral(double value);

// A decimal number with the given separator ("2.5", "-1E-3", " 7 "): blanks around it are
// allowed, nothing else. Infinity and NaN texts are not numbers.
std::optional<double> ParseFloat(QStringView text, QChar decimalSeparator = u'.');

// A 32-bit integer: decimal with optional sign, or hexadecimal after "0x" or "$"
// (up to 8 digits, read as the bit pattern: "0xFFFFFFFF" is -1).
std::optional<int32_t> ParseInteger(QStringView text);

// Halves to even, as every rounding to an integer in the program.
int64_t RoundHalfEven(double value);
