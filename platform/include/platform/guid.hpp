// GUIDs as text, for C++ code: the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of
// StringFromGUID2 and CLSIDFromString, the one implementation of it.
#pragma once
#include "platform/oleauto.h"

#include <optional>
#include <string>
#include <string_view>

namespace qz {

/// The registry text of a GUID, upper-case hex digits.
QZ_OLEAUT_API std::u16string GuidText(const GUID& guid);

/// Reads the registry text (exactly 38 characters, hex digits in either case); no value otherwise.
QZ_OLEAUT_API std::optional<GUID> ParseGuid(std::u16string_view text);

/// Whether two GUIDs are the same.
QZ_OLEAUT_API bool SameGuid(const GUID& a, const GUID& b) noexcept;

} // namespace qz
