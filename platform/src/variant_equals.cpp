// Value equality of OLE values, used to decide whether a newly received value differs from the stored one.
#include "platform/variant.hpp"

#include <cmath>
#include <cstring>
#include <utility>

namespace qz {

namespace {

enum class NumberKind { None, Signed, Unsigned, Currency, Real };

// A numeric value of any OLE number type, kept exactly where the type is exact.
struct Number {
    NumberKind kind = NumberKind::None;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0;
};

Number ReadNumber(const VARIANT& v) {
    Number n;
    switch (v.vt) {
    case VT_I1:
        n.kind = NumberKind::Signed, n.s = v.cVal;
        break;
    case VT_I2:
        n.kind = NumberKind::Signed, n.s = v.iVal;
        break;
    case VT_I4:
        n.kind = NumberKind::Signed, n.s = v.lVal;
        break;
    case VT_INT:
        n.kind = NumberKind::Signed, n.s = v.intVal;
        break;
    case VT_I8:
        n.kind = NumberKind::Signed, n.s = v.llVal;
        break;
    case VT_BOOL:
        n.kind = NumberKind::Signed, n.s = v.boolVal != 0 ? -1 : 0;
        break;
    case VT_UI1:
        n.kind = NumberKind::Unsigned, n.u = v.bVal;
        break;
    case VT_UI2:
        n.kind = NumberKind::Unsigned, n.u = v.uiVal;
        break;
    case VT_UI4:
        n.kind = NumberKind::Unsigned, n.u = v.ulVal;
        break;
    case VT_UINT:
        n.kind = NumberKind::Unsigned, n.u = v.uintVal;
        break;
    case VT_UI8:
        n.kind = NumberKind::Unsigned, n.u = v.ullVal;
        break;
    case VT_CY:
        n.kind = NumberKind::Currency, n.s = v.cyVal.int64;
        break;
    case VT_R4:
        n.kind = NumberKind::Real, n.r = v.fltVal;
        break;
    case VT_R8:
        n.kind = NumberKind::Real, n.r = v.dblVal;
        break;
    case VT_DATE:
        n.kind = NumberKind::Real, n.r = v.date;
        break;
    case VT_DECIMAL: {
        VARIANT r8;
        VariantInit(&r8);
        if (SUCCEEDED(VariantChangeType(&r8, detail::SourceArg(&v), 0, VT_R8)))
            n.kind = NumberKind::Real, n.r = r8.dblVal;
        break;
    }
    default:
        break;
    }
    return n;
}

bool IsInteger(const Number& n) {
    return n.kind == NumberKind::Signed || n.kind == NumberKind::Unsigned;
}

long double AsLongDouble(const Number& n) {
    switch (n.kind) {
    case NumberKind::Signed:
        return static_cast<long double>(n.s);
    case NumberKind::Unsigned:
        return static_cast<long double>(n.u);
    case NumberKind::Currency:
        // Currency meets floating point as a double, the common type of the two.
        return static_cast<long double>(static_cast<double>(n.s) / 10000.0);
    default:
        return static_cast<long double>(n.r);
    }
}

bool IntegersEqual(const Number& a, const Number& b) {
    if (a.kind == NumberKind::Signed)
        return b.kind == NumberKind::Signed ? a.s == b.s : std::cmp_equal(a.s, b.u);
    return b.kind == NumberKind::Signed ? std::cmp_equal(a.u, b.s) : a.u == b.u;
}

bool NumbersEqual(const Number& a, const Number& b) {
    if (a.kind == NumberKind::None || b.kind == NumberKind::None)
        return false;
    if (IsInteger(a) && IsInteger(b))
        return IntegersEqual(a, b);
    if (a.kind == NumberKind::Currency && b.kind == NumberKind::Currency)
        return a.s == b.s;
    if (a.kind == NumberKind::Currency && IsInteger(b))
        return a.s % 10000 == 0 && IntegersEqual(Number{NumberKind::Signed, a.s / 10000, 0, 0}, b);
    if (b.kind == NumberKind::Currency && IsInteger(a))
        return NumbersEqual(b, a);
    if (a.kind == NumberKind::Real && b.kind == NumberKind::Real)
        // The same "not a number" received again is no change of value.
        return a.r == b.r || (std::isnan(a.r) && std::isnan(b.r));
    return AsLongDouble(a) == AsLongDouble(b);
}

std::u16string_view TextOf(const VARIANT& v) {
    return std::u16string_view(v.bstrVal ? AsU16(v.bstrVal) : u"", SysStringLen(v.bstrVal));
}

bool Equals(const VARIANT& a, const VARIANT& b, int depth);

// Element `index` (in storage order) of an array, as a VARIANT that borrows the element's value.
bool BorrowElement(SAFEARRAY* array, VARTYPE element_type, ULONG index, VARIANT& out) {
    const char* cell =
        static_cast<const char*>(array->pvData) + static_cast<std::size_t>(index) * array->cbElements;
    std::memset(static_cast<void*>(&out), 0, sizeof out);
    if (element_type == VT_VARIANT) {
        std::memcpy(static_cast<void*>(&out), cell, sizeof out);
        return true;
    }
    if (element_type == VT_DECIMAL) {
        std::memcpy(&out.decVal, cell, sizeof(DECIMAL));
    } else {
        if (array->cbElements > sizeof out.llVal)
            return false;
        std::memcpy(&out.llVal, cell, array->cbElements);
    }
    out.vt = element_type;
    return true;
}

bool ArraysEqual(const VARIANT& a, const VARIANT& b, int depth) {
    if (!a.parray || !b.parray)
        return a.parray == b.parray;
    const UINT dims = SafeArrayGetDim(a.parray);
    if (dims != SafeArrayGetDim(b.parray))
        return false;
    ULONG count = 1;
    for (UINT d = 0; d < dims; ++d) {
        if (a.parray->rgsabound[d].cElements != b.parray->rgsabound[d].cElements)
            return false;
        count *= a.parray->rgsabound[d].cElements;
    }
    VARTYPE ea = VT_EMPTY, eb = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(a.parray, &ea)) || FAILED(SafeArrayGetVartype(b.parray, &eb)))
        return false;
    // Elements are only read; the arrays stay locked meanwhile so that nobody frees them.
    void* pa = nullptr;
    void* pb = nullptr;
    if (FAILED(SafeArrayAccessData(a.parray, &pa)))
        return false;
    if (FAILED(SafeArrayAccessData(b.parray, &pb))) {
        SafeArrayUnaccessData(a.parray);
        return false;
    }
    bool equal = true;
    for (ULONG i = 0; i < count && equal; ++i) {
        VARIANT va, vb;
        equal = BorrowElement(a.parray, ea, i, va) && BorrowElement(b.parray, eb, i, vb) &&
                Equals(va, vb, depth + 1);
    }
    SafeArrayUnaccessData(b.parray);
    SafeArrayUnaccessData(a.parray);
    return equal;
}

bool Equals(const VARIANT& a, const VARIANT& b, int depth) {
    if (depth > 16)
        return false; // arrays of variants nested absurdly deep
    if ((a.vt & VT_BYREF) || (b.vt & VT_BYREF)) {
        // Compare the referenced values.
        Variant da, db;
        if (FAILED(VariantChangeType(da.out(), detail::SourceArg(&a), 0, a.vt & ~VT_BYREF)) ||
            FAILED(VariantChangeType(db.out(), detail::SourceArg(&b), 0, b.vt & ~VT_BYREF)))
            return false;
        return Equals(da.get(), db.get(), depth + 1);
    }
    const VARTYPE ta = a.vt, tb = b.vt;
    if (ta == VT_EMPTY || tb == VT_EMPTY || ta == VT_NULL || tb == VT_NULL)
        return ta == tb;
    if ((ta & VT_ARRAY) || (tb & VT_ARRAY))
        return (ta & VT_ARRAY) && (tb & VT_ARRAY) && ArraysEqual(a, b, depth);
    if (ta == VT_ERROR || tb == VT_ERROR)
        return ta == tb && a.scode == b.scode;
    if (ta == VT_UNKNOWN || ta == VT_DISPATCH || tb == VT_UNKNOWN || tb == VT_DISPATCH)
        return ta == tb && a.punkVal == b.punkVal;
    if (ta == VT_BSTR && tb == VT_BSTR)
        return TextOf(a) == TextOf(b);
    if (ta == VT_BSTR || tb == VT_BSTR) {
        // A text meets a number: the text is read as the number's type.
        const VARIANT& text = ta == VT_BSTR ? a : b;
        const VARIANT& number = ta == VT_BSTR ? b : a;
        Variant converted;
        if (FAILED(VariantChangeType(converted.out(), detail::SourceArg(&text), 0, number.vt)))
            return false;
        return NumbersEqual(ReadNumber(converted.get()), ReadNumber(number));
    }
    return NumbersEqual(ReadNumber(a), ReadNumber(b));
}

} // namespace

bool VariantEquals(const VARIANT& a, const VARIANT& b) noexcept {
    try {
        return Equals(a, b, 0);
    } catch (...) {
        return false; // a value that cannot even be copied is not equal to anything
    }
}

} // namespace qz
