// The engine's millisecond clock: the 32-bit tick count that decides flushes and snapshot timers.
//
// Production code uses SystemClock; tests use ManualClock and move time forward themselves, so that
// flush-by-time and timer behaviour is tested without sleeping.
#pragma once

#include <atomic>
#include <cstdint>

namespace tagsink {

class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds since an arbitrary fixed point, wrapping at 2^32. Callable from any thread.
    virtual std::uint32_t TickCount() const = 0;
};

/// The monotonic system clock.
class SystemClock final : public Clock {
public:
    std::uint32_t TickCount() const override;
    /// One process-wide instance.
    static SystemClock& Instance();
};

/// A clock that moves only when told to; thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint32_t start = 0) : now_(start) {}
    std::uint32_t TickCount() const override { return now_.load(); }
    void Set(std::uint32_t now) { now_.store(now); }
    void Advance(std::uint32_t milliseconds) { now_.fetch_add(milliseconds); }

private:
    std::atomic<std::uint32_t> now_;
};

/// `now - since` as a signed 32-bit difference: the ticks from `since` to `now`, negative when `since` lies
/// ahead, correct across the wrap of the counter.
inline std::int32_t TickDifference(std::uint32_t now, std::uint32_t since) {
    return static_cast<std::int32_t>(now - since);
}

} // namespace tagsink
