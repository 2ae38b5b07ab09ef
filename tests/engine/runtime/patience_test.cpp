// The record thread against real databases that refuse for a while: a read-only PostgreSQL server and a
// table created late lose nothing to the reject file; with 20,000 statements waiting on a slow database,
// the stop is bounded and the rest is replayed exactly once by the next thread.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "scripted_server.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::TempDir;
using tagsink::testing::ScriptedServer;
using tagsink::testing::WaitFor;

void ExpectNumbers(const std::string& conn, const std::string& table, int count) {
    auto rows = tagsink::db::testing::Query(conn, "select n from " + table + " order by id");
    ASSERT_EQ(rows.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(rows[static_cast<size_t>(i)][0], std::to_string(i)) << "row " << i;
}

class PatienceTest : public ::testing::Test {
protected:
    void Queue(const std::string& text, int from, int count) {
        std::lock_guard lock(RecordLock());
        for (int i = from; i < from + count; ++i)
            server_.PendingList.push_back(text + std::to_string(i) + tail_);
    }

    TempDir dir_;
    TServer server_{std::make_unique<db::OdbcConnection>(db::OdbcOptions{std::chrono::seconds(3)})};
    tagsink::testing::RecordingReporter reporter_;
    RecorderStats stats_;
    RecorderOptions options_{[this] {
        RecorderOptions o;
        o.buffer_file = dir_ / "sql.dat";
        o.longest_reconnect_delay = 200ms;
        // Refusals are tried again sooner than in service, so that a few of them pass quickly.
        o.first_retry_delay = 100ms;
        o.longest_retry_delay = 400ms;
        return o;
    }()};
    std::string tail_ = ")";
};

TEST_F(PatienceTest, TableCreatedLateLosesNothing) {
    const std::string conn =
        tagsink::db::testing::SqliteConnectionString(dir_ / "late.db") + "JournalMode=WAL;";
    server_.SetDBString(conn);
    {
        TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
        Queue("Insert Into late (n) values(", 0, 40);
        // Refused again and again (every reconnect delay): none of it is rejected meanwhile.
        ASSERT_TRUE(
            WaitFor([&] { return stats_.journaled.load() == 40u && stats_.failures.load() >= 3u; }, 20s))
            << stats_.failures.load();
        EXPECT_EQ(stats_.executed.load(), 0u);
        EXPECT_EQ(stats_.journaled.load(), 40u) << "the refused statements wait in the journal";
        tagsink::db::testing::Exec(conn,
                                   {"create table late (id integer primary key autoincrement, n integer)"});
        Queue("Insert Into late (n) values(", 40, 41);
        ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() == 81; }, 20s)) << stats_.executed.load();
    }
    EXPECT_EQ(stats_.rejected.load(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "sql.rejected"));
    EXPECT_NE(stats_.LastFailure().text.find("no such table"), std::string::npos)
        << stats_.LastFailure().text;
    ExpectNumbers(conn, "late", 81);
}

TEST_F(PatienceTest, ReadOnlyPostgresLosesNothing) {
    TAGSINK_START_SCRIPTED_SERVER(pg, ScriptedServer::Product::PostgreSQL, dir_.path());
    const std::string conn = pg.ConnectionString();
    tagsink::db::testing::Exec(conn, {"create table ro (id serial primary key, n integer not null)"});
    server_.SetDBString(conn);
    {
        TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
        Queue("Insert Into ro (n) values(", 0, 10);
        ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() == 10; }, 20s));
        // Read-only for every transaction from now on, the open connection's included.
        tagsink::db::testing::Exec(
            conn, {"alter system set default_transaction_read_only = on", "select pg_reload_conf()"});
        std::this_thread::sleep_for(200ms);
        const std::uint64_t failures_before = stats_.failures.load();
        Queue("Insert Into ro (n) values(", 10, 71);
        // Refused by the server several times over: none of it is rejected meanwhile.
        ASSERT_TRUE(WaitFor([&] { return stats_.failures.load() >= failures_before + 3u; }, 20s))
            << stats_.failures.load();
        EXPECT_LT(stats_.executed.load(), 81u);
        tagsink::db::testing::Exec(conn, {"set default_transaction_read_only = off",
                                          "alter system reset default_transaction_read_only",
                                          "select pg_reload_conf()"});
        ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() == 81; }, 30s)) << stats_.executed.load();
    }
    EXPECT_EQ(stats_.rejected.load(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "sql.rejected"));
    ExpectNumbers(conn, "ro", 81);
}

TEST_F(PatienceTest, StopWith20000WaitingIsBoundedAndTheRestIsReplayedOnce) {
    TAGSINK_REQUIRE_POSTGRES(conn);
    const std::string table = tagsink::db::testing::UniqueName("stop");
    const std::string control = table + "_delay";
    tagsink::db::testing::Exec(conn,
                               {"create table " + table + " (id serial primary key, n integer not null)",
                                "create table " + control + " (d float8 not null)",
                                "insert into " + control + " values (0.002)"});
    server_.SetDBString(conn);
    options_.command_timeout = 2s;
    // Every statement takes about 2 ms while the delay is set: 20,000 of them would take 40 s.
    tail_ = " from pg_sleep((select d from " + control + "))";
    const std::string head = "Insert Into " + table + " (n) select ";
    std::chrono::milliseconds stop_took{};
    {
        TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
        Queue(head, 0, 20000);
        ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() > 0; }, 30s));
        auto start = std::chrono::steady_clock::now();
        thread.RequestStop();
        thread.Join();
        stop_took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
    EXPECT_LE(stop_took, 3s + options_.command_timeout + 500ms)
        << "the stop took " << stop_took.count() << " ms";
    const std::uint64_t done = stats_.executed.load();
    EXPECT_LT(done, 20000u);
    EXPECT_EQ(PeekJournal(options_.buffer_file).entries.size(), 20000u - done)
        << "the rest stays in the journal";
    EXPECT_EQ(stats_.journaled.load(), 20000u - done) << "and is counted as in sql.dat";

    tagsink::db::testing::Exec(conn, {"update " + control + " set d = 0"});
    RecorderStats next;
    {
        TRecordThread thread(server_, SystemClock::Instance(), reporter_, next, options_);
        ASSERT_TRUE(WaitFor([&] { return next.executed.load() >= 20000u - done; }, 60s))
            << next.executed.load();
    }
    ExpectNumbers(conn, table, 20000);
    EXPECT_FALSE(std::filesystem::exists(options_.buffer_file));
    tagsink::db::testing::Exec(conn, {"drop table " + table, "drop table " + control});
}

} // namespace
} // namespace tagsink
