// Stopping without blocking the caller's loop: RequestStop ends the intake at once, leaves the record
// thread to finish on a helper thread and reports the end on the loop; Run and Stop meanwhile wait for it.
// The toolkit is initialised by engine_test.cpp's environment (same test binary).
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine_fixture.hpp"
#include "model/group.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::testing::EngineFixture;

constexpr std::size_t kWaiting = 3000;

class RequestStopTest : public EngineFixture {
protected:
    RequestStopTest() {
        fake->executeDelay = 1ms; // 3000 statements take 3 s, the finish may spend 400 ms
        TGroup& group = TGroup::Create(*server);
        group.SetName("G1");
        group.SetTableName("T");
        options.recorder.singleStatements = true;
        options.recorder.finishBudget = 400ms;
        MakeEngine();
    }

    // Runs, then queues statements that wait in PendingList until the stop takes them.
    void RunWithWaiting() {
        HoldStatements();
        engine->Run();
        ASSERT_TRUE(engine->Running());
        ASSERT_TRUE(Pump([&] { return reporter.Db() == "DB Connected"; }))
            << "the first pass opens the database";
        for (std::size_t i = 0; i < kWaiting; ++i)
            QueueStatement(*server, "insert into T values (" + std::to_string(i) + ")");
    }
};

TEST_F(RequestStopTest, ReturnsAtOnceAndReportsTheEndOnTheLoop) {
    RunWithWaiting();
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    engine->RequestStop([&] { ++done; });
    const auto returned = std::chrono::steady_clock::now() - start;
    EXPECT_LT(returned, 200ms) << "the caller does not wait for the record thread";
    EXPECT_TRUE(engine->Stopping());
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(done, 0) << "the thread still finishes";
    EXPECT_EQ(server->SessionHandle, 0u) << "the intake ends at once";
    EXPECT_NE(server->RecordThread, nullptr);
    EXPECT_EQ(reporter.Opc(), "OPC Disconnected");

    // The loop keeps turning while the thread finishes: count its turns.
    int turns = 0;
    ASSERT_TRUE(Pump([&] {
        ++turns;
        return done > 0;
    }));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms) << "the finish spent its budget";
    EXPECT_GE(turns, 20) << "the loop ran while the thread finished";
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(engine->Stopping());
    EXPECT_EQ(server->RecordThread, nullptr);
    EXPECT_EQ(reporter.Db(), "DB Disconnected");

    // What the finish did not execute is kept in the journal.
    const std::size_t executed = fake->Executed().size();
    EXPECT_GT(executed, 0u);
    EXPECT_LT(executed, kWaiting);
    EXPECT_EQ(executed + PeekJournal(options.recorder.bufferFile).entries.size(), kWaiting);
}

TEST_F(RequestStopTest, SecondRequestWaitsForTheSameStop) {
    RunWithWaiting();
    int first = 0, second = 0;
    engine->RequestStop([&] { ++first; });
    engine->RequestStop([&] { ++second; });
    EXPECT_TRUE(engine->Stopping());
    ASSERT_TRUE(Pump([&] { return first > 0 && second > 0; }));
    loop.ProcessEvents(50ms);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(engine->Stopping());
}

TEST_F(RequestStopTest, RunDuringAStopStartsOnceTheThreadHasEnded) {
    RunWithWaiting();
    bool stopped = false;
    engine->RequestStop([&] { stopped = true; });
    engine->Run();
    EXPECT_FALSE(engine->Running()) << "the old thread still owns the lists";
    EXPECT_EQ(server->SessionHandle, 0u);
    ASSERT_TRUE(Pump([&] { return engine->Running(); }));
    EXPECT_TRUE(stopped) << "the stop completed first";
    EXPECT_NE(server->SessionHandle, 0u);
    EXPECT_NE(server->RecordThread, nullptr);
    // The new run executes what the stop left in the journal (the buffer limits hold back only PendingList).
    ASSERT_TRUE(Pump([&] { return fake->Executed().size() >= kWaiting; }, 20s));
    EXPECT_EQ(fake->Executed().size(), kWaiting) << "each statement once";
}

TEST_F(RequestStopTest, StopWaitsForARequestedStop) {
    RunWithWaiting();
    int done = 0;
    engine->RequestStop([&] { ++done; });
    engine->Run(); // asked for during the stop; the Stop below cancels it
    engine->Stop();
    EXPECT_EQ(done, 1) << "completed inside Stop";
    EXPECT_FALSE(engine->Stopping());
    EXPECT_EQ(server->RecordThread, nullptr);
    loop.ProcessEvents(100ms);
    EXPECT_EQ(done, 1) << "the completion the helper posted does nothing more";
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(server->SessionHandle, 0u);
}

TEST_F(RequestStopTest, WithoutARecordThreadItCompletesBeforeReturning) {
    int done = 0;
    engine->RequestStop([&] { ++done; });
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(engine->Stopping());
    EXPECT_EQ(reporter.Opc(), "OPC Disconnected");
    EXPECT_EQ(reporter.Db(), "DB Disconnected");
}

TEST_F(RequestStopTest, DestroyingTheEngineWaitsForTheStop) {
    RunWithWaiting();
    int done = 0;
    engine->RequestStop([&] { ++done; });
    engine.reset();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(server->RecordThread, nullptr);
    loop.ProcessEvents(50ms);
}

} // namespace
} // namespace tagsink
