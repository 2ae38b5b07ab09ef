// Text forms of OPC values for the command line: server states, timestamps, one line per item, and the
// conversion of a typed command-line argument into a VARIANT (values, VARTYPEs and qualities as text are
// platform/value_text.hpp's).
#pragma once
#include <platform/oleauto.h>
#include <platform/value_text.hpp>
#include <platform/variant.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tagclient_cli {

using qz::ValueText;
using qz::VarTypeFromName;
using qz::VarTypeName;

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
