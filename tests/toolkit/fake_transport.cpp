#include "fake_transport.hpp"

#include <transport/data_stream.hpp>

#include <algorithm>
#include <functional>
#include <cstring>
#include <mutex>

namespace tagclient::testing {

namespace {
World* g_world = nullptr;

template <class T> T* TaskArray(size_t n) {
    auto* p = static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (n ? n : 1)));
    std::memset(static_cast<void*>(p), 0, sizeof(T) * (n ? n : 1));
    return p;
}

OLECHAR* TaskString(const std::u16string& s) {
    auto* p = TaskArray<OLECHAR>(s.size() + 1);
    std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
    return p;
}

std::u16string Str(const OLECHAR* s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}

class FakeConnectionPoint final : public ConnectionPoint {
public:
    explicit FakeConnectionPoint(std::function<HRESULT(std::shared_ptr<Sink>)> on_advise)
        : on_advise_(std::move(on_advise)) {}
    HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* cookie) override {
        HRESULT hr = on_advise_(std::move(sink));
        *cookie = SUCCEEDED(hr) ? 77 : 0;
        return hr;
    }
    HRESULT Unadvise(DWORD) override { return S_OK; }

private:
    std::function<HRESULT(std::shared_ptr<Sink>)> on_advise_;
};

class FakeEnumString final : public EnumString {
public:
    explicit FakeEnumString(std::vector<std::u16string> names) : names_(std::move(names)) {}
    HRESULT Next(ULONG celt, OLECHAR** rgelt, ULONG* fetched) override {
        ULONG n = 0;
        while (n < celt && at_ < names_.size())
            rgelt[n++] = TaskString(names_[at_++]);
        *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }

private:
    std::vector<std::u16string> names_;
    size_t at_ = 0;
};

class FakeEnumGuid final : public EnumGUID {
public:
    explicit FakeEnumGuid(std::vector<GUID> ids) : ids_(std::move(ids)) {}
    HRESULT Next(ULONG celt, GUID* rgelt, ULONG* fetched) override {
        ULONG n = 0;
        while (n < celt && at_ < ids_.size())
            rgelt[n++] = ids_[at_++];
        *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }

private:
    std::vector<GUID> ids_;
    size_t at_ = 0;
};

class FakeServer final : public ServerObject,
                         public OPCServer,
                         public OPCItemProperties,
                         public OPCBrowseServerAddressSpace,
                         public ConnectionPointContainer,
                         public std::enable_shared_from_this<FakeServer> {
public:
    explicit FakeServer(ServerConfig config) : config_(config) {}
    std::shared_ptr<OPCServer> QueryOPCServer() override {
        if (!config_.opc_server)
            return nullptr;
        return shared_from_this();
    }
    std::shared_ptr<OPCItemProperties> QueryItemProperties() override {
        if (!config_.item_properties)
            return nullptr;
        return shared_from_this();
    }
    std::shared_ptr<OPCBrowseServerAddressSpace> QueryBrowseServerAddressSpace() override {
        if (!config_.browse)
            return nullptr;
        return shared_from_this();
    }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        if (!config_.connection_points)
            return nullptr;
        return shared_from_this();
    }

    HRESULT AddGroup(const OLECHAR* szName, BOOL bActive, DWORD rate, OPCHANDLE hClientGroup,
                     const LONG* pTimeBias, const FLOAT* pDeadband, DWORD lcid, OPCHANDLE* phServerGroup,
                     DWORD* pRevised, std::shared_ptr<GroupObject>* ppUnk) override {
        if (HRESULT hr = W().Hook("AddGroup"); FAILED(hr))
            return hr;
        auto group = std::make_shared<FakeGroup>(config_.group);
        group->name = Str(szName);
        group->active = bActive;
        group->update_rate = W().revised_rate ? W().revised_rate : rate;
        group->client_handle = hClientGroup;
        group->time_bias = *pTimeBias;
        group->deadband = *pDeadband;
        group->lcid = lcid;
        group->server_handle = W().next_handle++;
        W().groups.push_back(group);
        W().add_group_client_handles.push_back(hClientGroup);
        *phServerGroup = group->server_handle;
        *pRevised = group->update_rate;
        *ppUnk = group;
        return S_OK;
    }
    HRESULT GetStatus(ServerStatus** pp) override {
        if (HRESULT hr = W().Hook("GetStatus"); FAILED(hr))
            return hr;
        auto* s = TaskArray<ServerStatus>(1);
        s->ftStartTime = {1, 2};
        s->ftCurrentTime = {3, 4};
        s->ftLastUpdateTime = {5, 6};
        s->dwServerState = OPC_STATUS_RUNNING;
        s->dwGroupCount = 7;
        s->dwBandWidth = 8;
        s->wMajorVersion = 2;
        s->wMinorVersion = 5;
        s->wBuildNumber = 99;
        s->szVendorInfo = W().vendor.empty() ? nullptr : TaskString(W().vendor);
        *pp = s;
        return S_OK;
    }
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        W().calls.push_back("RemoveGroup(" + std::to_string(hServerGroup) + (bForce ? ",force)" : ")"));
        if (HRESULT hr = W().Hook("RemoveGroup"); FAILED(hr))
            return hr;
        for (auto& g : W().groups)
            if (g->server_handle == hServerGroup)
                g->removed = true;
        return S_OK;
    }
    // Browsing: a root with branch "B" holding leaves "x", "y"; the root has leaf "r".
    HRESULT QueryOrganization(OPCNAMESPACETYPE* type) override {
        if (HRESULT hr = W().Hook("QueryOrganization"); FAILED(hr))
            return hr;
        *type = OPC_NS_HIERARCHIAL;
        return S_OK;
    }
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dir, const OLECHAR* name) override {
        if (HRESULT hr = W().Hook("ChangeBrowsePosition"); FAILED(hr))
            return hr;
        if (dir == OPC_BROWSE_UP)
            return position_.empty() ? E_FAIL : (position_.clear(), S_OK);
        if (dir == OPC_BROWSE_DOWN && position_.empty() && Str(name) == u"B")
            return position_ = u"B", S_OK;
        return E_INVALIDARG;
    }
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, const OLECHAR*, VARTYPE, DWORD,
                             std::shared_ptr<EnumString>* pp) override {
        if (HRESULT hr = W().Hook("BrowseOPCItemIDs"); FAILED(hr))
            return hr;
        std::vector<std::u16string> names;
        if (position_.empty())
            names =
                type == OPC_BRANCH ? std::vector<std::u16string>{u"B"} : std::vector<std::u16string>{u"r"};
        else if (type != OPC_BRANCH)
            names = {u"x", u"y"};
        *pp = std::make_shared<FakeEnumString>(names);
        return names.empty() ? S_FALSE : S_OK;
    }
    HRESULT GetItemID(const OLECHAR* name, OLECHAR** id) override {
        if (HRESULT hr = W().Hook("GetItemID"); FAILED(hr))
            return hr;
        *id = TaskString(position_.empty() ? Str(name) : position_ + u"." + Str(name));
        return S_OK;
    }
    HRESULT QueryAvailableProperties(const OLECHAR*, DWORD* count, DWORD** ids, OLECHAR*** texts,
                                     VARTYPE** types) override {
        if (HRESULT hr = W().Hook("QueryAvailableProperties"); FAILED(hr))
            return hr;
        *count = 2;
        *ids = TaskArray<DWORD>(2);
        (*ids)[0] = 1;
        (*ids)[1] = 2;
        *types = TaskArray<VARTYPE>(2);
        (*types)[0] = VT_I2;
        (*types)[1] = VT_VARIANT;
        *texts = TaskArray<OLECHAR*>(2);
        (*texts)[0] = TaskString(u"Item Canonical DataType");
        (*texts)[1] = TaskString(u"Item Value");
        return S_OK;
    }
    HRESULT GetItemProperties(const OLECHAR*, DWORD count, const DWORD* ids, VARIANT** values,
                              HRESULT** errors) override {
        if (HRESULT hr = W().Hook("GetItemProperties"); FAILED(hr))
            return hr;
        *values = TaskArray<VARIANT>(count);
        *errors = TaskArray<HRESULT>(count);
        for (DWORD i = 0; i < count; ++i) {
            if (ids[i] == 2) {
                (*values)[i].vt = VT_I4;
                (*values)[i].lVal = 42;
            } else {
                (*errors)[i] = OPC_E_INVALID_PID;
            }
        }
        return S_OK;
    }
    HRESULT FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* pp) override {
        if (HRESULT hr = W().Hook("FindConnectionPoint(shutdown)"); FAILED(hr))
            return hr;
        if (!SameGuid(riid, IID_IOPCShutdown))
            return CONNECT_E_NOCONNECTION;
        *pp = std::make_shared<FakeConnectionPoint>([](std::shared_ptr<Sink> sink) {
            if (HRESULT hr = W().Hook("Advise(shutdown)"); FAILED(hr))
                return hr;
            W().last_shutdown_sink = std::dynamic_pointer_cast<OPCShutdown>(sink);
            return W().last_shutdown_sink ? S_OK : CONNECT_E_CANNOTCONNECT;
        });
        return S_OK;
    }

private:
    ServerConfig config_;
    std::u16string position_;
};

class FakeServerList final : public OPCServerList {
public:
    HRESULT EnumClassesOfCategories(ULONG, const GUID* impl, ULONG, const GUID*,
                                    std::shared_ptr<EnumGUID>* pp) override {
        if (HRESULT hr = W().Hook("EnumClassesOfCategories"); FAILED(hr))
            return hr;
        W().last_category = *impl;
        *pp = std::make_shared<FakeEnumGuid>(W().category_classes);
        return S_OK;
    }
    HRESULT GetClassDetails(const CLSID& clsid, OLECHAR** prog, OLECHAR** user) override {
        W().calls.push_back("GetClassDetails");
        auto it = W().class_details.find(GuidText(clsid));
        if (it == W().class_details.end())
            return REGDB_E_CLASSNOTREG;
        *prog = TaskString(it->second);
        *user = TaskString(u"User type of " + it->second);
        return S_OK;
    }
    HRESULT CLSIDFromProgID(const OLECHAR* prog, CLSID* clsid) override {
        if (HRESULT hr = W().Hook("ServerList.CLSIDFromProgID"); FAILED(hr))
            return hr;
        auto it = W().list_prog_ids.find(Str(prog));
        if (it == W().list_prog_ids.end())
            return REGDB_E_CLASSNOTREG;
        *clsid = it->second;
        return S_OK;
    }
};

class FakeRegistry final : public Registry {
public:
    HRESULT CLSIDFromProgID(const OLECHAR* prog, CLSID* clsid) override {
        if (HRESULT hr = W().Hook("Registry.CLSIDFromProgID"); FAILED(hr))
            return hr;
        auto it = W().registry_prog_ids.find(Str(prog));
        if (it == W().registry_prog_ids.end())
            return REGDB_E_CLASSNOTREG;
        *clsid = it->second;
        return S_OK;
    }
    HRESULT EnumRootKeys(std::vector<std::string>* names) override {
        *names = W().registry_keys;
        return S_OK;
    }
    bool KeyExists(const std::string& path) override { return W().registry_existing.count(path) != 0; }
    HRESULT ReadDefaultValue(const std::string& path, std::string* value) override {
        auto it = W().registry_defaults.find(path);
        if (it == W().registry_defaults.end())
            return E_ACCESSDENIED;
        *value = it->second;
        return S_OK;
    }
};

std::mutex g_formatsMutex;
std::vector<std::u16string> g_formats;

class FakeTransport final : public Transport {
public:
    HRESULT CreateServerList(const OLECHAR* host, std::shared_ptr<OPCServerList>* pp) override {
        std::u16string h = Str(host);
        if (HRESULT hr = W().Hook("CreateServerList"); FAILED(hr))
            return hr;
        if (h.empty() ? !W().local_server_list : !W().remote_hosts_with_list.count(h))
            return REGDB_E_CLASSNOTREG;
        *pp = std::make_shared<FakeServerList>();
        return S_OK;
    }
    HRESULT CreateServerObject(const CLSID& clsid, const OLECHAR* host,
                               std::shared_ptr<ServerObject>* pp) override {
        W().last_create_host = Str(host);
        if (HRESULT hr = W().Hook("CreateServerObject"); FAILED(hr))
            return hr;
        if (!W().last_create_host.empty() && !W().reachable_hosts.count(W().last_create_host))
            return static_cast<HRESULT>(0x800706BA);
        auto it = W().classes.find(GuidText(clsid));
        if (it == W().classes.end())
            return REGDB_E_CLASSNOTREG;
        *pp = std::make_shared<FakeServer>(it->second);
        return S_OK;
    }
    std::shared_ptr<Registry> LocalRegistry() override { return std::make_shared<FakeRegistry>(); }
    CLIPFORMAT RegisterClipboardFormat(const char16_t* name) override { return FormatNumber(name); }
    std::string ComputerName() override { return W().computer_name; }
};

} // namespace

CLIPFORMAT FormatNumber(const char16_t* name) {
    std::lock_guard lock(g_formatsMutex);
    std::u16string n(name);
    for (size_t i = 0; i < g_formats.size(); ++i)
        if (g_formats[i] == n)
            return static_cast<CLIPFORMAT>(0xC100 + i);
    g_formats.push_back(n);
    return static_cast<CLIPFORMAT>(0xC100 + g_formats.size() - 1);
}

World& W() {
    return *g_world;
}

void Reset() {
    Host* host = g_world ? g_world->host : nullptr;
    delete g_world;
    g_world = new World();
    g_world->host = host;
}

HRESULT World::Hook(const std::string& op) {
    calls.push_back(op);
    if (auto hook = during.find(op); hook != during.end()) {
        std::function<void()> run = std::move(hook->second);
        during.erase(hook);
        run();
    }
    auto it = fail.find(op);
    return it == fail.end() ? S_OK : it->second;
}

int World::Count(const std::string& op) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), op));
}

std::u16string GuidText(const GUID& g) {
    OLECHAR text[40] = {};
#ifdef _WIN32
    StringFromGUID2(g, text, 40); // REFGUID is a reference in the Windows headers
#else
    StringFromGUID2(&g, text, 40);
#endif
    return Str(text);
}

GUID MakeGuid(uint32_t n) {
    return GUID{0x11110000u + n, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
}

// ---------------------------------------------------------------------------------------------------------
// FakeGroup

std::shared_ptr<OPCItemMgt> FakeGroup::QueryItemMgt() {
    return config.item_mgt ? shared_from_this() : nullptr;
}
std::shared_ptr<OPCGroupStateMgt> FakeGroup::QueryGroupStateMgt() {
    return config.state_mgt ? shared_from_this() : nullptr;
}
std::shared_ptr<OPCAsyncIO> FakeGroup::QueryAsyncIO() {
    return config.async_io ? shared_from_this() : nullptr;
}
std::shared_ptr<OPCAsyncIO2> FakeGroup::QueryAsyncIO2() {
    return config.async_i_o2 ? shared_from_this() : nullptr;
}
std::shared_ptr<OPCSyncIO> FakeGroup::QuerySyncIO() {
    return config.sync_io ? shared_from_this() : nullptr;
}
std::shared_ptr<ConnectionPointContainer> FakeGroup::QueryConnectionPointContainer() {
    return config.connection_points ? shared_from_this() : nullptr;
}
std::shared_ptr<DataObject> FakeGroup::QueryDataObject() {
    return config.data_object ? shared_from_this() : nullptr;
}

HRESULT FakeGroup::GetState(DWORD* rate, BOOL* act, OLECHAR** nm, LONG* bias, FLOAT* band, DWORD* loc,
                            OPCHANDLE* hc, OPCHANDLE* hs) {
    if (HRESULT hr = W().Hook("GetState"); FAILED(hr))
        return hr;
    *rate = update_rate;
    *act = active;
    *nm = TaskString(name);
    *bias = time_bias;
    *band = deadband;
    *loc = lcid;
    *hc = client_handle;
    *hs = server_handle;
    return S_OK;
}

HRESULT FakeGroup::SetState(const DWORD* rate, DWORD* revised, const BOOL* act, const LONG* bias,
                            const FLOAT* band, const DWORD* loc, const OPCHANDLE* hc) {
    if (HRESULT hr = W().Hook("SetState"); FAILED(hr))
        return hr;
    if (rate)
        update_rate = W().revised_rate ? W().revised_rate : *rate;
    *revised = update_rate;
    if (act)
        active = *act;
    if (bias)
        time_bias = *bias;
    if (band)
        deadband = *band;
    if (loc)
        lcid = *loc;
    if (hc)
        client_handle = *hc;
    return S_OK;
}

HRESULT FakeGroup::SetName(const OLECHAR* n) {
    if (HRESULT hr = W().Hook("SetName"); FAILED(hr))
        return hr;
    if (W().refused_names.count(Str(n)))
        return OPC_E_DUPLICATENAME;
    name = Str(n);
    return S_OK;
}

HRESULT FakeGroup::AddItems(DWORD count, const ItemDef* defs, ItemResult** results, HRESULT** errors) {
    if (HRESULT hr = W().Hook("AddItems"); FAILED(hr))
        return hr;
    *results = TaskArray<ItemResult>(count);
    *errors = TaskArray<HRESULT>(count);
    HRESULT whole = S_OK;
    for (DWORD i = 0; i < count; ++i) {
        std::u16string id = Str(defs[i].szItemID);
        if (!W().known_items.count(id)) {
            (*errors)[i] = OPC_E_UNKNOWNITEMID;
            whole = S_FALSE;
            continue;
        }
        FakeItem item{id, defs[i].hClient, W().next_handle++, defs[i].bActive != 0};
        items.push_back(item);
        (*results)[i].hServer = item.server;
        (*results)[i].vtCanonicalDataType = VT_I4;
    }
    return whole;
}

HRESULT FakeGroup::ValidateItems(DWORD count, const ItemDef* defs, BOOL, ItemResult** results,
                                 HRESULT** errors) {
    if (HRESULT hr = W().Hook("ValidateItems"); FAILED(hr))
        return hr;
    *results = TaskArray<ItemResult>(count);
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i)
        if (!W().known_items.count(Str(defs[i].szItemID)))
            (*errors)[i] = OPC_E_UNKNOWNITEMID;
    return S_OK;
}

HRESULT FakeGroup::RemoveItems(DWORD count, const OPCHANDLE* servers, HRESULT** errors) {
    if (HRESULT hr = W().Hook("RemoveItems"); FAILED(hr))
        return hr;
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        auto it = std::find_if(items.begin(), items.end(), [&](auto& x) { return x.server == servers[i]; });
        if (it == items.end())
            (*errors)[i] = OPC_E_INVALIDHANDLE;
        else
            items.erase(it);
    }
    return S_OK;
}

HRESULT FakeGroup::SetActiveState(DWORD count, const OPCHANDLE* servers, BOOL act, HRESULT** errors) {
    if (HRESULT hr = W().Hook("SetActiveState"); FAILED(hr))
        return hr;
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        auto it = std::find_if(items.begin(), items.end(), [&](auto& x) { return x.server == servers[i]; });
        if (it == items.end())
            (*errors)[i] = OPC_E_INVALIDHANDLE;
        else
            it->active = act != 0;
    }
    return S_OK;
}

HRESULT FakeGroup::Read(OPCDATASOURCE source, DWORD count, const OPCHANDLE* servers, ItemState** states,
                        HRESULT** errors) {
    if (HRESULT hr = W().Hook("Read"); FAILED(hr))
        return hr;
    last_read_source = source;
    *states = TaskArray<ItemState>(count);
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        if (W().read_fails_per_item) {
            (*errors)[i] = E_FAIL;
            continue;
        }
        (*states)[i].hClient = servers[i];
        (*states)[i].ftTimeStamp = {0x1234, 0x5678};
        (*states)[i].wQuality = OPC_QUALITY_GOOD;
        (*states)[i].vDataValue.vt = VT_BSTR;
        (*states)[i].vDataValue.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"read value"));
    }
    return S_OK;
}

HRESULT FakeGroup::Write(DWORD count, const OPCHANDLE*, const VARIANT* values, HRESULT** errors) {
    if (HRESULT hr = W().Hook("Write"); FAILED(hr))
        return hr;
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        (*errors)[i] = W().write_fails_per_item ? OPC_E_BADRIGHTS : S_OK;
        last_written.push_back(values[i]);
    }
    return S_OK;
}

HRESULT FakeGroup::Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transaction) {
    if (HRESULT hr = W().Hook("Refresh"); FAILED(hr))
        return hr;
    last_refresh_connection = connection;
    last_refresh_source = source;
    *transaction = 5;
    return S_OK;
}

HRESULT FakeGroup::Write(DWORD count, const OPCHANDLE*, const VARIANT* values, DWORD transaction,
                         DWORD* cancel, HRESULT** errors) {
    if (HRESULT hr = W().Hook("AsyncWrite"); FAILED(hr))
        return hr;
    last_async_write_transaction = transaction;
    *cancel = 1;
    *errors = TaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i)
        last_written.push_back(values[i]);
    return S_OK;
}

HRESULT FakeGroup::Refresh2(OPCDATASOURCE source, DWORD transaction, DWORD* cancel) {
    if (HRESULT hr = W().Hook("Refresh2"); FAILED(hr))
        return hr;
    last_refresh2_transaction = transaction;
    last_refresh_source = source;
    *cancel = 1;
    return S_OK;
}

HRESULT FakeGroup::FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* pp) {
    if (HRESULT hr = W().Hook("FindConnectionPoint(data)"); FAILED(hr))
        return hr;
    if (!SameGuid(riid, IID_IOPCDataCallback))
        return CONNECT_E_NOCONNECTION;
    std::weak_ptr<FakeGroup> self = shared_from_this();
    *pp = std::make_shared<FakeConnectionPoint>([self](std::shared_ptr<Sink> sink) {
        if (HRESULT hr = W().Hook("Advise(data)"); FAILED(hr))
            return hr;
        auto group = self.lock();
        group->data_sink = std::dynamic_pointer_cast<OPCDataCallback>(sink);
        return group->data_sink ? S_OK : CONNECT_E_CANNOTCONNECT;
    });
    return S_OK;
}

HRESULT FakeGroup::DAdvise(const FormatEtc* format, DWORD flags, std::shared_ptr<AdviseSink> sink,
                           DWORD* conn) {
    if (HRESULT hr = W().Hook("DAdvise"); FAILED(hr))
        return hr;
    advised_format = *format;
    advf = flags;
    advise_sink = std::move(sink);
    *conn = 4242;
    return S_OK;
}

void FakeGroup::PostDataChange(std::vector<OPCHANDLE> clients, std::vector<VARIANT> values,
                               std::vector<HRESULT> errors, WORD quality) {
    auto sink = data_sink;
    W().host->Post([sink, clients, values, errors, quality]() mutable {
        std::vector<WORD> qualities(clients.size(), quality);
        std::vector<FILETIME> stamps(clients.size(), FILETIME{0xAAAA, 0xBBBB});
        sink->OnDataChange(0, 0, S_OK, S_OK, static_cast<DWORD>(clients.size()), clients.data(),
                           values.data(), qualities.data(), stamps.data(), errors.data());
        for (auto& v : values)
            VariantClear(&v);
    });
}

void FakeGroup::PostBlock(std::vector<BYTE> block, CLIPFORMAT format, DWORD tymed) {
    auto sink = advise_sink;
    W().host->Post([sink, block = std::move(block), format, tymed]() mutable {
        VectorMemory memory(std::move(block));
        FormatEtc f{format, nullptr, DVASPECT_CONTENT, -1, tymed};
        StgMedium m{tymed, &memory};
        sink->OnDataChange(f, m);
    });
}

} // namespace tagclient::testing

namespace tagclient::transport {
std::unique_ptr<Transport> CreateDefaultTransport(Host& host) {
    if (!tagclient::testing::g_world)
        tagclient::testing::Reset();
    tagclient::testing::W().host = &host;
    return std::make_unique<tagclient::testing::FakeTransport>();
}
} // namespace tagclient::transport
