// Recording survives kill -9: a child process (crash_driver) records at a steady rate into a real
// database and is killed with SIGKILL at random moments while the database works, while it is away,
// while the journal is replayed and while the backlog is caught up. In the end every statement the
// record thread took arrived exactly once and in order; only statements still in PendingList may be
// missing, and only at the end of a run.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "scripted_server.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::TempDir;
using tagsink::testing::ScriptedServer;

constexpr long long kRunSpan = 1000000; // run r queues r * kRunSpan, r * kRunSpan + 1, ...

class Child {
public:
    Child(const std::string& conn, const std::filesystem::path& dir, const std::string& table,
          long long first, int per_second, bool single = false) {
        pid_ = fork();
        if (pid_ == 0) {
            std::string first_text = std::to_string(first), rate = std::to_string(per_second);
            execl(TAGSINK_CRASH_DRIVER, TAGSINK_CRASH_DRIVER, conn.c_str(), dir.c_str(), table.c_str(),
                  first_text.c_str(), rate.c_str(), single ? "single" : "batched",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0)
            Kill();
    }
    void Kill() {
        kill(pid_, SIGKILL);
        Wait();
    }
    int Terminate() {
        kill(pid_, SIGTERM);
        return Wait();
    }

private:
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t pid_ = -1;
};

// The numbers of run `run` in the journal of `dir`, in file order (what the next run replays).
std::vector<long long> JournaledOf(const std::filesystem::path& dir, long long run) {
    std::vector<long long> numbers;
    for (const JournalEntry& entry : PeekJournal(dir / "sql.dat").entries) {
        const std::size_t at = entry.statement.find("values(");
        if (at == std::string::npos)
            continue;
        const long long n = std::stoll(entry.statement.substr(at + 7));
        if (n / kRunSpan == run)
            numbers.push_back(n);
    }
    return numbers;
}

long long Taken(const std::filesystem::path& dir) {
    std::ifstream in(dir / "taken");
    long long taken = 0;
    in >> taken;
    return taken;
}

// What a database must offer the crash runs.
struct Target {
    std::string conn;
    std::function<void()> go_away; // the database stops taking statements
    std::function<void()> come_back;
};

// Runs `cycles` rounds of: normal work, an outage, replay and catch-up, each killed at a random moment;
// then a clean run. Checks the rows afterwards.
void CrashRuns(Target& target, const std::string& table, int cycles, unsigned seed) {
    TempDir dir;
    std::mt19937 random(seed);
    auto between = [&](int low, int high) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(low, high)(random));
    };
    std::vector<long long> taken_by_run;             // first number not taken, per run
    std::map<long long, long long> outage_journaled; // outage run: how many of its statements sql.dat held
    long long run = 0;
    auto kill_after = [&](std::chrono::milliseconds wait, int per_second) {
        Child child(target.conn, dir.path(), table, run * kRunSpan, per_second);
        std::this_thread::sleep_for(wait);
        child.Kill();
        taken_by_run.push_back(Taken(dir.path()));
        ++run;
    };
    for (int cycle = 0; cycle < cycles; ++cycle) {
        kill_after(between(300, 1500), 400); // normal
        target.go_away();
        kill_after(between(300, 1500), 800); // outage: everything waits in the journal
        // Nothing could reach the database during the outage run: every statement its record thread took
        // is in the journal, once, in order, and nothing else of it.
        const long long outage = run - 1;
        const std::vector<long long> journaled = JournaledOf(dir.path(), outage);
        for (std::size_t i = 0; i < journaled.size(); ++i)
            ASSERT_EQ(journaled[i], outage * kRunSpan + static_cast<long long>(i))
                << "outage run " << outage << ": the journal holds its statements out of order, twice or "
                << "with gaps";
        EXPECT_GE(outage * kRunSpan + static_cast<long long>(journaled.size()),
                  taken_by_run[static_cast<size_t>(outage)])
            << "outage run " << outage << ": statements the record thread took are not in the journal";
        outage_journaled[outage] = static_cast<long long>(journaled.size());
        target.come_back();
        kill_after(between(20, 400), 400);    // replay
        kill_after(between(300, 1200), 2000); // catch-up with a high rate on top
    }
    {
        Child child(target.conn, dir.path(), table, run * kRunSpan, 400);
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(child.Terminate(), 0) << "the clean run lost statements";
        taken_by_run.push_back(Taken(dir.path()));
        ++run;
    }

    auto rows = tagsink::db::testing::Query(target.conn, "select n from " + table + " order by id");
    std::vector<long long> next(static_cast<size_t>(run));
    for (long long r = 0; r < run; ++r)
        next[static_cast<size_t>(r)] = r * kRunSpan;
    long long last = -1;
    for (const auto& row : rows) {
        long long n = std::stoll(row[0]);
        ASSERT_GT(n, last) << "statement " << n << " arrived twice or out of order";
        long long r = n / kRunSpan;
        ASSERT_LT(r, run);
        ASSERT_EQ(n, next[static_cast<size_t>(r)])
            << "a statement of run " << r << " is missing before " << n;
        ++next[static_cast<size_t>(r)];
        last = n;
    }
    long long outage_arrived = 0;
    for (long long r = 0; r < run; ++r) {
        if (auto outage = outage_journaled.find(r); outage != outage_journaled.end()) {
            // What the journal held arrives, all of it and nothing more: the rest of the run was only in
            // memory when it was killed.
            const long long arrived = next[static_cast<size_t>(r)] - r * kRunSpan;
            EXPECT_EQ(arrived, outage->second)
                << "outage run " << r << ": " << outage->second << " statements were in the journal, "
                << arrived << " arrived";
            outage_arrived += arrived;
        }
        EXPECT_GE(next[static_cast<size_t>(r)], taken_by_run[static_cast<size_t>(r)])
            << "run " << r << ": statements the record thread took are missing";
        std::printf("run %lld: taken %lld, arrived %lld\n", r,
                    taken_by_run[static_cast<size_t>(r)] - r * kRunSpan,
                    next[static_cast<size_t>(r)] - r * kRunSpan);
    }
    // An outage run that is killed early may have taken few statements; together they must have taken
    // some, or the outage checks above tested nothing.
    EXPECT_GE(outage_arrived, 1) << "the statements of the outages came back from the journal";
    EXPECT_FALSE(std::filesystem::exists(dir / "sql.rejected"));
    EXPECT_FALSE(std::filesystem::exists(dir / "sql.dat")) << "the clean run emptied the journal";
    std::printf("%lld runs, %zu rows\n", run, rows.size());
}

TEST(CrashSafety, KilledAtRandomMomentsSqliteGetsEveryTakenStatementOnce) {
    TempDir db_dir;
    Target target;
    // A short busy time-out, so that a locked database refuses statements instead of holding the thread.
    target.conn =
        "Driver={SQLite3};Database=" + (db_dir / "crash.db").string() + ";Timeout=100;JournalMode=WAL;";
    tagsink::db::testing::Exec(target.conn,
                               {"create table crash (id integer primary key autoincrement, n integer)"});
    // The outage: another connection holds the database's write lock, so every insert is refused busy.
    db::OdbcConnection holder;
    target.go_away = [&] {
        holder.SetConnectionString(target.conn);
        holder.Open(std::chrono::seconds(5));
        holder.Execute("BEGIN EXCLUSIVE");
    };
    target.come_back = [&] {
        holder.Execute("COMMIT");
        holder.Close();
    };
    CrashRuns(target, "crash", 2, std::random_device{}());
}

TEST(CrashSafety, KilledAtRandomMomentsPostgresGetsEveryTakenStatementOnce) {
    TempDir dir;
    TAGSINK_START_SCRIPTED_SERVER(pg, ScriptedServer::Product::PostgreSQL, dir.path());
    Target target;
    target.conn = pg.ConnectionString();
    tagsink::db::testing::Exec(target.conn,
                               {"create table crash (id bigserial primary key, n bigint not null)"});
    target.go_away = [&] { pg.Stop(); };
    target.come_back = [&] { ASSERT_TRUE(pg.Start()); };
    CrashRuns(target, "crash", 2, std::random_device{}());
}

TEST(CrashSafety, KilledAtRandomMomentsMariadbGetsEveryTakenStatementOnce) {
    // MariaDB takes a batch as statement lists (the driver's multi-statement option): a kill in the middle
    // of a list's results loses nothing and repeats nothing either.
    TempDir dir;
    TAGSINK_START_SCRIPTED_SERVER(server, ScriptedServer::Product::MariaDB, dir.path());
    Target target;
    target.conn = server.ConnectionString();
    tagsink::db::testing::Exec(
        target.conn, {"create table crash (id bigint auto_increment primary key, n bigint not null)"});
    target.go_away = [&] { server.Stop(); };
    target.come_back = [&] { ASSERT_TRUE(server.Start()); };
    CrashRuns(target, "crash", 2, std::random_device{}());
}

} // namespace
} // namespace tagsink
