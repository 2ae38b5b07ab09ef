// VariantChangeType: conversions between the scalar OLE Automation types in the fixed locale of
// platform/locale_formats.h.
//
// Rules, as OLE applies them:
// - integer targets round halves to even and give DISP_E_OVERFLOW out of range;
// - text is read as a number with "." as decimal separator, blanks around it allowed; text that is no
//   number gives DISP_E_TYPEMISMATCH;
// - numbers become text in the shortest general form (15 significant digits for VT_R8, 7 for VT_R4),
//   currency and decimals in plain decimal form, dates as "yyyy-mm-dd hh:nn:ss";
// - booleans are -1 and 0 as numbers, "True"/"False" as text with VARIANT_ALPHABOOL, "-1"/"0" without;
// - VT_EMPTY converts to 0, "" and False; VT_NULL only to itself (or VT_EMPTY is refused too);
// - VT_ERROR converts only to itself, VT_I4 and VT_UI4; arrays only to the same array type.
// The LCID is ignored: there is one fixed locale.
#include "oleaut_internal.hpp"
#include "oleaut_number_text.hpp"
#include "platform/civil_time.hpp"
#include "platform/locale_formats.hpp"
#include "platform/oleauto.h"
#include "platform/var_type.hpp"
#include "platform/variant_reference.hpp"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

namespace {

using qz::detail::DecimalNumber;
using i128 = __int128;

enum class Kind { Empty, Signed, Unsigned, Real, Date, Currency, Decimal, Bool, Text, Error };

// One scalar source value, read out of a VARIANT without taking ownership.
struct Scalar {
    Kind kind = Kind::Empty;
    VARTYPE vt = VT_EMPTY;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0;
    std::int64_t cy = 0;
    DecimalNumber dec;
    bool b = false;
    std::u16string_view text;
    SCODE err = 0;
};

constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;

HRESULT ReadScalar(const VARIANT& v, Scalar& out) {
    out.vt = v.vt;
    switch (v.vt) {
    case VT_EMPTY:
        out.kind = Kind::Empty;
        return S_OK;
    case VT_I1:
        out.kind = Kind::Signed, out.s = v.cVal;
        return S_OK;
    case VT_I2:
        out.kind = Kind::Signed, out.s = v.iVal;
        return S_OK;
    case VT_I4:
        out.kind = Kind::Signed, out.s = v.lVal;
        return S_OK;
    case VT_INT:
        out.kind = Kind::Signed, out.s = v.intVal;
        return S_OK;
    case VT_I8:
        out.kind = Kind::Signed, out.s = v.llVal;
        return S_OK;
    case VT_UI1:
        out.kind = Kind::Unsigned, out.u = v.bVal;
        return S_OK;
    case VT_UI2:
        out.kind = Kind::Unsigned, out.u = v.uiVal;
        return S_OK;
    case VT_UI4:
        out.kind = Kind::Unsigned, out.u = v.ulVal;
        return S_OK;
    case VT_UINT:
        out.kind = Kind::Unsigned, out.u = v.uintVal;
        return S_OK;
    case VT_UI8:
        out.kind = Kind::Unsigned, out.u = v.ullVal;
        return S_OK;
    case VT_R4:
        out.kind = Kind::Real, out.r = v.fltVal;
        return S_OK;
    case VT_R8:
        out.kind = Kind::Real, out.r = v.dblVal;
        return S_OK;
    case VT_DATE:
        out.kind = Kind::Date, out.r = v.date;
        return S_OK;
    case VT_CY:
        out.kind = Kind::Currency, out.cy = v.cyVal.int64;
        return S_OK;
    case VT_BOOL:
        out.kind = Kind::Bool, out.b = v.boolVal != 0;
        return S_OK;
    case VT_BSTR:
        out.kind = Kind::Text;
        out.text = std::u16string_view(v.bstrVal ? reinterpret_cast<const char16_t*>(v.bstrVal) : u"",
                                       SysStringLen(v.bstrVal));
        return S_OK;
    case VT_ERROR:
        out.kind = Kind::Error, out.err = v.scode;
        return S_OK;
    case VT_DECIMAL: {
        if (v.decVal.scale > 28)
            return E_INVALIDARG;
        const unsigned __int128 magnitude =
            (static_cast<unsigned __int128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
        out.kind = Kind::Decimal;
        out.dec = qz::detail::MakeDecimal((v.decVal.sign & 0x80) != 0, magnitude,
                                          -static_cast<int>(v.decVal.scale));
        return S_OK;
    }
    default:
        return kMismatch; // VT_NULL, interfaces
    }
}

// Rounds a double to an integer, halves to even; false when not finite or far out of any integer range.
bool RoundReal(double x, i128& out) {
    if (!std::isfinite(x) || std::fabs(x) >= 3.6e19)
        return false;
    double f = std::floor(x);
    const double diff = x - f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0.0))
        f += 1.0;
    out = static_cast<i128>(f);
    return true;
}

// The value as an integer count of 10^-scale_digits units (scale_digits is 0 for integers, 4 for
// currency), rounded halves to even.
HRESULT ToScaledInteger(const Scalar& s, int scale_digits, i128& out) {
    const i128 factor = scale_digits == 4 ? 10000 : 1;
    switch (s.kind) {
    case Kind::Empty:
        out = 0;
        return S_OK;
    case Kind::Signed:
        out = static_cast<i128>(s.s) * factor;
        return S_OK;
    case Kind::Unsigned:
        out = static_cast<i128>(s.u) * factor;
        return S_OK;
    case Kind::Bool:
        out = s.b ? -factor : 0;
        return S_OK;
    case Kind::Real:
    case Kind::Date:
        return RoundReal(s.r * static_cast<double>(factor), out) ? S_OK : kOverflow;
    case Kind::Currency: {
        if (scale_digits == 4) {
            out = s.cy;
            return S_OK;
        }
        const DecimalNumber n = qz::detail::MakeDecimal(
            s.cy < 0, static_cast<unsigned __int128>(s.cy < 0 ? -static_cast<i128>(s.cy) : s.cy), -4);
        return qz::detail::RoundDecimal(n, 0, out) ? S_OK : kOverflow;
    }
    case Kind::Decimal:
        return qz::detail::RoundDecimal(s.dec, -scale_digits, out) ? S_OK : kOverflow;
    case Kind::Text: {
        const auto n = qz::detail::ParseDecimal(s.text);
        if (!n)
            return kMismatch;
        return qz::detail::RoundDecimal(*n, -scale_digits, out) ? S_OK : kOverflow;
    }
    case Kind::Error:
        return kMismatch;
    }
    return kMismatch;
}

HRESULT ToDouble(const Scalar& s, double& out) {
    switch (s.kind) {
    case Kind::Empty:
        out = 0;
        return S_OK;
    case Kind::Signed:
        out = static_cast<double>(s.s);
        return S_OK;
    case Kind::Unsigned:
        out = static_cast<double>(s.u);
        return S_OK;
    case Kind::Bool:
        out = s.b ? -1.0 : 0.0;
        return S_OK;
    case Kind::Real:
    case Kind::Date:
        out = s.r;
        return S_OK;
    case Kind::Currency:
        out = static_cast<double>(s.cy) / 10000.0;
        return S_OK;
    case Kind::Decimal:
    case Kind::Text: {
        DecimalNumber n;
        if (s.kind == Kind::Decimal) {
            n = s.dec;
        } else {
            auto parsed = qz::detail::ParseDecimal(s.text);
            if (!parsed)
                return kMismatch;
            n = std::move(*parsed);
        }
        if (n.isZero()) {
            out = 0;
            return S_OK;
        }
        const long long magnitude = static_cast<long long>(n.digits.size()) + n.exponent;
        if (magnitude < -400) {
            out = 0; // below the smallest double: underflows to zero
            return S_OK;
        }
        if (magnitude > 400)
            return kOverflow;
        const std::string text = qz::detail::DecimalToScientific(n);
        double value = 0;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
        if (res.ec == std::errc::result_out_of_range)
            return magnitude < 0 ? (out = 0, S_OK) : kOverflow;
        if (res.ec != std::errc())
            return kMismatch;
        out = value;
        return S_OK;
    }
    case Kind::Error:
        return kMismatch;
    }
    return kMismatch;
}

HRESULT ToBool(const Scalar& s, bool& out) {
    switch (s.kind) {
    case Kind::Empty:
        out = false;
        return S_OK;
    case Kind::Signed:
        out = s.s != 0;
        return S_OK;
    case Kind::Unsigned:
        out = s.u != 0;
        return S_OK;
    case Kind::Bool:
        out = s.b;
        return S_OK;
    case Kind::Real:
    case Kind::Date:
        out = s.r != 0; // NaN is true
        return S_OK;
    case Kind::Currency:
        out = s.cy != 0;
        return S_OK;
    case Kind::Decimal:
        out = !s.dec.isZero();
        return S_OK;
    case Kind::Text: {
        std::u16string_view t = s.text;
        while (!t.empty() && (t.front() == u' ' || t.front() == u'\t'))
            t.remove_prefix(1);
        while (!t.empty() && (t.back() == u' ' || t.back() == u'\t'))
            t.remove_suffix(1);
        auto equals_ignoring_case = [&](std::string_view word) {
            if (t.size() != word.size())
                return false;
            for (std::size_t i = 0; i < t.size(); ++i) {
                char16_t a = t[i];
                char16_t b = static_cast<char16_t>(word[i]);
                if (a >= u'a' && a <= u'z')
                    a = static_cast<char16_t>(a - 32);
                if (b >= u'a' && b <= u'z')
                    b = static_cast<char16_t>(b - 32);
                if (a != b)
                    return false;
            }
            return true;
        };
        if (equals_ignoring_case(qz::kTrueText)) {
            out = true;
            return S_OK;
        }
        if (equals_ignoring_case(qz::kFalseText)) {
            out = false;
            return S_OK;
        }
        const auto n = qz::detail::ParseDecimal(s.text);
        if (!n)
            return kMismatch;
        out = !n->isZero();
        return S_OK;
    }
    case Kind::Error:
        return kMismatch;
    }
    return kMismatch;
}

HRESULT ToDate(const Scalar& s, double& out) {
    if (s.kind == Kind::Text) {
        const std::string utf8 = [&] {
            std::string a;
            for (char16_t c : s.text)
                a.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            return a;
        }();
        const auto date = qz::ParseDate(utf8);
        if (!date)
            return kMismatch;
        out = *date;
        return S_OK;
    }
    double value = 0;
    const HRESULT hr = ToDouble(s, value);
    if (FAILED(hr))
        return hr;
    if (!std::isfinite(value) || value < qz::kMinDate || value >= qz::kMaxDate + 0.00001)
        return kOverflow;
    out = value;
    return S_OK;
}

HRESULT ToText(const Scalar& s, USHORT flags, std::string& out) {
    switch (s.kind) {
    case Kind::Empty:
        out.clear();
        return S_OK;
    case Kind::Signed:
        out = std::to_string(s.s);
        return S_OK;
    case Kind::Unsigned:
        out = std::to_string(s.u);
        return S_OK;
    case Kind::Bool:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            out = s.b ? qz::kTrueText : qz::kFalseText;
        else
            out = s.b ? "-1" : "0";
        return S_OK;
    case Kind::Real:
        out = qz::detail::FormatReal(s.r, s.vt == VT_R4 ? 7 : 15);
        return S_OK;
    case Kind::Date: {
        const auto text = qz::FormatDate(s.r);
        if (!text)
            return kOverflow;
        out = *text;
        return S_OK;
    }
    case Kind::Currency: {
        const i128 v = s.cy;
        out = qz::detail::DecimalToText(
            qz::detail::MakeDecimal(v < 0, static_cast<unsigned __int128>(v < 0 ? -v : v), -4));
        return S_OK;
    }
    case Kind::Decimal:
        out = qz::detail::DecimalToText(s.dec);
        return S_OK;
    case Kind::Text:
    case Kind::Error:
        return kMismatch;
    }
    return kMismatch;
}

HRESULT ToDecimal(const Scalar& s, DECIMAL& out) {
    DecimalNumber n;
    switch (s.kind) {
    case Kind::Empty:
        break;
    case Kind::Signed:
        n = qz::detail::MakeDecimal(
            s.s < 0, static_cast<unsigned __int128>(s.s < 0 ? -static_cast<i128>(s.s) : s.s), 0);
        break;
    case Kind::Unsigned:
        n = qz::detail::MakeDecimal(false, s.u, 0);
        break;
    case Kind::Bool:
        n = qz::detail::MakeDecimal(s.b, s.b ? 1 : 0, 0);
        break;
    case Kind::Real:
    case Kind::Date: {
        if (!std::isfinite(s.r))
            return kOverflow;
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, s.r, std::chars_format::scientific, 14);
        std::u16string text(buf, res.ptr);
        auto parsed = qz::detail::ParseDecimal(text);
        if (!parsed)
            return kOverflow;
        n = std::move(*parsed);
        break;
    }
    case Kind::Currency: {
        const i128 v = s.cy;
        n = qz::detail::MakeDecimal(v < 0, static_cast<unsigned __int128>(v < 0 ? -v : v), -4);
        break;
    }
    case Kind::Decimal:
        n = s.dec;
        break;
    case Kind::Text: {
        auto parsed = qz::detail::ParseDecimal(s.text);
        if (!parsed)
            return kMismatch;
        n = std::move(*parsed);
        break;
    }
    case Kind::Error:
        return kMismatch;
    }
    // Scale 0 to 28 and a 96-bit magnitude: drop decimals (rounding) until it fits.
    const unsigned __int128 max96 = (static_cast<unsigned __int128>(1) << 96) - 1;
    int scale = n.exponent < 0 ? -n.exponent : 0;
    if (scale > 28)
        scale = 28;
    for (;; --scale) {
        i128 units = 0;
        if (qz::detail::RoundDecimal(n, -scale, units)) {
            const unsigned __int128 magnitude = static_cast<unsigned __int128>(units < 0 ? -units : units);
            if (magnitude <= max96) {
                std::memset(&out, 0, sizeof out);
                out.scale = static_cast<BYTE>(scale);
                out.sign = units < 0 ? 0x80 : 0;
                out.Hi32 = static_cast<ULONG>(magnitude >> 64);
                out.Lo64 = static_cast<ULONGLONG>(magnitude);
                return S_OK;
            }
        }
        if (scale == 0)
            return kOverflow;
    }
}

void IntegerRange(VARTYPE vt, i128& lo, i128& hi) {
    switch (vt) {
    case VT_I1:
        lo = INT8_MIN, hi = INT8_MAX;
        break;
    case VT_UI1:
        lo = 0, hi = UINT8_MAX;
        break;
    case VT_I2:
        lo = INT16_MIN, hi = INT16_MAX;
        break;
    case VT_UI2:
        lo = 0, hi = UINT16_MAX;
        break;
    case VT_I4:
    case VT_INT:
        lo = INT32_MIN, hi = INT32_MAX;
        break;
    case VT_UI4:
    case VT_UINT:
        lo = 0, hi = UINT32_MAX;
        break;
    case VT_I8:
        lo = INT64_MIN, hi = INT64_MAX;
        break;
    default:
        lo = 0, hi = UINT64_MAX;
        break;
    }
}

void StoreInteger(VARIANT& v, VARTYPE vt, i128 value) {
    switch (vt) {
    case VT_I1:
        v.cVal = static_cast<CHAR>(value);
        break;
    case VT_UI1:
        v.bVal = static_cast<BYTE>(value);
        break;
    case VT_I2:
        v.iVal = static_cast<SHORT>(value);
        break;
    case VT_UI2:
        v.uiVal = static_cast<USHORT>(value);
        break;
    case VT_I4:
        v.lVal = static_cast<LONG>(value);
        break;
    case VT_INT:
        v.intVal = static_cast<INT>(value);
        break;
    case VT_UI4:
        v.ulVal = static_cast<ULONG>(value);
        break;
    case VT_UINT:
        v.uintVal = static_cast<UINT>(value);
        break;
    case VT_I8:
        v.llVal = static_cast<LONGLONG>(value);
        break;
    default:
        v.ullVal = static_cast<ULONGLONG>(value);
        break;
    }
    v.vt = vt;
}

// Converts one scalar into a fresh VARIANT of type vt.
HRESULT ConvertScalar(const Scalar& s, VARTYPE vt, USHORT flags, VARIANT& result) {
    VariantInit(&result);
    if (qz::IsIntegerVarType(vt)) {
        if (s.kind == Kind::Error) {
            if (vt != VT_I4 && vt != VT_UI4)
                return kMismatch;
            StoreInteger(result, vt,
                         vt == VT_I4 ? static_cast<i128>(s.err)
                                     : static_cast<i128>(static_cast<ULONG>(s.err)));
            return S_OK;
        }
        i128 value = 0;
        HRESULT hr = ToScaledInteger(s, 0, value);
        if (FAILED(hr))
            return hr;
        i128 lo = 0, hi = 0;
        IntegerRange(vt, lo, hi);
        if (s.kind == Kind::Bool && s.b && lo == 0)
            value = hi; // True into an unsigned type sets every bit
        if (value < lo || value > hi)
            return kOverflow;
        StoreInteger(result, vt, value);
        return S_OK;
    }
    switch (vt) {
    case VT_EMPTY:
        return S_OK;
    case VT_NULL:
        if (s.kind != Kind::Empty)
            return kMismatch;
        result.vt = VT_NULL;
        return S_OK;
    case VT_R4:
    case VT_R8: {
        double value = 0;
        const HRESULT hr = ToDouble(s, value);
        if (FAILED(hr))
            return hr;
        if (vt == VT_R4) {
            if (std::isfinite(value) && std::fabs(value) > FLT_MAX)
                return kOverflow;
            result.fltVal = static_cast<float>(value);
        } else {
            result.dblVal = value;
        }
        result.vt = vt;
        return S_OK;
    }
    case VT_CY: {
        i128 units = 0;
        const HRESULT hr = ToScaledInteger(s, 4, units);
        if (FAILED(hr))
            return hr;
        if (units < INT64_MIN || units > INT64_MAX)
            return kOverflow;
        result.cyVal.int64 = static_cast<LONGLONG>(units);
        result.vt = VT_CY;
        return S_OK;
    }
    case VT_DATE: {
        double value = 0;
        const HRESULT hr = ToDate(s, value);
        if (FAILED(hr))
            return hr;
        result.date = value;
        result.vt = VT_DATE;
        return S_OK;
    }
    case VT_BOOL: {
        bool value = false;
        const HRESULT hr = ToBool(s, value);
        if (FAILED(hr))
            return hr;
        result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        result.vt = VT_BOOL;
        return S_OK;
    }
    case VT_BSTR: {
        std::string text;
        const HRESULT hr = ToText(s, flags, text);
        if (FAILED(hr))
            return hr;
        // Every text written above is ASCII.
        std::u16string wide(text.begin(), text.end());
        result.bstrVal =
            SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
        if (!result.bstrVal)
            return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
        return S_OK;
    }
    case VT_ERROR:
        if (s.vt == VT_I4 || s.vt == VT_UI4) {
            result.scode = s.vt == VT_I4 ? static_cast<SCODE>(s.s) : static_cast<SCODE>(s.u);
            result.vt = VT_ERROR;
            return S_OK;
        }
        return kMismatch;
    case VT_DECIMAL: {
        DECIMAL value;
        const HRESULT hr = ToDecimal(s, value);
        if (FAILED(hr))
            return hr;
        result.decVal = value;
        result.vt = VT_DECIMAL; // after decVal: its first field shares the place of vt
        return S_OK;
    }
    default:
        return kMismatch;
    }
}

} // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID /*lcid*/, USHORT wFlags,
                            VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (vt & VT_BYREF)
        return kMismatch;
    if (vt != VT_EMPTY && vt != VT_NULL && FAILED(qz::detail::CheckVariantType(vt)))
        return DISP_E_BADVARTYPE;
    HRESULT hr = qz::detail::CheckVariantType(pvarSrc->vt);
    if (FAILED(hr))
        return hr;

    VARIANT source;
    if (pvarSrc->vt & VT_BYREF) {
        hr = qz::ReadThroughReference(*pvarSrc, source);
        if (FAILED(hr))
            return hr;
    } else {
        std::memcpy(static_cast<void*>(&source), pvarSrc, sizeof(VARIANT));
    }

    VARIANT result;
    VariantInit(&result);
    if (source.vt == vt) {
        hr = VariantCopy(&result, &source); // deep copy, also of a referenced value
    } else if ((source.vt & VT_ARRAY) || (vt & VT_ARRAY)) {
        hr = kMismatch;
    } else if (source.vt == VT_NULL) {
        hr = kMismatch;
    } else if (source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        hr = kMismatch;
    } else {
        Scalar s;
        hr = ReadScalar(source, s);
        if (SUCCEEDED(hr))
            hr = ConvertScalar(s, vt, wFlags, result);
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr; // the destination is left as it was
    }
    // Clear the destination only now: it may be the source.
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(pvargDest), &result, sizeof(VARIANT));
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, 0, wFlags, vt);
}

} // extern "C"
