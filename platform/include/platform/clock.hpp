// The millisecond clock that time-driven code reads (flushes, snapshot timers, keep-alive polls, the
// simulated servers' sampling): one contract, the system's clock, and the one fake that tests move
// forward themselves, so that time-driven behaviour is tested without sleeping.
#pragma once
#include "platform/oleauto.h"
#include "platform/tick_count.hpp"

#include <atomic>
#include <cstdint>

namespace qz {

class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds since an arbitrary fixed point; never goes backwards. Callable from any thread.
    virtual std::uint64_t NowMs() const = 0;
    /// The low 32 bits of NowMs: the GetTickCount form, wrapping after about 49.7 days.
    std::uint32_t TickCount() const { return static_cast<std::uint32_t>(NowMs()); }
};

/// The system's monotonic clock: TickCount64.
class QZ_OLEAUT_API SystemClock final : public Clock {
public:
    std::uint64_t NowMs() const override { return TickCount64(); }
    /// One process-wide instance.
    static SystemClock& Instance();
};

/// A clock that moves only when told to; thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint64_t start = 0) : now_(start) {}
    std::uint64_t NowMs() const override { return now_.load(); }
    void Set(std::uint64_t now) { now_.store(now); }
    void Advance(std::uint64_t milliseconds) { now_.fetch_add(milliseconds); }

private:
    std::atomic<std::uint64_t> now_;
};

} // namespace qz
