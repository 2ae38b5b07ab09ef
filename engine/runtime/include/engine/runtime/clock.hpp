// The engine's millisecond clock: the 32-bit tick count (Clock::TickCount) that decides flushes and
// snapshot timers. It is platform's clock: production code uses SystemClock; tests use ManualClock and
// move time forward themselves, so that flush-by-time and timer behaviour is tested without sleeping.
#pragma once

#include "platform/clock.hpp"

#include <cstdint>

namespace tagsink {

using qz::Clock;
using qz::ManualClock;
using qz::SystemClock;

/// `now - since` as a signed 32-bit difference: the ticks from `since` to `now`, negative when `since` lies
/// ahead, correct across the wrap of the counter.
inline std::int32_t TickDifference(std::uint32_t now, std::uint32_t since) {
    return static_cast<std::int32_t>(now - since);
}

} // namespace tagsink
