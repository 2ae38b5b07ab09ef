// The simulated servers' own value type: what an item holds, a plain value the server logic and its tests
// work with; it becomes a VARIANT at the transport edge and for conversions (sim_variant.hpp).
#pragma once
#include <platform/oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

// One value of an OPC item in one of the automation types.
//  - integers (VT_I1..VT_UI8, VT_INT, VT_UINT, VT_ERROR) and VT_BOOL (0 or -1) and VT_CY (the value times
//    10,000) live in `integer` (unsigned 64-bit values are stored bit for bit);
//  - VT_R4, VT_R8 and VT_DATE (days since 1899-12-30) live in `real`;
//  - VT_BSTR lives in `text` (UTF-16);
//  - arrays (VT_ARRAY | element type) hold their elements in `elements`, each of the element type.
struct Value {
    VARTYPE type = VT_EMPTY;
    std::int64_t integer = 0;
    double real = 0.0;
    std::u16string text;
    std::vector<Value> elements;

    static Value Empty() { return {}; }
    static Value Integer(VARTYPE vt, std::int64_t v);
    static Value Real(VARTYPE vt, double v);
    static Value Bool(bool v);
    static Value Text(std::u16string v);
    static Value Date(double ole_date);
    static Value Currency(std::int64_t scaled);
    static Value Array(VARTYPE element_type, std::vector<Value> elements);

    bool IsArray() const { return (type & VT_ARRAY) != 0; }
    VARTYPE ElementType() const { return static_cast<VARTYPE>(type & ~VT_ARRAY); }
    // Numeric view for deadband checks (integers, reals, dates, currency in units, booleans as 0/-1).
    // False for strings, arrays and empty values.
    bool ToDouble(double* out) const;

    friend bool operator==(const Value& a, const Value& b);
    friend bool operator!=(const Value& a, const Value& b) { return !(a == b); }
};

// Whether vt is a scalar type the simulated servers can hold.
bool IsSupportedScalarType(VARTYPE vt);
// Whether vt is a supported scalar type or an array of one (VT_VARIANT elements included).
bool IsSupportedType(VARTYPE vt);

// Converts `from` to type `to`, as a server coerces a written value to an item's canonical type or a value
// to a client's requested type: the platform's VariantChangeType, with the servers' exact 64-bit integers,
// their own texts and ISO dates on top (sim_value.cpp). Returns S_OK, or DISP_E_TYPEMISMATCH when the types
// cannot be converted, DISP_E_OVERFLOW when the value does not fit. Arrays convert element by element;
// scalars never become arrays or the other way round. VT_EMPTY as target returns the value unchanged.
HRESULT ConvertValue(const Value& from, VARTYPE to, Value* out);

// Text of a value for a changed-string display and for conversion to VT_BSTR ("True"/"False" for booleans,
// ISO "YYYY-MM-DD hh:mm:ss.mmm" for dates, shortest round-trip digits for reals).
std::u16string ValueText(const Value& v);

// UTF-8 <-> UTF-16 for the simulated servers: the platform codec (platform/utf16.hpp; ill-formed input
// becomes U+FFFD).
std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view utf16);

} // namespace tagclient::transport::sim
