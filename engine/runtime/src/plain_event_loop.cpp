#include "engine/runtime/plain_event_loop.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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

PlainEventLoop::PlainEventLoop(const Clock& clock) : clock_(clock) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "The event loop's wake-up pipe");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

PlainEventLoop::~PlainEventLoop() {
    close(wakeRead_);
    close(wakeWrite_);
}

void PlainEventLoop::Post(std::function<void()> call) {
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(call));
    }
    Wake();
}

std::unique_ptr<LoopHandle> PlainEventLoop::StartTimer(std::chrono::milliseconds period,
                                                       std::function<void()> tick) {
    auto ms = std::max(period, kShortestTimerPeriod).count();
    auto periodTicks = static_cast<std::uint32_t>(std::min<long long>(ms, INT32_MAX));
    std::uint64_t id = nextId_++;
    timers_[id] = TimerEntry{periodTicks, clock_.TickCount() + periodTicks, std::move(tick)};
    return std::make_unique<Timer>(*this, id);
}

std::unique_ptr<LoopHandle> PlainEventLoop::WatchReadable(int fd, std::function<void()> ready) {
    std::uint64_t id = nextId_++;
    watches_[id] = WatchEntry{fd, std::move(ready)};
    return std::make_unique<Watch>(*this, id);
}

void PlainEventLoop::Wake() {
    char byte = 1;
    // A full pipe already wakes the loop; nothing else can go wrong that a retry would mend.
    [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
}

void PlainEventLoop::DrainWake() {
    char buffer[256];
    while (read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

int PlainEventLoop::ProcessEvents(std::chrono::milliseconds maxWait) {
    // How long to sleep: until the earliest timer, at most maxWait.
    long long timeout = std::max<long long>(0, maxWait.count());
    std::uint32_t now = clock_.TickCount();
    for (const auto& [id, timer] : timers_)
        timeout = std::min<long long>(timeout, std::max<std::int32_t>(0, TickDifference(timer.due, now)));
    {
        std::lock_guard lock(postedMutex_);
        if (!posted_.empty() || quit_.load())
            timeout = 0;
    }

    std::vector<pollfd> fds;
    std::vector<std::uint64_t> watchIds;
    fds.push_back({wakeRead_, POLLIN, 0});
    for (const auto& [id, watch] : watches_) {
        fds.push_back({watch.fd, POLLIN, 0});
        watchIds.push_back(id);
    }
    int polled = poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(timeout, INT32_MAX)));
    if (polled < 0 && errno != EINTR)
        throw std::system_error(errno, std::generic_category(), "poll");

    int ran = 0;
    if (polled > 0 && (fds[0].revents & POLLIN))
        DrainWake();
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(postedMutex_);
        calls.swap(posted_);
    }
    for (auto& call : calls) {
        call();
        ++ran;
    }
    for (std::size_t i = 0; polled > 0 && i < watchIds.size(); ++i) {
        if ((fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        auto it = watches_.find(watchIds[i]); // an earlier callback may have ended this watch
        if (it == watches_.end())
            continue;
        auto ready = it->second.ready; // the callback may end its own watch
        ready();
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
