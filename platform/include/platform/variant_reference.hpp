// Reading a VT_BYREF VARIANT as the plain value it points to.
#pragma once
#include "platform/oleauto.h"

namespace qz {

/// Fills `value` with the value `ref` points to, of type `ref.vt` without VT_BYREF (a VT_BYREF|VT_VARIANT
/// yields the referenced VARIANT, read through again where that is a reference too). `value` borrows what
/// the reference points to (a BSTR, a SAFEARRAY): do not clear it. E_INVALIDARG for a null reference,
/// DISP_E_BADVARTYPE for a type no value can be read of; `value` is then VT_EMPTY.
QZ_OLEAUT_API HRESULT ReadThroughReference(const VARIANT& ref, VARIANT& value) noexcept;

} // namespace qz
