// What a monitoring system's scrape costs a recorder at scale: N keyed items of the simulated OPC DA 2.0
// server, each changing every STEP_MS, recorded by the engine into an SQLite file (WAL) with tagsink-run's
// HTTP endpoint serving beside it, as `tagsink-run --http` runs it.
//
//   bench_http_scrape [N [SECONDS [STEP_MS]]]     (defaults: 10000 items, 15 s per phase, 500 ms)
// Three phases of SECONDS each: no client, a client that GETs /metrics and /api/items once a second, no
// client again. Per phase it prints the statements queued and stored per second; at the end the stored
// rate with the scraper against the mean of the two phases without (goal: at least 0.95) and the time of
// one scrape of each path (median and largest) with the size of its answer.
//
// TAGSINK_BENCH_HTTP_PORT chooses the endpoint's port (default 56111). Run it with the ODBC set-up of
// scripts/test-env.sh.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "process_usage.hpp"
#include "run_endpoint.hpp"
#include "tagclient.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tagsink;
using tagsink::bench::CpuSeconds;
using BenchClock = std::chrono::steady_clock;

namespace {

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// One path's scrapes: how long each took and how big the answer was.
struct ScrapeTimes {
    std::vector<double> ms;
    std::size_t bytes = 0;
    int failures = 0;
};

// GETs /metrics and /api/items once a second until stopped.
class Scraper {
public:
    explicit Scraper(int port) : port_(port) {}
    void Start() {
        stop_ = false;
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    ScrapeTimes metrics, items;

private:
    void Loop() {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(10, 0);
        auto next = BenchClock::now();
        while (!stop_) {
            Get(client, "/metrics", metrics);
            Get(client, "/api/items", items);
            next += std::chrono::seconds(1);
            while (!stop_ && BenchClock::now() < next)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    static void Get(httplib::Client& client, const char* path, ScrapeTimes& times) {
        const auto start = BenchClock::now();
        auto res = client.Get(path);
        const double ms = std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
        if (!res || res->status != 200) {
            ++times.failures;
            return;
        }
        times.ms.push_back(ms);
        times.bytes = res->body.size();
    }

    int port_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Phase {
    const char* name;
    double queued_per_s = 0, stored_per_s = 0, cpu = 0;
};

void PrintTimes(const char* path, ScrapeTimes& times) {
    if (times.ms.empty()) {
        std::printf("  %-11s no answer (%d failures)\n", path, times.failures);
        return;
    }
    std::sort(times.ms.begin(), times.ms.end());
    std::printf("  %-11s %3zu scrapes, median %7.1f ms, largest %7.1f ms, %8zu bytes%s\n", path,
                times.ms.size(), times.ms[times.ms.size() / 2], times.ms.back(), times.bytes,
                times.failures > 0 ? " (some failed)" : "");
}

} // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 15;
    const int step_ms = argc > 3 ? std::atoi(argv[3]) : 500;
    if (items <= 0 || seconds <= 1 || step_ms < 10) {
        std::fprintf(
            stderr, "usage: bench_http_scrape [N [SECONDS [STEP_MS]]] (N > 0, SECONDS > 1, STEP_MS >= 10)\n");
        return 2;
    }
    const char* port_text = std::getenv("TAGSINK_BENCH_HTTP_PORT");
    const int port = port_text != nullptr ? std::atoi(port_text) : 56111;
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsink-scrape.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    const std::filesystem::path dir = pattern;
    const std::string conn =
        "Driver={SQLite3};Database=" + (dir / "bench.db").string() + ";Timeout=5000;JournalMode=WAL;";
    int status = 0;
    if (QZDAC_Init() != QZDAC_TRUE) {
        std::fprintf(stderr, "bench_http_scrape: QZDAC_Init failed\n");
        return 1;
    }
    try {
        {
            db::OdbcConnection setup;
            setup.SetConnectionString(conn);
            setup.Open(std::chrono::seconds(10));
            setup.Execute("create table rec (K integer, DT text, V integer)");
        }
        TServer server(std::make_unique<db::OdbcConnection>());
        server.SetOPCString("/Tagsink.SimServer.DA2/");
        server.SetDBString(conn);
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

        PlainEventLoop loop;
        NullReporter quiet;
        http::HttpSettings settings;
        settings.address = "127.0.0.1:" + std::to_string(port);
        http::RunEndpoint endpoint(settings, server, quiet, "bench");
        EngineOptions options;
        options.recorder.buffer_file = dir / "sql.dat";
        Engine engine(server, loop, endpoint.Reporter(), SystemClock::Instance(), options);
        auto serving = endpoint.Serve(engine, loop);
        auto events = WatchToolkitEvents(loop);
        engine.Run();
        if (!engine.Running())
            throw std::runtime_error("the simulated server could not be connected");
        std::printf("bench_http_scrape: %d items changing every %d ms (%.0f changes/s) into SQLite (WAL), "
                    "%d s per phase, load average %.2f at the start\n",
                    items, step_ms, items * 1000.0 / step_ms, seconds, LoadAverage());

        Scraper scraper(port);
        Phase phases[] = {{"without a scraper"}, {"with a scraper"}, {"without a scraper"}};
        int phase = -1;
        int tick = 0;
        std::uint64_t from_queued = 0, from_stored = 0;
        double from_cpu = 0;
        auto from_time = BenchClock::now();
        auto begin = [&] {
            ++phase;
            if (phase == 1)
                scraper.Start();
            if (phase == 2)
                scraper.Stop();
            from_queued = engine.QueuedCount();
            from_stored = engine.Stats().executed.load();
            from_cpu = CpuSeconds();
            from_time = BenchClock::now();
        };
        // The first two seconds settle the subscription; then the phases.
        auto timer = loop.StartTimer(std::chrono::milliseconds(1000), [&] {
            ++tick;
            if (tick == 2) {
                begin();
                return;
            }
            if (tick < 2 || (tick - 2) % seconds != 0)
                return;
            const double wall = std::chrono::duration<double>(BenchClock::now() - from_time).count();
            Phase& p = phases[phase];
            p.queued_per_s = static_cast<double>(engine.QueuedCount() - from_queued) / wall;
            p.stored_per_s = static_cast<double>(engine.Stats().executed.load() - from_stored) / wall;
            p.cpu = (CpuSeconds() - from_cpu) / wall;
            std::printf("%-18s queued %8.0f/s  stored %8.0f/s  CPU %.2f of a core\n", p.name, p.queued_per_s,
                        p.stored_per_s, p.cpu);
            std::fflush(stdout);
            if (phase == 2)
                loop.Quit();
            else
                begin();
        });
        loop.Run();
        timer.reset();
        scraper.Stop();
        serving.reset();
        engine.Stop();

        const double without = (phases[0].stored_per_s + phases[2].stored_per_s) / 2;
        const double ratio = without > 0 ? phases[1].stored_per_s / without : 0;
        std::printf("Scrapes (once a second each, while recording):\n");
        PrintTimes("/metrics", scraper.metrics);
        PrintTimes("/api/items", scraper.items);
        std::printf(
            "Recording with a scraper: %.3f of the rate without (goal >= 0.95): %s; load average %.2f "
            "at the end\n",
            ratio, ratio >= 0.95 ? "yes" : "NO", LoadAverage());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_http_scrape: %s\n", error.what());
        status = 1;
    }
    QZDAC_Uninit();
    std::filesystem::remove_all(dir);
    return status;
}
