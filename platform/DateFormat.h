#pragma once
// Dates as the program shows and stores them: year-month-day with "-" (2024-05-17).

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

QString FormatDate(const QDate& date);
// "2024-05-17" or "2024-5-7", blanks around allowed; an impossible date is no date.
std::optional<QDate> ParseDate(QStringView text);
