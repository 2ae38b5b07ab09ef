// Statements per second executed by the record thread, beside a plain loop that executes the same
// statements through the same kind of ODBC connection; prints both rates and their ratio.
//
//   bench_record_throughput [COUNT]
// SQLite: a WAL-mode file in a temporary directory. PostgreSQL: TAGSINK_PG_CONN, when set.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace tagsink;
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

double PlainLoop(const std::string& conn, const std::vector<std::string>& statements) {
    db::OdbcConnection connection;
    connection.SetConnectionString(conn);
    connection.Open(std::chrono::seconds(10));
    auto start = Clock_::now();
    for (const std::string& statement : statements)
        connection.Execute(statement);
    return std::chrono::duration<double>(Clock_::now() - start).count();
}

double RecordThread(const std::string& conn, const std::vector<std::string>& statements,
                    const std::filesystem::path& dir) {
    TServer server(std::make_unique<db::OdbcConnection>());
    server.SetDBString(conn);
    server.DBConnection().SetConnectionString(conn);
    server.DBConnection().Open(std::chrono::seconds(10)); // both sides start with an open connection
    NullReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.bufferFile = dir / "sql.dat";
    for (const std::string& statement : statements)
        QueueStatement(server, statement);
    auto start = Clock_::now();
    TRecordThread thread(server, SystemClock::Instance(), reporter, stats, options);
    while (stats.executed.load() < statements.size())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    double seconds = std::chrono::duration<double>(Clock_::now() - start).count();
    thread.RequestStop();
    thread.Join();
    return seconds;
}

void Compare(const char* name, const std::string& conn, int count, const std::filesystem::path& dir) {
    db::OdbcConnection setup;
    setup.SetConnectionString(conn);
    setup.Open(std::chrono::seconds(10));
    const std::string plainTable = "bench_plain_" + std::to_string(getpid());
    const std::string threadTable = "bench_thread_" + std::to_string(getpid());
    for (const std::string& table : {plainTable, threadTable})
        setup.Execute("create table " + table + " (DT varchar(20), V1 double precision, V2 integer)");
    PlainLoop(conn, Statements(plainTable, count / 10)); // warm-up: driver, server and file caches
    double plain = PlainLoop(conn, Statements(plainTable, count));
    double threaded = RecordThread(conn, Statements(threadTable, count), dir);
    double plainAgain = PlainLoop(conn, Statements(plainTable, count));
    plain = std::min(plain, plainAgain); // the better of two plain runs, against the record thread's one
    for (const std::string& table : {plainTable, threadTable})
        setup.Execute("drop table " + table);
    std::printf("%-10s %6d statements: plain ODBC loop %8.0f/s, record thread %8.0f/s, thread/plain %.2f\n",
                name, count, count / plain, count / threaded, plain / threaded);
}

} // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsink-bench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    std::filesystem::path dir = pattern;
    std::printf("Record thread against a plain loop over the same ODBC connection (thread/plain 1.00: no "
                "overhead)\n");
    try {
        Compare("SQLite", "Driver={SQLite3};Database=" + (dir / "bench.db").string() + ";JournalMode=WAL;",
                count, dir);
        if (const char* pg = std::getenv("TAGSINK_PG_CONN"); pg != nullptr && *pg != '\0')
            Compare("PostgreSQL", pg, count, dir);
        else
            std::printf("PostgreSQL: TAGSINK_PG_CONN is not set, skipped\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_record_throughput: %s\n", error.what());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
