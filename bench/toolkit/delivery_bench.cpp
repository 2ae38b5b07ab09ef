// Delivery throughput: a server that sends connection-point batches of 1, 100 and 10,000 changed items, the
// toolkit's delivery (item lookup, value copy, procedure call, clear) through the C API, and a baseline
// loop that only copies and clears the same VARIANTs. Prints changes per second and the ratio.
//
// The server here is a minimal in-process one, so that the numbers measure the toolkit and not a value
// generator.
#include <tagclient.h>
#include <transport/transport.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace tagclient::transport;

namespace {

Host* g_host = nullptr;
std::shared_ptr<OPCDataCallback> g_sink;
std::vector<OPCHANDLE> g_clients;

class BenchGroup final : public GroupObject,
                         public OPCItemMgt,
                         public OPCAsyncIO2,
                         public ConnectionPointContainer,
                         public ConnectionPoint,
                         public std::enable_shared_from_this<BenchGroup> {
public:
    std::shared_ptr<OPCItemMgt> QueryItemMgt() override { return shared_from_this(); }
    std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() override { return nullptr; }
    std::shared_ptr<OPCAsyncIO> QueryAsyncIO() override { return nullptr; }
    std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() override { return shared_from_this(); }
    std::shared_ptr<OPCSyncIO> QuerySyncIO() override { return nullptr; }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return shared_from_this();
    }
    std::shared_ptr<DataObject> QueryDataObject() override { return nullptr; }
    HRESULT AddItems(DWORD n, const ItemDef* defs, ItemResult** results, HRESULT** errors) override {
        *results = static_cast<ItemResult*>(CoTaskMemAlloc(sizeof(ItemResult) * n));
        *errors = static_cast<HRESULT*>(CoTaskMemAlloc(sizeof(HRESULT) * n));
        std::memset(*results, 0, sizeof(ItemResult) * n);
        for (DWORD i = 0; i < n; ++i) {
            (*errors)[i] = S_OK;
            (*results)[i].hServer = i + 1;
            g_clients.push_back(defs[i].hClient);
        }
        return S_OK;
    }
    HRESULT ValidateItems(DWORD, const ItemDef*, BOOL, ItemResult**, HRESULT**) override { return E_NOTIMPL; }
    HRESULT RemoveItems(DWORD, const OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
    HRESULT SetActiveState(DWORD, const OPCHANDLE*, BOOL, HRESULT**) override { return E_NOTIMPL; }
    HRESULT Write(DWORD, const OPCHANDLE*, const VARIANT*, DWORD, DWORD*, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT Refresh2(OPCDATASOURCE, DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(const IID&, std::shared_ptr<ConnectionPoint>* pp) override {
        *pp = shared_from_this();
        return S_OK;
    }
    HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* cookie) override {
        g_sink = std::dynamic_pointer_cast<OPCDataCallback>(sink);
        *cookie = 1;
        return S_OK;
    }
    HRESULT Unadvise(DWORD) override { return S_OK; }
};

class BenchServer final : public ServerObject,
                          public OPCServer,
                          public std::enable_shared_from_this<BenchServer> {
public:
    std::shared_ptr<OPCServer> QueryOPCServer() override { return shared_from_this(); }
    HRESULT AddGroup(const OLECHAR*, BOOL, DWORD rate, OPCHANDLE, const LONG*, const FLOAT*, DWORD,
                     OPCHANDLE* h, DWORD* revised, std::shared_ptr<GroupObject>* pp) override {
        *h = 1;
        *revised = rate;
        *pp = std::make_shared<BenchGroup>();
        return S_OK;
    }
    HRESULT GetStatus(ServerStatus**) override { return E_NOTIMPL; }
    HRESULT RemoveGroup(OPCHANDLE, BOOL) override { return S_OK; }
    std::shared_ptr<OPCItemProperties> QueryItemProperties() override { return nullptr; }
    std::shared_ptr<OPCBrowseServerAddressSpace> QueryBrowseServerAddressSpace() override { return nullptr; }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override { return nullptr; }
};

class BenchTransport final : public Transport {
public:
    HRESULT CreateServerList(const OLECHAR*, std::shared_ptr<OPCServerList>*) override {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT CreateServerObject(const CLSID&, const OLECHAR*, std::shared_ptr<ServerObject>* pp) override {
        *pp = std::make_shared<BenchServer>();
        return S_OK;
    }
    std::shared_ptr<Registry> LocalRegistry() override { return nullptr; }
    CLIPFORMAT RegisterClipboardFormat(const char16_t*) override { return 0xC000; }
    std::string ComputerName() override { return "bench"; }
};

// The client procedure: touches the value as a real client would when it stores it.
volatile std::int64_t g_sum = 0;
void QZDAC_CALL OnChange(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM item, VARIANT v, FILETIME, uint32_t) {
    g_sum = g_sum + item + v.vt;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::vector<VARIANT> MakeValues(size_t n, bool text) {
    std::vector<VARIANT> values(n);
    for (size_t i = 0; i < n; ++i) {
        VariantInit(&values[i]);
        if (text) {
            values[i].vt = VT_BSTR;
            values[i].bstrVal = SysAllocString(u"a changed text value");
        } else {
            values[i].vt = VT_R8;
            values[i].dblVal = static_cast<double>(i) * 0.5;
        }
    }
    return values;
}

} // namespace

namespace tagclient::transport {
std::unique_ptr<Transport> CreateDefaultTransport(Host& host) {
    g_host = &host;
    return std::make_unique<BenchTransport>();
}
} // namespace tagclient::transport

int main() {
    QZDAC_Init();
    QZDAC_HSESSION s = QZDAC_Connect("", "{00000001-0000-0000-0000-000000000000}", 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "bench", QZDAC_TRUE, 100, 0, 0, 0);
    QZDAC_SetDataChangeProc(s, &OnChange);
    for (int i = 0; i < 10000; ++i)
        QZDAC_AddItem(s, g, "item");
    if (!g_sink || g_clients.size() != 10000) {
        std::fprintf(stderr, "setup failed\n");
        return 1;
    }
    const size_t total = 2000000;
    std::printf("%-6s %8s %16s %16s %8s\n", "value", "batch", "toolkit/s", "copy only/s", "ratio");
    for (bool text : {false, true}) {
        for (size_t batch : {size_t{1}, size_t{100}, size_t{10000}}) {
            const size_t rounds = (text ? total / 4 : total) / batch;
            auto values = MakeValues(batch, text);
            std::vector<OPCHANDLE> clients(g_clients.begin(),
                                           g_clients.begin() + static_cast<std::ptrdiff_t>(batch));
            std::vector<WORD> qualities(batch, OPC_QUALITY_GOOD);
            std::vector<FILETIME> stamps(batch, FILETIME{1, 2});
            std::vector<HRESULT> errors(batch, S_OK);

            auto start = std::chrono::steady_clock::now();
            for (size_t r = 0; r < rounds; ++r) {
                g_host->Post([&] {
                    g_sink->OnDataChange(0, 1, S_OK, S_OK, static_cast<DWORD>(batch), clients.data(),
                                         values.data(), qualities.data(), stamps.data(), errors.data());
                });
                QZDAC_DispatchEvents();
            }
            const double toolkit =
                static_cast<double>(rounds * batch) / Seconds(std::chrono::steady_clock::now() - start);

            start = std::chrono::steady_clock::now();
            for (size_t r = 0; r < rounds; ++r)
                for (size_t i = 0; i < batch; ++i) {
                    VARIANT copy;
                    VariantInit(&copy);
                    VariantCopy(&copy, &values[i]);
                    OnChange(1, 2, clients[i], copy, stamps[i], qualities[i]);
                    VariantClear(&copy);
                }
            const double baseline =
                static_cast<double>(rounds * batch) / Seconds(std::chrono::steady_clock::now() - start);
            std::printf("%-6s %8zu %16.0f %16.0f %8.2f\n", text ? "BSTR" : "R8", batch, toolkit, baseline,
                        baseline / toolkit);
            for (auto& v : values)
                VariantClear(&v);
        }
    }
    QZDAC_Uninit();
    return 0;
}
