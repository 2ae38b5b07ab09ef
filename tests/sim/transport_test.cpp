// The simulated transport through the transport interface itself, on a manual clock: interface offers,
// connection points, data objects, task-allocated outputs, the server list and the registry view.
#include "manual_scheduler.hpp"

#include <transport/transport.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace tagclient::transport;
using tagclient::transport::sim::testing::ManualScheduler;

namespace {

CLSID Clsid(const char16_t* text) {
    CLSID c{};
    EXPECT_EQ(CLSIDFromString(reinterpret_cast<LPCOLESTR>(text), &c), S_OK);
    return c;
}

const CLSID kDa2 = Clsid(u"{D886E9B9-5576-47DF-B743-B81B90B0B9BF}");
const CLSID kDa1 = Clsid(u"{8FD8AB6C-C8EF-430D-A694-B1B07D3CF490}");
const CLSID kMinimal = Clsid(u"{F16F3E19-1646-4564-8E98-54E3349DF90F}");

struct CallbackRecord : OPCDataCallback {
    HRESULT OnDataChange(DWORD transid, OPCHANDLE, HRESULT, HRESULT, DWORD count, const OPCHANDLE* handles,
                         const VARIANT* values, const WORD*, const FILETIME*, const HRESULT*) override {
        for (DWORD i = 0; i < count; ++i) {
            VARIANT copy;
            VariantInit(&copy);
            VariantCopy(&copy, &values[i]);
            seen.push_back({transid, handles[i], copy});
        }
        return S_OK;
    }
    HRESULT OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, const OPCHANDLE*, const VARIANT*,
                           const WORD*, const FILETIME*, const HRESULT*) override {
        return S_OK;
    }
    HRESULT OnWriteComplete(DWORD transid, OPCHANDLE, HRESULT, DWORD count, const OPCHANDLE*,
                            const HRESULT* errors) override {
        for (DWORD i = 0; i < count; ++i)
            writes.push_back({transid, errors[i]});
        return S_OK;
    }
    HRESULT OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    ~CallbackRecord() override {
        for (auto& s : seen)
            VariantClear(&s.value);
    }
    struct Seen {
        DWORD transid;
        OPCHANDLE handle;
        VARIANT value;
    };
    std::vector<Seen> seen;
    std::vector<std::pair<DWORD, HRESULT>> writes;
};

struct AdviseRecord : AdviseSink {
    void OnDataChange(const FormatEtc& format, const StgMedium& medium) override {
        formats.push_back(format.cfFormat);
        const BYTE* p = medium.hGlobal->Lock();
        blocks.emplace_back(p, p + medium.hGlobal->Size());
        medium.hGlobal->Unlock();
    }
    void OnViewChange(DWORD, LONG) override {}
    void OnRename() override {}
    void OnSave() override {}
    void OnClose() override {}
    std::vector<CLIPFORMAT> formats;
    std::vector<std::vector<BYTE>> blocks;
};

struct NotASink : Sink {};

class Transport_ : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sim-transport-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_CONFIG_HOME", (dir_ / "home").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir_ / "system").c_str(), 1);
        transport_ = CreateDefaultTransport(host_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::shared_ptr<OPCServer> Server(const CLSID& clsid) {
        std::shared_ptr<ServerObject> object;
        EXPECT_EQ(transport_->CreateServerObject(clsid, nullptr, &object), S_OK);
        return object ? object->QueryOPCServer() : nullptr;
    }
    std::shared_ptr<GroupObject> Group(OPCServer& server, DWORD rate = 100) {
        OPCHANDLE handle = 0;
        DWORD revised = 0;
        std::shared_ptr<GroupObject> group;
        EXPECT_TRUE(
            SUCCEEDED(server.AddGroup(u"", TRUE, rate, 5, nullptr, nullptr, 0, &handle, &revised, &group)));
        return group;
    }
    // Adds one item; its server handle (0 when refused).
    static OPCHANDLE AddItem(GroupObject& group, const char16_t* id, OPCHANDLE client) {
        ItemDef def{};
        std::u16string copy(id);
        def.szItemID = reinterpret_cast<OLECHAR*>(copy.data());
        def.bActive = TRUE;
        def.hClient = client;
        ItemResult* results = nullptr;
        HRESULT* errors = nullptr;
        HRESULT hr = group.QueryItemMgt()->AddItems(1, &def, &results, &errors);
        OPCHANDLE handle = SUCCEEDED(hr) && SUCCEEDED(errors[0]) ? results[0].hServer : 0;
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        return handle;
    }

    ManualScheduler host_;
    std::unique_ptr<Transport> transport_;
    std::filesystem::path dir_;
};

} // namespace

TEST_F(Transport_, ServersOfferTheirInterfacesAndNoOthers) {
    auto da2 = Server(kDa2);
    auto da1 = Server(kDa1);
    auto minimal = Server(kMinimal);
    ASSERT_TRUE(da2 && da1 && minimal);
    EXPECT_TRUE(da2->QueryConnectionPointContainer());
    EXPECT_TRUE(da2->QueryBrowseServerAddressSpace());
    EXPECT_FALSE(da1->QueryConnectionPointContainer());
    EXPECT_TRUE(da1->QueryItemProperties());
    EXPECT_FALSE(minimal->QueryBrowseServerAddressSpace());
    EXPECT_FALSE(minimal->QueryItemProperties());

    auto g2 = Group(*da2);
    EXPECT_TRUE(g2->QueryAsyncIO2() && g2->QueryConnectionPointContainer() && g2->QueryAsyncIO() &&
                g2->QueryDataObject());
    auto g1 = Group(*da1);
    EXPECT_FALSE(g1->QueryAsyncIO2());
    EXPECT_FALSE(g1->QueryConnectionPointContainer());
    EXPECT_TRUE(g1->QueryAsyncIO() && g1->QueryDataObject() && g1->QuerySyncIO());
    auto gm = Group(*minimal);
    EXPECT_FALSE(gm->QueryAsyncIO() || gm->QueryDataObject() || gm->QueryAsyncIO2());
    EXPECT_TRUE(gm->QueryItemMgt() && gm->QueryGroupStateMgt() && gm->QuerySyncIO());

    std::shared_ptr<ServerObject> none;
    EXPECT_EQ(
        transport_->CreateServerObject(Clsid(u"{00000000-0000-0000-0000-000000000001}"), nullptr, &none),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(transport_->CreateServerObject(kDa2, u"unreachable-host.invalid", &none),
              static_cast<HRESULT>(0x800706BAL));
    EXPECT_EQ(transport_->CreateServerObject(kDa2, u"LOCALHOST", &none), S_OK);
}

TEST_F(Transport_, ConnectionPointsCheckTheInterfaceAndTheSink) {
    auto server = Server(kDa2);
    std::shared_ptr<ConnectionPoint> cp;
    auto container = server->QueryConnectionPointContainer();
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, &cp), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, &cp), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(std::make_shared<NotASink>(), &cookie), CONNECT_E_CANNOTCONNECT);

    auto group = Group(*server);
    auto group_cps = group->QueryConnectionPointContainer();
    EXPECT_EQ(group_cps->FindConnectionPoint(IID_IOPCShutdown, &cp), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(group_cps->FindConnectionPoint(IID_IOPCDataCallback, &cp), S_OK);
    auto record = std::make_shared<CallbackRecord>();
    ASSERT_EQ(cp->Advise(record, &cookie), S_OK);
    const OPCHANDLE item = AddItem(*group, u"Array.Real8", 33);
    ASSERT_NE(item, 0u);
    host_.Advance(100);
    ASSERT_EQ(record->seen.size(), 1u);
    EXPECT_EQ(record->seen[0].handle, 33u);
    ASSERT_EQ(record->seen[0].value.vt, VT_ARRAY | VT_R8);
    LONG upper = 0;
    SafeArrayGetUBound(record->seen[0].value.parray, 1, &upper);
    EXPECT_EQ(upper, 9);
    ASSERT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    host_.Advance(3000);
    EXPECT_EQ(record->seen.size(), 1u);
}

TEST_F(Transport_, DataObjectsAcceptOnlyTheDataFormatsInGlobalMemory) {
    auto server = Server(kDa1);
    auto group = Group(*server);
    auto data = group->QueryDataObject();
    auto sink = std::make_shared<AdviseRecord>();
    const CLIPFORMAT data_time = transport_->RegisterClipboardFormat(kFormatDataTime);
    const CLIPFORMAT write_complete = transport_->RegisterClipboardFormat(kFormatWriteComplete);
    EXPECT_EQ(transport_->RegisterClipboardFormat(kFormatDataTime), data_time);
    EXPECT_NE(data_time, write_complete);
    DWORD connection = 0;
    FormatEtc wrong{write_complete, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->DAdvise(&wrong, ADVF_PRIMEFIRST, sink, &connection), DV_E_FORMATETC);
    FormatEtc stream{data_time, nullptr, DVASPECT_CONTENT, -1, 4 /* TYMED_ISTREAM */};
    EXPECT_EQ(data->DAdvise(&stream, ADVF_PRIMEFIRST, sink, &connection), DV_E_TYMED);
    FormatEtc good{data_time, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ASSERT_NE(AddItem(*group, u"Text.Words", 8), 0u);
    ASSERT_EQ(data->DAdvise(&good, ADVF_PRIMEFIRST, sink, &connection), S_OK);
    EXPECT_TRUE(sink->blocks.empty());
    host_.RunPosted(); // the current values, primed at once
    ASSERT_EQ(sink->blocks.size(), 1u);
    EXPECT_EQ(sink->formats[0], data_time);
    const auto& b = sink->blocks[0];
    std::uint32_t size = 0, count = 0, client = 0;
    std::memcpy(&size, b.data(), 4);
    std::memcpy(&count, b.data() + 4, 4);
    std::memcpy(&client, b.data() + 20, 4);
    EXPECT_EQ(size, b.size());
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(client, 8u);

    DWORD transaction = 0;
    ASSERT_EQ(group->QueryAsyncIO()->Refresh(connection, OPC_DS_DEVICE, &transaction), S_OK);
    EXPECT_EQ(sink->blocks.size(), 1u); // later, never inside the call
    host_.RunPosted();
    ASSERT_EQ(sink->blocks.size(), 2u);
    std::uint32_t id = 0;
    std::memcpy(&id, sink->blocks[1].data() + 12, 4);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(id, transaction);
}

TEST_F(Transport_, ReadsAndWritesExchangeTaskAllocatedVariants) {
    auto server = Server(kDa2);
    auto group = Group(*server);
    const OPCHANDLE text = AddItem(*group, u"Memory.String", 1);
    const OPCHANDLE array = AddItem(*group, u"Memory.ArrayOfInt4", 2);
    VARIANT values[2];
    VariantInit(&values[0]);
    VariantInit(&values[1]);
    values[0].vt = VT_BSTR;
    values[0].bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"温度"));
    values[1].vt = VT_ARRAY | VT_VARIANT;
    values[1].parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT* elements = nullptr;
    SafeArrayAccessData(values[1].parray, reinterpret_cast<void**>(&elements));
    elements[0].vt = VT_R8;
    elements[0].dblVal = 4.0;
    elements[1].vt = VT_I2;
    elements[1].iVal = -3;
    SafeArrayUnaccessData(values[1].parray);
    OPCHANDLE handles[2] = {text, array};
    HRESULT* errors = nullptr;
    ASSERT_EQ(group->QuerySyncIO()->Write(2, handles, values, &errors), S_OK);
    CoTaskMemFree(errors);
    VariantClear(&values[0]);
    VariantClear(&values[1]);

    ItemState* states = nullptr;
    ASSERT_EQ(group->QuerySyncIO()->Read(OPC_DS_DEVICE, 2, handles, &states, &errors), S_OK);
    ASSERT_EQ(states[0].vDataValue.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(states[0].vDataValue.bstrVal)), u"温度");
    ASSERT_EQ(states[1].vDataValue.vt, VT_ARRAY | VT_I4);
    LONG index = 1;
    LONG element = 0;
    SafeArrayGetElement(states[1].vDataValue.parray, &index, &element);
    EXPECT_EQ(element, -3);
    for (int i = 0; i < 2; ++i)
        VariantClear(&states[i].vDataValue);
    CoTaskMemFree(states);
    CoTaskMemFree(errors);

    VARIANT unsupported;
    VariantInit(&unsupported);
    unsupported.vt = VT_DISPATCH;
    ASSERT_EQ(group->QuerySyncIO()->Write(1, &text, &unsupported, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADTYPE);
    CoTaskMemFree(errors);
}

TEST_F(Transport_, AsyncWriteNeedsASubscriberAndCompletesLater) {
    auto server = Server(kDa2);
    auto group = Group(*server);
    const OPCHANDLE item = AddItem(*group, u"Memory.Int4", 1);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 9;
    DWORD cancel = 0;
    HRESULT* errors = nullptr;
    EXPECT_EQ(group->QueryAsyncIO2()->Write(1, &item, &v, 2, nullptr, &errors), E_POINTER);
    EXPECT_EQ(group->QueryAsyncIO2()->Write(1, &item, &v, 2, &cancel, nullptr), E_POINTER);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(group->QueryAsyncIO2()->Write(1, &item, &v, 2, &cancel, &errors), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(errors, nullptr);
    std::shared_ptr<ConnectionPoint> cp;
    ASSERT_EQ(group->QueryConnectionPointContainer()->FindConnectionPoint(IID_IOPCDataCallback, &cp), S_OK);
    auto record = std::make_shared<CallbackRecord>();
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(record, &cookie), S_OK);
    ASSERT_EQ(group->QueryAsyncIO2()->Write(1, &item, &v, 2, &cancel, &errors), S_OK);
    CoTaskMemFree(errors);
    EXPECT_TRUE(record->writes.empty());
    host_.RunPosted();
    ASSERT_EQ(record->writes.size(), 1u);
    EXPECT_EQ(record->writes[0].first, 2u);
    EXPECT_EQ(record->writes[0].second, S_OK);
}

TEST_F(Transport_, StatusAndBrowsingHandOverTaskAllocatedText) {
    auto server = Server(kDa2);
    ServerStatus* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(status->wMajorVersion, 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(status->szVendorInfo)),
              u"Tagsink simulated OPC DA 2.0 server");
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    auto browse = server->QueryBrowseServerAddressSpace();
    std::shared_ptr<EnumString> names;
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_LEAF, u"", VT_EMPTY, 0, &names), S_FALSE);
    ASSERT_TRUE(names);
    OLECHAR* name = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(names->Next(1, &name, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_TO, u"Toggle"), S_OK);
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_LEAF, u"*", VT_BOOL, 1, &names), S_OK);
    ASSERT_EQ(names->Next(1, &name, &fetched), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"Boolean");
    CoTaskMemFree(name);
    OLECHAR* id = nullptr;
    ASSERT_EQ(browse->GetItemID(u"Boolean", &id), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(id)), u"Toggle.Boolean");
    CoTaskMemFree(id);

    DWORD count = 0;
    DWORD* ids = nullptr;
    OLECHAR** texts = nullptr;
    VARTYPE* types = nullptr;
    auto props = server->QueryItemProperties();
    ASSERT_EQ(props->QueryAvailableProperties(u"Memory.Int2", &count, &ids, &texts, &types), S_OK);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(types[1], VT_I2);
    for (DWORD i = 0; i < count; ++i)
        CoTaskMemFree(texts[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(texts);
    CoTaskMemFree(types);
    EXPECT_EQ(props->QueryAvailableProperties(u"No.Such", &count, &ids, &texts, &types), OPC_E_UNKNOWNITEMID);
}

TEST_F(Transport_, ServerListAndRegistryFollowCategoriesAndFiles) {
    std::filesystem::create_directories(dir_ / "home/tagclient");
    std::ofstream(dir_ / "home/tagclient/servers.conf")
        << "zeta.Server {AAAAAAAA-0000-0000-0000-00000000000A} da=3 type=\"Zeta\"\n"
        << "Alpha.Marker {garbage}\n"
        << "Beta.NoOpc {AAAAAAAA-0000-0000-0000-00000000000B} opc=no\n";
    std::shared_ptr<OPCServerList> list;
    ASSERT_EQ(transport_->CreateServerList(nullptr, &list), S_OK);
    std::shared_ptr<EnumGUID> classes;
    ASSERT_EQ(list->EnumClassesOfCategories(1, &CATID_OPCDAServer30, 0, nullptr, &classes), S_OK);
    GUID found[4];
    ULONG fetched = 0;
    EXPECT_EQ(classes->Next(4, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    OLECHAR* prog_id = nullptr;
    OLECHAR* type = nullptr;
    ASSERT_EQ(list->GetClassDetails(found[0], &prog_id, &type), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(prog_id)), u"zeta.Server");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(type)), u"Zeta");
    CoTaskMemFree(prog_id);
    CoTaskMemFree(type);
    const GUID zero{};
    ASSERT_EQ(list->EnumClassesOfCategories(1, &zero, 0, nullptr, &classes), S_OK);
    EXPECT_EQ(classes->Next(1, found, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    CLSID clsid{};
    EXPECT_EQ(list->CLSIDFromProgID(u"TAGSINK.SIMSERVER.DA1", &clsid), S_OK);
    EXPECT_TRUE(SameGuid(clsid, kDa1));
    EXPECT_EQ(list->CLSIDFromProgID(u"Alpha.Marker", &clsid), CO_E_CLASSSTRING);

    auto registry = transport_->LocalRegistry();
    std::vector<std::string> keys;
    ASSERT_EQ(registry->EnumRootKeys(&keys), S_OK);
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha.Marker", "Beta.NoOpc", "Tagsink.SimServer.DA1",
                                              "Tagsink.SimServer.DA2", "Tagsink.SimServer.Minimal",
                                              "zeta.Server"}));
    EXPECT_TRUE(registry->KeyExists("alpha.marker\\OPC"));
    EXPECT_FALSE(registry->KeyExists("Beta.NoOpc\\OPC"));
    EXPECT_TRUE(registry->KeyExists("Beta.NoOpc"));
    std::string value;
    ASSERT_EQ(registry->ReadDefaultValue("Alpha.Marker\\CLSID", &value), S_OK);
    EXPECT_EQ(value, "{garbage}");
    EXPECT_TRUE(FAILED(registry->ReadDefaultValue("Nothing\\CLSID", &value)));
    EXPECT_EQ(registry->CLSIDFromProgID(u"Nothing", &clsid), REGDB_E_CLASSNOTREG);

    EXPECT_EQ(transport_->CreateServerList(u"unreachable-host.invalid", &list),
              static_cast<HRESULT>(0x800706BAL));
    EXPECT_FALSE(list);
}
