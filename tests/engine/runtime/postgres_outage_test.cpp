// The record thread against a PostgreSQL server of its own that is stopped in the middle of a run and
// started again: every statement reaches the table exactly once, in order.
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

TEST(PostgresOutage, EveryStatementArrivesExactlyOnceInOrder) {
    TempDir dir;
    TAGSINK_START_SCRIPTED_SERVER(pg, ScriptedServer::Product::PostgreSQL, dir.path());
    const std::string conn = pg.ConnectionString();
    tagsink::db::testing::Exec(conn, {"create table outage (id serial primary key, n integer not null)"});

    TServer server(std::make_unique<db::OdbcConnection>(db::OdbcOptions{std::chrono::seconds(3)}));
    server.SetDBString(conn);
    tagsink::testing::RecordingReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.buffer_file = dir / "sql.dat";
    options.longest_reconnect_delay = 200ms;
    int queued = 0;
    auto queue = [&](int count) {
        for (int i = 0; i < count; ++i, ++queued) {
            QueueStatement(server, "Insert Into outage (n) values(" + std::to_string(queued) + ")");
            if (i % 20 == 0)
                std::this_thread::sleep_for(1ms);
        }
    };
    {
        TRecordThread thread(server, SystemClock::Instance(), reporter, stats, options);
        queue(100);
        ASSERT_TRUE(WaitFor([&] { return stats.executed.load() == 100; }, 20s));
        pg.Stop();
        queue(1200); // more than 1000 wait while the server is away: they are spilled to sql.dat
        ASSERT_TRUE(WaitFor([&] { return stats.spilled.load() > 0; }, 20s)) << "nothing was spilled";
        ASSERT_TRUE(pg.Start());
        queue(100);
        ASSERT_TRUE(WaitFor([&] { return stats.executed.load() == 1400; }, 60s))
            << "executed " << stats.executed.load() << " of 1400";
        thread.RequestStop();
    }
    auto rows = tagsink::db::testing::Query(conn, "select n from outage order by id");
    ASSERT_EQ(rows.size(), 1400u);
    for (int i = 0; i < 1400; ++i)
        ASSERT_EQ(rows[i][0], std::to_string(i)) << "row " << i;
    EXPECT_FALSE(std::filesystem::exists(options.buffer_file));
    EXPECT_FALSE(reporter.Texts("TServer.DBConnect").empty()) << "the outage was logged";
}

} // namespace
} // namespace tagsink
