// The event queue: how notifications and timers reach the client thread.
//
// Backends post calls from any thread; sessions and backends start repeating timers. Nothing runs until the
// client calls Dispatch (QZDAC_DispatchEvents) on its thread. The queue owns a descriptor that becomes
// readable when work is due (queued calls, or a timer whose time has come), so that the client can watch
// it in its own event loop.
#pragma once
#include <transport/transport.hpp>

#include "platform/clock.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace tagclient {

class EventQueue final : public transport::Host {
public:
    EventQueue();
    ~EventQueue() override;
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    void Post(std::function<void()> call) override;
    TimerId StartTimer(std::uint32_t interval_ms, std::function<void()> tick) override;
    void StopTimer(TimerId id) override;
    std::uint64_t NowMs() override;

    // The descriptor to watch (-1 when the platform refused to create it).
    intptr_t Handle() const { return handle_; }
    // Runs the calls queued before this call and the due timers; returns how many ran. A nested call (from
    // inside a call or tick) runs nothing.
    int Dispatch();
    // Replaces the clock (tests: a qz::ManualClock, which must outlive its use); null restores the system
    // clock.
    void SetClock(const qz::Clock* clock);
    // Drops every queued call and timer (used when the library lets go of everything).
    void Clear();

private:
    struct Timer {
        std::uint32_t interval;
        std::uint64_t due;
        std::function<void()> tick;
    };
    void Signal();
    void Drain();
    void ArmTimer();

    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::map<TimerId, Timer> timers_;
    TimerId next_timer_ = 1;
    const qz::Clock* clock_ = &qz::SystemClock::Instance();
    bool dispatching_ = false;
    int epoll_ = -1;
    int wake_ = -1;
    int timer_fd_ = -1;
    intptr_t handle_ = -1;
#ifndef _WIN32
    std::uint64_t armed_due_ = 0; // when the timerfd fires (0: disarmed)
    bool signaled_ = false;       // the eventfd was written since the last drain
#endif
#ifdef _WIN32
public:
    // Windows: the wake-ups go to a message-only window of the thread that calls this (QZDAC_Init's), whose
    // window procedure runs Dispatch (event_queue_win.cpp). Until then queued work waits.
    void BindToCurrentThread();

private:
    void* window_ = nullptr;
    std::atomic<bool> signalled_{false};
#endif
};

} // namespace tagclient
