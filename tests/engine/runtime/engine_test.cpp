// The engine through the toolkit's C API against the simulated OPC servers.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine_fixture.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/variant.hpp"
#include "recording_reporter.hpp"
#include "tagclient.h"
#include "test_db.hpp"

#include <gtest/gtest.h>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::TempDir;
using tagsink::testing::EngineFixture;
using tagsink::testing::kDa2;
using tagsink::testing::RecordingReporter;

constexpr std::uint16_t kGood = 0xC0;

class ToolkitEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE); }
    void TearDown() override { QZDAC_Uninit(); }
};
const auto* const kToolkit = ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

TGroup& AddGroup(TServer& server, const std::string& name, const std::string& table) {
    TGroup& group = TGroup::Create(server);
    group.SetName(name);
    group.SetTableName(table);
    return group;
}

class EngineTest : public EngineFixture {
protected:
    std::vector<std::string> Pending() {
        std::lock_guard lock(RecordLock());
        return {server_->PendingList.begin(), server_->PendingList.end()};
    }
    void ClearPending() {
        std::lock_guard lock(RecordLock());
        server_->PendingList.clear();
    }
};

TEST_F(EngineTest, CanRunNeedsAServerAndAGroup) {
    Engine& e = MakeEngine(loop_);
    EXPECT_FALSE(e.CanRun()) << "no groups";
    AddGroup(*server_, "G1", "T");
    EXPECT_TRUE(e.CanRun());
    server_->SetOPCString("");
    EXPECT_FALSE(e.CanRun()) << "no OPCString";
}

TEST_F(EngineTest, RefusedConnectionLeavesTheEngineStopped) {
    server_->SetOPCString("/No.Such.Server/");
    AddGroup(*server_, "G1", "T");
    Engine& e = MakeEngine(loop_);
    e.Run();
    EXPECT_FALSE(e.Running());
    EXPECT_EQ(server_->SessionHandle, 0u);
    EXPECT_EQ(server_->RecordThread, nullptr);
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");
    EXPECT_EQ(reporter_.Texts("Run"), (std::vector<std::string>{"OPCServer.Connected=False"}));
    EXPECT_TRUE(reporter_.Texts("TGroup.Run").empty()) << "no group is subscribed";
}

TEST_F(EngineTest, RunSubscribesGroupsAndItemsInChildOrder) {
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetTrigType(TTrigType::ttDataChange);
    TItem& good = TItem::Create(group, "A", "Memory.Int4", "V", TFieldType::ftInteger);
    TItem& bad = TItem::Create(group, "B", "No.Such.Item", "W", TFieldType::ftInteger);
    Engine& e = MakeEngine(loop_);
    e.Run();
    ASSERT_TRUE(e.Running());
    EXPECT_NE(server_->SessionHandle, 0u);
    EXPECT_NE(server_->RecordThread, nullptr);
    EXPECT_EQ(reporter_.Opc(), "OPC Connected");
    EXPECT_EQ(reporter_.Texts("Run"), (std::vector<std::string>{"OPCServer.Connected=true"}));
    EXPECT_EQ(reporter_.Texts("TGroup.Run"), (std::vector<std::string>{"GroupAdd=G1", "GroupAdd=true"}));
    EXPECT_EQ(reporter_.Texts("TItem.Run"),
              (std::vector<std::string>{"ItemAdd=Memory.Int4", "ItemAdd=true", "ItemAdd=No.Such.Item",
                                        "ItemAdd=false"}));
    EXPECT_NE(group.GroupHandle, 0u);
    EXPECT_NE(good.ItemHandle, 0u);
    EXPECT_EQ(bad.ItemHandle, 0u);
    // The cache refresh delivers the memory item's value.
    ASSERT_TRUE(Pump([&] { return good.Changed; }));
    e.Stop();
    EXPECT_FALSE(good.Changed) << "Stop clears Changed";
    EXPECT_EQ(server_->SessionHandle, 0u);
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");
    EXPECT_EQ(reporter_.Db(), "DB Disconnected");
}

TEST_F(EngineTest, DataChangeTriggerQueuesTheKeyedItemsRow) {
    HoldStatements();
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetTrigType(TTrigType::ttDataChange);
    group.SetKeyField("K");
    group.SetKeyFieldType(TFieldType::ftInteger);
    TItem& keyed = TItem::Create(group, "A", "Memory.Int4", "V", TFieldType::ftInteger, "1");
    TItem& plain = TItem::Create(group, "B", "Memory.Real8", "W", TFieldType::ftFloat);
    Engine& e = MakeEngine(loop_);
    e.Run();
    ASSERT_TRUE(Pump([&] { return plain.Quality != 0 && keyed.Quality != 0; }));
    ClearPending();
    const std::uint32_t gh = group.GroupHandle;

    e.DataChange(gh, plain.ItemHandle, qz::Variant(2.5).get(), kGood, 1);
    EXPECT_TRUE(Pending().empty()) << "an item without Key never triggers";
    EXPECT_TRUE(plain.Changed);

    e.DataChange(gh, keyed.ItemHandle, qz::Variant(7).get(), kGood, 2);
    EXPECT_EQ(Pending(), (std::vector<std::string>{"Insert Into T (K,V,W) values(1,7,2.5)"}));
    EXPECT_FALSE(keyed.Changed);
    EXPECT_FALSE(plain.Changed) << "building clears Changed of every item it takes";

    e.DataChange(gh, keyed.ItemHandle, qz::Variant(7).get(), kGood, 3);
    EXPECT_EQ(Pending().size(), 1u) << "same value and quality: nothing changes";
    EXPECT_EQ(keyed.TimeStamp, 2u) << "not even the time stamp";

    e.DataChange(gh, keyed.ItemHandle, qz::Variant("7").get(), kGood, 4);
    EXPECT_EQ(Pending().size(), 1u) << "equal after conversion to a common type";

    e.DataChange(gh, keyed.ItemHandle, qz::Variant(7).get(), 0x40, 5);
    EXPECT_EQ(Pending().size(), 2u) << "a quality change counts as a change";

    e.DataChange(gh + 12345, keyed.ItemHandle, qz::Variant(8).get(), kGood, 6);
    e.DataChange(gh, keyed.ItemHandle + 12345, qz::Variant(8).get(), kGood, 6);
    EXPECT_EQ(Pending().size(), 2u) << "unknown handles are dropped";
    EXPECT_EQ(keyed.TimeStamp, 5u);
    e.Stop();
}

TEST_F(EngineTest, FixedKeyedItemQueuesOnEveryNotification) {
    HoldStatements();
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetTrigType(TTrigType::ttDataChange);
    group.SetKeyField("K");
    group.SetKeyFieldType(TFieldType::ftString);
    TItem& fixed = TItem::Create(group, "A", "Memory.Int4", "V", TFieldType::ftInteger, "x");
    fixed.SetGainType(TGainType::gtFixed);
    fixed.SetDefaultValue("'N/A'");
    Engine& e = MakeEngine(loop_);
    e.Run();
    ASSERT_TRUE(Pump([&] { return fixed.Quality != 0; }));
    ClearPending();
    e.DataChange(group.GroupHandle, fixed.ItemHandle, qz::Variant(1).get(), kGood, 1);
    e.DataChange(group.GroupHandle, fixed.ItemHandle, qz::Variant(1).get(), kGood, 1);
    auto pending = Pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_NE(pending[0].find("values('x','N/A')"), std::string::npos) << pending[0];
    e.Stop();
}

TEST_F(EngineTest, RoutingFindsTheFirstGroupAndItemInChildOrder) {
    HoldStatements();
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetTrigType(TTrigType::ttDataChange);
    for (int i = 0; i < 200; ++i)
        TItem::Create(group, "I" + std::to_string(i), "Memory.Int4", "V" + std::to_string(i),
                      TFieldType::ftInteger);
    Engine& e = MakeEngine(loop_);
    e.Run();
    ASSERT_TRUE(e.Running());
    TItem& last = group.Item(199);
    e.DataChange(group.GroupHandle, last.ItemHandle, qz::Variant(123456).get(), kGood, 9);
    EXPECT_EQ(qz::Variant(last.Value).toUtf8(), "123456");
    EXPECT_EQ(last.TimeStamp, 9u);
    EXPECT_NE(group.Item(198).TimeStamp, 9u);
    e.Stop();
}

TEST_F(EngineTest, SnapshotTicksWithoutAccumulationAndEndWithStop) {
    HoldStatements();
    ManualClock clock(1000);
    PlainEventLoop manual(clock);
    auto manual_events = WatchToolkitEvents(manual);
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetRecordInterval(1000);
    group.SetKeyField("K");
    group.SetKeyFieldType(TFieldType::ftString);
    TItem::Create(group, "A", "Memory.Int4", "V1", TFieldType::ftInteger, "A");
    TItem::Create(group, "B", "Memory.Int4", "V2", TFieldType::ftInteger, "a");
    TItem::Create(group, "C", "Memory.Int4", "V3", TFieldType::ftInteger);
    Engine& e = MakeEngine(manual, clock);
    e.Run();
    ASSERT_NE(group.SnapshotWindow, nullptr);
    manual.ProcessEvents(0ms);
    EXPECT_TRUE(Pending().empty());
    clock.Advance(1000);
    manual.ProcessEvents(0ms);
    auto pending = Pending();
    ASSERT_EQ(pending.size(), 1u) << "keys A and a are one row (case is ignored)";
    EXPECT_EQ(pending[0].substr(0, 24), "Insert Into T (K,V1,V3) ") << pending[0];
    clock.Advance(10000); // ten periods while busy
    manual.ProcessEvents(0ms);
    manual.ProcessEvents(0ms);
    EXPECT_EQ(Pending().size(), 2u) << "one tick, not ten";
    e.Stop();
    EXPECT_EQ(group.SnapshotWindow, nullptr);
    clock.Advance(5000);
    manual.ProcessEvents(0ms);
    EXPECT_TRUE(Pending().empty()) << "Stop's last pass took the statements; no tick after Stop";
    e.Stop(); // a second Stop only sets the link texts
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");
}

TEST_F(EngineTest, ServerShutdownStopsTheEngine) {
    TGroup& group = AddGroup(*server_, "G1", "T");
    group.SetTrigType(TTrigType::ttDataChange);
    TItem& control = TItem::Create(group, "Shutdown", "Control.Shutdown", "", TFieldType::ftString);
    Engine& e = MakeEngine(loop_);
    bool handled = false;
    e.SetShutdownHandler([&] { handled = true; });
    e.Run();
    ASSERT_TRUE(e.Running());
    ASSERT_NE(control.ItemHandle, 0u);
    qz::Variant reason("maintenance");
    ASSERT_EQ(QZDAC_WriteItem(server_->SessionHandle, group.GroupHandle, control.ItemHandle, reason.get(),
                              QZDAC_FALSE),
              QZDAC_TRUE);
    ASSERT_TRUE(Pump([&] { return handled; }));
    EXPECT_FALSE(e.Running());
    EXPECT_EQ(server_->SessionHandle, 0u);
    // The record thread finishes while the loop goes on.
    EXPECT_TRUE(Pump([&] { return server_->RecordThread == nullptr; }));
}

// A project recording the simulated server into a real database, end to end.
void RecordIntoDatabase(const std::string& conn, const std::filesystem::path& dir) {
    const std::string readings = tagsink::db::testing::UniqueName("readings");
    const std::string events = tagsink::db::testing::UniqueName("events");
    tagsink::db::testing::Exec(
        conn, {"create table " + readings + " (DT varchar(30), S double precision, R integer)",
               "create table " + events + " (Tag varchar(20), DT varchar(30), V double precision)"});
    TServer server(std::make_unique<db::OdbcConnection>());
    server.SetOPCString(kDa2);
    server.SetDBString(conn);
    TGroup& snapshot = AddGroup(server, "Snapshot", readings);
    snapshot.SetTimeField("DT");
    snapshot.SetRecordInterval(100);
    TItem::Create(snapshot, "Sine", "Sine.Real8", "S", TFieldType::ftFloat);
    TItem::Create(snapshot, "Ramp", "Ramp.Int4", "R", TFieldType::ftInteger);
    TGroup& changes = AddGroup(server, "Changes", events);
    changes.SetTrigType(TTrigType::ttDataChange);
    changes.SetKeyField("Tag");
    changes.SetKeyFieldType(TFieldType::ftString);
    changes.SetTimeField("DT");
    changes.SetTimeFieldType(TFieldType::ftDateTime);
    changes.SetUpdateRate(100);
    TItem::Create(changes, "Counter", "Counter.Int4", "V", TFieldType::ftFloat, "counter");

    PlainEventLoop loop;
    auto toolkit_events = WatchToolkitEvents(loop);
    RecordingReporter reporter;
    EngineOptions options;
    options.recorder.buffer_file = dir / "sql.dat";
    Engine engine(server, loop, reporter, SystemClock::Instance(), options);
    engine.Run();
    ASSERT_TRUE(engine.Running());
    auto until = std::chrono::steady_clock::now() + 2500ms;
    while (std::chrono::steady_clock::now() < until)
        loop.ProcessEvents(10ms);
    engine.Stop();

    EXPECT_FALSE(std::filesystem::exists(options.recorder.buffer_file)) << "everything reached the database";
    EXPECT_EQ(engine.Stats().executed.load(), engine.QueuedCount());
    auto snapshot_rows = tagsink::db::testing::Query(conn, "select DT, S, R from " + readings);
    EXPECT_GE(snapshot_rows.size(), 15u) << "a snapshot every 100 ms for 2.5 s";
    auto change_rows = tagsink::db::testing::Query(conn, "select Tag, DT, V from " + events);
    ASSERT_GE(change_rows.size(), 2u);
    EXPECT_EQ(change_rows[0][0], "counter");
    EXPECT_EQ(change_rows[0][1].size(), 19u) << change_rows[0][1];
    EXPECT_TRUE(reporter.Texts("TServer.DBConnect").empty());
    tagsink::db::testing::Exec(conn, {"drop table " + readings, "drop table " + events});
}

TEST(EngineEndToEnd, RecordsTheSimulatedServerIntoSqlite) {
    TempDir dir;
    RecordIntoDatabase(tagsink::db::testing::SqliteConnectionString(dir / "e2e.db") + "JournalMode=WAL;",
                       dir.path());
}

TEST(EngineEndToEnd, RecordsTheSimulatedServerIntoPostgres) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    TempDir dir;
    RecordIntoDatabase(pg, dir.path());
}

} // namespace
} // namespace tagsink
