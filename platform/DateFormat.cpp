#include "DateFormat.h"

QString FormatDate(const QDate& date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date.year(), 4, 10, QChar(u'0'))
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.day(), 2, 10, QChar(u'0'));
}

std::optional<QDate> ParseDate(QStringView text) {
    const auto parts = text.trimmed().split(u'-');
    if (parts.size() != 3)
        return std::nullopt;
    int numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        const auto part = parts[i];
        if (part.isEmpty() || part.size() > 4)
            return std::nullopt;
        for (QChar ch : part)
            if (ch < u'0' || ch > u'9')
                return std::nullopt;
        numbers[i] = part.toInt();
    }
    if (parts[1].size() > 2 || parts[2].size() > 2)
        return std::nullopt;
    QDate date(numbers[0], numbers[1], numbers[2]);
    if (!date.isValid())
        return std::nullopt;
    return date;
}
