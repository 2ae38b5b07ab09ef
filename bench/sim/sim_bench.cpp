// Item changes per second that the simulated servers produce, at three layers:
//   Core      the group's update (sample, compare, record) into a listener that keeps nothing;
//   Stream    encoding one "OPCSTMFORMATDATATIME" block;
//   Transport a connection-point delivery through the transport interface (values turned into VARIANTs,
//             arrays handed to an IOPCDataCallback sink that only counts).
// Batches of 1, 100 and 10,000 items, every item changing at every update.
#include "manual_scheduler.hpp"
#include "sim_group.hpp"
#include "sim_profiles.hpp"
#include "sim_server.hpp"
#include "sim_stream.hpp"

#include <transport/transport.hpp>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

namespace sim = tagclient::transport::sim;

using tagclient::transport::sim::testing::ManualScheduler; // a host whose clock moves only when told

class CountingListener final : public sim::DataListener {
public:
    void OnDataChange(DWORD, DWORD, HRESULT, HRESULT, const std::vector<sim::ItemUpdate>& items) override {
        count += items.size();
    }
    void OnWriteComplete(DWORD, DWORD, HRESULT, const std::vector<sim::ItemWriteResult>&) override {}
    std::size_t count = 0;
};

void Core(benchmark::State& state) {
    auto clock = std::make_shared<ManualScheduler>();
    auto server = sim::SimServer::Create(*sim::FindBuiltinServer(u"da2"), clock, 0);
    DWORD handle = 0, revised = 0;
    std::shared_ptr<sim::SimGroup> group;
    server->AddGroup(u"bench", true, 50, 0, nullptr, nullptr, 0, &handle, &revised, &group);
    std::vector<sim::ItemRequest> requests(static_cast<size_t>(state.range(0)),
                                           {u"Counter.Int4@50", u"", true, 1, VT_EMPTY});
    std::vector<sim::ItemAddResult> results;
    std::vector<HRESULT> errors;
    group->AddItems(requests, &results, &errors);
    auto listener = std::make_shared<CountingListener>();
    DWORD cookie = 0;
    group->Advise(listener, &cookie);
    for (auto _ : state)
        clock->Advance(50);
    state.SetItemsProcessed(static_cast<std::int64_t>(listener->count));
}
BENCHMARK(Core)->Arg(1)->Arg(100)->Arg(10000);

void Stream(benchmark::State& state) {
    std::vector<sim::Value> values;
    for (std::int64_t i = 0; i < state.range(0); ++i)
        values.push_back(sim::Value::Real(VT_R8, static_cast<double>(i)));
    std::vector<sim::StreamItem> items;
    for (const auto& v : values)
        items.push_back({1, &v, 0xC0, 0});
    for (auto _ : state)
        benchmark::DoNotOptimize(sim::EncodeDataStream(sim::StreamFormat::DataTime, 1, 0, items));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Stream)->Arg(1)->Arg(100)->Arg(10000);

using namespace tagclient::transport;

class CountingSink final : public OPCDataCallback {
public:
    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, const OPCHANDLE*, const VARIANT*,
                         const WORD*, const FILETIME*, const HRESULT*) override {
        this->count += count;
        return S_OK;
    }
    HRESULT OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, const OPCHANDLE*, const VARIANT*,
                           const WORD*, const FILETIME*, const HRESULT*) override {
        return S_OK;
    }
    HRESULT OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, const OPCHANDLE*, const HRESULT*) override {
        return S_OK;
    }
    HRESULT OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    std::size_t count = 0;
};

void Transport(benchmark::State& state) {
    ManualScheduler host;
    auto transport = CreateDefaultTransport(host);
    CLSID clsid{};
    CLSIDFromString(reinterpret_cast<LPCOLESTR>(u"{D886E9B9-5576-47DF-B743-B81B90B0B9BF}"), &clsid);
    std::shared_ptr<ServerObject> object;
    transport->CreateServerObject(clsid, nullptr, &object);
    auto server = object->QueryOPCServer();
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    std::shared_ptr<GroupObject> group;
    server->AddGroup(u"bench", TRUE, 50, 0, nullptr, nullptr, 0, &handle, &revised, &group);
    std::u16string id = u"Sine.Real8@50";
    std::vector<ItemDef> defs(static_cast<size_t>(state.range(0)));
    for (auto& d : defs) {
        d = ItemDef{};
        d.szItemID = reinterpret_cast<OLECHAR*>(id.data());
        d.bActive = TRUE;
    }
    ItemResult* results = nullptr;
    HRESULT* errors = nullptr;
    group->QueryItemMgt()->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    std::shared_ptr<ConnectionPoint> cp;
    group->QueryConnectionPointContainer()->FindConnectionPoint(IID_IOPCDataCallback, &cp);
    auto sink = std::make_shared<CountingSink>();
    DWORD cookie = 0;
    cp->Advise(sink, &cookie);
    for (auto _ : state)
        host.Advance(50);
    state.SetItemsProcessed(static_cast<std::int64_t>(sink->count));
}
BENCHMARK(Transport)->Arg(1)->Arg(100)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
