// The recording engine as the main window drives it: CanRun, Run and Stop of the project root, with the
// toolkit's notifications and the engine's timers on the user-interface thread.
#pragma once

#include "engine/runtime/engine.hpp"
#include "engine/runtime/engine_reporter.hpp"
#include "engine/runtime/recorder_stats.hpp"
#include "qt_event_loop.hpp"

#include <cstdint>
#include <functional>
#include <memory>

namespace tagsink {
class TServer;
}

namespace tagsink::app {

class ProjectEngine {
public:
    ProjectEngine(TServer& server, QtEventLoop& loop, EngineReporter& reporter, EngineOptions options = {});
    ~ProjectEngine();

    /// True when OPCString is set and the root has at least one group.
    bool CanRun() const;
    /// Connects, subscribes every group and starts the record thread; a failed connection is reported
    /// through the log and the link texts.
    void Run();
    /// Stops recording (harmless when stopped; then it only resets the link texts); waits for the record
    /// thread.
    void Stop();
    /// Stops recording without blocking the window: `done` runs on the user-interface thread once the
    /// record thread has ended (at once when there is none). See Engine::RequestStop.
    void RequestStop(std::function<void()> done);
    /// True while a RequestStop waits for the record thread.
    bool Stopping() const;
    bool Running() const;
    /// True while the engine waits to connect to the OPC server again (a lost link, a refused Run).
    bool Reconnecting() const;
    /// How often the OPC link came back by itself since the window was created.
    std::uint64_t Reconnections() const;
    /// The record thread's counters since the window was created (they survive Stop and Run).
    const RecorderStats& Stats() const;

    /// Called after an OPC server's shutdown request stopped the engine.
    void SetShutdownHandler(std::function<void()> handler);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tagsink::app
