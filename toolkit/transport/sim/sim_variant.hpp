// Conversions between the simulated servers' values and OLE Automation VARIANTs, at the transport edge.
#pragma once
#include "sim_value.hpp"

#include <platform/oleauto.h>

namespace tagclient::transport::sim {

// Fills *out (which must hold nothing to release) with a VARIANT of the value; strings and arrays are newly
// allocated and belong to the receiver. E_OUTOFMEMORY when an allocation fails (then *out is VT_EMPTY).
HRESULT ValueToVariant(const Value& value, VARIANT* out);
// Reads a VARIANT given by a client (scalars, BSTRs and one-dimensional arrays of them or of VARIANTs;
// VT_BYREF is followed once). DISP_E_BADVARTYPE for anything else.
HRESULT VariantToValue(const VARIANT& in, Value* out);

} // namespace tagclient::transport::sim
