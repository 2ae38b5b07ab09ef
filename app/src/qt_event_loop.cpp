#include "qt_event_loop.hpp"

#include "tagclient.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace tagsink::app {

namespace {

class TimerHandle final : public LoopHandle {
public:
    TimerHandle(std::chrono::milliseconds period, std::function<void()> tick) : tick_(std::move(tick)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(static_cast<int>(std::max(period, kShortestTimerPeriod).count()));
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick_(); });
        timer_.start();
    }

private:
    std::function<void()> tick_;
    QTimer timer_;
};

class WatchHandle final : public LoopHandle {
public:
    WatchHandle(int fd, std::function<void()> ready)
        : ready_(std::move(ready)), notifier_(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { ready_(); });
    }

private:
    std::function<void()> ready_;
    QSocketNotifier notifier_;
};

} // namespace

QtEventLoop::QtEventLoop() : context_(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(context_.get(), std::move(call), Qt::QueuedConnection);
}

std::unique_ptr<LoopHandle> QtEventLoop::StartTimer(std::chrono::milliseconds period,
                                                    std::function<void()> tick) {
    return std::make_unique<TimerHandle>(period, std::move(tick));
}

std::unique_ptr<LoopHandle> QtEventLoop::WatchReadable(int fd, std::function<void()> ready) {
    return std::make_unique<WatchHandle>(fd, std::move(ready));
}

std::unique_ptr<LoopHandle> WatchToolkitEvents(QtEventLoop& loop) {
#ifdef _WIN32
    (void)loop;
    return nullptr; // the toolkit's work arrives as window messages of this thread
#else
    intptr_t handle = QZDAC_GetEventHandle();
    if (handle < 0) {
        return nullptr;
    }
    return loop.WatchReadable(static_cast<int>(handle), [] { QZDAC_DispatchEvents(); });
#endif
}

} // namespace tagsink::app
