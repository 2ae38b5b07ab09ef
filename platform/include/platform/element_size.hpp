// The byte size of one safe-array element of each OLE Automation type.
#pragma once
#include "platform/oleauto.h"

namespace qz {

/// Byte size of one element of a safe array of `base` type (a type without VT_ARRAY / VT_BYREF):
/// 1 for VT_I1 and VT_UI1, 2 for VT_I2, VT_UI2 and VT_BOOL, 4 for the 32-bit types, 8 for the 64-bit
/// ones (VT_CY and VT_DATE included), a pointer's size for VT_BSTR, VT_UNKNOWN and VT_DISPATCH,
/// sizeof(VARIANT) and sizeof(DECIMAL) for those two; 0 when no array of that type exists.
QZ_OLEAUT_API ULONG ElementSize(VARTYPE base) noexcept;

} // namespace qz
