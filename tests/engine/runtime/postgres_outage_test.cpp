// The record thread against a PostgreSQL server of its own that is stopped in the middle of a run and
// started again: every statement reaches the table exactly once, in order.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::testing::TempDir;

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A throw-away PostgreSQL server started with scripts/pg.sh.
class OwnPostgres {
public:
    OwnPostgres(std::string script, const std::filesystem::path& dir)
        : script_(std::move(script)), dir_(dir / "pg"), port_(FreePort()) {}
    ~OwnPostgres() { Stop(); }
    bool Start() { return Run("start " + dir_.string() + " " + std::to_string(port_)); }
    void Stop() { Run("stop " + dir_.string()); }
    std::string ConnectionString() const {
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
               ";Database=postgres;Uid=postgres;Pwd=;";
    }

private:
    bool Run(const std::string& arguments) {
        std::string command = "bash '" + script_ + "' " + arguments + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }
    std::string script_;
    std::filesystem::path dir_;
    int port_;
};

template <class Predicate> bool WaitFor(Predicate predicate, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(PostgresOutage, EveryStatementArrivesExactlyOnceInOrder) {
    const char* script = std::getenv("TAGSINK_PG_SCRIPT");
    if (script == nullptr || tagsink::testing::PostgresConnectionString() == std::nullopt) {
        if (tagsink::testing::RunningInCi())
            FAIL() << "TAGSINK_PG_SCRIPT and TAGSINK_PG_CONN are needed in CI";
        GTEST_SKIP() << "no PostgreSQL set-up (TAGSINK_PG_CONN, TAGSINK_PG_SCRIPT)";
    }
    TempDir dir;
    if (getuid() == 0)
        std::filesystem::permissions(dir.path(), std::filesystem::perms::all); // the server runs as postgres
    OwnPostgres pg(script, dir.path());
    ASSERT_TRUE(pg.Start()) << "scripts/pg.sh could not start a server";
    const std::string conn = pg.ConnectionString();
    tagsink::testing::Exec(conn, {"create table outage (id serial primary key, n integer not null)"});

    TServer server(std::make_unique<db::OdbcConnection>(db::OdbcOptions{std::chrono::seconds(3)}));
    server.SetDBString(conn);
    tagsink::testing::RecordingReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.bufferFile = dir / "sql.dat";
    options.longestReconnectDelay = 200ms;
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
    auto rows = tagsink::testing::Query(conn, "select n from outage order by id");
    ASSERT_EQ(rows.size(), 1400u);
    for (int i = 0; i < 1400; ++i)
        ASSERT_EQ(rows[i][0], std::to_string(i)) << "row " << i;
    EXPECT_FALSE(std::filesystem::exists(options.bufferFile));
    EXPECT_FALSE(reporter.Texts("TServer.DBConnect").empty()) << "the outage was logged";
}

} // namespace
} // namespace tagsink
