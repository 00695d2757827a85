#include "ImageComment.h"

#include "imaging/ImageFiles.h"
#include "platform/DateFormat.h"
#include "platform/NumberFormat.h"
#include "settings/SettingsUtilities.h"

#include <algorithm>
#include <charconv>
#include <cmath>

// ---- Decimal rounding ---------------------------------------------------------------------

DecimalNumber ToDecimal(double value) {
    DecimalNumber number;
    if (!std::isfinite(value) || value == 0.0)
        return number;
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (text[0] == '-') {
        number.negative = true;
        text.erase(0, 1);
    }
    const auto ePos = text.find('e');
    std::string mantissa = text.substr(0, ePos);
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
    while (!mantissa.empty() && mantissa.back() == '0')
        mantissa.pop_back();
    number.digits = mantissa;
    int exponent = 0;
    const char* first = text.data() + ePos + 1;
    if (*first == '+')
        ++first;
    std::from_chars(first, text.data() + text.size(), exponent);
    number.exponent = exponent;
    return number;
}

namespace {

// Keeps the first `keep` digits, rounding on the rest.
DecimalNumber RoundKeeping(const DecimalNumber& number, int keep, HalfRounding mode) {
    if (number.digits.empty() || keep >= int(number.digits.size()))
        return number;
    if (keep < 0)
        return {};
    const char next = number.digits[size_t(keep)];
    const bool restNonZero =
        number.digits.find_first_not_of('0', size_t(keep) + 1) != std::string::npos;
    bool up = next > '5';
    if (next == '5') {
        const bool previousOdd = keep > 0 && (number.digits[size_t(keep) - 1] - '0') % 2 == 1;
        up = restNonZero || mode == HalfRounding::AwayFromZero || previousOdd;
    }
    DecimalNumber rounded = number;
    rounded.digits = number.digits.substr(0, size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && rounded.digits[size_t(i)] == '9') {
            rounded.digits[size_t(i)] = '0';
            --i;
        }
        if (i < 0) {
            rounded.digits.insert(0, "1");
            ++rounded.exponent;
        } else {
            ++rounded.digits[size_t(i)];
        }
    }
    while (!rounded.digits.empty() && rounded.digits.back() == '0')
        rounded.digits.pop_back();
    if (rounded.digits.empty())
        return {};
    return rounded;
}

} // namespace

DecimalNumber RoundSignificant(const DecimalNumber& number, int significant, HalfRounding mode) {
    return RoundKeeping(number, std::max(significant, 1), mode);
}

DecimalNumber RoundDecimals(const DecimalNumber& number, int decimals, HalfRounding mode) {
    return RoundKeeping(number, number.exponent + 1 + decimals, mode);
}

DecimalNumber RoundSignificantAndDecimals(const DecimalNumber& number, int significant,
                                          int decimals, HalfRounding mode) {
    return RoundKeeping(number, std::min(std::max(significant, 1), number.exponent + 1 + decimals),
                        mode);
}

QString FixedText(const DecimalNumber& number, int decimals) {
    const DecimalNumber n = RoundDecimals(number, decimals);
    std::string integerPart;
    std::string fraction;
    if (n.digits.empty()) {
        integerPart = "0";
    } else if (n.exponent >= 0) {
        const size_t count = size_t(n.exponent) + 1;
        integerPart = n.digits.substr(0, std::min(count, n.digits.size()));
        integerPart.append(count - integerPart.size(), '0');
        if (n.digits.size() > count)
            fraction = n.digits.substr(count);
    } else {
        integerPart = "0";
        fraction = std::string(size_t(-n.exponent - 1), '0') + n.digits;
    }
    if (decimals > 0) {
        fraction.resize(size_t(decimals), '0');
    } else {
        fraction.clear();
    }
    std::string text = (n.negative && !n.digits.empty() ? "-" : "") + integerPart;
    if (!fraction.empty())
        text += "." + fraction;
    return QString::fromLatin1(text);
}

QString ExponentText(const DecimalNumber& number) {
    if (number.digits.empty())
        return QStringLiteral("0");
    std::string text = number.negative ? "-" : "";
    text += number.digits.substr(0, 1);
    if (number.digits.size() > 1)
        text += "." + number.digits.substr(1);
    text += "E" + std::to_string(number.exponent);
    return QString::fromLatin1(text);
}

QString FormatCommentCalibration(double micrometresPerPixel) {
    const DecimalNumber number = ToDecimal(micrometresPerPixel);
    if (std::fabs(micrometresPerPixel) >= 10000)
        return ExponentText(RoundSignificant(number, 4));
    return FixedText(RoundSignificantAndDecimals(number, 4, 6), 6);
}

// ---- Writing ------------------------------------------------------------------------------

QString CommentLineText(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : line) {
        if (c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029) ||
            c == QChar(0x85) || c == u'\v' || c == u'\f')
            c = u' ';
    }
    return line;
}

namespace {

int BoundedObjective(const TMCsystem& system, int objective) {
    const int count = std::clamp(system.NrOfObjectives, 0, MaxObjectives);
    if (count == 0)
        return 0;
    return std::clamp(objective, 0, count - 1);
}

double Magnification(const TMCsystem& system, int objective) {
    return system.Objectives[size_t(BoundedObjective(system, objective))].Obj;
}

} // namespace

QStringList SystemCommentSection(const TMCsystem& system, int objective, double micrometresPerPixel,
                                 const QDate& sampleDate, const QString& locationLine1,
                                 const QString& locationLine2) {
    const QDate date = sampleDate.isValid() ? sampleDate : QDate(1899, 12, 30);
    return {
        QStringLiteral("[QUVARSystemComment]"),
        CommentLineText(locationLine1),
        CommentLineText(locationLine2),
        QStringLiteral("SampleDate = ") + FormatDate(date),
        CommentLineText(system.Name) + QStringLiteral(";  Obj: ") +
            FormatGeneral(Magnification(system, objective)) + QStringLiteral(" X;  um/pixel: ") +
            FormatCommentCalibration(micrometresPerPixel),
    };
}

QStringList MCSystemCommentSection(const TMCsystem& system, int objective,
                                   double micrometresPerPixel) {
    const int count = std::clamp(system.NrOfObjectives, 0, MaxObjectives);
    QStringList lines{
        QStringLiteral("[QUVARMCSystemComment]"),
        QStringLiteral("Revision = 3006"),
        QStringLiteral("Magnification = ") + FormatGeneral(Magnification(system, objective)) +
            QStringLiteral(" X"),
        QStringLiteral("Calibration = ") + FormatCommentCalibration(micrometresPerPixel),
        QStringLiteral("MCsystem = ") + CommentLineText(system.Name),
        QStringLiteral("CaptureWidth = ") + QString::number(system.CaptureWidth),
        QStringLiteral("NrOfObjectives = ") + QString::number(count),
        QStringLiteral("ImageObj = ") + QString::number(BoundedObjective(system, objective)),
    };
    for (int i = 0; i < count; ++i) {
        const ObjCal& entry = system.Objectives[size_t(i)];
        const QString n = QString::number(i);
        lines << QStringLiteral("obj") + n + QStringLiteral(" = ") + FormatGeneral(entry.Obj)
              << QStringLiteral("objstr") + n + QStringLiteral(" = ") +
                     CommentLineText(entry.ObjStr)
              << QStringLiteral("cal") + n + QStringLiteral(" = ") + FormatGeneral(entry.Cal);
    }
    return lines;
}

QStringList AssembleComment(const QStringList& systemLines, const QStringList& mcSystemLines) {
    return {CommentText(systemLines), CommentText(mcSystemLines)};
}

// ---- Reading ------------------------------------------------------------------------------

namespace {

QString AsciiLower(const QString& text) {
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lower;
}

QString TrimControl(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= u' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= u' ')
        --last;
    return text.mid(first, last - first);
}

std::optional<int> CommentInteger(const QString& key, const QStringList& lines) {
    const QString value = GetCommentValue(key, lines);
    if (value.isEmpty())
        return std::nullopt;
    const auto number = ParseInteger(value);
    if (!number)
        return std::nullopt;
    return int(*number);
}

std::optional<double> CommentNumber(const QString& value) {
    if (value.isEmpty())
        return std::nullopt;
    try {
        const double number = StrToFloatAnySeparator(value);
        if (!std::isfinite(number))
            return std::nullopt;
        return number;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

QString GetCommentValue(const QString& key, const QStringList& lines) {
    const QString pattern = AsciiLower(key) + QStringLiteral(" = ");
    // Position L counted from 1 is index L - 1: the value is read as if the key led the line.
    const qsizetype start = pattern.size() - 1;
    QString result;
    for (const QString& line : lines) {
        if (AsciiLower(line).contains(pattern))
            result = TrimControl(line.left(255).mid(start));
    }
    return result;
}

std::optional<QDate> CommentLineDate(const QString& line) {
    if (line.size() < 10)
        return std::nullopt;
    return ParseDate(QStringView(line).right(10));
}

int CountedObjectives(const QStringList& lines) {
    int count = 0;
    // One past the limit is enough to know the count is refused.
    while (count <= MaxObjectives &&
           !GetCommentValue(QStringLiteral("cal") + QString::number(count + 1), lines).isEmpty())
        ++count;
    return count;
}

std::optional<CommentSystem> ReadCommentSystem(const QStringList& lines) {
    CommentSystem read;
    TMCsystem& system = read.System;

    system.Name = GetCommentValue(QStringLiteral("MCsystem"), lines);
    if (system.Name.isEmpty())
        system.Name = GetCommentValue(QStringLiteral("microscope"), lines);

    const auto captureWidth = CommentInteger(QStringLiteral("CaptureWidth"), lines);
    if (!captureWidth || *captureWidth < 0)
        return std::nullopt;
    system.CaptureWidth = *captureWidth;

    // Counted or given, the count is checked once: the table holds MaxObjectives.
    std::optional<int> count;
    if (GetCommentValue(QStringLiteral("NrOfObjectives"), lines).isEmpty())
        count = CountedObjectives(lines);
    else
        count = CommentInteger(QStringLiteral("NrOfObjectives"), lines);
    if (!count || *count < 0 || *count > MaxObjectives)
        return std::nullopt;
    system.NrOfObjectives = *count;

    const auto imageObjective = CommentInteger(QStringLiteral("ImageObj"), lines);
    if (!imageObjective || *imageObjective < 0 || *imageObjective >= system.NrOfObjectives)
        return std::nullopt;
    read.ImageObjective = *imageObjective;

    QString calibration = GetCommentValue(QStringLiteral("calibration"), lines);
    if (calibration.isEmpty())
        calibration = GetCommentValue(QStringLiteral("um/pixel"), lines);
    const auto imageCalibration = CommentNumber(calibration);
    if (!imageCalibration)
        return std::nullopt;
    read.ImageCalibration = *imageCalibration;

    for (int i = 0; i < system.NrOfObjectives; ++i) {
        const QString n = QString::number(i);
        ObjCal& entry = system.Objectives[size_t(i)];
        const auto magnification = CommentNumber(GetCommentValue(QStringLiteral("obj") + n, lines));
        if (!magnification)
            return std::nullopt;
        entry.Obj = *magnification;
        entry.ObjStr = GetCommentValue(QStringLiteral("objstr") + n, lines);
        if (entry.ObjStr.isEmpty())
            entry.ObjStr = FormatGeneral(entry.Obj) + QStringLiteral(" X");
        const auto cal = CommentNumber(GetCommentValue(QStringLiteral("cal") + n, lines));
        if (!cal)
            return std::nullopt;
        entry.Cal = *cal;
    }
    system.CurrentObjective = read.ImageObjective;
    system.DefaultObjective = read.ImageObjective;
    return read;
}
