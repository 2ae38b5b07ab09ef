// Millisecond tick counter.
#include "platform/tick_count.hpp"

#include "platform/clock.hpp"

#ifndef _WIN32
#include <time.h>
#endif

namespace qz {

std::uint64_t TickCount64() noexcept {
#ifdef _WIN32
    return GetTickCount64();
#else
    // Time since boot, including suspended time, like the Windows counter.
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
#endif
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}

} // namespace qz
