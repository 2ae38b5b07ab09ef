// Requests from outside to stop the run: SIGINT and SIGTERM on POSIX; on Windows Ctrl+C, Ctrl+Break,
// closing the console window, logging off and shutting down.
#pragma once

#include "engine/runtime/plain_event_loop.hpp"

#include <functional>
#include <memory>

namespace tagsink {

class StopRequests {
public:
    /// From now on a request calls `stop` on the loop's thread (once per request).
    StopRequests(PlainEventLoop& loop, std::function<void()> stop);
    /// Restores the default handling. On Windows a console that is being closed waits for this (within
    /// the time the system gives it), so that the stop completes before the process is ended.
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    PlainEventLoop& loop_;
    std::function<void()> stop_;
    std::unique_ptr<LoopHandle> watch_;
};

} // namespace tagsink
