// The engine's event loop over Qt's: posted calls, timers and file-descriptor watches all run on the
// thread that owns the QtEventLoop (the user-interface thread).
#pragma once

#include "engine/runtime/event_loop.hpp"

#include <QObject>

namespace tagsink::app {

class QtEventLoop final : public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;

    void Post(std::function<void()> call) override;
    std::unique_ptr<LoopHandle> StartTimer(std::chrono::milliseconds period,
                                           std::function<void()> tick) override;
    std::unique_ptr<LoopHandle> WatchReadable(int fd, std::function<void()> ready) override;

private:
    std::unique_ptr<QObject> context_; // lives on the loop's thread; posted calls run in its thread
};

/// Runs the toolkit's notifications and timers on the user-interface thread: watches the toolkit's event
/// handle and calls QZDAC_DispatchEvents whenever it is readable. Nothing when the toolkit has no handle.
std::unique_ptr<LoopHandle> WatchToolkitEvents(QtEventLoop& loop);

} // namespace tagsink::app
