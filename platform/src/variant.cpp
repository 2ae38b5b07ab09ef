// qz::Variant: owning VARIANT wrapper, and the error type of failed OLE calls.
#include "platform/variant.hpp"

#include <cstdio>
#include <cstring>
#include <new>

namespace qz {

std::string HResultText(HRESULT hr) {
    char text[512];
    if (QzFormatHResult(hr, text, sizeof text) > 0)
        return text;
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "OLE error %.8X", static_cast<unsigned>(hr));
    return fallback;
}

VariantError::VariantError(HRESULT hr) : std::runtime_error(HResultText(hr)), hr_(hr) {}

VariantError::VariantError(HRESULT hr, const std::string& message) : std::runtime_error(message), hr_(hr) {}

namespace {
void Check(HRESULT hr) {
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
    if (FAILED(hr))
        throw VariantError(hr);
}
} // namespace

Variant::Variant() noexcept {
    std::memset(static_cast<void*>(&v_), 0, sizeof v_);
    VariantInit(&v_);
}

Variant::~Variant() {
    VariantClear(&v_);
}

Variant::Variant(const Variant& other) : Variant() {
    Check(VariantCopy(&v_, detail::SourceArg(&other.v_)));
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant::Variant(Variant&& other) noexcept : Variant() {
    std::memcpy(static_cast<void*>(&v_), &other.v_, sizeof v_);
    VariantInit(&other.v_);
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&v_);
        std::memcpy(static_cast<void*>(&v_), &other.v_, sizeof v_);
        VariantInit(&other.v_);
    }
    return *this;
}

Variant::Variant(const VARIANT& other) : Variant() {
    Check(VariantCopy(&v_, detail::SourceArg(&other)));
}

void Variant::setInteger(std::int64_t s, std::uint64_t u, std::size_t size, bool is_signed) noexcept {
    if (is_signed) {
        switch (size) {
        case 1:
            v_.vt = VT_I1, v_.cVal = static_cast<CHAR>(s);
            break;
        case 2:
            v_.vt = VT_I2, v_.iVal = static_cast<SHORT>(s);
            break;
        case 4:
            v_.vt = VT_I4, v_.lVal = static_cast<LONG>(s);
            break;
        default:
            v_.vt = VT_I8, v_.llVal = s;
            break;
        }
    } else {
        switch (size) {
        case 1:
            v_.vt = VT_UI1, v_.bVal = static_cast<BYTE>(u);
            break;
        case 2:
            v_.vt = VT_UI2, v_.uiVal = static_cast<USHORT>(u);
            break;
        case 4:
            v_.vt = VT_UI4, v_.ulVal = static_cast<ULONG>(u);
            break;
        default:
            v_.vt = VT_UI8, v_.ullVal = u;
            break;
        }
    }
}

Variant::Variant(float value) noexcept : Variant() {
    v_.vt = VT_R4;
    v_.fltVal = value;
}

Variant::Variant(double value) noexcept : Variant() {
    v_.vt = VT_R8;
    v_.dblVal = value;
}

Variant::Variant(bool value) noexcept : Variant() {
    v_.vt = VT_BOOL;
    v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(CY value) noexcept : Variant() {
    v_.vt = VT_CY;
    v_.cyVal = value;
}

Variant::Variant(std::string_view utf8) : Variant() {
    Bstr text(utf8);
    v_.vt = VT_BSTR;
    v_.bstrVal = text.release();
}

Variant::Variant(std::u16string_view text) : Variant() {
    Bstr copy(text);
    v_.vt = VT_BSTR;
    v_.bstrVal = copy.release();
}

Variant Variant::Null() noexcept {
    Variant v;
    v.v_.vt = VT_NULL;
    return v;
}

Variant Variant::Date(DATE value) noexcept {
    Variant v;
    v.v_.vt = VT_DATE;
    v.v_.date = value;
    return v;
}

Variant Variant::Error(SCODE code) noexcept {
    Variant v;
    v.v_.vt = VT_ERROR;
    v.v_.scode = code;
    return v;
}

Variant Variant::Currency(std::int64_t times_ten_thousand) noexcept {
    CY cy;
    cy.int64 = times_ten_thousand;
    return Variant(cy);
}

Variant Variant::FromArray(SAFEARRAY* owned) noexcept {
    Variant v;
    VARTYPE element = VT_EMPTY;
    SafeArrayGetVartype(owned, &element);
    v.v_.vt = static_cast<VARTYPE>(VT_ARRAY | element);
    v.v_.parray = owned;
    return v;
}

Variant Variant::Array(VARTYPE element_type, ULONG count) {
    SAFEARRAY* array = SafeArrayCreateVector(element_type, 0, count);
    if (!array)
        throw VariantError(DISP_E_BADVARTYPE);
    return FromArray(array);
}

Variant Variant::Array(std::span<const Variant> values) {
    Variant result = Array(VT_VARIANT, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        Check(SafeArrayPutElement(result.v_.parray, &index, const_cast<VARIANT*>(&values[i].get())));
    }
    return result;
}

Variant Variant::Array(std::span<const std::string> values) {
    Variant result = Array(VT_BSTR, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        Bstr text(values[i]);
        Check(SafeArrayPutElement(result.v_.parray, &index, text.get()));
    }
    return result;
}

Variant Variant::Array(std::span<const bool> values) {
    Variant result = Array(VT_BOOL, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        VARIANT_BOOL b = values[i] ? VARIANT_TRUE : VARIANT_FALSE;
        Check(SafeArrayPutElement(result.v_.parray, &index, &b));
    }
    return result;
}

VARIANT* Variant::out() noexcept {
    clear();
    return &v_;
}

VARIANT Variant::release() noexcept {
    VARIANT v;
    std::memcpy(static_cast<void*>(&v), &v_, sizeof v);
    VariantInit(&v_);
    return v;
}

void Variant::attach(VARIANT& owned) noexcept {
    if (&owned == &v_)
        return;
    VariantClear(&v_);
    std::memcpy(static_cast<void*>(&v_), &owned, sizeof v_);
    VariantInit(&owned);
}

void Variant::clear() noexcept {
    if (FAILED(VariantClear(&v_))) {
        // A value that cannot be cleared (a locked array, an unknown type) is abandoned rather than
        // kept half-owned.
        std::memset(static_cast<void*>(&v_), 0, sizeof v_);
        VariantInit(&v_);
    }
}

HRESULT Variant::tryConvert(VARTYPE type, Variant& result, USHORT flags) const noexcept {
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, detail::SourceArg(&v_), flags, type);
    if (SUCCEEDED(hr))
        result.attach(converted);
    return hr;
}

Variant Variant::convertedTo(VARTYPE type, USHORT flags) const {
    Variant result;
    Check(tryConvert(type, result, flags));
    return result;
}

std::string Variant::toUtf8() const {
    if (v_.vt == VT_EMPTY || v_.vt == VT_NULL)
        return {};
    if (v_.vt == VT_BSTR)
        return Utf16ToUtf8(
            std::u16string_view(v_.bstrVal ? AsU16(v_.bstrVal) : u"", SysStringLen(v_.bstrVal)));
    const Variant text = convertedTo(VT_BSTR, VARIANT_ALPHABOOL);
    return Utf16ToUtf8(
        std::u16string_view(text.v_.bstrVal ? AsU16(text.v_.bstrVal) : u"", SysStringLen(text.v_.bstrVal)));
}

ULONG Variant::arrayLength() const noexcept {
    if (!(v_.vt & VT_ARRAY) || (v_.vt & VT_BYREF) || !v_.parray || SafeArrayGetDim(v_.parray) != 1)
        return 0;
    return v_.parray->rgsabound[0].cElements;
}

Variant Variant::element(LONG index) const {
    if (!(v_.vt & VT_ARRAY) || (v_.vt & VT_BYREF) || !v_.parray)
        throw VariantError(DISP_E_TYPEMISMATCH);
    SAFEARRAY* array = v_.parray;
    LONG lower = 0;
    Check(SafeArrayGetLBound(array, 1, &lower));
    LONG at = lower + index;
    VARTYPE element_type = VT_EMPTY;
    Check(SafeArrayGetVartype(array, &element_type));
    Variant result;
    if (element_type == VT_VARIANT) {
        VARIANT item;
        VariantInit(&item);
        Check(SafeArrayGetElement(array, &at, &item));
        result.attach(item);
        return result;
    }
    if (element_type == VT_DECIMAL) {
        DECIMAL d;
        Check(SafeArrayGetElement(array, &at, &d));
        result.v_.decVal = d;
        result.v_.vt = VT_DECIMAL;
        return result;
    }
    // Every other element type is stored exactly as the VARIANT's value field.
    VARIANT item;
    std::memset(static_cast<void*>(&item), 0, sizeof item);
    Check(SafeArrayGetElement(array, &at, &item.llVal));
    item.vt = element_type;
    result.attach(item);
    return result;
}

} // namespace qz
