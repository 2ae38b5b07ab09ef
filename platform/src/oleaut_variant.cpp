// VARIANT life cycle: VariantInit, VariantClear, VariantCopy.
#include "oleaut_internal.hpp"
#include "platform/oleauto.h"

#include <cstring>

namespace qz::detail {

bool IsScalarVarType(VARTYPE base) noexcept {
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

HRESULT CheckVariantType(VARTYPE vt) noexcept {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF))
        return DISP_E_BADVARTYPE;
    if (flags == 0)
        return IsScalarVarType(base) ? S_OK : DISP_E_BADVARTYPE;
    // Arrays and references: VT_VARIANT is allowed as element / target, VT_EMPTY and VT_NULL are not.
    if (base == VT_VARIANT)
        return S_OK;
    if (base == VT_EMPTY || base == VT_NULL)
        return DISP_E_BADVARTYPE;
    return IsScalarVarType(base) ? S_OK : DISP_E_BADVARTYPE;
}

namespace {
struct InterfaceTable {
    HRESULT (*QueryInterface)(void*, const IID*, void**);
    ULONG (*AddRef)(void*);
    ULONG (*Release)(void*);
};
InterfaceTable* TableOf(void* punk) {
    return *static_cast<InterfaceTable**>(punk);
}
} // namespace

void AddRefInterface(void* punk) noexcept {
    if (punk)
        TableOf(punk)->AddRef(punk);
}

void ReleaseInterface(void* punk) noexcept {
    if (punk)
        TableOf(punk)->Release(punk);
}

} // namespace qz::detail

using qz::detail::CheckVariantType;

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    const HRESULT hr = CheckVariantType(vt);
    if (FAILED(hr))
        return hr;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            if (pvarg->parray) {
                const HRESULT destroyed = SafeArrayDestroy(pvarg->parray);
                if (FAILED(destroyed))
                    return destroyed; // a locked array stays where it is
            }
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            qz::detail::ReleaseInterface(pvarg->punkVal);
        }
    }
    std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    HRESULT hr = CheckVariantType(pvargSrc->vt);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr))
        return hr;
    const VARTYPE vt = pvargSrc->vt;
    if (vt & VT_BYREF) {
        // References are copied as references: both VARIANTs point at the same storage.
        std::memcpy(static_cast<void*>(pvargDest), pvargSrc, sizeof(VARIANT));
        return S_OK;
    }
    VARIANT copy;
    std::memcpy(static_cast<void*>(&copy), pvargSrc, sizeof(VARIANT));
    if (vt & VT_ARRAY) {
        copy.parray = nullptr;
        if (pvargSrc->parray) {
            hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr))
                return hr;
        }
    } else if (vt == VT_BSTR) {
        if (pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        }
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        qz::detail::AddRefInterface(copy.punkVal);
    }
    std::memcpy(static_cast<void*>(pvargDest), &copy, sizeof(VARIANT));
    return S_OK;
}

} // extern "C"
