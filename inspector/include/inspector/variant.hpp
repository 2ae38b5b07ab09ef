// The variant value the inspector reads from and writes to variant-typed properties: an OLE Automation
// type code and a value. Integer codes hold a qlonglong, Single and Double a double, Currency a qlonglong
// scaled by 10,000, Date a double (days since 1899-12-30, the time as the fraction), OleStr and String a
// QString, Boolean a bool, Error a qlonglong (the SCODE).
#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

namespace tagsink::inspector {

enum TQZVarType : std::uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varShortInt = 16,
    varByte = 17,
    varWord = 18,
    varLongWord = 19,
    varInt64 = 20,
    varString = 256,
};

struct TQZVariant {
    std::uint16_t VType = varEmpty;
    QVariant Value;

    static TQZVariant Null() { return {varNull, {}}; }
    static TQZVariant Int(std::uint16_t vt, qlonglong v) { return {vt, QVariant(v)}; }
    static TQZVariant Float(std::uint16_t vt, double v) { return {vt, QVariant(v)}; }
    static TQZVariant Str(const QString& s, std::uint16_t vt = varString) { return {vt, QVariant(s)}; }
    static TQZVariant Bool(bool b) { return {varBoolean, QVariant(b)}; }
    static TQZVariant Currency(qlonglong scaled) { return {varCurrency, QVariant(scaled)}; }
    static TQZVariant Date(double ole_date) { return {varDate, QVariant(ole_date)}; }

    friend bool operator==(const TQZVariant& a, const TQZVariant& b) {
        return a.VType == b.VType && a.Value == b.Value;
    }
};

/// The variant as text, as the variant editor shows it: currency in the locale's currency format,
/// booleans "True"/"False", null "(Null)", type 9 "ERROR", empty "", everything else its plain text.
QString VariantDisplayText(const TQZVariant& v);

/// The variant's plain text (what a conversion to a string gives): numbers in the locale's format,
/// currency without its symbol, dates in the locale's short date and long time format.
QString VariantToString(const TQZVariant& v);

/// Converts text into a variant of type vt. Returns false when the text is no value of that type
/// (out of range included). varEmpty and varNull accept only the empty text.
bool VariantFromText(const QString& text, std::uint16_t vt, TQZVariant& out);

/// Converts a variant to another type (as a type change in the inspector does). False when it cannot.
bool VariantChangeType(const TQZVariant& v, std::uint16_t vt, TQZVariant& out);

/// OLE date <-> QDateTime (local, no time zone).
double DateTimeToOle(const QDateTime& dt);
QDateTime OleToDateTime(double ole_date);

} // namespace tagsink::inspector
