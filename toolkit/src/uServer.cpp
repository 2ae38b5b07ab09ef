#include "uServer.hpp"

#include "library.hpp"
#include "uGroup.hpp"
#include "uRoutine.hpp"

#include <algorithm>

namespace tagclient {

namespace {
constexpr std::uint32_t kKeepAliveMs = 5000;

const OLECHAR* Ole(const std::u16string& s) {
    return reinterpret_cast<const OLECHAR*>(s.c_str());
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// TOPCShutDown

HRESULT TOPCShutDown::ShutdownRequest(const OLECHAR* szReason) {
    if (TServer* session = Session) // null once the session is gone
        session->OnShutdownRequest(szReason);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------------------
// Life of a session

TServer::TServer() : ShutdownSink(std::make_shared<TOPCShutDown>(this)), Handle(Library::Get().NewHandle()) {}

TServer::~TServer() {
    StopPoll();
    for (std::size_t i = Groups.size(); i-- > 0;)
        RemoveGroupAt(i);
    Groups.clear();
    if (ShutdownSink)
        ShutdownSink->Session = nullptr; // a late ShutdownRequest reaches nothing
    ShutdownSink.reset();
    ItemProperties.reset();
    BrowseSpace.reset();
    OPCServer.reset();
}

void TServer::StopPoll() {
    if (timer_) {
        Library::Get().Events().StopTimer(timer_);
        timer_ = 0;
    }
}

// One group of the teardown: the server's RemoveGroup (force FALSE; a refusal is reported and the group is
// still dropped), then destruction of the group.
void TServer::RemoveGroupAt(std::size_t index) {
    std::unique_ptr<TGroup> group = std::move(Groups[index]);
    Groups.erase(Groups.begin() + static_cast<std::ptrdiff_t>(index));
    if (lost_) // nobody to tell: the group's interfaces are only released
        return;
    Guarded("TServer.RemoveGroup", 0, [&] {
        if (!OPCServer)
            throw InterfaceNotSupported();
        Check(OPCServer->RemoveGroup(group->ServerHandle, FALSE));
        return 0;
    });
    group.reset();
}

std::optional<CLSID> TServer::ResolveClassId() {
    try {
        Library& lib = Library::Get();
        std::u16string name = AnsiToWide(ServerName.c_str());
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromString(Ole(name), &clsid)))
            return clsid;
        const bool local = lib.IsLocalHost(HostName);
        std::u16string host = AnsiToWide(HostName.c_str());
        std::shared_ptr<transport::OPCServerList> list;
        HRESULT hr = lib.Transport().CreateServerList(local ? nullptr : Ole(host), &list);
        if (SUCCEEDED(hr) && list) {
            if (SUCCEEDED(list->CLSIDFromProgID(Ole(name), &clsid)))
                return clsid;
            return std::nullopt;
        }
        if (local) {
            if (auto registry = lib.Transport().LocalRegistry())
                if (SUCCEEDED(registry->CLSIDFromProgID(Ole(name), &clsid)))
                    return clsid;
        }
    } catch (...) {
        // any failure here only means that the class is not resolved
    }
    return std::nullopt;
}

std::uint32_t TServer::Connect() {
    std::optional<CLSID> clsid = ResolveClassId();
    if (!clsid)
        return 0;
    return Guarded("TServer.Connect", std::uint32_t{0}, [&]() -> std::uint32_t {
        Library& lib = Library::Get();
        const bool local = lib.IsLocalHost(HostName);
        std::u16string host = AnsiToWide(HostName.c_str());
        std::shared_ptr<transport::ServerObject> object;
        Check(lib.Transport().CreateServerObject(*clsid, local ? nullptr : Ole(host), &object));
        if (!object)
            throw InterfaceNotSupported();
        OPCServer = object->QueryOPCServer();
        if (!OPCServer)
            throw InterfaceNotSupported();
        ItemProperties = OPCServer->QueryItemProperties();
        BrowseSpace = OPCServer->QueryBrowseServerAddressSpace();
        if (auto container = OPCServer->QueryConnectionPointContainer()) {
            std::shared_ptr<transport::ConnectionPoint> point;
            if (SUCCEEDED(container->FindConnectionPoint(transport::IID_IOPCShutdown, &point)) && point) {
                DWORD cookie = 0;
                point->Advise(ShutdownSink, &cookie); // result not examined
                ShutdownCookie = cookie;
            }
            // The keep-alive poll: GetStatus every 5000 ms on the client thread.
            timer_ = lib.Events().StartTimer(kKeepAliveMs, [this] { Poll(); });
        }
        return Handle;
    });
}

// A failing poll is ignored unless its code means that the server is gone: then the session is lost (no
// report here; the next export tells).
void TServer::Poll() {
    if (!OPCServer || lost_)
        return;
    std::weak_ptr<int> alive = life_token_;
    transport::ServerStatus* status = nullptr;
    const HRESULT hr = OPCServer->GetStatus(&status);
    if (SUCCEEDED(hr) && status) {
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
    if (alive.expired()) // a notification run during the call closed the session
        return;
    if (FAILED(hr) && IsDisconnection(hr))
        MarkLost(HResultMessage(hr));
}

void TServer::OnShutdownRequest(const OLECHAR* reason) {
    std::string text;
    try {
        text = WideToAnsi(reason);
    } catch (...) {
        // a reason the code page cannot carry is left out
    }
    MarkLost(text.empty() ? std::string("The server asked its clients to disconnect.")
                          : "The server asked its clients to disconnect: " + text);
    if (TShutdownProc proc = ShutdownProc)
        proc(Handle); // may disconnect this session: touch nothing of it afterwards
}

void TServer::MarkLost(std::string reason) {
    StopPoll();
    if (lost_)
        return;
    lost_ = true;
    lost_reason_ = std::move(reason);
}

bool TServer::FailIfLost(const char* source) {
    if (!lost_)
        return false;
    LogError(source, "The connection to the server is lost. " + lost_reason_);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Status and procedures

bool TServer::GetServerStatus(FILETIME* start_time, FILETIME* current_time, FILETIME* last_update_time,
                              std::uint16_t* server_state, std::uint32_t* band_width,
                              std::uint32_t* group_count, std::uint16_t* major_version,
                              std::uint16_t* minor_version, std::uint16_t* build_number, char* vendor,
                              std::int32_t vendor_max) {
    return Guarded("TServer.GetServerStatus", false, [&] {
        if (!OPCServer)
            throw InterfaceNotSupported();
        TaskMem<transport::ServerStatus> status;
        std::weak_ptr<int> alive = life_token_;
        const HRESULT hr = OPCServer->GetStatus(status.out());
        if (FAILED(hr) && IsDisconnection(hr) && !alive.expired())
            MarkLost(HResultMessage(hr));
        Check(hr);
        struct FreeVendor {
            TaskMem<transport::ServerStatus>& s;
            ~FreeVendor() {
                if (s)
                    CoTaskMemFree(s.get()->szVendorInfo);
            }
        } free_vendor{status};
        if (!status)
            ThrowFailure(E_POINTER);
        const transport::ServerStatus& s = *status.get();
        std::string vendor_text = WideToAnsi(s.szVendorInfo);
        if (start_time)
            *start_time = s.ftStartTime;
        if (current_time)
            *current_time = s.ftCurrentTime;
        if (last_update_time)
            *last_update_time = s.ftLastUpdateTime;
        if (server_state)
            *server_state = static_cast<std::uint16_t>(s.dwServerState);
        if (band_width)
            *band_width = s.dwBandWidth;
        if (group_count)
            *group_count = s.dwGroupCount;
        if (major_version)
            *major_version = s.wMajorVersion;
        if (minor_version)
            *minor_version = s.wMinorVersion;
        if (build_number)
            *build_number = s.wBuildNumber;
        CopyOutputString(vendor_text, vendor, vendor_max);
        return true;
    });
}

bool TServer::SetShutdownProc(TShutdownProc proc) {
    return Guarded("TServer.SetShutdownProc", false, [&] {
        ShutdownProc = proc;
        return true;
    });
}

void TServer::Dispatch(TGroup& group, const TItem& item, const VARIANT& value, const FILETIME& timestamp,
                       std::uint16_t quality) {
    qz::Variant copy; // the procedure's value; cleared when the call returns, also on failure
    Check(VariantCopy(copy.out(), const_cast<VARIANT*>(&value)));
    if (TDataChangeExProc ex = DataChangeExProc)
        ex(Handle, group.Handle, item.Handle, item.ClientValue, copy.get(), timestamp, quality);
    else if (TDataChangeProc plain = DataChangeProc)
        plain(Handle, group.Handle, item.Handle, copy.get(), timestamp, quality);
}

// ---------------------------------------------------------------------------------------------------------
// Groups

TGroup* TServer::FindGroup(std::uint32_t handle) {
    if (handle == 0)
        return nullptr;
    for (auto& g : Groups)
        if (g && g->Handle == handle)
            return g.get();
    return nullptr;
}

std::uint32_t TServer::AddGroup(const std::u16string& name, BOOL active, std::uint32_t update_rate,
                                std::int32_t time_bias, float deadband, std::uint32_t lcid) {
    return Guarded("TServer.AddGroup", std::uint32_t{0}, [&]() -> std::uint32_t {
        if (!OPCServer)
            throw InterfaceNotSupported();
        // The server call, the group's initialisation (its reports) and the renaming may run client code
        // that closes this session: watch it, and keep the server for the clean-up of an orphaned group.
        std::weak_ptr<int> alive = life_token_;
        std::shared_ptr<transport::OPCServer> server = OPCServer;
        const auto client_handle = static_cast<transport::OPCHANDLE>(Groups.size());
        transport::OPCHANDLE server_handle = 0;
        DWORD revised = 0;
        std::shared_ptr<transport::GroupObject> unknown;
        LONG bias = time_bias;
        FLOAT band = deadband;
        Check(server->AddGroup(Ole(name), active, update_rate, client_handle, &bias, &band, lcid,
                               &server_handle, &revised, &unknown));
        auto orphaned = [&] {
            unknown.reset();
            server->RemoveGroup(server_handle, FALSE); // result not examined: the session is gone
            return std::uint32_t{0};
        };
        if (alive.expired())
            return orphaned();
        if (!unknown)
            throw InterfaceNotSupported();
        auto group = std::make_unique<TGroup>(this, unknown);
        if (alive.expired()) {
            group.reset();
            return orphaned();
        }
        group->Rename(name);
        if (alive.expired()) {
            group.reset();
            return orphaned();
        }
        group->Active = active != 0;
        group->UpdateRate = update_rate;
        group->UpdateRate = revised;
        group->TimeBias = time_bias;
        group->Deadband = deadband;
        group->ClientHandle = client_handle;
        group->ServerHandle = server_handle;
        group->LCID = lcid;
        Groups.push_back(std::move(group));
        return Groups.back()->Handle;
    });
}

bool TServer::RemoveGroup(std::uint32_t handle) {
    return Guarded("TServer.RemoveGroup", false, [&] {
        TGroup* group = FindGroup(handle);
        if (!group)
            return false;
        if (!OPCServer)
            throw InterfaceNotSupported();
        Check(OPCServer->RemoveGroup(group->ServerHandle, FALSE));
        // The group may have gone meanwhile (a notification run during the call): look it up again.
        auto it = std::find_if(Groups.begin(), Groups.end(), [&](auto& g) { return g.get() == group; });
        if (it != Groups.end()) {
            std::unique_ptr<TGroup> owned = std::move(*it);
            Groups.erase(it);
        }
        return true;
    });
}

bool TServer::SetGroupName(std::uint32_t handle, const std::u16string& name) {
    return Guarded("TServer.SetGroupName", false, [&] {
        TGroup* group = FindGroup(handle);
        if (!group)
            return false;
        group->Rename(name);
        return true;
    });
}

bool TServer::SetGroupStat(std::uint32_t handle, std::uint32_t update_rate, BOOL active,
                           std::int32_t time_bias, float deadband, std::uint32_t lcid) {
    return Guarded("TServer.SetGroupStat", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->SetStat(update_rate, active, time_bias, deadband, lcid);
    });
}

bool TServer::GetGroupStat(std::uint32_t handle, std::uint32_t* update_rate, QZDAC_BOOL* active,
                           std::int32_t* time_bias, float* deadband, std::uint32_t* lcid) {
    return Guarded("TServer.GetGroupStat", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->GetStat(update_rate, active, time_bias, deadband, lcid);
    });
}

bool TServer::RefreshGroup(std::uint32_t handle, std::uint16_t data_source) {
    return Guarded("TServer.RefreshGroup", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->Refresh(data_source);
    });
}

// ---------------------------------------------------------------------------------------------------------
// Items

std::uint32_t TServer::AddItem(std::uint32_t handle, const std::u16string& item_id) {
    return Guarded("TServer.AddItem", std::uint32_t{0}, [&]() -> std::uint32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItem(item_id, 0, "TGroup.AddItem") : 0;
    });
}

std::uint32_t TServer::AddItemEx(std::uint32_t handle, const std::u16string& item_id,
                                 std::int32_t client_value) {
    return Guarded("TServer.AddItemEx", std::uint32_t{0}, [&]() -> std::uint32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItem(item_id, client_value, "TGroup.AddItemEx") : 0;
    });
}

std::int32_t TServer::AddItems(std::uint32_t handle, std::int32_t count, const VARIANT& item_ids,
                               const VARIANT& client_values, VARIANT* handles) {
    return Guarded("TServer.AddItem", std::int32_t{0}, [&]() -> std::int32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItems(count, item_ids, client_values, handles) : 0;
    });
}

bool TServer::RemoveItem(std::uint32_t handle, std::uint32_t item) {
    return Guarded("TServer.RemoveItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->RemoveItem(item);
    });
}

bool TServer::ValidateItem(std::uint32_t handle, const std::u16string& item_id, std::uint16_t,
                           std::uint32_t) {
    return Guarded("TServer.ValidateItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->ValidateItem(item_id);
    });
}

bool TServer::ActiveItem(std::uint32_t handle, std::uint32_t item, BOOL active) {
    return Guarded("TServer.ActiveItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->ActiveItem(item, active);
    });
}

bool TServer::ReadItem(std::uint32_t handle, std::uint32_t item, VARIANT* value, FILETIME* timestamp,
                       std::uint16_t* quality) {
    return Guarded("TServer.ReadItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->ReadItem(item, value, timestamp, quality);
    });
}

bool TServer::WriteItem(std::uint32_t handle, std::uint32_t item, const VARIANT& value, bool async) {
    return Guarded("TServer.WriteItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->WriteItem(item, value, async);
    });
}

} // namespace tagclient
