// One simulated server instance's life: its scheduler, which can stop everything the instance has running,
// and the outside control (sim_control.hpp) that makes it vanish or ask its clients to let go.
#pragma once
#include "sim_control.hpp"
#include "sim_scheduler.hpp"
#include "sim_server.hpp"

#include <functional>
#include <memory>
#include <set>

namespace tagclient::transport::sim {

// The scheduler of one server instance: the transport's scheduler, with a switch that ends everything the
// instance has running or posted, as when the server's process ends.
class InstanceScheduler final : public Scheduler {
public:
    explicit InstanceScheduler(std::shared_ptr<Scheduler> outer)
        : outer_(std::move(outer)), alive_(std::make_shared<bool>(true)) {}
    std::uint64_t NowMs() override { return outer_->NowMs(); }
    void Post(std::function<void()> call) override {
        if (!*alive_)
            return;
        outer_->Post([alive = alive_, call = std::move(call)] {
            if (*alive)
                call();
        });
    }
    std::uint64_t StartTimer(std::uint32_t interval_ms, std::function<void()> tick) override {
        if (!*alive_)
            return kNeverStarted | next_dead_++; // never 0, never one of the outer scheduler's timers
        std::uint64_t id = outer_->StartTimer(interval_ms, std::move(tick));
        timers_.insert(id);
        return id;
    }
    void StopTimer(std::uint64_t id) override {
        if (timers_.erase(id) != 0)
            outer_->StopTimer(id);
    }
    // Stops every timer and drops every posted call of the instance, now and later.
    void Halt() {
        *alive_ = false;
        std::set<std::uint64_t> timers;
        timers.swap(timers_);
        for (std::uint64_t id : timers)
            outer_->StopTimer(id);
    }

private:
    static constexpr std::uint64_t kNeverStarted = 1ull << 63;
    std::shared_ptr<Scheduler> outer_;
    std::shared_ptr<bool> alive_;
    std::set<std::uint64_t> timers_;
    std::uint64_t next_dead_ = 1;
};

// Whether one server instance still exists, as the outside control decides (sim_control.hpp): the
// instance dies for good when the control file says "down", and sends one shutdown request for each
// "shutdown" text written after it was created. Checked at every call on the instance's objects and, while
// the control variable is set, every kControlWatchMs by a timer of the instance.
class InstanceLife final : public std::enable_shared_from_this<InstanceLife> {
public:
    explicit InstanceLife(std::shared_ptr<InstanceScheduler> scheduler)
        : scheduler_(std::move(scheduler)), seen_(ReadControl().version) {}
    ~InstanceLife() {
        if (watch_ != 0)
            scheduler_->StopTimer(watch_);
    }
    InstanceLife(const InstanceLife&) = delete;
    InstanceLife& operator=(const InstanceLife&) = delete;

    void Watch(const std::shared_ptr<SimServer>& server) {
        server_ = server;
        if (!ControlEnabled())
            return;
        std::weak_ptr<InstanceLife> weak = weak_from_this();
        watch_ = scheduler_->StartTimer(kControlWatchMs, [weak] {
            if (auto self = weak.lock())
                self->Lost();
        });
    }

    // True when the instance has vanished; every call on it then fails with kServerUnavailable.
    bool Lost() {
        if (dead_)
            return true;
        if (!ControlEnabled())
            return false;
        const ControlReading reading = ReadControl();
        if (reading.state == ControlState::Down) {
            dead_ = true;
            watch_ = 0;
            scheduler_->Halt();
            return true;
        }
        if (reading.state == ControlState::Shutdown && reading.version != seen_) {
            if (auto server = server_.lock())
                server->RequestShutdown(reading.reason);
        }
        seen_ = reading.version;
        return false;
    }

private:
    std::shared_ptr<InstanceScheduler> scheduler_;
    std::weak_ptr<SimServer> server_;
    std::uint64_t seen_ = 0;
    std::uint64_t watch_ = 0;
    bool dead_ = false;
};

} // namespace tagclient::transport::sim
