#include "engine/runtime/plain_event_loop.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tagsink {

class PlainEventLoop::Timer final : public LoopHandle {
public:
    Timer(PlainEventLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
    ~Timer() override { loop_.timers_.erase(id_); }

private:
    PlainEventLoop& loop_;
    std::uint64_t id_;
};

class PlainEventLoop::Watch final : public LoopHandle {
public:
    Watch(PlainEventLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
    ~Watch() override { loop_.watches_.erase(id_); }

private:
    PlainEventLoop& loop_;
    std::uint64_t id_;
};

#ifdef _WIN32

PlainEventLoop::PlainEventLoop(const Clock& clock) : clock_(clock) {
    wake_event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!wake_event_)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "The event loop's wake-up event");
}

PlainEventLoop::~PlainEventLoop() {
    CloseHandle(static_cast<HANDLE>(wake_event_));
}

void PlainEventLoop::Wake() {
    SetEvent(static_cast<HANDLE>(wake_event_));
}

void PlainEventLoop::DrainWake() {} // the wait resets the event

std::vector<std::uint64_t> PlainEventLoop::Wait(long long timeout) {
    std::vector<HANDLE> handles{static_cast<HANDLE>(wake_event_)};
    std::vector<std::uint64_t> watch_ids;
    for (const auto& [id, watch] : watches_) {
        if (handles.size() == MAXIMUM_WAIT_OBJECTS - 1)
            throw std::runtime_error("The event loop watches more handles than Windows can wait for");
        handles.push_back(reinterpret_cast<HANDLE>(static_cast<intptr_t>(watch.fd)));
        watch_ids.push_back(id);
    }
    const DWORD result = MsgWaitForMultipleObjectsEx(
        static_cast<DWORD>(handles.size()), handles.data(),
        static_cast<DWORD>(std::min<long long>(timeout, INFINITE - 1)), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_FAILED)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "MsgWaitForMultipleObjectsEx");
    // The thread's window messages: the toolkit's calls into and out of the COM apartment among them.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_.store(true);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::vector<std::uint64_t> ready;
    for (std::size_t i = 0; i < watch_ids.size(); ++i) {
        if (WaitForSingleObject(handles[i + 1], 0) == WAIT_OBJECT_0)
            ready.push_back(watch_ids[i]);
    }
    return ready;
}

#else

PlainEventLoop::PlainEventLoop(const Clock& clock) : clock_(clock) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "The event loop's wake-up pipe");
    wake_read_ = fds[0];
    wake_write_ = fds[1];
}

PlainEventLoop::~PlainEventLoop() {
    close(wake_read_);
    close(wake_write_);
}

void PlainEventLoop::Wake() {
    char byte = 1;
    // A full pipe already wakes the loop; nothing else can go wrong that a retry would mend.
    [[maybe_unused]] ssize_t ignored = write(wake_write_, &byte, 1);
}

void PlainEventLoop::DrainWake() {
    char buffer[256];
    while (read(wake_read_, buffer, sizeof buffer) > 0) {
    }
}

std::vector<std::uint64_t> PlainEventLoop::Wait(long long timeout) {
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> watch_ids;
    fds.push_back({wake_read_, POLLIN, 0});
    for (const auto& [id, watch] : watches_) {
        fds.push_back({watch.fd, POLLIN, 0});
        watch_ids.push_back(id);
    }
    int polled = poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(timeout, INT32_MAX)));
    if (polled < 0 && errno != EINTR)
        throw std::system_error(errno, std::generic_category(), "poll");
    std::vector<std::uint64_t> ready;
    if (polled <= 0)
        return ready;
    if (fds[0].revents & POLLIN)
        DrainWake();
    for (std::size_t i = 0; i < watch_ids.size(); ++i) {
        if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))
            ready.push_back(watch_ids[i]);
    }
    return ready;
}

#endif

void PlainEventLoop::Post(std::function<void()> call) {
    {
        std::lock_guard lock(posted_mutex_);
        posted_.push_back(std::move(call));
    }
    Wake();
}

std::unique_ptr<LoopHandle> PlainEventLoop::StartTimer(std::chrono::milliseconds period,
                                                       std::function<void()> tick) {
    auto ms = std::max(period, kShortestTimerPeriod).count();
    auto period_ticks = static_cast<std::uint32_t>(std::min<long long>(ms, INT32_MAX));
    std::uint64_t id = next_id_++;
    timers_[id] = TimerEntry{period_ticks, clock_.TickCount() + period_ticks, std::move(tick)};
    return std::make_unique<Timer>(*this, id);
}

std::unique_ptr<LoopHandle> PlainEventLoop::WatchReadable(int fd, std::function<void()> ready) {
    std::uint64_t id = next_id_++;
    watches_[id] = WatchEntry{fd, std::move(ready)};
    return std::make_unique<Watch>(*this, id);
}

int PlainEventLoop::ProcessEvents(std::chrono::milliseconds max_wait) {
    // How long to sleep: until the earliest timer, at most max_wait.
    long long timeout = std::max<long long>(0, max_wait.count());
    std::uint32_t now = clock_.TickCount();
    for (const auto& [id, timer] : timers_)
        timeout = std::min<long long>(timeout, std::max<std::int32_t>(0, TickDifference(timer.due, now)));
    {
        std::lock_guard lock(posted_mutex_);
        if (!posted_.empty() || quit_.load())
            timeout = 0;
    }

    const std::vector<std::uint64_t> ready = Wait(timeout);

    int ran = 0;
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(posted_mutex_);
        calls.swap(posted_);
    }
    for (auto& call : calls) {
        call();
        ++ran;
    }
    for (std::uint64_t id : ready) {
        auto it = watches_.find(id); // an earlier callback may have ended this watch
        if (it == watches_.end())
            continue;
        auto callback = it->second.ready; // the callback may end its own watch
        callback();
        ++ran;
    }

    now = clock_.TickCount();
    std::vector<std::uint64_t> due;
    for (const auto& [id, timer] : timers_) {
        if (TickDifference(now, timer.due) >= 0)
            due.push_back(id);
    }
    for (std::uint64_t id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end())
            continue;
        // The next period starts now: missed ticks are dropped, not made up in a burst.
        it->second.due = now + it->second.period;
        auto tick = it->second.tick;
        tick();
        ++ran;
    }
    return ran;
}

void PlainEventLoop::Run() {
    while (!quit_.load())
        ProcessEvents(std::chrono::milliseconds(1000));
}

void PlainEventLoop::Quit() {
    quit_.store(true);
    Wake();
}

} // namespace tagsink
