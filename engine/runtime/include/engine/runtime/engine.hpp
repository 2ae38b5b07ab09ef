// The recording engine of one project root: Run and Stop, the toolkit's notification procedures, the
// routing of data changes to items, the record triggers and the snapshot timers.
//
// Everything here runs on the user-interface thread (the thread that initialised the toolkit and runs the
// EventLoop), except the record thread that Run starts. The engine talks to the toolkit only through
// tagclient.h; QZDAC_Init and QZDAC_Uninit are the program's business.
#pragma once

#include "engine/runtime/clock.hpp"
#include "engine/runtime/engine_observer.hpp"
#include "engine/runtime/engine_reporter.hpp"
#include "engine/runtime/event_loop.hpp"
#include "engine/runtime/recorder.hpp"
#include "engine/statement/group_rows.hpp"
#include "platform/oleauto.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tagsink {

class TServer;
class TGroup;
class TItem;

/// How the engine watches its OPC link and heals it.
struct ReconnectOptions {
    /// The period of the engine's own status poll (QZDAC_GetServerStatus); a failing poll means the link
    /// is lost.
    std::chrono::milliseconds status_poll{3000};
    /// The wait before the first attempt after a loss; each failed attempt doubles it, up to `longest_delay`.
    std::chrono::milliseconds first_delay{1000};
    std::chrono::milliseconds longest_delay{60000};
};

struct EngineOptions {
    RecorderOptions recorder;
    ReconnectOptions reconnect;
};

class Engine {
public:
    Engine(TServer& server, EventLoop& loop, EngineReporter& reporter,
           const Clock& clock = SystemClock::Instance(), EngineOptions options = {});
    /// Stops the engine if it runs.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    /// True when OPCString is set and the root has at least one group.
    bool CanRun() const;

    /// Connects to the OPC server of OPCString, subscribes every group and starts the record thread.
    /// A refused connection leaves the engine stopped (logged, "OPC Disconnected") and, like a link lost
    /// later, starts the reconnection attempts: until Stop, the engine tries Run again after a wait that
    /// starts at ReconnectOptions::first_delay and doubles up to longest_delay.
    void Run();

    /// Ends the record thread (which executes or spills what is still queued), disconnects the session and
    /// stops the groups; ends the reconnection attempts. Harmless when stopped: it then only sets the two
    /// link texts. Waits for a stop that RequestStop began.
    void Stop();

    /// Stop without waiting for the record thread, for a caller that must keep its loop turning (the
    /// desktop window): the intake ends at once (status poll, session, groups, reconnection attempts, the
    /// OPC link text), the record thread is told to end, and a helper thread waits for it. `done` runs on
    /// the loop once the thread has ended and was freed; when there is no record thread it runs before
    /// RequestStop returns. A second request while one runs only adds its `done`. A Run meanwhile starts
    /// once the stop is complete (after the `done` calls); Stop waits for it.
    void RequestStop(std::function<void()> done = {});

    /// True from a RequestStop that had a record thread to end until the thread has ended.
    bool Stopping() const { return stopping_; }

    /// True between a successful Run (or reconnection) and the next Stop or loss of the link.
    bool Running() const { return running_; }

    /// True while the OPC link is up: a session is open and its status poll answers.
    bool OpcLinkUp() const { return running_; }
    /// True while the engine waits to try Run again (after a refused connection or a lost link).
    bool Reconnecting() const { return retry_ != nullptr; }
    /// The attempts to connect again since the link was last lost or refused; 0 while the link is up.
    unsigned ReconnectAttempts() const { return attempts_; }
    /// The wait before the next attempt (while Reconnecting).
    std::chrono::milliseconds ReconnectDelay() const { return delay_; }
    /// How often the link came back by itself since the engine was created.
    std::uint64_t Reconnections() const { return reconnections_; }

    /// Called after Stop was run from the OPC server's shutdown request (the program keeps its mode; the
    /// engine then tries to connect again).
    void SetShutdownHandler(std::function<void()> handler) { on_shutdown_ = std::move(handler); }

    /// The OPC server asked its clients to let go: Stop, then the shutdown handler, then the reconnection
    /// attempts.
    void HandleShutdown();

    /// The link is gone (a shutdown request, a status poll that failed): one log line, a Stop that does not
    /// wait for the record thread (as RequestStop), and the reconnection attempts, which wait for it.
    /// Nothing happens when the engine is not running.
    void LinkLost(std::string_view why);

    // --- data intake (the toolkit's data-change procedure lands here; public for tests) ---

    /// Routes one change: the first group in child order with this group handle, then its first item in
    /// child order with this item handle; an unknown handle drops the change.
    void DataChange(std::uint32_t group_handle, std::uint32_t item_handle, const VARIANT& value,
                    std::uint16_t quality, std::uint64_t time_stamp);

    /// Stores a new value in the item (unless value and quality are unchanged); true when it changed.
    static bool SetValue(TItem& item, const VARIANT& value, std::uint16_t quality, std::uint64_t time_stamp);

    /// One snapshot timer tick of a group: one statement per distinct key text, or one without a key.
    void SnapShot(TGroup& group);

    /// Who sees the intake (null: nobody); set before Run, called on the loop thread.
    void SetObserver(EngineObserver* observer) { observer_ = observer; }

    /// Statements handed to the queue since the engine was created.
    std::uint64_t QueuedCount() const { return queued_.load(); }
    const RecorderStats& Stats() const { return stats_; }
    TServer& Server() const { return server_; }

private:
    struct GroupRoute {
        TGroup* group = nullptr;
        std::unordered_map<std::uint32_t, TItem*> items;
    };

    bool Connect(bool quiet);
    void StopLink();
    void EndAttempts(); // no more reconnection attempts: the operator or the program stops
    void StopAsync();
    void EndIntake();
    void CompleteStop();
    void ScheduleReconnect();
    void Attempt();
    void PollStatus();
    // Runs `call` on the loop soon, unless the engine is gone by then.
    void Later(std::function<void()> call);

    void RunGroup(TGroup& group);
    void RunItem(TItem& item, GroupRoute* route);
    void StopGroup(TGroup& group);
    void Trigger(TGroup& group, TItem& item);
    // The link is lost: every subscribed item takes the quality "bad: comm failure", keeping its value,
    // and the groups that record a quality write the rows that show it (link_quality.cpp).
    void MarkLinkLost();
    // The group's rows as Run prepared them (made again if the group's items changed since).
    const GroupRows& RowsOf(TGroup& group);
    void Queue(const TGroup& group, std::string statement);
    void Log(std::string_view operation, std::string_view text);

    TServer& server_;
    EventLoop& loop_;
    EngineReporter& reporter_;
    const Clock& clock_;
    EngineOptions options_;
    RecorderStats stats_;
    std::atomic<std::uint64_t> queued_{0};
    bool running_ = false;
    std::unordered_map<std::uint32_t, GroupRoute> routes_;
    std::unordered_map<const TGroup*, GroupRows> rows_; // every group that ran, by its object
    std::function<void()> on_shutdown_;
    EngineObserver* observer_ = nullptr;

    bool wanted_ = false;       // between Run and Stop: the link is to be kept up
    bool loss_pending_ = false; // a failed poll has posted its LinkLost
    bool attempt_pending_ = false;
    unsigned attempts_ = 0;
    std::chrono::milliseconds delay_;
    std::uint64_t reconnections_ = 0;
    std::unique_ptr<LoopHandle> poll_;
    std::unique_ptr<LoopHandle> retry_;
    std::shared_ptr<char> alive_ = std::make_shared<char>(0); // posted calls check it

    // A stop that waits for the record thread on a helper thread (RequestStop).
    bool stopping_ = false;
    bool run_after_stop_ = false;
    std::uint64_t stop_generation_ = 0; // a completion posted for an older stop does nothing
    std::thread stop_waiter_;
    std::vector<std::function<void()>> stop_done_;
};

/// Watches the toolkit's event handle on `loop` and runs QZDAC_DispatchEvents whenever it is readable.
/// Returns nothing when the toolkit has no event handle, and on Windows, where the toolkit's work arrives
/// as window messages that the loop dispatches.
std::unique_ptr<LoopHandle> WatchToolkitEvents(EventLoop& loop);

} // namespace tagsink
