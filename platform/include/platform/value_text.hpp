// Values, VARTYPEs and OPC qualities as text for people to read: what the command-line tool prints and
// what the recorder's live-value views show. (Stored quality texts are opc_quality.hpp's.)
#pragma once

#include "platform/oleauto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz {

/// A value as one line of text: numbers and texts as they are, booleans "true"/"false", dates
/// "yyyy-mm-dd hh:nn:ss.zzz", arrays "[a, b, c]" (texts quoted inside arrays), empty "(empty)",
/// null "(null)", errors "(error 0x...)".
QZ_OLEAUT_API std::string ValueText(const VARIANT& value);

/// "VT_R8", "VT_ARRAY|VT_I4", or "VT_0x..." for types without a name.
QZ_OLEAUT_API std::string VarTypeName(VARTYPE vt);

/// The VARTYPE of a short type name: "R8", "I4", "BOOL", "BSTR", "STRING", "DATE", "CY", ...
/// (case-insensitive, an optional "VT_" prefix). No value for an unknown name or one no value is written
/// as (EMPTY, NULL, VARIANT, HRESULT).
QZ_OLEAUT_API std::optional<VARTYPE> VarTypeFromName(std::string_view name);

/// The OPC quality decoded: "Good", "Bad (comm failure)", "Uncertain (last usable value)", with the limit
/// bits appended (", low limited").
QZ_OLEAUT_API std::string QualityCaption(std::uint16_t quality);

} // namespace qz
