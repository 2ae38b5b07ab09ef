// The simulated servers' surroundings (a transport Host) whose clock, a qz::ManualClock, only moves when
// a test or benchmark says so: posted calls and timer ticks run inside RunPosted() and Advance(), in time
// order.
#pragma once
#include "sim_scheduler.hpp"

#include "platform/clock.hpp"

#include <deque>
#include <functional>
#include <map>

namespace tagclient::transport::sim::testing {

class ManualScheduler : public tagclient::transport::sim::Scheduler {
public:
    std::uint64_t NowMs() override { return clock_.NowMs(); }
    void Post(std::function<void()> call) override { posted_.push_back(std::move(call)); }
    std::uint64_t StartTimer(std::uint32_t interval_ms, std::function<void()> tick) override {
        std::uint64_t id = next_id_++;
        const std::uint32_t interval = interval_ms == 0 ? 1 : interval_ms;
        timers_[id] = Timer{interval, clock_.NowMs() + interval, std::move(tick)};
        return id;
    }
    void StopTimer(std::uint64_t id) override { timers_.erase(id); }

    size_t TimerCount() const { return timers_.size(); }
    size_t PostedCount() const { return posted_.size(); }

    // Runs every posted call, also those posted while running.
    void RunPosted() {
        while (!posted_.empty()) {
            auto call = std::move(posted_.front());
            posted_.pop_front();
            call();
        }
    }

    // Moves the clock forward by ms, running posted calls and every timer tick that falls due on the way.
    void Advance(std::uint64_t ms) {
        const std::uint64_t target = clock_.NowMs() + ms;
        RunPosted();
        for (;;) {
            std::uint64_t best_id = 0;
            std::uint64_t best_due = target + 1;
            for (const auto& [id, t] : timers_) {
                if (t.due < best_due) {
                    best_due = t.due;
                    best_id = id;
                }
            }
            if (best_id == 0)
                break;
            clock_.Set(best_due);
            auto it = timers_.find(best_id);
            it->second.due += it->second.interval;
            auto tick = it->second.tick; // the tick may stop its own timer
            tick();
            RunPosted();
        }
        clock_.Set(target);
        RunPosted();
    }

private:
    struct Timer {
        std::uint32_t interval;
        std::uint64_t due;
        std::function<void()> tick;
    };
    qz::ManualClock clock_{1000};
    std::uint64_t next_id_ = 1;
    std::deque<std::function<void()>> posted_;
    std::map<std::uint64_t, Timer> timers_;
};

} // namespace tagclient::transport::sim::testing
