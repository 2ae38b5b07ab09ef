// A scripted transport for the toolkit tests: it counts every server call, fails the operations a test
// names with the HRESULT it names, offers or withholds each optional interface, and lets the test fire
// notifications (data changes, data-object blocks, shutdown requests) through the core's Host.
#pragma once
#include <transport/transport.hpp>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tagclient::testing {

using namespace tagclient::transport;

struct GroupConfig {
    bool item_mgt = true;
    bool state_mgt = true;
    bool sync_io = true;
    bool async_io = false;
    bool async_i_o2 = true;
    bool connection_points = true;
    bool data_object = true;
};

struct ServerConfig {
    bool opc_server = true;
    bool item_properties = true;
    bool browse = true;
    bool connection_points = true;
    GroupConfig group;
};

class FakeGroup;

struct FakeItem {
    std::u16string id;
    OPCHANDLE client = 0;
    OPCHANDLE server = 0;
    bool active = true;
};

// Everything a test scripts and inspects. Reset before each test.
struct World {
    // Calls in order ("AddGroup", "RemoveGroup", "AddItems", ...), and failures to inject by name.
    std::vector<std::string> calls;
    std::map<std::string, HRESULT> fail;
    // Client code to run inside the next call of an operation (once), as an incoming call or notification
    // that a COM apartment dispatches while its thread waits for a call's answer.
    std::map<std::string, std::function<void()>> during;
    HRESULT Hook(const std::string& op);
    int Count(const std::string& op) const;

    std::string computer_name = "TESTHOST";
    bool local_server_list = true;                    // the server-list component exists on this computer
    std::set<std::u16string> remote_hosts_with_list;  // remote hosts that have one
    std::set<std::u16string> reachable_hosts;         // remote hosts where objects can be created
    std::map<std::u16string, GUID> list_prog_ids;     // known to the server-list component
    std::map<std::u16string, GUID> registry_prog_ids; // known to the local registry
    std::vector<GUID> category_classes;               // EnumClassesOfCategories answer
    std::map<std::u16string, std::u16string>
        class_details; // class text -> ProgID (missing: GetClassDetails fails)
    std::vector<std::string> registry_keys;
    std::set<std::string> registry_existing;
    std::map<std::string, std::string> registry_defaults;
    GUID last_category{};

    std::map<std::u16string, ServerConfig> classes; // class text "{...}" -> what the server offers
    std::u16string last_create_host;                // host of the last CreateServerObject ("" = local)
    std::set<std::u16string> known_items;           // items a group accepts
    std::set<std::u16string> refused_names;         // group names SetName refuses
    DWORD revised_rate = 0;                         // when non-zero, the rate AddGroup/SetState revise to
    std::u16string vendor = u"Fake vendor 1.0";
    bool read_fails_per_item = false;
    bool write_fails_per_item = false;

    std::vector<std::shared_ptr<FakeGroup>> groups; // every group created, in order
    std::shared_ptr<OPCShutdown> last_shutdown_sink;
    std::vector<DWORD> add_group_client_handles;

    Host* host = nullptr;
    DWORD next_handle = 1000;
};

World& W();
void Reset();

class FakeGroup final : public GroupObject,
                        public OPCGroupStateMgt,
                        public OPCItemMgt,
                        public OPCSyncIO,
                        public OPCAsyncIO,
                        public OPCAsyncIO2,
                        public ConnectionPointContainer,
                        public DataObject,
                        public std::enable_shared_from_this<FakeGroup> {
public:
    explicit FakeGroup(GroupConfig config) : config(config) {}
    std::shared_ptr<OPCItemMgt> QueryItemMgt() override;
    std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() override;
    std::shared_ptr<OPCAsyncIO> QueryAsyncIO() override;
    std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() override;
    std::shared_ptr<OPCSyncIO> QuerySyncIO() override;
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override;
    std::shared_ptr<DataObject> QueryDataObject() override;

    HRESULT GetState(DWORD*, BOOL*, OLECHAR**, LONG*, FLOAT*, DWORD*, OPCHANDLE*, OPCHANDLE*) override;
    HRESULT SetState(const DWORD*, DWORD*, const BOOL*, const LONG*, const FLOAT*, const DWORD*,
                     const OPCHANDLE*) override;
    HRESULT SetName(const OLECHAR*) override;
    HRESULT AddItems(DWORD, const ItemDef*, ItemResult**, HRESULT**) override;
    HRESULT ValidateItems(DWORD, const ItemDef*, BOOL, ItemResult**, HRESULT**) override;
    HRESULT RemoveItems(DWORD, const OPCHANDLE*, HRESULT**) override;
    HRESULT SetActiveState(DWORD, const OPCHANDLE*, BOOL, HRESULT**) override;
    HRESULT Read(OPCDATASOURCE, DWORD, const OPCHANDLE*, ItemState**, HRESULT**) override;
    HRESULT Write(DWORD, const OPCHANDLE*, const VARIANT*, HRESULT**) override;
    HRESULT Refresh(DWORD, OPCDATASOURCE, DWORD*) override;
    HRESULT Write(DWORD, const OPCHANDLE*, const VARIANT*, DWORD, DWORD*, HRESULT**) override;
    HRESULT Refresh2(OPCDATASOURCE, DWORD, DWORD*) override;
    HRESULT FindConnectionPoint(const IID&, std::shared_ptr<ConnectionPoint>*) override;
    HRESULT DAdvise(const FormatEtc*, DWORD, std::shared_ptr<AdviseSink>, DWORD*) override;
    HRESULT DUnadvise(DWORD) override { return S_OK; }

    // Posts a connection-point notification (through the Host, as a backend must).
    void PostDataChange(std::vector<OPCHANDLE> clients, std::vector<VARIANT> values,
                        std::vector<HRESULT> errors, WORD quality = OPC_QUALITY_GOOD);
    // Posts a data-object notification with the given block and format number.
    void PostBlock(std::vector<BYTE> block, CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL);

    GroupConfig config;
    std::u16string name;
    OPCHANDLE client_handle = 0, server_handle = 0;
    DWORD update_rate = 0;
    BOOL active = 0;
    LONG time_bias = 0;
    FLOAT deadband = 0;
    DWORD lcid = 0;
    std::vector<FakeItem> items;
    std::vector<std::u16string> written_ids;
    std::vector<VARIANT> last_written; // not owned: only vt and scalar checked
    std::shared_ptr<OPCDataCallback> data_sink;
    std::shared_ptr<AdviseSink> advise_sink;
    FormatEtc advised_format{};
    DWORD advf = 0;
    DWORD last_refresh_connection = 0, last_refresh2_transaction = 99, last_async_write_transaction = 0;
    DWORD last_read_source = 0, last_refresh_source = 0;
    bool removed = false;
};

// The stream formats as the fake registers them.
CLIPFORMAT FormatNumber(const char16_t* name);

std::u16string GuidText(const GUID& g);
GUID MakeGuid(uint32_t n);

} // namespace tagclient::testing
