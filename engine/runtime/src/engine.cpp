#include "engine/runtime/engine.hpp"

#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "engine/statement/statement_builder.hpp"
#include "engine/statement/statement_log.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/opc_string.hpp"
#include "model/server.hpp"
#include "platform/ascii.hpp"
#include "platform/code_page.hpp"
#include "platform/thread_name.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

namespace tagsink {
namespace {

// The toolkit's procedures carry only the session handle; this finds the engine that owns a session.
std::mutex& SessionsMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::uint32_t, Engine*>& Sessions() {
    static std::map<std::uint32_t, Engine*> sessions;
    return sessions;
}

Engine* EngineOf(std::uint32_t session) {
    std::lock_guard lock(SessionsMutex());
    auto it = Sessions().find(session);
    return it == Sessions().end() ? nullptr : it->second;
}

std::uint64_t FileTimeValue(FILETIME time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Text comparison without regard to ASCII case, for the snapshot's list of key texts.
struct LessNoCase {
    bool operator()(const std::string& a, const std::string& b) const { return qz::LessNoCase(a, b); }
};

} // namespace

// The data-change procedure given to the toolkit (plain form). Failures are logged and end the handling of
// this one item; they never travel back through the C API.
extern "C" void QZDAC_CALL EngineDataChange(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                            VARIANT value, FILETIME time_stamp, uint32_t quality) {
    Engine* engine = EngineOf(session);
    if (engine == nullptr)
        return;
    engine->DataChange(group, item, value, static_cast<std::uint16_t>(quality & 0xFFFF),
                       FileTimeValue(time_stamp));
}

// The shutdown procedure given to the toolkit: the server asks its clients to let go.
extern "C" int32_t QZDAC_CALL EngineShutdown(QZDAC_HSESSION session) {
    Engine* engine = EngineOf(session);
    if (engine != nullptr)
        engine->HandleShutdown();
    return 0;
}

Engine::Engine(TServer& server, EventLoop& loop, EngineReporter& reporter, const Clock& clock,
               EngineOptions options)
    : server_(server), loop_(loop), reporter_(reporter), clock_(clock), options_(std::move(options)),
      delay_(options_.reconnect.first_delay) {
    SetStatementLog([&reporter](const std::string& unit, const std::string& op, const std::string& text) {
        reporter.WriteLog(unit, op, text);
    });
}

Engine::~Engine() {
    try {
        Stop();
    } catch (...) {
    }
    SetStatementLog({});
}

void Engine::Log(std::string_view operation, std::string_view text) {
    reporter_.WriteLog(kEngineUnit, operation, text);
}

bool Engine::CanRun() const {
    return !server_.OPCString().empty() && server_.GroupCount() > 0;
}

void Engine::Run() {
    if (running_)
        return;
    wanted_ = true;
    retry_.reset(); // the operator's Run tries at once
    attempt_pending_ = false;
    if (stopping_) {
        // The old record thread still owns the lists and the connection: start once it has ended.
        run_after_stop_ = true;
        return;
    }
    Connect(false);
}

bool Engine::Connect(bool quiet) {
    std::string host, prog_id, class_id;
    ParseOPCString(server_.OPCString(), host, prog_id, class_id);
    const std::string& server_name = class_id.empty() ? prog_id : class_id;
    server_.SessionHandle = QZDAC_Connect(qz::ToAnsi(host).c_str(), qz::ToAnsi(server_name).c_str(), 2);
    if (server_.SessionHandle == 0) {
        reporter_.SetOpcLinkText(kOpcDisconnected);
        // A refused attempt of a link already known to be down is no change: only the first one is logged.
        if (!quiet)
            Log("Run", "OPCServer.Connected=False");
        ScheduleReconnect();
        return false;
    }
    reporter_.SetOpcLinkText(kOpcConnected);
    Log("Run", "OPCServer.Connected=true");
    {
        std::lock_guard lock(SessionsMutex());
        Sessions()[server_.SessionHandle] = this;
    }
    QZDAC_SetDataChangeProc(server_.SessionHandle, &EngineDataChange);
    QZDAC_SetShutdownProc(server_.SessionHandle, &EngineShutdown);
    running_ = true;
    routes_.clear();
    rows_.clear();
    for (std::size_t i = 0; i < server_.GroupCount(); ++i)
        RunGroup(server_.Group(i));
    server_.RecordThread =
        std::make_unique<TRecordThread>(server_, clock_, reporter_, stats_, options_.recorder);
    if (attempts_ > 0)
        ++reconnections_;
    attempts_ = 0;
    delay_ = options_.reconnect.first_delay;
    loss_pending_ = false;
    poll_ = loop_.StartTimer(options_.reconnect.status_poll, [this] { PollStatus(); });
    return true;
}

void Engine::Later(std::function<void()> call) {
    std::weak_ptr<char> alive = alive_;
    loop_.Post([alive, call = std::move(call)] {
        if (alive.lock())
            call();
    });
}

void Engine::PollStatus() {
    if (!running_ || loss_pending_ || server_.SessionHandle == 0)
        return;
    FILETIME start{}, current{}, last_update{};
    std::uint16_t state = 0, major = 0, minor = 0, build = 0;
    std::uint32_t band_width = 0, groups = 0;
    char vendor[8]; // the NUL comes after the limit
    if (QZDAC_GetServerStatus(server_.SessionHandle, &start, &current, &last_update, &state, &band_width,
                              &groups, &major, &minor, &build, vendor,
                              static_cast<std::int32_t>(sizeof vendor - 1)) != QZDAC_FALSE)
        return;
    // Not from inside the poll's own tick: the loss ends this timer.
    loss_pending_ = true;
    Later([this] {
        if (!loss_pending_)
            return; // stopped in between
        loss_pending_ = false;
        LinkLost("the server does not answer its status poll");
    });
}

void Engine::LinkLost(std::string_view why) {
    if (!running_)
        return;
    char text[256];
    std::snprintf(text, sizeof text,
                  "OPCServer.Connected=False (%.*s); trying again in %lld ms, then at "
                  "doubling intervals up to %lld ms",
                  static_cast<int>(why.size()), why.data(),
                  static_cast<long long>(options_.reconnect.first_delay.count()),
                  static_cast<long long>(options_.reconnect.longest_delay.count()));
    Log("TServer.Reconnect", text);
    MarkLinkLost();
    // The record thread finishes on its own while the loop goes on; the attempts wait for it.
    StopAsync();
    attempts_ = 0;
    delay_ = options_.reconnect.first_delay;
    ScheduleReconnect();
}

void Engine::ScheduleReconnect() {
    if (!wanted_)
        return;
    attempt_pending_ = false;
    retry_ = loop_.StartTimer(delay_, [this] {
        if (attempt_pending_)
            return;
        attempt_pending_ = true;
        Later([this] { Attempt(); });
    });
}

void Engine::Attempt() {
    if (!attempt_pending_)
        return; // Run or Stop came first
    attempt_pending_ = false;
    retry_.reset();
    if (!wanted_ || running_)
        return;
    if (stopping_) {
        ScheduleReconnect(); // the last thread still finishes: the same wait again
        return;
    }
    ++attempts_;
    delay_ = std::min(delay_ * 2, options_.reconnect.longest_delay);
    Connect(true);
}

void Engine::RunGroup(TGroup& group) {
    rows_.insert_or_assign(&group, GroupRows(group));
    Log("TGroup.Run", "GroupAdd=" + group.Name());
    group.GroupHandle = QZDAC_AddGroup(server_.SessionHandle, qz::ToAnsi(group.Name()).c_str(), QZDAC_TRUE,
                                       static_cast<uint32_t>(group.UpdateRate()), -480, group.Deadband(), 0);
    if (group.GroupHandle != 0) {
        Log("TGroup.Run", "GroupAdd=true");
        // The first group in child order with a handle keeps it, as a search in child order would find.
        auto [it, inserted] = routes_.try_emplace(group.GroupHandle);
        GroupRoute* route = nullptr;
        if (inserted) {
            it->second.group = &group;
            route = &it->second;
        }
        if (group.ItemCount() > 0) {
            for (std::size_t i = 0; i < group.ItemCount(); ++i)
                RunItem(group.Item(i), route);
            QZDAC_RefreshGroup(server_.SessionHandle, group.GroupHandle, 1);
        }
    }
    if (group.TrigType() == TTrigType::ttSnapShot) {
        TGroup* target = &group;
        group.SnapshotWindow =
            loop_.StartTimer(std::chrono::milliseconds(std::max(0, group.RecordInterval())), [this, target] {
                try {
                    SnapShot(*target);
                } catch (const std::exception& error) {
                    Log("TGroup.SnapShot", error.what());
                }
            });
    }
}

void Engine::RunItem(TItem& item, GroupRoute* route) {
    Log("TItem.Run", "ItemAdd=" + item.ItemName());
    item.ItemHandle =
        QZDAC_AddItem(server_.SessionHandle, item.Group().GroupHandle, qz::ToAnsi(item.ItemName()).c_str());
    Log("TItem.Run", item.ItemHandle != 0 ? "ItemAdd=true" : "ItemAdd=false");
    if (route != nullptr && item.ItemHandle != 0)
        route->items.try_emplace(item.ItemHandle, &item);
}

void Engine::EndAttempts() {
    wanted_ = false;
    run_after_stop_ = false;
    retry_.reset();
    attempt_pending_ = false;
    attempts_ = 0;
    delay_ = options_.reconnect.first_delay;
}

void Engine::Stop() {
    EndAttempts();
    if (stopping_)
        CompleteStop(); // waits for the record thread that RequestStop told to end
    StopLink();
}

void Engine::RequestStop(std::function<void()> done) {
    EndAttempts();
    if (done)
        stop_done_.push_back(std::move(done));
    StopAsync();
}

void Engine::StopAsync() {
    if (stopping_)
        return; // the stop under way runs the `done` calls too
    auto* thread = dynamic_cast<TRecordThread*>(server_.RecordThread.get());
    if (thread == nullptr) {
        StopLink();
        stopping_ = true;
        CompleteStop();
        return;
    }
    // Nothing is queued after the request: the session and the snapshot timers end first, so the
    // thread's last pass takes everything that was queued.
    poll_.reset();
    loss_pending_ = false;
    EndIntake();
    thread->RequestStop();
    stopping_ = true;
    const std::uint64_t generation = ++stop_generation_;
    std::weak_ptr<char> alive = alive_;
    stop_waiter_ = std::thread([this, thread, generation, alive] {
        qz::NameThisThread("tagsink-stop");
        thread->Join();
        loop_.Post([this, generation, alive] {
            if (alive.lock() && stopping_ && generation == stop_generation_)
                CompleteStop();
        });
    });
}

void Engine::CompleteStop() {
    if (stop_waiter_.joinable())
        stop_waiter_.join();
    server_.RecordThread.reset();
    // The thread's last pass may have shown the database link after the intake ended.
    reporter_.SetDbLinkText(kDbDisconnected);
    stopping_ = false;
    std::vector<std::function<void()>> done = std::move(stop_done_);
    stop_done_.clear();
    for (auto& call : done) {
        try {
            call();
        } catch (const std::exception& error) {
            Log("TServer.Stop", error.what());
        }
    }
    if (run_after_stop_ && wanted_ && !running_ && !stopping_) {
        run_after_stop_ = false;
        Run();
    }
    run_after_stop_ = false;
}

void Engine::StopLink() {
    poll_.reset();
    loss_pending_ = false;
    // While RequestStop's helper waits for the thread, the thread is left to it.
    if (server_.RecordThread && !stopping_) {
        if (auto* thread = dynamic_cast<TRecordThread*>(server_.RecordThread.get())) {
            thread->RequestStop();
            thread->Join();
        }
        server_.RecordThread.reset();
        // The thread's last pass may have shown the database link after the text above was set.
        reporter_.SetDbLinkText(kDbDisconnected);
    }
    EndIntake();
}

void Engine::EndIntake() {
    // After the join (when there was one): the record thread's last pass may still report its link.
    reporter_.SetOpcLinkText(kOpcDisconnected);
    reporter_.SetDbLinkText(kDbDisconnected);
    if (server_.SessionHandle != 0) {
        std::uint32_t session = server_.SessionHandle;
        QZDAC_Disconnect(session);
        server_.SessionHandle = 0;
        std::lock_guard lock(SessionsMutex());
        Sessions().erase(session);
    }
    if (running_) {
        for (std::size_t i = 0; i < server_.GroupCount(); ++i)
            StopGroup(server_.Group(i));
    }
    routes_.clear();
    rows_.clear();
    running_ = false;
}

void Engine::HandleShutdown() {
    try {
        if (running_)
            LinkLost("shutdown request");
        else
            StopLink();
        if (on_shutdown_)
            on_shutdown_();
    } catch (const std::exception& error) {
        Log("TServer.Stop", error.what());
    }
}

void Engine::StopGroup(TGroup& group) {
    group.SnapshotWindow.reset();
    for (std::size_t i = 0; i < group.ItemCount(); ++i)
        group.Item(i).Changed = false;
}

bool Engine::SetValue(TItem& item, const VARIANT& value, std::uint16_t quality, std::uint64_t time_stamp) {
    if (qz::VariantEquals(item.Value, value) && quality == item.Quality)
        return false;
    item.Value = qz::Variant(value);
    item.Quality = quality;
    item.TimeStamp = time_stamp;
    item.Changed = true;
    return true;
}

void Engine::DataChange(std::uint32_t group_handle, std::uint32_t item_handle, const VARIANT& value,
                        std::uint16_t quality, std::uint64_t time_stamp) {
    auto route = routes_.find(group_handle);
    if (route == routes_.end())
        return;
    auto found = route->second.items.find(item_handle);
    if (found == route->second.items.end())
        return;
    TItem& item = *found->second;
    try {
        const bool changed = SetValue(item, value, quality, time_stamp);
        if (observer_ != nullptr)
            observer_->ItemUpdated(*route->second.group, item, changed);
        Trigger(*route->second.group, item);
    } catch (const std::exception& error) {
        Log("TGroup.DataChange", item.GetNamePath() + ": " + error.what());
    }
}

void Engine::Trigger(TGroup& group, TItem& item) {
    if (group.TrigType() != TTrigType::ttDataChange || !IsKey(item) || !HasNewValue(item))
        return;
    std::string time_text = RecordTimeText(group, item);
    RowKey key = KeyText(item);
    std::string statement = BuildStatement(group, RowsOf(group), key, time_text, group.RecordType());
    if (!statement.empty())
        Queue(group, std::move(statement));
}

const GroupRows& Engine::RowsOf(TGroup& group) {
    auto it = rows_.find(&group);
    if (it == rows_.end())
        it = rows_.emplace(&group, GroupRows(group)).first;
    else if (!running_ || it->second.ItemCount() != group.ItemCount())
        it->second = GroupRows(group); // outside a run the project may have been edited in between
    return it->second;
}

void Engine::SnapShot(TGroup& group) {
    const std::string time_text = CurrentTimeText(group);
    const GroupRows& rows = RowsOf(group);
    std::set<std::string, LessNoCase> keys;
    for (std::size_t i = 0; i < group.ItemCount(); ++i) {
        TItem& item = group.Item(i);
        if (!IsKey(item))
            continue;
        RowKey key = KeyText(item);
        if (key.empty() || !keys.insert(key.Sql).second)
            continue;
        std::string statement = BuildStatement(group, rows, key, time_text, group.RecordType());
        if (!statement.empty())
            Queue(group, std::move(statement));
    }
    if (keys.empty()) {
        std::string statement = BuildStatement(group, rows, RowKey{}, time_text, group.RecordType());
        if (!statement.empty())
            Queue(group, std::move(statement));
    }
}

void Engine::Queue(const TGroup& group, std::string statement) {
    QueueStatement(server_, std::move(statement));
    queued_.fetch_add(1);
    if (observer_ != nullptr)
        observer_->RecordBuilt(group);
}

std::unique_ptr<LoopHandle> WatchToolkitEvents(EventLoop& loop) {
#ifdef _WIN32
    // The toolkit's work arrives as window messages of the client thread, which every message loop of
    // that thread (PlainEventLoop's among them) dispatches: there is nothing to watch.
    (void)loop;
    return nullptr;
#else
    intptr_t handle = QZDAC_GetEventHandle();
    if (handle < 0)
        return nullptr;
    return loop.WatchReadable(static_cast<int>(handle), [] { QZDAC_DispatchEvents(); });
#endif
}

} // namespace tagsink
