// What the simulated servers need from their surroundings: a monotonic clock, deferred calls and repeating
// timers, all run on the client thread. The transport adapter implements it over the toolkit's Host; tests
// implement it with a manual clock. Servers never sleep and start no threads: every notification leaves
// from a posted call or a timer tick, never from inside a call the client made into the server.
#pragma once
#include <cstdint>
#include <functional>

namespace tagclient::transport::sim {

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Milliseconds of a monotonic clock.
    virtual std::uint64_t NowMs() = 0;
    // Runs `call` later on the client thread, in posting order.
    virtual void Post(std::function<void()> call) = 0;
    // A repeating timer; never returns 0.
    virtual std::uint64_t StartTimer(std::uint32_t interval_ms, std::function<void()> tick) = 0;
    // Stops a timer (also from inside its tick); unknown ids are ignored.
    virtual void StopTimer(std::uint64_t id) = 0;
};

} // namespace tagclient::transport::sim
