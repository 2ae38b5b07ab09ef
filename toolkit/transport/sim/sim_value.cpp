#include "sim_value.hpp"

#include "sim_time.hpp"

#include "platform/ascii.hpp"
#include "platform/utf16.hpp"

#include <cctype>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace qz::sim {

namespace {

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        return true;
    default:
        return false;
    }
}

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

double ToReal(Exact e) {
    double d = static_cast<double>(e.magnitude);
    return e.negative ? -d : d;
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

bool ParseDouble(const std::string& s, double* out) {
    if (s.empty())
        return false;
    const char* first = s.c_str();
    if (*first == '+')
        ++first;
    auto [p, ec] = std::from_chars(first, s.c_str() + s.size(), *out);
    return ec == std::errc() && p == s.c_str() + s.size();
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

// A scalar source reduced to a number: exact when it was an integer, otherwise a double.
struct Number {
    bool exact = false;
    Exact integer;
    double real = 0;
};

HRESULT ToNumber(const Value& v, Number* n) {
    if (v.type == VT_EMPTY) {
        n->exact = true;
        return S_OK;
    }
    if (IsIntegerType(v.type)) {
        n->exact = true;
        n->integer = ExactInteger(v);
        return S_OK;
    }
    if (v.type == VT_BOOL) {
        n->exact = true;
        n->integer = ExactOf(v.integer != 0 ? -1 : 0);
        return S_OK;
    }
    if (IsRealType(v.type)) {
        n->real = v.real;
        return S_OK;
    }
    if (v.type == VT_CY) {
        if (v.integer % 10000 == 0) {
            n->exact = true;
            n->integer = ExactOf(v.integer / 10000);
        } else {
            n->real = static_cast<double>(v.integer) / 10000.0;
        }
        return S_OK;
    }
    if (v.type == VT_BSTR) {
        std::string t = Trimmed(v.text);
        if (ParseInteger(t, &n->integer)) {
            n->exact = true;
            return S_OK;
        }
        if (ParseDouble(t, &n->real))
            return S_OK;
        if (qz::EqualsNoCase(t, "true") || qz::EqualsNoCase(t, "false")) {
            n->exact = true;
            n->integer = ExactOf(qz::EqualsNoCase(t, "true") ? -1 : 0);
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    return DISP_E_TYPEMISMATCH;
}

double AsDouble(const Number& n) {
    return n.exact ? ToReal(n.integer) : n.real;
}

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
    if (to == VT_DATE && from.type == VT_BSTR) {
        double date = 0;
        if (ParseIsoDate(Utf8(from.text), &date)) {
            *out = Value::Date(date);
            return S_OK;
        }
    }
    Number n;
    if (HRESULT hr = ToNumber(from, &n); FAILED(hr))
        return hr;
    if (IsIntegerType(to)) {
        Exact e;
        if (n.exact) {
            e = n.integer;
        } else {
            const double r = std::nearbyint(n.real);
            if (!std::isfinite(r) || std::fabs(r) >= 18446744073709551616.0)
                return DISP_E_OVERFLOW;
            e = {r < 0, static_cast<std::uint64_t>(std::fabs(r))};
        }
        if (!Fits(to, e))
            return DISP_E_OVERFLOW;
        *out = FromExact(to, e);
        return S_OK;
    }
    switch (to) {
    case VT_BOOL:
        *out = Value::Bool(n.exact ? n.integer.magnitude != 0 : n.real != 0.0);
        return S_OK;
    case VT_R4: {
        double d = AsDouble(n);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            return DISP_E_OVERFLOW;
        *out = Value::Real(VT_R4, static_cast<float>(d));
        return S_OK;
    }
    case VT_R8:
        *out = Value::Real(VT_R8, AsDouble(n));
        return S_OK;
    case VT_DATE:
        *out = Value::Date(AsDouble(n));
        return S_OK;
    case VT_CY: {
        if (n.exact) {
            if (n.integer.magnitude > static_cast<std::uint64_t>(INT64_MAX / 10000))
                return DISP_E_OVERFLOW;
            const auto units = static_cast<std::int64_t>(n.integer.magnitude) * 10000;
            *out = Value::Currency(n.integer.negative ? -units : units);
            return S_OK;
        }
        double scaled = std::nearbyint(n.real * 10000.0);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
            return DISP_E_OVERFLOW;
        *out = Value::Currency(static_cast<std::int64_t>(scaled));
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
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

Value Value::Date(double oleDate) {
    return Real(VT_DATE, oleDate);
}

Value Value::Currency(std::int64_t scaled) {
    return Integer(VT_CY, scaled);
}

Value Value::Array(VARTYPE elementType, std::vector<Value> elements) {
    Value out;
    out.type = static_cast<VARTYPE>(VT_ARRAY | elementType);
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
    return IsIntegerType(vt) || IsRealType(vt) || vt == VT_BOOL || vt == VT_BSTR || vt == VT_CY;
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

} // namespace qz::sim
