#pragma once
// The image comment: the text every image saved from the measuring window carries, so a
// reopened image is measured in the units it was taken with. Two sections of
// "key = value" lines, each line ended by CR LF and each section by an empty line:
//
//   [QUVARSystemComment]      location, coordinates, sample date, a readable summary
//   [QUVARMCSystemComment]    the MC system with every objective and calibration
//
// Only text lives here; the measuring window's state is read and written in measure/.

#include "settings/MCSystems.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

// ---- Decimal rounding of number texts ---------------------------------------------------
// Rounding works on the shortest decimal text that reads back as the same double, so a
// value the user sees as 0.0862065 rounds as a true half, whatever its binary neighbour.

// value = digits[0].digits[1..] x 10^exponent; digits has no leading zero (empty for 0).
struct DecimalNumber {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// The comment rounds halves away from zero; the display rounds them to even.
enum class HalfRounding { AwayFromZero, ToEven };

// The shortest decimal form of a finite value (zero for infinity and NaN).
DecimalNumber ToDecimal(double value);
// To the given number of significant digits (at least 1).
DecimalNumber RoundSignificant(const DecimalNumber& number, int significant,
                               HalfRounding mode = HalfRounding::AwayFromZero);
// To the given number of decimals (may be negative: tens, hundreds).
DecimalNumber RoundDecimals(const DecimalNumber& number, int decimals,
                            HalfRounding mode = HalfRounding::AwayFromZero);
// One rounding to whichever keeps fewer digits: the significant digits or the decimals.
DecimalNumber RoundSignificantAndDecimals(const DecimalNumber& number, int significant,
                                          int decimals,
                                          HalfRounding mode = HalfRounding::AwayFromZero);
// Fixed notation with exactly the given number of decimals ("0.086210", "1235.000000").
QString FixedText(const DecimalNumber& number, int decimals);
// Exponent notation of the general format: "1.235E4", "5E-5".
QString ExponentText(const DecimalNumber& number);

// The comment's calibration: 4 significant digits but at most 6 decimals, half away from
// zero, written with exactly 6 decimals (0.0862069 gives 0.086210); from 10000 on the
// general format with 4 significant digits (12345.6 gives 1.235E4).
QString FormatCommentCalibration(double micrometresPerPixel);

// ---- Writing ------------------------------------------------------------------------------

// Line breaks of a text written into the comment become blanks, so a location or label
// can never split its line and shift every line after it.
QString CommentLineText(const QString& text);

// Section 1, five lines. objective is the index of the system's current objective; a
// date that is not valid is written as the zero date 1899-12-30, which reads back.
QStringList SystemCommentSection(const TMCsystem& system, int objective, double micrometresPerPixel,
                                 const QDate& sampleDate, const QString& locationLine1,
                                 const QString& locationLine2);

// Section 2, 8 + 3 x NrOfObjectives lines.
QStringList MCSystemCommentSection(const TMCsystem& system, int objective,
                                   double micrometresPerPixel);

// The comment as stored: two items, the text of each section (CommentText of
// imaging/ImageFiles.h); the text of the result is section 1, an empty line, section 2, an
// empty line.
QStringList AssembleComment(const QStringList& systemLines, const QStringList& mcSystemLines);

// ---- Reading ------------------------------------------------------------------------------

// The value of key in lines, or empty text. A line matches when it contains "key = "
// (ASCII case ignored) anywhere; the value is then taken from its first 255 characters
// from the position the value would have if the key started the line, trimmed of blanks
// and control characters. The last matching line wins.
QString GetCommentValue(const QString& key, const QStringList& lines);

// The date in the last 10 characters of a line ("SampleDate = 2024-05-17").
std::optional<QDate> CommentLineDate(const QString& line);

// How many of the keys "cal1", "cal2", ... have a value, counting from 1 and stopping at
// the first one missing (the objective count of comments without "NrOfObjectives").
int CountedObjectives(const QStringList& lines);

// What the MC-system section of a comment says about the image.
struct CommentSystem {
    TMCsystem System; // CurrentObjective is the image's objective
    int ImageObjective = 0;
    double ImageCalibration = 0; // micrometres per pixel of the image as saved
};

// Reads the MC-system section keys from the whole comment. Nothing when a value is missing
// or malformed, when the objective count (given or counted) is outside 0 to 32, the capture
// width is negative, or the image's objective is not one of the objectives in use.
std::optional<CommentSystem> ReadCommentSystem(const QStringList& lines);
