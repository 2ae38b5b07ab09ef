// Statements per second executed by the record thread (journal included), beside three plain loops over
// the same kind of ODBC connection: one statement per command in autocommit, batched (transactions of
// 500, one statement per call), and, where the connection takes statement lists (PostgreSQL, MariaDB),
// multi-statement (transactions of 500 sent as one list per transaction, one round trip). Prints the
// rates and the ratios record thread / plain batched, record thread / multi-statement and batched /
// single-statement. The plain loops and the record thread take turns for ROUNDS rounds and each is rated
// by its best, so a busy machine does not favour either side; the median of the rounds' own ratios (each
// round's two sides ran side by side in time) is printed beside the ratio of the bests. The record
// thread's time includes writing its journal. The CPU time the process spends per statement on each side
// (median of the rounds) comes last: steadier than the wall clock where other work shares the machine.
//
//   bench_record_throughput [COUNT [ROUNDS]]    (5,000 statements, 5 rounds)
// SQLite: a WAL-mode file in a temporary directory. PostgreSQL: TAGSINK_PG_CONN, when set (the test
// server runs with fsync=off, which hides the cost of a commit), and TAGSINK_PG_CONN_FSYNC, a server at
// its default durability (fsync on), when set.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"
#include "process_usage.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace tagsink;
using tagsink::bench::CpuSeconds;
using Clock_ = std::chrono::steady_clock;

namespace {

std::vector<std::string> Statements(const std::string& table, int count) {
    std::vector<std::string> statements;
    statements.reserve(count);
    for (int i = 0; i < count; ++i)
        statements.push_back("Insert Into " + table + " (DT,V1,V2) values('2026-12-09 06:00:00'," +
                             std::to_string(i * 0.5) + "," + std::to_string(i) + ")");
    return statements;
}

constexpr std::size_t kBatch = 500;

struct Timing {
    double seconds = 0; // wall clock
    double cpu = 0;     // CPU seconds of the process meanwhile
};

// Transactions of kBatch statements, each transaction's statements joined into one call.
double ListLoop(const std::string& conn, const std::vector<std::string>& statements) {
    db::OdbcConnection connection;
    connection.SetConnectionString(conn);
    connection.Open(std::chrono::seconds(10));
    auto start = Clock_::now();
    std::string list;
    for (std::size_t i = 0; i < statements.size(); i += kBatch) {
        connection.Begin();
        list.clear();
        for (std::size_t j = i; j < std::min(statements.size(), i + kBatch); ++j) {
            if (!list.empty())
                list += ";\n";
            list += statements[j];
        }
        connection.Execute(list);
        connection.Commit();
    }
    return std::chrono::duration<double>(Clock_::now() - start).count();
}

bool TakesLists(const std::string& conn) {
    db::OdbcConnection connection;
    connection.SetConnectionString(conn);
    connection.Open(std::chrono::seconds(10));
    return connection.AcceptsStatementLists();
}

Timing PlainLoop(const std::string& conn, const std::vector<std::string>& statements, bool batched) {
    db::OdbcConnection connection;
    connection.SetConnectionString(conn);
    connection.Open(std::chrono::seconds(10));
    const double cpu = CpuSeconds();
    auto start = Clock_::now();
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (batched && i % kBatch == 0)
            connection.Begin();
        connection.Execute(statements[i]);
        if (batched && (i % kBatch == kBatch - 1 || i + 1 == statements.size()))
            connection.Commit();
    }
    return {std::chrono::duration<double>(Clock_::now() - start).count(), CpuSeconds() - cpu};
}

struct ThreadRun {
    double seconds = 0;      // from the thread's start until the last statement was committed
    double cpu = 0;          // CPU seconds of the process meanwhile
    double first_commit = 0; // until the first batch was committed (opening, journal write, first batch)
};

ThreadRun RecordThread(const std::string& conn, const std::vector<std::string>& statements,
                       const std::filesystem::path& dir, bool lists) {
    TServer server(std::make_unique<db::OdbcConnection>());
    server.SetDBString(conn);
    server.DBConnection().SetConnectionString(conn);
    server.DBConnection().Open(std::chrono::seconds(10)); // both sides start with an open connection
    NullReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.buffer_file = dir / "sql.dat";
    options.batch_size = kBatch;
    options.statement_lists = lists;
    for (const std::string& statement : statements)
        QueueStatement(server, statement);
    ThreadRun run;
    const double cpu = CpuSeconds();
    auto start = Clock_::now();
    TRecordThread thread(server, SystemClock::Instance(), reporter, stats, options);
    while (stats.executed.load() < statements.size()) {
        if (run.first_commit == 0 && stats.executed.load() > 0)
            run.first_commit = std::chrono::duration<double>(Clock_::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // a busier poll would compete for the CPU
    }
    run.seconds = std::chrono::duration<double>(Clock_::now() - start).count();
    run.cpu = CpuSeconds() - cpu;
    thread.RequestStop();
    thread.Join();
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Compare(const char* name, const std::string& conn, int count, int rounds,
             const std::filesystem::path& dir) {
    db::OdbcConnection setup;
    setup.SetConnectionString(conn);
    setup.Open(std::chrono::seconds(10));
    const std::string plain_table = "bench_plain_" + std::to_string(getpid());
    const std::string thread_table = "bench_thread_" + std::to_string(getpid());
    for (const std::string& table : {plain_table, thread_table})
        setup.Execute("create table " + table + " (DT varchar(20), V1 double precision, V2 integer)");
    PlainLoop(conn, Statements(plain_table, count / 10), false); // warm-up: driver, server and file caches
    // Single statements are slow where every commit is flushed: a tenth of the count is enough for a rate.
    const int single_count = std::max(100, count / 10);
    double single = PlainLoop(conn, Statements(plain_table, single_count), false).seconds;
    // The machine is shared and its speed wanders: the batched loop and the record thread take turns, and
    // each is rated by its best round.
    const bool lists = TakesLists(conn);
    double batched = 0, listed = 0;
    ThreadRun threaded, threaded_one_call;
    std::vector<double> round_ratios;          // record thread / plain batched, per round
    std::vector<double> plain_cpu, thread_cpu; // per round
    for (int round = 0; round < rounds; ++round) {
        const Timing plain_timing = PlainLoop(conn, Statements(plain_table, count), true);
        const double plain = plain_timing.seconds;
        plain_cpu.push_back(plain_timing.cpu);
        double plain_lists = lists ? ListLoop(conn, Statements(plain_table, count)) : 0;
        ThreadRun run = RecordThread(conn, Statements(thread_table, count), dir, true);
        ThreadRun one_call = lists ? RecordThread(conn, Statements(thread_table, count), dir, false) : run;
        round_ratios.push_back(plain / run.seconds);
        thread_cpu.push_back(run.cpu);
        if (round == 0 || plain < batched)
            batched = plain;
        if (round == 0 || plain_lists < listed)
            listed = plain_lists;
        if (round == 0 || run.seconds < threaded.seconds)
            threaded = run;
        if (round == 0 || one_call.seconds < threaded_one_call.seconds)
            threaded_one_call = one_call;
    }
    for (const std::string& table : {plain_table, thread_table})
        setup.Execute("drop table " + table);
    const double single_rate = single_count / single, batched_rate = count / batched,
                 thread_rate = count / threaded.seconds;
    std::printf("%-24s single-statement loop %8.0f/s (%d), plain batched loop %8.0f/s, record thread %8.0f/s "
                "(%d, first batch committed after %.0f ms)\n",
                name, single_rate, single_count, batched_rate, thread_rate, count,
                threaded.first_commit * 1000);
    std::printf(
        "%-24s record thread / plain batched %.2f (goal >= %s; median of the %d rounds' ratios %.2f), "
        "batched / single-statement %.1f%s\n",
        name, thread_rate / batched_rate, lists ? "1.8 with lists" : "0.9", rounds, Median(round_ratios),
        batched_rate / single_rate,
        std::string(name).find("fsync on") != std::string::npos ? " (goal >= 10)" : "");
    // CPU time is steadier than the wall clock on a shared machine: what each side spends per statement.
    const double plain_us = Median(plain_cpu) / count * 1e6, thread_us = Median(thread_cpu) / count * 1e6;
    std::printf("%-24s CPU per statement (median of the rounds): plain batched loop %.2f us, record thread "
                "%.2f us (journal included; plain / thread %.2f)\n",
                name, plain_us, thread_us, plain_us / thread_us);
    if (lists) {
        const double listed_rate = count / listed, one_call_rate = count / threaded_one_call.seconds;
        std::printf(
            "%-24s multi-statement plain loop %8.0f/s (a list of %zu per call), record thread with one "
            "statement per call %8.0f/s\n",
            name, listed_rate, kBatch, one_call_rate);
        std::printf(
            "%-24s record thread / multi-statement plain loop %.2f (goal >= 0.9), record thread lists / "
            "one call each %.2f\n",
            name, thread_rate / listed_rate, thread_rate / one_call_rate);
    } else {
        std::printf("%-24s multi-statement plain loop: the driver takes one statement per call\n", name);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsink-bench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    std::filesystem::path dir = pattern;
    std::printf("Record thread (journal, batched transactions, progress table) against plain loops over the "
                "same ODBC connection\n");
    try {
        Compare("SQLite", "Driver={SQLite3};Database=" + (dir / "bench.db").string() + ";JournalMode=WAL;",
                count, rounds, dir);
        if (const char* pg = std::getenv("TAGSINK_PG_CONN"); pg != nullptr && *pg != '\0')
            Compare("PostgreSQL (fsync=off)", pg, count, rounds, dir);
        else
            std::printf("PostgreSQL: TAGSINK_PG_CONN is not set, skipped\n");
        if (const char* pg = std::getenv("TAGSINK_PG_CONN_FSYNC"); pg != nullptr && *pg != '\0')
            Compare("PostgreSQL (fsync on)", pg, count, rounds, dir);
        else
            std::printf("PostgreSQL at default durability: TAGSINK_PG_CONN_FSYNC is not set, skipped\n");
        if (const char* maria = std::getenv("TAGSINK_MARIADB_CONN"); maria != nullptr && *maria != '\0')
            Compare("MariaDB", maria, count, rounds, dir);
        else
            std::printf("MariaDB: TAGSINK_MARIADB_CONN is not set, skipped\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_record_throughput: %s\n", error.what());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
