// An event loop over poll(2), for the headless runner and the tests. On Windows it waits with
// MsgWaitForMultipleObjects and dispatches the thread's window messages, which carry the work of the
// toolkit's COM apartment; watched "descriptors" are waitable handles there.
//
// Timers follow the loop's Clock: with a ManualClock a test moves time forward and calls
// ProcessEvents(0) to run exactly the timers that have come due.
#pragma once

#include "engine/runtime/clock.hpp"
#include "engine/runtime/event_loop.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace tagsink {

class PlainEventLoop final : public EventLoop {
public:
    explicit PlainEventLoop(const Clock& clock = SystemClock::Instance());
    ~PlainEventLoop() override;
    PlainEventLoop(const PlainEventLoop&) = delete;
    PlainEventLoop& operator=(const PlainEventLoop&) = delete;

    void Post(std::function<void()> call) override;
    std::unique_ptr<LoopHandle> StartTimer(std::chrono::milliseconds period,
                                           std::function<void()> tick) override;
    std::unique_ptr<LoopHandle> WatchReadable(int fd, std::function<void()> ready) override;

    /// Waits at most `max_wait` for something to do (less when a timer comes due earlier), then runs the
    /// posted calls, the ready watches and the due timers. Returns the number of callbacks run.
    int ProcessEvents(std::chrono::milliseconds max_wait);

    /// Processes events until Quit is called. Returns at once when Quit was already called.
    void Run();
    /// Makes Run return; callable from any thread and from signal-safe contexts' helper threads.
    void Quit();
    bool QuitRequested() const { return quit_.load(); }

    /// Number of live timers (for tests).
    std::size_t TimerCount() const { return timers_.size(); }

private:
    class Timer;
    class Watch;
    struct TimerEntry {
        std::uint32_t period;
        std::uint32_t due;
        std::function<void()> tick;
    };
    struct WatchEntry {
        int fd;
        std::function<void()> ready;
    };

    void Wake();
    void DrainWake();
    /// Waits for the wake-up, a watched descriptor or (Windows) a window message, at most `timeout` ms;
    /// returns the ids of the watches that are ready.
    std::vector<std::uint64_t> Wait(long long timeout);

    const Clock& clock_;
#ifdef _WIN32
    void* wake_event_ = nullptr; // an auto-reset event
#else
    int wake_read_ = -1;
    int wake_write_ = -1;
#endif
    std::mutex posted_mutex_;
    std::deque<std::function<void()>> posted_;
    std::atomic<bool> quit_{false};
    std::uint64_t next_id_ = 1;
    std::map<std::uint64_t, TimerEntry> timers_;
    std::map<std::uint64_t, WatchEntry> watches_;
};

} // namespace tagsink
