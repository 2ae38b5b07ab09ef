// Statements built per second: groups of 10 and 100 items, in the insert and the update form.
// The items hold a realistic mix of values (floats, integers, texts, date-times, booleans).
#include "engine/statement/statement_builder.hpp"

#include "statement_fixture.hpp"

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
