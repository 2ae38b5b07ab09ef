// The cost of routing one data change to its item (group by handle, item by handle, then SetValue), in a
// group of 10 and in a group of 10,000 items, beside SetValue alone on the same item.
//
//   bench_routing
// Runs against the simulated OPC DA 2.0 server; the database is never opened (the statements of this
// snapshot group are never due).
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"

#include <chrono>
#include <cstdio>

using namespace tagsink;
using Clock_ = std::chrono::steady_clock;

namespace {

struct Result {
    double routed_ns;
    double direct_ns;
};

Result Measure(int item_count, int changes) {
    TServer server;
    server.SetOPCString("/Tagsink.SimServer.DA2/");
    TGroup& group = TGroup::Create(server);
    group.SetName("G1");
    group.SetRecordInterval(1000000000); // no snapshot during the measurement
    group.SetUpdateRate(1000000);
    for (int i = 0; i < item_count; ++i) {
        TItem& item = TItem::Create(group);
        item.SetName("I" + std::to_string(i));
        item.SetItemName("Memory.Int4");
        item.SetFieldName("V" + std::to_string(i));
        item.SetFieldType(TFieldType::ftInteger);
    }
    PlainEventLoop loop;
    NullReporter reporter;
    Engine engine(server, loop, reporter);
    engine.Run();
    if (!engine.Running())
        throw std::runtime_error("the simulated server could not be connected");
    TItem& last = group.Item(group.ItemCount() - 1); // a search in child order would look at every item
    const qz::Variant values[2] = {qz::Variant(1), qz::Variant(2)};

    auto start = Clock_::now();
    for (int i = 0; i < changes; ++i)
        engine.DataChange(group.GroupHandle, last.ItemHandle, values[i & 1].get(), 0xC0, i);
    double routed = std::chrono::duration<double, std::nano>(Clock_::now() - start).count() / changes;

    start = Clock_::now();
    for (int i = 0; i < changes; ++i)
        Engine::SetValue(last, values[i & 1].get(), 0xC0, i);
    double direct = std::chrono::duration<double, std::nano>(Clock_::now() - start).count() / changes;
    engine.Stop();
    return {routed, direct};
}

} // namespace

int main() {
    if (QZDAC_Init() != QZDAC_TRUE) {
        std::fprintf(stderr, "bench_routing: QZDAC_Init failed\n");
        return 1;
    }
    int status = 0;
    try {
        const int changes = 1000000;
        Result small = Measure(10, changes);
        Result large = Measure(10000, changes);
        std::printf("Routing one data change (group by handle, item by handle, SetValue), %d changes each\n",
                    changes);
        std::printf("group of    10 items: %7.1f ns per change (SetValue alone %7.1f ns)\n", small.routed_ns,
                    small.direct_ns);
        std::printf("group of 10000 items: %7.1f ns per change (SetValue alone %7.1f ns)\n", large.routed_ns,
                    large.direct_ns);
        std::printf("10000 items / 10 items: %.2f (1.00: routing does not grow with the group)\n",
                    large.routed_ns / small.routed_ns);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_routing: %s\n", error.what());
        status = 1;
    }
    QZDAC_Uninit();
    return status;
}
