// Statements built per second: groups of 10 and 100 items, in the insert and the update form.
// The items hold a realistic mix of values (floats, integers, texts, date-times, booleans).
//
// KeyedRow: one row of a data-change group whose every item carries its own key (as a plant's tag list
// recorded row by row), from the plan the engine prepares when the group starts: at 100 and at 30,000 items.
// The closing line gives the cost at 30,000 over the cost at 100; 1.00 means a row costs the same however
// large its group, and it must stay at most 1.5. Under callgrind (instructions, not time) the ratio is exact
// on a loaded machine:
//   valgrind --tool=callgrind bench/statement/tagsink_statement_bench --benchmark_filter=KeyedRow/100
#include "engine/statement/group_rows.hpp"
#include "engine/statement/statement_builder.hpp"

#include "statement_fixture.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using tagsink::RowKey;
using tagsink::TFieldType;
using tagsink::TRecordType;
using tagsink::testing::Project;

void FillGroup(Project& p, int items) {
    p.group.SetTimeField("DT");
    p.group.SetKeyField("K");
    for (int i = 0; i < items; ++i) {
        const std::string name = "Item" + std::to_string(i + 1);
        const std::string field = "V" + std::to_string(i + 1);
        switch (i % 5) {
        case 0:
            p.Add(name, field, TFieldType::ftFloat, qz::Variant(1234.5678 + i));
            break;
        case 1:
            p.Add(name, field, TFieldType::ftInteger, qz::Variant(i * 1000));
            break;
        case 2:
            p.Add(name, field, TFieldType::ftString, qz::Variant("Tank level O'K " + std::to_string(i)));
            break;
        case 3:
            p.Add(name, field, TFieldType::ftDateTime, qz::Variant::Date(45292.75 + i));
            break;
        default:
            p.Add(name, field, TFieldType::ftBoolean, qz::Variant(i % 2 == 0));
            break;
        }
    }
}

void BuildStatements(benchmark::State& state, TRecordType record_type) {
    Project p;
    FillGroup(p, static_cast<int>(state.range(0)));
    const RowKey key{"5", "5"};
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string sql = tagsink::BuildStatement(p.group, key, "'2024-01-01 12:00:00'", record_type);
        bytes += sql.size();
        benchmark::DoNotOptimize(sql);
    }
    state.counters["statements/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/statement"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

void Insert(benchmark::State& state) {
    BuildStatements(state, TRecordType::rtInsert);
}
void Update(benchmark::State& state) {
    BuildStatements(state, TRecordType::rtUpdate);
}

BENCHMARK(Insert)->Arg(10)->Arg(100);
BENCHMARK(Update)->Arg(10)->Arg(100);

// N items, each with its own Key K<i>, field type ftInteger; the group inserts key, time and value.
void FillKeyed(Project& p, int items) {
    p.group.SetTimeField("DT");
    p.group.SetKeyField("K");
    p.group.SetKeyFieldType(TFieldType::ftString);
    for (int i = 0; i < items; ++i)
        p.Add("Item" + std::to_string(i + 1), "V", TFieldType::ftInteger, qz::Variant(i),
              "K" + std::to_string(i));
}

void KeyedRow(benchmark::State& state) {
    Project p;
    const int items = static_cast<int>(state.range(0));
    FillKeyed(p, items);
    const tagsink::GroupRows rows(p.group);
    // Rows of keys spread over the whole group, the last one included.
    std::vector<RowKey> keys;
    for (int i = 0; i < 64; ++i) {
        const std::string key = "K" + std::to_string(static_cast<long long>(i) * (items - 1) / 63);
        keys.push_back({"'" + key + "'", key});
    }
    std::size_t n = 0;
    for (auto _ : state) {
        std::string sql = tagsink::BuildStatement(p.group, rows, keys[n++ & 63], "'2024-01-01 12:00:00'",
                                                  TRecordType::rtInsert);
        benchmark::DoNotOptimize(sql);
    }
    state.counters["statements/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(KeyedRow)->Arg(100)->Arg(30000);

// The console output, plus the ratio of the two KeyedRow sizes.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            if (run.run_type != Run::RT_Iteration)
                continue;
            if (name == "KeyedRow/100")
                small_ = run.GetAdjustedCPUTime();
            else if (name == "KeyedRow/30000")
                large_ = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double small_ = 0, large_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.small_ > 0 && reporter.large_ > 0)
        std::printf("KeyedRow: a row at 30000 items costs %.2f times a row at 100 items (at most 1.5)\n",
                    reporter.large_ / reporter.small_);
    benchmark::Shutdown();
    return 0;
}
