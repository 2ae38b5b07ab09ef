#include "engine/runtime/clock.hpp"

#include <chrono>

namespace tagsink {

std::uint32_t SystemClock::TickCount() const {
    auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}

} // namespace tagsink
