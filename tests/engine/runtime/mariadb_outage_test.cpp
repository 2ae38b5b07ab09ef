// The record thread against a MariaDB server of its own that is stopped in the middle of a run and started
// again: every statement reaches the table exactly once, in order, and the backslashes in its values arrive
// as written also after the reconnect (each new session is set up again).
#include "engine/db/odbc_connection.hpp"
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

// The last log lines, for a failure message.
std::string LastLines(const tagsink::testing::RecordingReporter& reporter) {
    auto lines = reporter.Lines();
    std::string text;
    for (size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i)
        text += lines[i].operation + ": " + lines[i].text.substr(0, 300) + "\n";
    return text;
}

// The text value of statement `n`: a Windows path ending in a backslash, and a quote after a backslash.
std::string PathOf(int n) {
    return "C:\\dir\\" + std::to_string(n) + "\\'";
}

TEST(MariadbOutage, EveryStatementArrivesExactlyOnceInOrderWithItsBackslashes) {
    TempDir dir;
    TAGSINK_START_SCRIPTED_SERVER(server_process, ScriptedServer::Product::MariaDB, dir.path());
    const std::string conn = server_process.ConnectionString();
    tagsink::db::testing::Exec(
        conn,
        {"create table outage (id integer auto_increment primary key, n integer not null, s varchar(40))"});

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
            // the quote inside the value doubled, as the statement builder writes it
            QueueStatement(server, "Insert Into outage (n,s) values(" + std::to_string(queued) +
                                       ",'C:\\dir\\" + std::to_string(queued) + "\\''')");
            if (i % 20 == 0)
                std::this_thread::sleep_for(1ms);
        }
    };
    {
        TRecordThread thread(server, SystemClock::Instance(), reporter, stats, options);
        queue(100);
        ASSERT_TRUE(WaitFor([&] { return stats.executed.load() == 100; }, 20s)) << LastLines(reporter);
        server_process.Stop();
        queue(1200); // more than 1000 wait while the server is away: they are spilled to sql.dat
        ASSERT_TRUE(WaitFor([&] { return stats.spilled.load() > 0; }, 20s)) << "nothing was spilled\n"
                                                                            << LastLines(reporter);
        ASSERT_TRUE(server_process.Start());
        queue(100);
        ASSERT_TRUE(WaitFor([&] { return stats.executed.load() == 1400; }, 60s))
            << "executed " << stats.executed.load() << " of 1400\n"
            << LastLines(reporter);
        thread.RequestStop();
    }
    auto rows = tagsink::db::testing::Query(conn, "select n, s from outage order by id");
    ASSERT_EQ(rows.size(), 1400u);
    for (int i = 0; i < 1400; ++i) {
        ASSERT_EQ(rows[i][0], std::to_string(i)) << "row " << i;
        ASSERT_EQ(rows[i][1], PathOf(i)) << "row " << i;
    }
    EXPECT_FALSE(std::filesystem::exists(options.buffer_file));
    EXPECT_EQ(stats.rejected.load(), 0u);
    EXPECT_FALSE(reporter.Texts("TServer.DBConnect").empty()) << "the outage was logged";
}

} // namespace
} // namespace tagsink
