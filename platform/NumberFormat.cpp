#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

QString Trimmed(QStringView text) {
    return text.trimmed().toString();
}

} // namespace

QString FormatGeneral(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0.0)
        return QStringLiteral("0");

    // 15 significant digits: one before the point, 14 after, then the exponent.
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string scientific(buffer, result.ptr);
    const bool negative = scientific[0] == '-';
    if (negative)
        scientific.erase(0, 1);
    const auto ePos = scientific.find('e');
    std::string digits = scientific.substr(0, 1) + scientific.substr(2, ePos - 2);
    const int exponent = std::stoi(scientific.substr(ePos + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string text;
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            text = "0." + std::string(size_t(-exponent - 1), '0') + digits;
        } else if (size_t(exponent) + 1 >= digits.size()) {
            text = digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
        } else {
            text =
                digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
        }
    } else {
        text = digits.substr(0, 1);
        if (digits.size() > 1)
            text += "." + digits.substr(1);
        text += "E" + std::to_string(exponent);
    }
    if (negative)
        text.insert(0, "-");
    return QString::fromLatin1(text);
}

std::optional<double> ParseFloat(QStringView text, QChar decimalSeparator) {
    const QString trimmed = Trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    std::string ascii;
    ascii.reserve(size_t(trimmed.size()));
    for (QChar ch : trimmed) {
        if (ch == decimalSeparator) {
            ascii.push_back('.');
        } else if (ch.isDigit() && ch.unicode() < 0x80) {
            ascii.push_back(char(ch.unicode()));
        } else if (ch == u'+' || ch == u'-' || ch == u'e' || ch == u'E') {
            ascii.push_back(char(ch.unicode()));
        } else {
            return std::nullopt;
        }
    }
    const char* begin = ascii.data();
    const char* end = begin + ascii.size();
    // from_chars takes no "+"; one sign only, so "+-1" is no number.
    if (*begin == '+' && begin + 1 != end && begin[1] != '-')
        ++begin;
    double value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || std::isinf(value) || std::isnan(value))
        return std::nullopt;
    return value;
}

std::optional<int32_t> ParseInteger(QStringView text) {
    const std::string ascii = Trimmed(text).toStdString();
    if (ascii.empty())
        return std::nullopt;
    size_t pos = 0;
    bool negative = false;
    if (ascii[pos] == '+' || ascii[pos] == '-') {
        negative = ascii[pos] == '-';
        ++pos;
    }
    int base = 10;
    if (ascii.compare(pos, 2, "0x") == 0 || ascii.compare(pos, 2, "0X") == 0) {
        base = 16;
        pos += 2;
    } else if (ascii.compare(pos, 1, "$") == 0) {
        base = 16;
        pos += 1;
    }
    if (pos >= ascii.size())
        return std::nullopt;
    const char* begin = ascii.data() + pos;
    const char* end = ascii.data() + ascii.size();
    uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(begin, end, magnitude, base);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        auto bits = static_cast<uint32_t>(magnitude);
        int32_t value = static_cast<int32_t>(bits);
        return negative ? int32_t(0u - bits) : value;
    }
    if (negative) {
        if (magnitude > 2147483648ull)
            return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    }
    if (magnitude > 2147483647ull)
        return std::nullopt;
    return static_cast<int32_t>(magnitude);
}

int64_t RoundHalfEven(double value) {
    return static_cast<int64_t>(std::nearbyint(value));
}
