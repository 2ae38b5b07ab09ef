#include "sim_value.hpp"

#include "sim_time.hpp"
#include "sim_variant.hpp"

#include "platform/ascii.hpp"
#include "platform/utf16.hpp"
#include "platform/var_type.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace tagclient::transport::sim {

namespace {

bool IsRealType(VARTYPE vt) {
    return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE;
}

// An exact integer of any integer type, as sign and magnitude (no 128-bit type on every target).
struct Exact {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

Exact ExactOf(std::int64_t i) {
    if (i >= 0)
        return {false, static_cast<std::uint64_t>(i)};
    return {true, static_cast<std::uint64_t>(-(i + 1)) + 1};
}

// The exact integer a value of an integer type stands for.
Exact ExactInteger(const Value& v) {
    if (v.type == VT_UI8)
        return {false, static_cast<std::uint64_t>(v.integer)};
    return ExactOf(v.integer);
}

// The largest magnitudes a type holds below and above zero.
void IntegerRange(VARTYPE vt, std::uint64_t* negative, std::uint64_t* positive) {
    switch (vt) {
    case VT_I1:
        *negative = 128, *positive = INT8_MAX;
        return;
    case VT_UI1:
        *negative = 0, *positive = UINT8_MAX;
        return;
    case VT_I2:
        *negative = 32768, *positive = INT16_MAX;
        return;
    case VT_UI2:
        *negative = 0, *positive = UINT16_MAX;
        return;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        *negative = 2147483648ULL, *positive = INT32_MAX;
        return;
    case VT_UI4:
    case VT_UINT:
        *negative = 0, *positive = UINT32_MAX;
        return;
    case VT_UI8:
        *negative = 0, *positive = UINT64_MAX;
        return;
    default:
        *negative = 9223372036854775808ULL, *positive = INT64_MAX;
        return;
    }
}

bool Fits(VARTYPE vt, Exact e) {
    std::uint64_t negative = 0, positive = 0;
    IntegerRange(vt, &negative, &positive);
    return e.negative ? e.magnitude <= negative : e.magnitude <= positive;
}

// Stores an exact integer that fits the type (VT_UI8 bit for bit).
Value FromExact(VARTYPE vt, Exact e) {
    Value out;
    out.type = vt;
    if (e.negative)
        out.integer = e.magnitude == 0 ? 0 : -static_cast<std::int64_t>(e.magnitude - 1) - 1;
    else
        out.integer = static_cast<std::int64_t>(e.magnitude);
    return out;
}

std::string Trimmed(const std::u16string& s) {
    std::string t = Utf8(s);
    size_t b = 0, e = t.size();
    while (b < e && std::isspace(static_cast<unsigned char>(t[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(t[e - 1])))
        --e;
    return t.substr(b, e - b);
}

bool ParseInteger(const std::string& s, Exact* out) {
    if (s.empty())
        return false;
    const char* first = s.c_str();
    const char* last = first + s.size();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    std::uint64_t magnitude = 0;
    auto [p, ec] = std::from_chars(first, last, magnitude);
    if (ec != std::errc() || p != last)
        return false;
    *out = {negative && magnitude != 0, magnitude};
    return true;
}

// The exact integer a source stands for, when it is one: a value of an integer type (VT_ERROR included),
// a boolean (-1 or 0), currency in whole units, or a text of an integer.
bool ExactSource(const Value& v, Exact* e) {
    if (qz::HoldsIntegerValue(v.type)) {
        *e = ExactInteger(v);
        return true;
    }
    if (v.type == VT_BOOL) {
        *e = ExactOf(v.integer != 0 ? -1 : 0);
        return true;
    }
    if (v.type == VT_CY && v.integer % 10000 == 0) {
        *e = ExactOf(v.integer / 10000);
        return true;
    }
    if (v.type == VT_BSTR)
        return ParseInteger(Trimmed(v.text), e);
    return false;
}

// Everything the simulated servers do not do differently: the platform's VARIANT conversion, in the
// invariant locale (where the system converts, as on Windows, its regional settings must not change what a
// server accepts: "2.5" is two and a half everywhere).
constexpr LCID kInvariantLocale = 0x007F;

HRESULT PlatformConvert(const Value& from, VARTYPE to, Value* out) {
    VARIANT source;
    VariantInit(&source);
    if (HRESULT hr = ValueToVariant(from, &source); FAILED(hr))
        return hr;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeTypeEx(&converted, &source, kInvariantLocale, 0, to);
    VariantClear(&source);
    if (SUCCEEDED(hr))
        hr = VariantToValue(converted, out);
    VariantClear(&converted);
    return hr;
}

// A scalar conversion: the platform's VariantChangeType, with what a simulated server does differently on
// top of it:
//  - integers stay exact through 64 bits: an integer source (integer types, VT_ERROR, booleans, whole
//    currency, integer texts up to 18446744073709551615) meets an integer target by range check alone,
//    never through a double, and VT_ERROR counts as a 32-bit integer both ways;
//  - texts are the servers' own (ValueText: ISO dates with milliseconds, shortest round-trip reals,
//    "True"/"False"), and a text in ISO form ("2024-02-29 12:00:00") is a date;
//  - blanks around a text are ignored, "true" and "false" (any case) are the numbers -1 and 0.
HRESULT ConvertScalar(const Value& from, VARTYPE to, Value* out) {
    if (from.type == to) {
        *out = from;
        return S_OK;
    }
    if (from.type == VT_NULL || from.IsArray())
        return DISP_E_TYPEMISMATCH;
    if (to == VT_BSTR) {
        *out = Value::Text(from.type == VT_EMPTY ? std::u16string() : ValueText(from));
        return S_OK;
    }
    Value source = from;
    if (from.type == VT_BSTR) {
        const std::string text = Trimmed(from.text);
        double date = 0;
        if (to == VT_DATE && ParseIsoDate(text, &date)) {
            *out = Value::Date(date);
            return S_OK;
        }
        if (qz::EqualsNoCase(text, "true") || qz::EqualsNoCase(text, "false"))
            source = Value::Bool(qz::EqualsNoCase(text, "true"));
        else
            source = Value::Text(Utf16(text));
    }
    if (qz::HoldsIntegerValue(to)) {
        Exact e;
        if (ExactSource(source, &e)) {
            if (!Fits(to, e))
                return DISP_E_OVERFLOW;
            *out = FromExact(to, e);
            return S_OK;
        }
        if (to == VT_ERROR) {
            // The platform converts nothing to VT_ERROR: go through the 32-bit integer.
            Value number;
            if (HRESULT hr = PlatformConvert(source, VT_I4, &number); FAILED(hr))
                return hr;
            *out = Value::Integer(VT_ERROR, number.integer);
            return S_OK;
        }
    }
    if (source.type == VT_ERROR)
        source = Value::Integer(VT_I4, static_cast<std::int32_t>(source.integer));
    return PlatformConvert(source, to, out);
}

} // namespace

Value Value::Integer(VARTYPE vt, std::int64_t v) {
    Value out;
    out.type = vt;
    out.integer = v;
    return out;
}

Value Value::Real(VARTYPE vt, double v) {
    Value out;
    out.type = vt;
    out.real = v;
    return out;
}

Value Value::Bool(bool v) {
    return Integer(VT_BOOL, v ? -1 : 0);
}

Value Value::Text(std::u16string v) {
    Value out;
    out.type = VT_BSTR;
    out.text = std::move(v);
    return out;
}

Value Value::Date(double ole_date) {
    return Real(VT_DATE, ole_date);
}

Value Value::Currency(std::int64_t scaled) {
    return Integer(VT_CY, scaled);
}

Value Value::Array(VARTYPE element_type, std::vector<Value> elements) {
    Value out;
    out.type = static_cast<VARTYPE>(VT_ARRAY | element_type);
    out.elements = std::move(elements);
    return out;
}

bool Value::ToDouble(double* out) const {
    if (IsArray() || type == VT_BSTR || type == VT_EMPTY || type == VT_NULL)
        return false;
    if (IsRealType(type)) {
        *out = real;
        return true;
    }
    if (type == VT_CY) {
        *out = static_cast<double>(integer) / 10000.0;
        return true;
    }
    if (type == VT_UI8) {
        *out = static_cast<double>(static_cast<std::uint64_t>(integer));
        return true;
    }
    *out = static_cast<double>(integer);
    return true;
}

bool operator==(const Value& a, const Value& b) {
    if (a.type != b.type)
        return false;
    if (a.IsArray())
        return a.elements == b.elements;
    if (a.type == VT_BSTR)
        return a.text == b.text;
    if (IsRealType(a.type))
        return a.real == b.real || (std::isnan(a.real) && std::isnan(b.real));
    if (a.type == VT_EMPTY || a.type == VT_NULL)
        return true;
    return a.integer == b.integer;
}

bool IsSupportedScalarType(VARTYPE vt) {
    return qz::HoldsIntegerValue(vt) || IsRealType(vt) || vt == VT_BOOL || vt == VT_BSTR || vt == VT_CY;
}

bool IsSupportedType(VARTYPE vt) {
    if (vt & VT_ARRAY) {
        VARTYPE element = static_cast<VARTYPE>(vt & ~VT_ARRAY);
        return element == VT_VARIANT || IsSupportedScalarType(element);
    }
    return IsSupportedScalarType(vt);
}

HRESULT ConvertValue(const Value& from, VARTYPE to, Value* out) {
    if (to == VT_EMPTY) {
        *out = from;
        return S_OK;
    }
    if (!IsSupportedType(to))
        return DISP_E_TYPEMISMATCH;
    if ((to & VT_ARRAY) != 0) {
        if (!from.IsArray())
            return DISP_E_TYPEMISMATCH;
        VARTYPE element = static_cast<VARTYPE>(to & ~VT_ARRAY);
        std::vector<Value> converted;
        converted.reserve(from.elements.size());
        for (const Value& e : from.elements) {
            if (element == VT_VARIANT) {
                converted.push_back(e);
                continue;
            }
            Value c;
            if (HRESULT hr = ConvertScalar(e, element, &c); FAILED(hr))
                return hr;
            converted.push_back(std::move(c));
        }
        *out = Value::Array(element, std::move(converted));
        return S_OK;
    }
    return ConvertScalar(from, to, out);
}

std::u16string ValueText(const Value& v) {
    char buffer[64];
    switch (v.type) {
    case VT_BSTR:
        return v.text;
    case VT_BOOL:
        return v.integer != 0 ? u"True" : u"False";
    case VT_R4: {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v.real));
        return Utf16(std::string_view(buffer, static_cast<size_t>(r.ptr - buffer)));
    }
    case VT_R8: {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, v.real);
        return Utf16(std::string_view(buffer, static_cast<size_t>(r.ptr - buffer)));
    }
    case VT_DATE:
        return Utf16(FormatIsoDate(v.real));
    case VT_CY: {
        std::int64_t units = v.integer / 10000;
        std::int64_t frac = v.integer % 10000;
        std::string s = (v.integer < 0 && units == 0) ? "-0" : std::to_string(units);
        if (frac != 0) {
            std::string digits = std::to_string(frac < 0 ? -frac : frac);
            digits.insert(0, 4 - digits.size(), '0');
            while (!digits.empty() && digits.back() == '0')
                digits.pop_back();
            s += "." + digits;
        }
        return Utf16(s);
    }
    case VT_EMPTY:
    case VT_NULL:
        return u"";
    case VT_UI8:
        return Utf16(std::to_string(static_cast<std::uint64_t>(v.integer)));
    default:
        if (v.IsArray()) {
            std::u16string s = u"{";
            for (size_t i = 0; i < v.elements.size(); ++i) {
                if (i != 0)
                    s += u",";
                s += ValueText(v.elements[i]);
            }
            return s + u"}";
        }
        return Utf16(std::to_string(v.integer));
    }
}

std::u16string Utf16(std::string_view utf8) {
    return qz::Utf8ToUtf16(utf8);
}

std::string Utf8(std::u16string_view utf16) {
    return qz::Utf16ToUtf8(utf16);
}

} // namespace tagclient::transport::sim
