// Helpers shared by the OLE Automation stand-in services (VARIANT, SAFEARRAY, conversions).
#pragma once
#include "platform/element_size.hpp"
#include "platform/oleauto.h"

namespace qz::detail {

/// True for the base types a VARIANT may hold by value (without VT_ARRAY / VT_BYREF).
bool IsScalarVarType(VARTYPE base) noexcept;

/// Checks a whole VARTYPE as found in a VARIANT: S_OK or DISP_E_BADVARTYPE.
HRESULT CheckVariantType(VARTYPE vt) noexcept;

/// Reference counting of interface pointers held by VARIANTs and arrays (first three slots of the table
/// of functions every interface begins with).
void AddRefInterface(void* punk) noexcept;
void ReleaseInterface(void* punk) noexcept;

} // namespace qz::detail
