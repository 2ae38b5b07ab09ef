// The locale's date, time and number formats as the editors show and parse them.
#pragma once

#include <QDateTime>
#include <QString>

namespace tagsink::inspector::locale_formats {

QString ShortDateFormat();
QString LongTimeFormat();
QString DateToText(const QDate& d);
QString TimeToText(const QTime& t);
/// Date and time; the time is left out at midnight.
QString DateTimeToText(const QDateTime& dt);

bool ParseDate(const QString& text, QDate& out);
bool ParseTime(const QString& text, QTime& out);
/// A date with or without a time, or a time alone (on day 0).
bool ParseDateTime(const QString& text, QDateTime& out);

/// A float in the locale's general format with this many significant digits, without group separators.
QString FloatToText(double value, int precision);
bool ParseFloat(const QString& text, double& out);
/// Whole numbers: decimal, or hexadecimal after "$" or "0x".
bool ParseInt64(const QString& text, qint64& out);

/// The platform's conversion messages.
QString NotAnInteger(const QString& text);
QString NotAFloat(const QString& text);
QString NotADate(const QString& text);
QString NotATime(const QString& text);

} // namespace tagsink::inspector::locale_formats
