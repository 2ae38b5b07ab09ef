#include "engine/statement/field_format.hpp"

#include "engine/statement/date_text.hpp"
#include "engine/statement/number_text.hpp"
#include "locale_text.hpp"
#include "platform/variant.hpp"
#include "platform/variant_reference.hpp"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace tagsink {

namespace {

const char* TypeName(VARTYPE vt) {
    if (vt & VT_ARRAY)
        return "array";
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
        return "empty";
    case VT_NULL:
        return "null";
    case VT_I1:
        return "8-bit integer";
    case VT_UI1:
        return "unsigned 8-bit integer";
    case VT_I2:
        return "16-bit integer";
    case VT_UI2:
        return "unsigned 16-bit integer";
    case VT_I4:
    case VT_INT:
        return "32-bit integer";
    case VT_UI4:
    case VT_UINT:
        return "unsigned 32-bit integer";
    case VT_I8:
        return "64-bit integer";
    case VT_UI8:
        return "unsigned 64-bit integer";
    case VT_R4:
        return "single";
    case VT_R8:
        return "double";
    case VT_CY:
        return "currency";
    case VT_DATE:
        return "date";
    case VT_BSTR:
        return "text";
    case VT_BOOL:
        return "boolean";
    case VT_ERROR:
        return "error code";
    case VT_DECIMAL:
        return "decimal";
    default:
        return "variant";
    }
}

// A by-reference scalar seen as a plain value of the same type. The result borrows what it points to.
// References to arrays, interfaces and types without a value stay as they are: they are reported as
// having no value of the wanted kind.
VARIANT Dereference(const VARIANT& value) {
    if (!(value.vt & VT_BYREF) || (value.vt & VT_ARRAY) || value.byref == nullptr)
        return value;
    if ((value.vt & VT_TYPEMASK) == VT_VARIANT)
        return Dereference(*value.pvarVal);
    VARIANT plain;
    if (FAILED(qz::ReadThroughReference(value, plain)) || plain.vt == VT_UNKNOWN || plain.vt == VT_DISPATCH)
        return value;
    return plain;
}

std::string BstrText(BSTR text) {
    if (text == nullptr)
        return {};
    return qz::Utf16ToUtf8(std::u16string_view(qz::AsU16(text), SysStringLen(text)));
}

// A DECIMAL's 96-bit magnitude (or a currency's 64 bits) as three 32-bit limbs, most significant first:
// 32-bit compilers have no 128-bit integer.
struct Magnitude96 {
    std::uint32_t limb[3] = {0, 0, 0};

    Magnitude96(std::uint32_t high, std::uint64_t low)
        : limb{high, static_cast<std::uint32_t>(low >> 32), static_cast<std::uint32_t>(low)} {}
    bool IsZero() const { return (limb[0] | limb[1] | limb[2]) == 0; }
    /// Divides by 10 and returns the remainder.
    unsigned DivideBy10() {
        std::uint64_t rest = 0;
        for (std::uint32_t& part : limb) {
            const std::uint64_t current = (rest << 32) | part;
            part = static_cast<std::uint32_t>(current / 10);
            rest = current % 10;
        }
        return static_cast<unsigned>(rest);
    }
    double ToDouble() const {
#ifdef __SIZEOF_INT128__
        // One rounding, to the nearest double.
        return static_cast<double>((static_cast<unsigned __int128>(limb[0]) << 64) |
                                   (static_cast<unsigned __int128>(limb[1]) << 32) | limb[2]);
#else
        return (static_cast<double>(limb[0]) * 4294967296.0 + static_cast<double>(limb[1])) * 4294967296.0 +
               static_cast<double>(limb[2]);
#endif
    }
};

// The exact decimal text of a scaled integer: magnitude / 10^scale.
std::string ScaledText(Magnitude96 magnitude, int scale, bool negative) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + magnitude.DivideBy10()));
    } while (!magnitude.IsZero());
    if (static_cast<int>(digits.size()) <= scale)
        digits.insert(0, static_cast<std::size_t>(scale) - digits.size() + 1, '0');
    std::string integer_part = digits.substr(0, digits.size() - scale);
    std::string fraction = digits.substr(digits.size() - scale);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string text;
    if (negative && (integer_part != "0" || !fraction.empty()))
        text.push_back('-');
    text += integer_part;
    if (!fraction.empty()) {
        text.push_back(DecimalSeparator());
        text += fraction;
    }
    return text;
}

Magnitude96 DecimalMagnitude(const DECIMAL& dec) {
    return Magnitude96(dec.Hi32, dec.Lo64);
}

std::string CurrencyText(const CY& cy) {
    const std::int64_t raw = cy.int64;
    // -(raw + 1) + 1: the magnitude of the most negative value fits, its negation would not.
    const std::uint64_t magnitude =
        raw < 0 ? static_cast<std::uint64_t>(-(raw + 1)) + 1u : static_cast<std::uint64_t>(raw);
    return ScaledText(Magnitude96(0, magnitude), 4, raw < 0);
}

std::string DoubleText(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    return FormatGeneralFloat(value, DecimalSeparator());
}

std::string ConvertMessage(const VARIANT& value, const std::string& target, const std::string& reason) {
    std::string message = "Cannot convert " + DescribeValue(value) + " to " + target;
    if (!reason.empty())
        message += ": " + reason;
    return message;
}

// A number of any numeric kind as a double; false for every other kind.
bool NumericValue(const VARIANT& v, double& out) {
    switch (v.vt) {
    case VT_I1:
        out = v.cVal;
        return true;
    case VT_UI1:
        out = v.bVal;
        return true;
    case VT_I2:
        out = v.iVal;
        return true;
    case VT_UI2:
        out = v.uiVal;
        return true;
    case VT_I4:
        out = v.lVal;
        return true;
    case VT_INT:
        out = v.intVal;
        return true;
    case VT_UI4:
        out = v.ulVal;
        return true;
    case VT_UINT:
        out = v.uintVal;
        return true;
    case VT_I8:
        out = static_cast<double>(v.llVal);
        return true;
    case VT_UI8:
        out = static_cast<double>(v.ullVal);
        return true;
    case VT_R4:
        out = v.fltVal;
        return true;
    case VT_R8:
        out = v.dblVal;
        return true;
    case VT_CY:
        out = static_cast<double>(v.cyVal.int64) / 10000.0;
        return true;
    case VT_DATE:
        out = v.date;
        return true;
    case VT_BOOL:
        out = v.boolVal ? -1.0 : 0.0;
        return true;
    case VT_DECIMAL: {
        const double magnitude = DecimalMagnitude(v.decVal).ToDouble();
        out = magnitude / std::pow(10.0, v.decVal.scale);
        if (v.decVal.sign & 0x80)
            out = -out;
        return true;
    }
    default:
        return false;
    }
}

// Converts through the platform's OLE conversion (texts in the fixed locale); throws with `target`.
qz::Variant Converted(const VARIANT& v, VARTYPE type, const std::string& target) {
    qz::Variant result;
    // const_cast: some Windows headers declare the source without const; it is only read.
    const HRESULT hr = VariantChangeType(result.out(), const_cast<VARIANT*>(&v), 0, type);
    if (FAILED(hr))
        throw ConversionError(ConvertMessage(v, target, qz::HResultText(hr)));
    return result;
}

double ToDouble(const VARIANT& value, const std::string& target) {
    const VARIANT v = Dereference(value);
    double number = 0.0;
    if (v.vt == VT_EMPTY)
        return 0.0;
    if (v.vt == VT_NULL)
        throw ConversionError(ConvertMessage(v, target, ""));
    if (NumericValue(v, number))
        return number;
    if (v.vt == VT_BSTR)
        return Converted(v, VT_R8, target).get().dblVal;
    throw ConversionError(ConvertMessage(v, target, "the value is not a number"));
}

double ToDateTime(const VARIANT& value, const std::string& target) {
    const VARIANT v = Dereference(value);
    if (v.vt == VT_BSTR)
        return Converted(v, VT_DATE, target).get().date;
    return ToDouble(v, target);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool ToBoolean(const VARIANT& value, const std::string& target) {
    const VARIANT v = Dereference(value);
    if (v.vt == VT_BSTR) {
        const std::string text = BstrText(v.bstrVal);
        if (EqualsIgnoringCase(text, qz::kTrueText))
            return true;
        if (EqualsIgnoringCase(text, qz::kFalseText))
            return false;
        return Converted(v, VT_BOOL, target).get().boolVal != VARIANT_FALSE;
    }
    if (v.vt == VT_BOOL)
        return v.boolVal != VARIANT_FALSE;
    const double number = ToDouble(v, target);
    if (std::isnan(number))
        throw ConversionError(ConvertMessage(v, target, "NaN is neither true nor false"));
    return number != 0.0;
}

// The digits of a number as the float and BCD formats see them: a single keeps the digits it was given.
DecimalDigits NumberDigits(const VARIANT& value, const std::string& target) {
    const VARIANT v = Dereference(value);
    const double number = ToDouble(v, target);
    if (!std::isfinite(number))
        throw ConversionError(
            ConvertMessage(v, target, "NaN and infinite values cannot be written as numbers"));
    if (v.vt == VT_R4)
        return FloatDigits(v.fltVal);
    return DoubleDigits(number, 15);
}

std::string TargetName(TFieldType type) {
    return std::string(ToString(type));
}

// A date or time text; a value the formats cannot show fails with a message naming the target.
template <class Format>
std::string DateTimeFieldText(const VARIANT& value, const std::string& target, Format format) {
    const double date_time = ToDateTime(value, target);
    try {
        return format(date_time);
    } catch (const ConversionError& e) {
        throw ConversionError(std::string(e.what()) + " (" + target + ")");
    }
}

bool IsQuotedType(TFieldType type) {
    switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftWideString:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string QuoteSqlString(const std::string& text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('\'');
    for (char c : text) {
        if (c == '\0')
            continue; // SQL text cannot carry a NUL: it would cut the statement short wherever it is handled
        if (c == '\'')
            quoted.push_back('\'');
        quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

std::string DescribeValue(const VARIANT& value) {
    const VARIANT v = Dereference(value);
    if (v.vt == VT_EMPTY)
        return "an empty value";
    if (v.vt == VT_NULL)
        return "a null value";
    const char* type = TypeName(v.vt);
    std::string text;
    if (v.vt == VT_BSTR) {
        text = BstrText(v.bstrVal);
        constexpr std::size_t kLimit = 60;
        if (text.size() > kLimit) {
            std::size_t cut = kLimit;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut; // do not split a UTF-8 sequence
            text = text.substr(0, cut) + "...";
        }
        return "the text \"" + text + "\"";
    }
    double number = 0.0;
    if (v.vt == VT_R4 && std::isfinite(v.fltVal))
        text = FormatGeneral(FloatDigits(v.fltVal), DecimalSeparator());
    else if (v.vt == VT_BOOL)
        text = v.boolVal ? std::string(qz::kTrueText) : std::string(qz::kFalseText);
    else if (v.vt == VT_CY)
        text = CurrencyText(v.cyVal);
    else if (v.vt == VT_I8)
        text = std::to_string(v.llVal);
    else if (v.vt == VT_UI8)
        text = std::to_string(v.ullVal);
    else if (NumericValue(v, number))
        text = DoubleText(number);
    else
        return std::string("a value of type ") + type;
    return text + " (" + type + ")";
}

std::string VariantText(const VARIANT& value) {
    const VARIANT v = Dereference(value);
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BSTR:
        return BstrText(v.bstrVal);
    case VT_BOOL:
        return v.boolVal ? std::string(qz::kTrueText) : std::string(qz::kFalseText);
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
        return std::to_string(static_cast<std::int64_t>([&] {
            double n = 0;
            NumericValue(v, n);
            return n;
        }()));
    case VT_I8:
        return std::to_string(v.llVal);
    case VT_UI8:
        return std::to_string(v.ullVal);
    case VT_R4:
        return std::isfinite(v.fltVal) ? FormatGeneral(FloatDigits(v.fltVal), DecimalSeparator())
                                       : DoubleText(v.fltVal);
    case VT_R8:
        return DoubleText(v.dblVal);
    case VT_CY:
        return CurrencyText(v.cyVal);
    case VT_DATE:
        return FormatDateTime(v.date);
    case VT_DECIMAL:
        return ScaledText(DecimalMagnitude(v.decVal), v.decVal.scale, (v.decVal.sign & 0x80) != 0);
    default:
        throw ConversionError(ConvertMessage(v, "text", "the value has no text form"));
    }
}

double VariantToDouble(const VARIANT& value, const char* target_name) {
    return ToDouble(value, target_name);
}

std::string FormatFieldValue(const VARIANT& value, TFieldType field_type) {
    std::string text = FormatFieldText(value, field_type);
    return IsQuotedType(field_type) ? QuoteSqlString(text) : text;
}

std::string FormatFieldText(const VARIANT& value, TFieldType field_type) {
    const std::string target = TargetName(field_type);
    switch (field_type) {
    case TFieldType::ftString:
    case TFieldType::ftWideString:
        return VariantText(value);
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord: {
        const VARIANT v = Dereference(value);
        return std::to_string(
            RoundToInt32(ToDouble(v, target), DescribeValue(v), target + " (32-bit integer)"));
    }
    case TFieldType::ftBoolean:
        return ToBoolean(value, target) ? std::string(qz::kTrueText) : std::string(qz::kFalseText);
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return FormatGeneral(NumberDigits(value, target), DecimalSeparator());
    case TFieldType::ftBCD:
    case TFieldType::ftFMTBcd: {
        const DecimalDigits digits = NumberDigits(value, target);
        try {
            return FormatBcd(digits, DecimalSeparator());
        } catch (const ConversionError&) {
            throw ConversionError("BCD overflow: " + DescribeValue(value) +
                                  " has more than 18 integer digits");
        }
    }
    case TFieldType::ftDate:
        return DateTimeFieldText(value, target, FormatShortDate);
    case TFieldType::ftTime:
        return DateTimeFieldText(value, target, FormatLongTime);
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
        return DateTimeFieldText(value, target, FormatDateTime);
    default:
        return {};
    }
}

} // namespace tagsink
