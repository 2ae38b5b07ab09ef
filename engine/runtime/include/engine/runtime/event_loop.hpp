// The user-interface thread as the engine sees it: a loop that runs posted calls, repeating timers and
// watches on file descriptors, all on its one thread.
//
// The toolkit delivers notifications on the thread that initialised it; the engine runs its snapshot
// timers and the toolkit's event dispatch on the same loop. The program implements this interface over
// its window system's event loop; PlainEventLoop (plain_event_loop.hpp) serves the headless runner and
// the tests.
#pragma once

#include "model/named_item.hpp"

#include <chrono>
#include <functional>
#include <memory>

namespace tagsink {

/// A running timer or watch; destroying it ends it, and no callback of it runs afterwards. Destroy it on
/// the loop's thread.
class LoopHandle : public RunTimeObject {};

class EventLoop {
public:
    virtual ~EventLoop() = default;

    /// Runs `call` on the loop's thread soon, after the calls posted before it. Callable from any thread.
    virtual void Post(std::function<void()> call) = 0;

    /// Calls `tick` on the loop's thread every `period` (at least the loop's shortest period). Ticks that
    /// come due while the thread is busy do not pile up: at most one is pending, and the next period
    /// starts when a tick has run.
    virtual std::unique_ptr<LoopHandle> StartTimer(std::chrono::milliseconds period,
                                                   std::function<void()> tick) = 0;

    /// Calls `ready` on the loop's thread whenever `fd` can be read.
    virtual std::unique_ptr<LoopHandle> WatchReadable(int fd, std::function<void()> ready) = 0;
};

/// The shortest timer period: shorter requests (0 included) get this one.
inline constexpr std::chrono::milliseconds kShortestTimerPeriod{10};

} // namespace tagsink
