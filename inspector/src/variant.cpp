#include "inspector/variant.hpp"

#include "locale_formats.hpp"
#include "platform/oleauto.h"
#include "platform/var_type.hpp"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <limits>

namespace tagsink::inspector {
namespace lf = locale_formats;
namespace {

const QDate kOleEpoch(1899, 12, 30);

// The inspector's integer codes (and varError, an SCODE) are the OLE Automation ones.
bool IsIntegerType(std::uint16_t vt) {
    return qz::HoldsIntegerValue(vt);
}

bool IntegerRange(std::uint16_t vt, qlonglong& lo, qlonglong& hi) {
    switch (vt) {
    case varSmallint:
        lo = -32768, hi = 32767;
        return true;
    case varInteger:
    case varError:
        lo = std::numeric_limits<qint32>::min(), hi = std::numeric_limits<qint32>::max();
        return true;
    case varShortInt:
        lo = -128, hi = 127;
        return true;
    case varByte:
        lo = 0, hi = 255;
        return true;
    case varWord:
        lo = 0, hi = 65535;
        return true;
    case varLongWord:
        lo = 0, hi = 4294967295LL;
        return true;
    case varInt64:
        lo = std::numeric_limits<qlonglong>::min(), hi = std::numeric_limits<qlonglong>::max();
        return true;
    default:
        return false;
    }
}

/// The numeric value of a variant (empty counts as 0). False for null, strings and unknown types.
bool NumericValue(const TQZVariant& v, double& d) {
    if (v.VType == varEmpty) {
        d = 0;
        return true;
    }
    if (IsIntegerType(v.VType)) {
        d = static_cast<double>(v.Value.toLongLong());
        return true;
    }
    switch (v.VType) {
    case varSingle:
    case varDouble:
    case varDate:
        d = v.Value.toDouble();
        return true;
    case varCurrency:
        d = static_cast<double>(v.Value.toLongLong()) / 10000.0;
        return true;
    case varBoolean:
        d = v.Value.toBool() ? -1 : 0;
        return true;
    default:
        return false;
    }
}

bool FromNumber(double d, std::uint16_t vt, TQZVariant& out) {
    qlonglong lo = 0;
    qlonglong hi = 0;
    if (IntegerRange(vt, lo, hi)) {
        const double r = std::nearbyint(d);
        if (!std::isfinite(r) || r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
            return false;
        }
        out = TQZVariant::Int(vt, static_cast<qlonglong>(r));
        return true;
    }
    switch (vt) {
    case varSingle:
        out = TQZVariant::Float(vt, static_cast<double>(static_cast<float>(d)));
        return true;
    case varDouble:
    case varDate:
        out = TQZVariant::Float(vt, d);
        return true;
    case varCurrency: {
        const double scaled = std::nearbyint(d * 10000.0);
        if (!std::isfinite(scaled) || std::fabs(scaled) > 9.2e18) {
            return false;
        }
        out = TQZVariant::Currency(static_cast<qlonglong>(scaled));
        return true;
    }
    case varBoolean:
        out = TQZVariant::Bool(d != 0);
        return true;
    default:
        return false;
    }
}

// The numeric kinds as OLE VARIANTs (no strings: those go through the locale's formats here).
bool ToOleVariant(const TQZVariant& v, VARIANT& out) {
    VariantInit(&out);
    out.vt = static_cast<VARTYPE>(v.VType);
    switch (v.VType) {
    case varEmpty:
        return true;
    case varSmallint:
        out.iVal = static_cast<SHORT>(v.Value.toLongLong());
        return true;
    case varInteger:
        out.lVal = static_cast<LONG>(v.Value.toLongLong());
        return true;
    case varShortInt:
        out.cVal = static_cast<CHAR>(v.Value.toLongLong());
        return true;
    case varByte:
        out.bVal = static_cast<BYTE>(v.Value.toLongLong());
        return true;
    case varWord:
        out.uiVal = static_cast<USHORT>(v.Value.toLongLong());
        return true;
    case varLongWord:
        out.ulVal = static_cast<ULONG>(v.Value.toLongLong());
        return true;
    case varInt64:
        out.llVal = v.Value.toLongLong();
        return true;
    case varSingle:
        out.fltVal = static_cast<float>(v.Value.toDouble());
        return true;
    case varDouble:
        out.dblVal = v.Value.toDouble();
        return true;
    case varDate:
        out.date = v.Value.toDouble();
        return true;
    case varCurrency:
        out.cyVal.int64 = v.Value.toLongLong();
        return true;
    case varBoolean:
        out.boolVal = v.Value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    default:
        out.vt = VT_EMPTY;
        return false;
    }
}

bool FromOleVariant(const VARIANT& v, TQZVariant& out) {
    switch (v.vt) {
    case VT_I2:
        out = TQZVariant::Int(varSmallint, v.iVal);
        return true;
    case VT_I4:
        out = TQZVariant::Int(varInteger, v.lVal);
        return true;
    case VT_I1:
        out = TQZVariant::Int(varShortInt, v.cVal);
        return true;
    case VT_UI1:
        out = TQZVariant::Int(varByte, v.bVal);
        return true;
    case VT_UI2:
        out = TQZVariant::Int(varWord, v.uiVal);
        return true;
    case VT_UI4:
        out = TQZVariant::Int(varLongWord, static_cast<qlonglong>(v.ulVal));
        return true;
    case VT_I8:
        out = TQZVariant::Int(varInt64, v.llVal);
        return true;
    case VT_R4:
        out = TQZVariant::Float(varSingle, static_cast<double>(v.fltVal));
        return true;
    case VT_R8:
        out = TQZVariant::Float(varDouble, v.dblVal);
        return true;
    case VT_DATE:
        out = TQZVariant::Date(v.date);
        return true;
    case VT_CY:
        out = TQZVariant::Currency(v.cyVal.int64);
        return true;
    case VT_BOOL:
        out = TQZVariant::Bool(v.boolVal != VARIANT_FALSE);
        return true;
    default:
        return false;
    }
}

QString CurrencyPlain(qlonglong scaled) {
    // Up to four decimals, trailing zeros dropped.
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    QString s = loc.toString(static_cast<double>(scaled) / 10000.0, 'f', 4);
    const QString dp = QLocale().decimalPoint();
    if (s.contains(dp)) {
        while (s.endsWith(QLatin1Char('0'))) {
            s.chop(1);
        }
        if (s.endsWith(dp)) {
            s.chop(dp.size());
        }
    }
    return s;
}

} // namespace

double DateTimeToOle(const QDateTime& dt) {
    const double days = static_cast<double>(kOleEpoch.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the fraction still counts forward from the day's start.
    return days >= 0 ? days + frac : days - frac;
}

QDateTime OleToDateTime(double ole_date) {
    const double whole = std::trunc(ole_date);
    const double frac = std::fabs(ole_date - whole);
    const qint64 ms = std::llround(frac * 86400000.0);
    QDateTime dt(kOleEpoch.addDays(static_cast<qint64>(whole)), QTime(0, 0));
    return dt.addMSecs(std::min<qint64>(ms, 86400000 - 1));
}

QString VariantToString(const TQZVariant& v) {
    if (IsIntegerType(v.VType)) {
        return QString::number(v.Value.toLongLong());
    }
    switch (v.VType) {
    case varEmpty:
    case varNull:
        return {};
    case varSingle:
        return lf::FloatToText(v.Value.toDouble(), 7);
    case varDouble:
        return lf::FloatToText(v.Value.toDouble(), 15);
    case varCurrency:
        return CurrencyPlain(v.Value.toLongLong());
    case varDate: {
        const double d = v.Value.toDouble();
        const QDateTime dt = OleToDateTime(d);
        if (std::trunc(d) == 0 && d != 0) {
            return lf::TimeToText(dt.time());
        }
        return lf::DateTimeToText(dt);
    }
    case varBoolean:
        return v.Value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return v.Value.toString();
    }
}

QString VariantDisplayText(const TQZVariant& v) {
    switch (v.VType) {
    case varNull:
        return QStringLiteral("(Null)");
    case varDispatch:
        return QStringLiteral("ERROR");
    case varCurrency:
        return QLocale().toCurrencyString(static_cast<double>(v.Value.toLongLong()) / 10000.0);
    default:
        return VariantToString(v);
    }
}

bool VariantFromText(const QString& text, std::uint16_t vt, TQZVariant& out) {
    qlonglong lo = 0;
    qlonglong hi = 0;
    if (IntegerRange(vt, lo, hi)) {
        qint64 i = 0;
        if (!lf::ParseInt64(text, i) || i < lo || i > hi) {
            return false;
        }
        out = TQZVariant::Int(vt, i);
        return true;
    }
    switch (vt) {
    case varEmpty:
    case varNull:
        if (!text.isEmpty()) {
            return false;
        }
        out = TQZVariant{vt, {}};
        return true;
    case varSingle:
    case varDouble: {
        double d = 0;
        if (!lf::ParseFloat(text, d)) {
            return false;
        }
        return FromNumber(d, vt, out);
    }
    case varCurrency: {
        // A currency text carries the locale's currency symbol.
        const QString symbol = QLocale().currencySymbol();
        QString t = text.trimmed();
        if (!symbol.isEmpty()) {
            if (!t.contains(symbol)) {
                return false;
            }
            t.remove(symbol);
        }
        double d = 0;
        if (!lf::ParseFloat(t.trimmed(), d)) {
            return false;
        }
        return FromNumber(d, vt, out);
    }
    case varDate: {
        QDateTime dt;
        if (!lf::ParseDateTime(text, dt)) {
            return false;
        }
        out = TQZVariant::Date(DateTimeToOle(dt));
        return true;
    }
    case varBoolean: {
        const QString t = text.trimmed();
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            out = TQZVariant::Bool(true);
            return true;
        }
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            out = TQZVariant::Bool(false);
            return true;
        }
        double d = 0;
        if (!lf::ParseFloat(t, d)) {
            return false;
        }
        out = TQZVariant::Bool(d != 0);
        return true;
    }
    case varOleStr:
    case varString:
        out = TQZVariant::Str(text, vt);
        return true;
    default:
        return false;
    }
}

bool VariantChangeType(const TQZVariant& v, std::uint16_t vt, TQZVariant& out) {
    if (vt == varEmpty || vt == varNull) {
        out = TQZVariant{vt, {}};
        return true;
    }
    if (v.VType == varNull) {
        return false;
    }
    if (vt == varString || vt == varOleStr) {
        out = TQZVariant::Str(v.VType == varEmpty ? QString() : VariantToString(v), vt);
        return true;
    }
    if (v.VType == varString || v.VType == varOleStr) {
        return VariantFromText(v.Value.toString(), vt, out);
    }
    if (v.VType != varError && vt != varError) {
        // Between numbers, currency, dates and booleans: the platform's OLE conversion, the one the
        // toolkit and the simulated servers use (its ranges, rounding and overflow rules).
        VARIANT from;
        if (!ToOleVariant(v, from)) {
            return false;
        }
        VARIANT to;
        VariantInit(&to);
        if (FAILED(::VariantChangeType(&to, &from, 0, static_cast<VARTYPE>(vt)))) {
            return false;
        }
        return FromOleVariant(to, out);
    }
    // The error code (an SCODE) converts as the integer it is.
    double d = 0;
    if (!NumericValue(v, d)) {
        return false;
    }
    return FromNumber(d, vt, out);
}

} // namespace tagsink::inspector
