// What kind of value an OLE Automation type code stands for.
#pragma once
#include "platform/oleauto.h"

namespace qz {

/// True for the ten integer types (VT_I1 to VT_UI8, VT_INT, VT_UINT): the targets VariantChangeType
/// converts to with integer range checks.
constexpr bool IsIntegerVarType(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
        return true;
    default:
        return false;
    }
}

/// True where the value itself is an integer: the integer types and VT_ERROR, whose SCODE is a 32-bit
/// integer (shown, compared and range-checked as one).
constexpr bool HoldsIntegerValue(VARTYPE vt) noexcept {
    return IsIntegerVarType(vt) || vt == VT_ERROR;
}

} // namespace qz
