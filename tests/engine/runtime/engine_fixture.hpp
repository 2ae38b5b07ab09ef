// The engine tests' common set-up: a project on the simulated DA2 server whose database is a FakeDb, an
// event loop that watches the toolkit's events, a reporter that keeps what it is told, and the engine made
// over them. The toolkit itself is initialised by each test binary's environment.
#pragma once

#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "fake_db.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace tagsink::testing {

inline constexpr const char* kDa2 = "/Tagsink.SimServer.DA2/";

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() {
        auto db = std::make_unique<FakeDb>();
        fake_ = db.get();
        server_ = std::make_unique<TServer>(std::move(db));
        server_->SetOPCString(kDa2);
        server_->SetDBString("fake");
        options_.recorder.buffer_file = dir_ / "sql.dat";
    }
    ~EngineFixture() override {
        engine_.reset();
        events_.reset();
    }

    // Keeps every queued statement in PendingList until a stop takes them.
    void HoldStatements() {
        server_->SetBufferCount(1000000000);
        server_->SetBufferTime(1000000000);
        server_->LastFlushTick = SystemClock::Instance().TickCount();
    }

    Engine& MakeEngine() { return MakeEngine(loop_); }
    Engine& MakeEngine(EventLoop& event_loop, const Clock& clock = SystemClock::Instance()) {
        engine_ = std::make_unique<Engine>(*server_, event_loop, reporter_, clock, options_);
        return *engine_;
    }

    // Turns the loop until `predicate` holds; false when `limit` passes first.
    template <class Predicate>
    bool Pump(Predicate predicate, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            loop_.ProcessEvents(std::chrono::milliseconds(5));
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds span) {
        const auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until)
            loop_.ProcessEvents(std::chrono::milliseconds(5));
    }

    db::testing::TempDir dir_;
    FakeDb* fake_ = nullptr;
    std::unique_ptr<TServer> server_;
    PlainEventLoop loop_;
    std::unique_ptr<LoopHandle> events_ = WatchToolkitEvents(loop_);
    RecordingReporter reporter_;
    EngineOptions options_;
    std::unique_ptr<Engine> engine_;
};

} // namespace tagsink::testing
