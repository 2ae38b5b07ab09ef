#include "event_queue.hpp"

#include <exception>
#include <vector>

#ifndef _WIN32
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace tagclient {

#ifndef _WIN32 // (the Windows wake-ups are in event_queue_win.cpp)
// One epoll descriptor carries both wake-ups: an eventfd for posted calls and a timerfd armed at the next
// due timer. The epoll descriptor itself is readable whenever one of them is.
EventQueue::EventQueue() {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    timer_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (epoll_ >= 0 && wake_ >= 0 && timer_fd_ >= 0) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = wake_;
        bool ok = epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) == 0;
        ev.data.fd = timer_fd_;
        ok = ok && epoll_ctl(epoll_, EPOLL_CTL_ADD, timer_fd_, &ev) == 0;
        if (ok)
            handle_ = epoll_;
    }
}

EventQueue::~EventQueue() {
    for (int fd : {timer_fd_, wake_, epoll_})
        if (fd >= 0)
            close(fd);
}

void EventQueue::Signal() {
    {
        std::lock_guard lock(mutex_);
        signaled_ = true;
    }
    if (wake_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(wake_, &one, sizeof one);
    }
}

// Resets the descriptors that fired (system calls are costly: only those that may have fired).
void EventQueue::Drain() {
    bool signaled, timers;
    {
        std::lock_guard lock(mutex_);
        signaled = signaled_;
        signaled_ = false;
        timers = armed_due_ != 0;
    }
    std::uint64_t count;
    if (signaled && wake_ >= 0) {
        [[maybe_unused]] auto n = read(wake_, &count, sizeof count); // an eventfd read resets it
    }
    if (timers && timer_fd_ >= 0) {
        [[maybe_unused]] auto n = read(timer_fd_, &count, sizeof count);
    }
}

#endif

void EventQueue::Post(std::function<void()> call) {
    bool was_empty;
    {
        std::lock_guard lock(mutex_);
        was_empty = posted_.empty();
        posted_.push_back(std::move(call));
    }
    if (was_empty) // the descriptor is already readable otherwise
        Signal();
}

transport::Host::TimerId EventQueue::StartTimer(std::uint32_t interval_ms, std::function<void()> tick) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = next_timer_++;
        std::uint32_t interval = interval_ms == 0 ? 1 : interval_ms;
        timers_[id] = Timer{interval, (clock_->NowMs()) + interval, std::move(tick)};
    }
    ArmTimer();
    return id;
}

void EventQueue::StopTimer(TimerId id) {
    {
        std::lock_guard lock(mutex_);
        timers_.erase(id);
    }
    ArmTimer();
}

std::uint64_t EventQueue::NowMs() {
    std::lock_guard lock(mutex_);
    return clock_->NowMs();
}

void EventQueue::SetClock(const qz::Clock* clock) {
    std::lock_guard lock(mutex_);
    clock_ = clock ? clock : &qz::SystemClock::Instance();
}

void EventQueue::Clear() {
    std::deque<std::function<void()>> posted;
    std::map<TimerId, Timer> timers;
    {
        std::lock_guard lock(mutex_);
        posted.swap(posted_);
        timers.swap(timers_);
    }
    // The closures are destroyed here, outside the lock (they may hold references whose release posts).
}

#ifndef _WIN32
// Arms the timerfd at the earliest due timer (disarms it when there is none).
void EventQueue::ArmTimer() {
    if (timer_fd_ < 0)
        return;
    itimerspec spec{};
    {
        std::lock_guard lock(mutex_);
        std::uint64_t due = 0;
        for (const auto& [id, t] : timers_)
            due = due == 0 ? t.due : std::min(due, t.due);
        if (due == armed_due_ && clock_ == &qz::SystemClock::Instance())
            return; // already armed for that time
        armed_due_ = due;
        if (due != 0) {
            std::uint64_t now = clock_->NowMs();
            std::uint64_t delay = due > now ? due - now : 0;
            spec.it_value.tv_sec = static_cast<time_t>(delay / 1000);
            spec.it_value.tv_nsec = static_cast<long>((delay % 1000) * 1000000);
            if (delay == 0)
                spec.it_value.tv_nsec = 1; // due now: fire at once (0 would disarm)
        }
    }
    timerfd_settime(timer_fd_, 0, &spec, nullptr);
}

#endif

int EventQueue::Dispatch() {
    if (dispatching_)
        return 0;
    dispatching_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{dispatching_};

    Drain();
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(posted_);
    }
    int ran = 0;
    for (auto& call : calls) {
        try {
            call();
        } catch (...) {
            // A posted call reports its own failures; nothing may escape into the client's loop.
        }
        ++ran;
    }
    calls.clear();

    // Due timers, each at most once per dispatch, in id order. A tick may stop or start timers.
    std::vector<TimerId> due;
    {
        std::lock_guard lock(mutex_);
        std::uint64_t now = clock_->NowMs();
        for (auto& [id, t] : timers_)
            if (t.due <= now)
                due.push_back(id);
    }
    for (TimerId id : due) {
        std::function<void()> tick;
        {
            std::lock_guard lock(mutex_);
            auto it = timers_.find(id);
            if (it == timers_.end())
                continue;
            std::uint64_t now = clock_->NowMs();
            it->second.due += it->second.interval;
            if (it->second.due <= now) // far behind (the client did not dispatch): no burst of ticks
                it->second.due = now + it->second.interval;
            tick = it->second.tick;
        }
        try {
            tick();
        } catch (...) {
        }
        ++ran;
    }

    ArmTimer();
    bool more;
    {
        std::lock_guard lock(mutex_);
        more = !posted_.empty();
    }
    if (more)
        Signal();
    return ran;
}

} // namespace tagclient
