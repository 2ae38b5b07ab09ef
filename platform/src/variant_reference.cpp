#include "platform/variant_reference.hpp"

#include "platform/element_size.hpp"

#include <cstring>

namespace qz {

HRESULT ReadThroughReference(const VARIANT& ref, VARIANT& value) noexcept {
    VariantInit(&value);
    const VARTYPE base = ref.vt & ~VT_BYREF;
    if (!ref.byref)
        return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT* inner = ref.pvarVal;
        if (inner->vt & VT_BYREF)
            return ReadThroughReference(*inner, value);
        std::memcpy(static_cast<void*>(&value), inner, sizeof(VARIANT));
        return S_OK;
    }
    if (base & VT_ARRAY) {
        value.parray = *static_cast<SAFEARRAY**>(ref.byref);
    } else if (base == VT_DECIMAL) {
        value.decVal = *ref.pdecVal;
    } else {
        const ULONG size = ElementSize(base);
        if (size == 0)
            return DISP_E_BADVARTYPE;
        std::memcpy(&value.llVal, ref.byref, size);
    }
    value.vt = base;
    return S_OK;
}

} // namespace qz
