#include "sim_variant.hpp"

#include <cstring>

namespace tagclient::transport::sim {

namespace {

// Stores a scalar (not BSTR) in the union's first bytes as the VARIANT holds it.
void PutScalar(const Value& v, void* slot) {
    switch (v.type) {
    case VT_I1:
    case VT_UI1: {
        auto b = static_cast<std::uint8_t>(v.integer);
        std::memcpy(slot, &b, 1);
        break;
    }
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: {
        auto s = static_cast<std::uint16_t>(v.integer);
        std::memcpy(slot, &s, 2);
        break;
    }
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR: {
        auto i = static_cast<std::uint32_t>(v.integer);
        std::memcpy(slot, &i, 4);
        break;
    }
    case VT_R4: {
        float f = static_cast<float>(v.real);
        std::memcpy(slot, &f, 4);
        break;
    }
    case VT_R8:
    case VT_DATE:
        std::memcpy(slot, &v.real, 8);
        break;
    default: // VT_I8, VT_UI8, VT_CY
        std::memcpy(slot, &v.integer, 8);
        break;
    }
}

HRESULT GetScalar(VARTYPE vt, const void* slot, Value* out) {
    out->type = vt;
    switch (vt) {
    case VT_I1: {
        std::int8_t b;
        std::memcpy(&b, slot, 1);
        out->integer = b;
        return S_OK;
    }
    case VT_UI1: {
        std::uint8_t b;
        std::memcpy(&b, slot, 1);
        out->integer = b;
        return S_OK;
    }
    case VT_I2:
    case VT_BOOL: {
        std::int16_t s;
        std::memcpy(&s, slot, 2);
        out->integer = vt == VT_BOOL ? (s != 0 ? -1 : 0) : s;
        return S_OK;
    }
    case VT_UI2: {
        std::uint16_t s;
        std::memcpy(&s, slot, 2);
        out->integer = s;
        return S_OK;
    }
    case VT_I4:
    case VT_INT:
    case VT_ERROR: {
        std::int32_t i;
        std::memcpy(&i, slot, 4);
        out->integer = i;
        return S_OK;
    }
    case VT_UI4:
    case VT_UINT: {
        std::uint32_t i;
        std::memcpy(&i, slot, 4);
        out->integer = i;
        return S_OK;
    }
    case VT_R4: {
        float f;
        std::memcpy(&f, slot, 4);
        out->real = f;
        return S_OK;
    }
    case VT_R8:
    case VT_DATE:
        std::memcpy(&out->real, slot, 8);
        return S_OK;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
        std::memcpy(&out->integer, slot, 8);
        return S_OK;
    default:
        return DISP_E_BADVARTYPE;
    }
}

std::u16string FromBstr(BSTR b) {
    if (b == nullptr)
        return {};
    return std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
}

BSTR ToBstr(const std::u16string& s) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

} // namespace

HRESULT ValueToVariant(const Value& value, VARIANT* out) {
    VariantInit(out);
    if (value.type == VT_EMPTY || value.type == VT_NULL) {
        out->vt = value.type;
        return S_OK;
    }
    if (!value.IsArray()) {
        if (value.type == VT_BSTR) {
            BSTR b = ToBstr(value.text);
            if (b == nullptr)
                return E_OUTOFMEMORY;
            out->vt = VT_BSTR;
            out->bstrVal = b;
            return S_OK;
        }
        PutScalar(value, &out->llVal);
        out->vt = value.type;
        return S_OK;
    }
    const VARTYPE element = value.ElementType();
    SAFEARRAY* sa = SafeArrayCreateVector(element, 0, static_cast<ULONG>(value.elements.size()));
    if (sa == nullptr)
        return E_OUTOFMEMORY;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(sa, &data))) {
        SafeArrayDestroy(sa);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    auto* bytes = static_cast<std::uint8_t*>(data);
    const size_t size = SafeArrayGetElemsize(sa);
    for (size_t i = 0; i < value.elements.size() && SUCCEEDED(hr); ++i) {
        const Value& e = value.elements[i];
        void* slot = bytes + i * size;
        if (element == VT_BSTR) {
            BSTR b = ToBstr(e.text);
            if (b == nullptr)
                hr = E_OUTOFMEMORY;
            std::memcpy(slot, &b, sizeof b);
        } else if (element == VT_VARIANT) {
            hr = ValueToVariant(e, static_cast<VARIANT*>(slot));
        } else {
            Value typed = e;
            typed.type = element;
            PutScalar(typed, slot);
        }
    }
    SafeArrayUnaccessData(sa);
    if (FAILED(hr)) {
        SafeArrayDestroy(sa);
        return hr;
    }
    out->vt = static_cast<VARTYPE>(VT_ARRAY | element);
    out->parray = sa;
    return S_OK;
}

HRESULT VariantToValue(const VARIANT& in, Value* out) {
    *out = Value();
    VARTYPE vt = in.vt;
    if (vt & VT_BYREF) {
        VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
        if (in.byref == nullptr)
            return E_POINTER;
        if (base == VT_VARIANT)
            return VariantToValue(*static_cast<const VARIANT*>(in.byref), out);
        VARIANT plain;
        VariantInit(&plain);
        plain.vt = base;
        if (base & VT_ARRAY)
            plain.parray = *static_cast<SAFEARRAY* const*>(in.byref);
        else if (base == VT_BSTR)
            plain.bstrVal = *static_cast<BSTR const*>(in.byref);
        else if (base == VT_DECIMAL || (base & VT_TYPEMASK) == VT_VARIANT)
            return DISP_E_BADVARTYPE;
        else
            std::memcpy(&plain.llVal, in.byref,
                        base == VT_I1 || base == VT_UI1                      ? 1
                        : base == VT_I2 || base == VT_UI2 || base == VT_BOOL ? 2
                        : base == VT_I4 || base == VT_UI4 || base == VT_INT || base == VT_UINT ||
                                base == VT_ERROR || base == VT_R4
                            ? 4
                            : 8);
        return VariantToValue(plain, out);
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {
        out->type = vt;
        return S_OK;
    }
    if (vt == VT_BSTR) {
        *out = Value::Text(FromBstr(in.bstrVal));
        return S_OK;
    }
    if (vt & VT_ARRAY) {
        const VARTYPE element = static_cast<VARTYPE>(vt & ~VT_ARRAY);
        SAFEARRAY* sa = in.parray;
        if (sa == nullptr || SafeArrayGetDim(sa) != 1)
            return DISP_E_BADVARTYPE;
        LONG lo = 0, hi = -1;
        if (FAILED(SafeArrayGetLBound(sa, 1, &lo)) || FAILED(SafeArrayGetUBound(sa, 1, &hi)))
            return DISP_E_BADVARTYPE;
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(sa, &data)))
            return DISP_E_ARRAYISLOCKED;
        const size_t size = SafeArrayGetElemsize(sa);
        std::vector<Value> elements;
        HRESULT hr = S_OK;
        for (LONG i = 0; i <= hi - lo && SUCCEEDED(hr); ++i) {
            const auto* slot = static_cast<const std::uint8_t*>(data) + static_cast<size_t>(i) * size;
            Value e;
            if (element == VT_BSTR) {
                BSTR b;
                std::memcpy(&b, slot, sizeof b);
                e = Value::Text(FromBstr(b));
            } else if (element == VT_VARIANT) {
                hr = VariantToValue(*reinterpret_cast<const VARIANT*>(slot), &e);
            } else {
                hr = GetScalar(element, slot, &e);
            }
            elements.push_back(std::move(e));
        }
        SafeArrayUnaccessData(sa);
        if (FAILED(hr))
            return hr;
        *out = Value::Array(element, std::move(elements));
        return S_OK;
    }
    return GetScalar(vt, &in.llVal, out);
}

} // namespace tagclient::transport::sim
