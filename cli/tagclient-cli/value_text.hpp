// Text forms of OPC values for the command line: values, VARTYPEs, qualities, server states, timestamps,
// and the conversion of a typed command-line argument into a VARIANT.
#pragma once
#include <platform/oleauto.h>
#include <platform/variant.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tagclient_cli {

/// A value as one line of text: numbers and texts as they are, booleans "true"/"false", dates
/// "yyyy-mm-dd hh:nn:ss.zzz", arrays "[a, b, c]" (texts quoted inside arrays), empty "(empty)",
/// null "(null)", errors "(error 0x...)".
std::string ValueText(const VARIANT& value);

/// "VT_R8", "VT_ARRAY|VT_I4", or "VT_0x..." for types without a name.
std::string VarTypeName(VARTYPE vt);

/// The VARTYPE of a short type name as given on the command line: "R8", "I4", "BOOL", "BSTR", "STRING",
/// "DATE", "CY", ... (case-insensitive, an optional "VT_" prefix). No value for an unknown name.
std::optional<VARTYPE> VarTypeFromName(std::string_view name);

/// The OPC quality decoded: "Good", "Bad (comm failure)", "Uncertain (last usable value)", with the limit
/// bits appended (", low limited").
std::string QualityText(std::uint16_t quality);

/// The server state: "running", "failed", "no configuration", "suspended", "test", else "unknown (n)".
std::string ServerStateText(std::uint16_t state);

/// A UTC FILETIME as "yyyy-mm-dd hh:nn:ss.zzz UTC"; "(none)" for the zero time.
std::string UtcTimeText(const FILETIME& utc);
/// The same instant in the local time zone with its offset: "yyyy-mm-dd hh:nn:ss.zzz +hhmm".
std::string LocalTimeText(const FILETIME& utc);

/// One line for an item's value: "ID = value [VT_..]  quality Good (0x00C0)  time <UTC> (local <local>)".
std::string ItemLine(std::string_view item_id, const VARIANT& value, std::uint16_t quality,
                     const FILETIME& utc);

/// The command-line text `text` as a VARIANT of type `vt` (text converted like OLE does; booleans also
/// from "true"/"false"/"1"/"0"; for an array type, comma-separated elements). Throws qz::VariantError when
/// the text does not convert.
qz::Variant ParseValue(std::string_view text, VARTYPE vt);

} // namespace tagclient_cli
