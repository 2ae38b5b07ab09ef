// Millisecond tick counter, the 64-bit form of GetTickCount.
#pragma once
#include "platform/oleauto.h"

#include <cstdint>

namespace qz {

/// Milliseconds since an arbitrary fixed point (system start); never goes backwards and never wraps.
/// GetTickCount() is its low 32 bits, so it wraps after about 49.7 days.
QZ_OLEAUT_API std::uint64_t TickCount64() noexcept;

/// Milliseconds from `since` to `now`, two GetTickCount() readings less than 49.7 days apart, also across
/// a wrap of the 32-bit counter.
constexpr DWORD TicksElapsed(DWORD since, DWORD now) noexcept {
    return static_cast<DWORD>(now - since);
}

} // namespace qz
