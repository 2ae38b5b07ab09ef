#include "locale_formats.hpp"

#include <QCoreApplication>
#include "inspector/variant.hpp"

#include <QLocale>

namespace tagsink::inspector::locale_formats {
namespace {

/// Qt's long formats may carry the time zone ("t"), which a property value never has.
QString WithoutZone(QString format) {
    format.remove(QLatin1Char('t'));
    return format.simplified();
}

/// A format with a two-digit year reads years of this century before 1950 as 20xx.
QDate FixCentury(const QDate& d, const QString& format) {
    if (d.isValid() && !format.contains(QLatin1String("yyyy")) && format.contains(QLatin1String("yy")) &&
        d.year() < 1950) {
        return d.addYears(100);
    }
    return d;
}

QStringList DateFormats() {
    const QLocale loc;
    return {loc.dateFormat(QLocale::ShortFormat), loc.dateFormat(QLocale::LongFormat),
            QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy/M/d")};
}

QStringList TimeFormats() {
    const QLocale loc;
    return {WithoutZone(loc.timeFormat(QLocale::LongFormat)),
            WithoutZone(loc.timeFormat(QLocale::ShortFormat)), QStringLiteral("H:mm:ss"),
            QStringLiteral("H:mm"), QStringLiteral("H:mm:ss.zzz")};
}

} // namespace

QString ShortDateFormat() {
    return QLocale().dateFormat(QLocale::ShortFormat);
}
QString LongTimeFormat() {
    return WithoutZone(QLocale().timeFormat(QLocale::LongFormat));
}

QString DateToText(const QDate& d) {
    return QLocale().toString(d, ShortDateFormat());
}
QString TimeToText(const QTime& t) {
    return QLocale().toString(t, LongTimeFormat());
}

QString DateTimeToText(const QDateTime& dt) {
    if (dt.time() == QTime(0, 0)) {
        return DateToText(dt.date());
    }
    return DateToText(dt.date()) + QLatin1Char(' ') + TimeToText(dt.time());
}

bool ParseDate(const QString& text, QDate& out) {
    const QLocale loc;
    const QString t = text.trimmed();
    for (const QString& f : DateFormats()) {
        const QDate d = FixCentury(loc.toDate(t, f), f);
        if (d.isValid()) {
            out = d;
            return true;
        }
    }
    return false;
}

bool ParseTime(const QString& text, QTime& out) {
    const QLocale loc;
    const QString t = text.trimmed();
    for (const QString& f : TimeFormats()) {
        const QTime tm = loc.toTime(t, f);
        if (tm.isValid()) {
            out = tm;
            return true;
        }
    }
    return false;
}

bool ParseDateTime(const QString& text, QDateTime& out) {
    const QLocale loc;
    const QString t = text.trimmed();
    QDate d;
    if (ParseDate(t, d)) {
        out = QDateTime(d, QTime(0, 0));
        return true;
    }
    for (const QString& df : DateFormats()) {
        for (const QString& tf : TimeFormats()) {
            const QString f = df + QLatin1Char(' ') + tf;
            QDateTime dt = loc.toDateTime(t, f);
            if (dt.isValid()) {
                out = QDateTime(FixCentury(dt.date(), df), dt.time());
                return true;
            }
        }
    }
    QTime tm;
    if (ParseTime(t, tm)) {
        out = QDateTime(QDate(1899, 12, 30), tm);
        return true;
    }
    const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
    if (iso.isValid()) {
        out = iso;
        return true;
    }
    return false;
}

QString FloatToText(double value, int precision) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'g', precision);
}

bool ParseFloat(const QString& text, double& out) {
    bool ok = false;
    const QString t = text.trimmed();
    out = QLocale().toDouble(t, &ok);
    if (!ok) {
        out = QLocale::c().toDouble(t, &ok);
    }
    return ok;
}

bool ParseInt64(const QString& text, qint64& out) {
    QString t = text.trimmed();
    bool ok = false;
    bool negative = false;
    if (t.startsWith(QLatin1Char('-'))) {
        negative = true;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1Char('+'))) {
        t.remove(0, 1);
    }
    if (t.startsWith(QLatin1Char('$'))) {
        out = static_cast<qint64>(t.mid(1).toULongLong(&ok, 16));
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        out = static_cast<qint64>(t.mid(2).toULongLong(&ok, 16));
    } else if (!t.isEmpty() && t[0].isDigit()) {
        out = t.toLongLong(&ok, 10);
    }
    if (ok && negative) {
        out = -out;
    }
    return ok;
}

QString NotAnInteger(const QString& text) {
    return QCoreApplication::translate("tagsink::inspector", "'%1' is not a valid integer value").arg(text);
}
QString NotAFloat(const QString& text) {
    return QCoreApplication::translate("tagsink::inspector", "'%1' is not a valid floating point value")
        .arg(text);
}
QString NotADate(const QString& text) {
    return QCoreApplication::translate("tagsink::inspector", "'%1' is not a valid date").arg(text);
}
QString NotATime(const QString& text) {
    return QCoreApplication::translate("tagsink::inspector", "'%1' is not a valid time").arg(text);
}

} // namespace tagsink::inspector::locale_formats
