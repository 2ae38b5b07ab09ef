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
        fake_->execute_delay = 1ms; // 3000 statements take 3 s, the finish may spend 400 ms
        TGroup& group = TGroup::Create(*server_);
        group.SetName("G1");
        group.SetTableName("T");
        options_.recorder.single_statements = true;
        options_.recorder.finish_budget = 400ms;
        MakeEngine();
    }

    // Runs, then queues statements that wait in PendingList until the stop takes them.
    void RunWithWaiting() {
        HoldStatements();
        engine_->Run();
        ASSERT_TRUE(engine_->Running());
        ASSERT_TRUE(Pump([&] { return reporter_.Db() == "DB Connected"; }))
            << "the first pass opens the database";
        for (std::size_t i = 0; i < kWaiting; ++i)
            QueueStatement(*server_, "insert into T values (" + std::to_string(i) + ")");
    }
};

TEST_F(RequestStopTest, ReturnsAtOnceAndReportsTheEndOnTheLoop) {
    RunWithWaiting();
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    engine_->RequestStop([&] { ++done; });
    const auto returned = std::chrono::steady_clock::now() - start;
    EXPECT_LT(returned, 200ms) << "the caller does not wait for the record thread";
    EXPECT_TRUE(engine_->Stopping());
    EXPECT_FALSE(engine_->Running());
    EXPECT_EQ(done, 0) << "the thread still finishes";
    EXPECT_EQ(server_->SessionHandle, 0u) << "the intake ends at once";
    EXPECT_NE(server_->RecordThread, nullptr);
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");

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
    EXPECT_FALSE(engine_->Stopping());
    EXPECT_EQ(server_->RecordThread, nullptr);
    EXPECT_EQ(reporter_.Db(), "DB Disconnected");

    // What the finish did not execute is kept in the journal.
    const std::size_t executed = fake_->Executed().size();
    EXPECT_GT(executed, 0u);
    EXPECT_LT(executed, kWaiting);
    EXPECT_EQ(executed + PeekJournal(options_.recorder.buffer_file).entries.size(), kWaiting);
}

TEST_F(RequestStopTest, SecondRequestWaitsForTheSameStop) {
    RunWithWaiting();
    int first = 0, second = 0;
    engine_->RequestStop([&] { ++first; });
    engine_->RequestStop([&] { ++second; });
    EXPECT_TRUE(engine_->Stopping());
    ASSERT_TRUE(Pump([&] { return first > 0 && second > 0; }));
    loop_.ProcessEvents(50ms);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(engine_->Stopping());
}

TEST_F(RequestStopTest, RunDuringAStopStartsOnceTheThreadHasEnded) {
    RunWithWaiting();
    bool stopped = false;
    engine_->RequestStop([&] { stopped = true; });
    engine_->Run();
    EXPECT_FALSE(engine_->Running()) << "the old thread still owns the lists";
    EXPECT_EQ(server_->SessionHandle, 0u);
    ASSERT_TRUE(Pump([&] { return engine_->Running(); }));
    EXPECT_TRUE(stopped) << "the stop completed first";
    EXPECT_NE(server_->SessionHandle, 0u);
    EXPECT_NE(server_->RecordThread, nullptr);
    // The new run executes what the stop left in the journal (the buffer limits hold back only PendingList).
    ASSERT_TRUE(Pump([&] { return fake_->Executed().size() >= kWaiting; }, 20s));
    EXPECT_EQ(fake_->Executed().size(), kWaiting) << "each statement once";
}

TEST_F(RequestStopTest, StopWaitsForARequestedStop) {
    RunWithWaiting();
    int done = 0;
    engine_->RequestStop([&] { ++done; });
    engine_->Run(); // asked for during the stop; the Stop below cancels it
    engine_->Stop();
    EXPECT_EQ(done, 1) << "completed inside Stop";
    EXPECT_FALSE(engine_->Stopping());
    EXPECT_EQ(server_->RecordThread, nullptr);
    loop_.ProcessEvents(100ms);
    EXPECT_EQ(done, 1) << "the completion the helper posted does nothing more";
    EXPECT_FALSE(engine_->Running());
    EXPECT_EQ(server_->SessionHandle, 0u);
}

TEST_F(RequestStopTest, WithoutARecordThreadItCompletesBeforeReturning) {
    int done = 0;
    engine_->RequestStop([&] { ++done; });
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(engine_->Stopping());
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");
    EXPECT_EQ(reporter_.Db(), "DB Disconnected");
}

TEST_F(RequestStopTest, DestroyingTheEngineWaitsForTheStop) {
    RunWithWaiting();
    int done = 0;
    engine_->RequestStop([&] { ++done; });
    engine_.reset();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(server_->RecordThread, nullptr);
    loop_.ProcessEvents(50ms);
}

} // namespace
} // namespace tagsink
