// End to end at scale: N keyed items of the simulated OPC DA 2.0 server, each changing every STEP_MS,
// recorded by tagsink-run's engine (intake, statement builder, record thread, journal, progress table) into a
// PostgreSQL server at its default durability (fsync on) that the benchmark starts on its own port.
//
//   bench_record_scale N SECONDS STEP_MS
// Every second it prints the statements queued by the intake and stored by the record thread in that
// second, the backlog (queued but not yet stored) and its growth, the process's CPU share (of one core)
// and its resident memory. The closing lines give the averages over the run after the first 20 % (the
// subscription and the cache refresh come first), the memory per item, and whether the intake kept up
// (at least 0.9 of N * 1000 / STEP_MS queued per second) and the database too (stored at least 0.97 of
// queued, the backlog flat).
//
// TAGSINK_BENCH_PG_PORT chooses the server's port (default 56070); TAGSINK_PG_SCRIPT the script that starts
// it (scripts/pg.sh of the source tree by default). Run it with the ODBC set-up of scripts/test-env.sh.
// TAGSINK_BENCH_ONE_CALL=1 sends one statement per driver call (as tagsink-run --one-statement-per-call).
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "engine/db/odbc_connection.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "process_usage.hpp"
#include "tagclient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tagsink;
using tagsink::bench::CpuSeconds;
using tagsink::bench::RssMegabytes;
using Clock_ = std::chrono::steady_clock;

namespace {

int Shell(const std::string& command) {
    return std::system(command.c_str());
}

struct PgServer {
    std::string script, dir;
    int port;
    bool started = false;
    bool Start() {
        started = Shell("TAGSINK_PG_FSYNC=on bash '" + script + "' start '" + dir + "' " +
                        std::to_string(port) + " >/dev/null 2>&1") == 0;
        return started;
    }
    ~PgServer() {
        if (started)
            Shell("bash '" + script + "' stop '" + dir + "' >/dev/null 2>&1");
    }
    std::string Conn() const {
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port) +
               ";Database=postgres;Uid=postgres;Pwd=;";
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_record_scale N SECONDS STEP_MS\n");
        return 2;
    }
    const int items = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);
    const int step_ms = std::atoi(argv[3]);
    if (items <= 0 || seconds <= 0 || step_ms < 10) {
        std::fprintf(stderr, "bench_record_scale: N and SECONDS above 0, STEP_MS at least 10\n");
        return 2;
    }
    const char* port_text = std::getenv("TAGSINK_BENCH_PG_PORT");
    const char* script_text = std::getenv("TAGSINK_PG_SCRIPT");
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsink-scale.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    const std::filesystem::path dir = pattern;
    if (getuid() == 0)
        std::filesystem::permissions(dir, std::filesystem::perms::all);
    int status = 0;
    {
        PgServer pg{script_text != nullptr ? script_text : TAGSINK_SOURCE_DIR "/scripts/pg.sh",
                    (dir / "pg").string(), port_text != nullptr ? std::atoi(port_text) : 56070};
        if (!pg.Start()) {
            std::fprintf(stderr,
                         "bench_record_scale: the PostgreSQL server could not be started on port %d\n",
                         pg.port);
            std::filesystem::remove_all(dir);
            return 1;
        }
        {
            db::OdbcConnection setup;
            setup.SetConnectionString(pg.Conn());
            setup.Open(std::chrono::seconds(10));
            setup.Execute("create table rec (K integer, DT timestamp, V integer)");
        }
        if (QZDAC_Init() != QZDAC_TRUE) {
            std::fprintf(stderr, "bench_record_scale: QZDAC_Init failed\n");
            return 1;
        }
        try {
            TServer server(std::make_unique<db::OdbcConnection>());
            server.SetOPCString("/Tagsink.SimServer.DA2/");
            server.SetDBString(pg.Conn());
            TGroup& group = TGroup::Create(server);
            group.SetName("G1");
            group.SetTableName("rec");
            group.SetTrigType(TTrigType::ttDataChange);
            group.SetRecordType(TRecordType::rtInsert);
            group.SetKeyField("K");
            group.SetKeyFieldType(TFieldType::ftInteger);
            group.SetTimeField("DT");
            group.SetTimeFieldType(TFieldType::ftDateTime);
            group.SetUpdateRate(step_ms);
            const std::string item_name = "Counter.Int4@" + std::to_string(step_ms);
            for (int i = 0; i < items; ++i) {
                TItem& item = TItem::Create(group);
                item.SetItemName(item_name);
                item.SetKey(std::to_string(i + 1));
                item.SetFieldName("V");
                item.SetFieldType(TFieldType::ftInteger);
            }
            const double rss_project = RssMegabytes();
            PlainEventLoop loop;
            NullReporter reporter;
            EngineOptions options;
            options.recorder.buffer_file = dir / "sql.dat";
            if (const char* one = std::getenv("TAGSINK_BENCH_ONE_CALL"); one != nullptr && *one == '1')
                options.recorder.statement_lists = false;
            Engine engine(server, loop, reporter, SystemClock::Instance(), options);
            auto events = WatchToolkitEvents(loop);
            const auto start = Clock_::now();
            engine.Run();
            if (!engine.Running())
                throw std::runtime_error("the simulated server could not be connected");
            const double run_seconds = std::chrono::duration<double>(Clock_::now() - start).count();
            const double rss_running = RssMegabytes();
            std::printf("bench_record_scale: %d items changing every %d ms (%.0f changes/s), PostgreSQL with "
                        "fsync on, %s\n",
                        items, step_ms, items * 1000.0 / step_ms,
                        options.recorder.statement_lists ? "statement lists" : "one statement per call");
            std::printf(
                "Run (subscription of every item) took %.2f s; RSS %.1f MB with the project loaded, %.1f "
                "MB running\n",
                run_seconds, rss_project, rss_running);
            std::printf("%4s %10s %10s %10s %10s %6s %8s\n", "s", "queued/s", "stored/s", "backlog",
                        "growth/s", "cpu", "rss MB");
            std::uint64_t last_queued = engine.QueuedCount(), last_stored = engine.Stats().executed.load();
            std::uint64_t last_backlog = last_queued - last_stored;
            double last_cpu = CpuSeconds();
            auto last_time = Clock_::now();
            int tick = 0;
            const int skip = std::max(1, seconds / 5);
            double sum_queued = 0, sum_stored = 0, sum_cpu = 0, sum_wall = 0, peak_rss = 0;
            std::int64_t backlog_from = -1, backlog_to = 0;
            auto timer = loop.StartTimer(std::chrono::milliseconds(1000), [&] {
                const auto now = Clock_::now();
                const double wall = std::chrono::duration<double>(now - last_time).count();
                const std::uint64_t queued = engine.QueuedCount(), stored = engine.Stats().executed.load();
                const std::uint64_t backlog = queued - std::min(queued, stored);
                const double cpu = CpuSeconds();
                const double rss = RssMegabytes();
                ++tick;
                const double q = static_cast<double>(queued - last_queued) / wall;
                const double s = static_cast<double>(stored - last_stored) / wall;
                const double g = (static_cast<double>(backlog) - static_cast<double>(last_backlog)) / wall;
                std::printf("%4d %10.0f %10.0f %10llu %10.0f %6.2f %8.1f\n", tick, q, s,
                            static_cast<unsigned long long>(backlog), g, (cpu - last_cpu) / wall, rss);
                std::fflush(stdout);
                if (tick > skip) {
                    sum_queued += static_cast<double>(queued - last_queued);
                    sum_stored += static_cast<double>(stored - last_stored);
                    sum_cpu += cpu - last_cpu;
                    sum_wall += wall;
                    if (backlog_from < 0)
                        backlog_from = static_cast<std::int64_t>(last_backlog);
                    backlog_to = static_cast<std::int64_t>(backlog);
                }
                peak_rss = std::max(peak_rss, rss);
                last_queued = queued;
                last_stored = stored;
                last_backlog = backlog;
                last_cpu = cpu;
                last_time = now;
                if (tick >= seconds)
                    loop.Quit();
            });
            loop.Run();
            timer.reset();
            engine.Stop();
            const double rate = items * 1000.0 / step_ms;
            if (sum_wall > 0) {
                const double queued = sum_queued / sum_wall, stored = sum_stored / sum_wall;
                const double growth = static_cast<double>(backlog_to - backlog_from) / sum_wall;
                std::printf(
                    "After the first %d s: queued %.0f/s (%.2f of the changes), stored %.0f/s (%.2f of "
                    "queued), backlog growth %.0f/s, CPU %.2f of a core\n",
                    skip, queued, queued / rate, stored, stored / std::max(queued, 1.0), growth,
                    sum_cpu / sum_wall);
                std::printf(
                    "Memory: %.1f MB resident at most, %.0f bytes per item running (%.0f per item for the "
                    "project alone)\n",
                    peak_rss, (rss_running * 1024 * 1024) / items, (rss_project * 1024 * 1024) / items);
                const bool intake = queued >= 0.9 * rate;
                const bool keeps_up = stored >= 0.97 * queued && growth <= 0.03 * queued;
                std::printf(
                    "intake keeps up (>= 0.9 of the changes): %s; database keeps up (stored >= 0.97 of "
                    "queued, backlog flat): %s\n",
                    intake ? "yes" : "NO", keeps_up ? "yes" : "NO");
            }
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench_record_scale: %s\n", error.what());
            status = 1;
        }
        QZDAC_Uninit();
    }
    std::filesystem::remove_all(dir);
    return status;
}
