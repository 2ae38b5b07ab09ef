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
    std::weak_ptr<int> alive = lifeToken_;
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
    lostReason_ = std::move(reason);
}

bool TServer::FailIfLost(const char* source) {
    if (!lost_)
        return false;
    LogError(source, "The connection to the server is lost. " + lostReason_);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Status and procedures

bool TServer::GetServerStatus(FILETIME* startTime, FILETIME* currentTime, FILETIME* lastUpdateTime,
                              std::uint16_t* serverState, std::uint32_t* bandWidth, std::uint32_t* groupCount,
                              std::uint16_t* majorVersion, std::uint16_t* minorVersion,
                              std::uint16_t* buildNumber, char* vendor, std::int32_t vendorMax) {
    return Guarded("TServer.GetServerStatus", false, [&] {
        if (!OPCServer)
            throw InterfaceNotSupported();
        TaskMem<transport::ServerStatus> status;
        std::weak_ptr<int> alive = lifeToken_;
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
        } freeVendor{status};
        if (!status)
            ThrowFailure(E_POINTER);
        const transport::ServerStatus& s = *status.get();
        std::string vendorText = WideToAnsi(s.szVendorInfo);
        if (startTime)
            *startTime = s.ftStartTime;
        if (currentTime)
            *currentTime = s.ftCurrentTime;
        if (lastUpdateTime)
            *lastUpdateTime = s.ftLastUpdateTime;
        if (serverState)
            *serverState = static_cast<std::uint16_t>(s.dwServerState);
        if (bandWidth)
            *bandWidth = s.dwBandWidth;
        if (groupCount)
            *groupCount = s.dwGroupCount;
        if (majorVersion)
            *majorVersion = s.wMajorVersion;
        if (minorVersion)
            *minorVersion = s.wMinorVersion;
        if (buildNumber)
            *buildNumber = s.wBuildNumber;
        CopyOutputString(vendorText, vendor, vendorMax);
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

std::uint32_t TServer::AddGroup(const std::u16string& name, BOOL active, std::uint32_t updateRate,
                                std::int32_t timeBias, float deadband, std::uint32_t lcid) {
    return Guarded("TServer.AddGroup", std::uint32_t{0}, [&]() -> std::uint32_t {
        if (!OPCServer)
            throw InterfaceNotSupported();
        // The server call, the group's initialisation (its reports) and the renaming may run client code
        // that closes this session: watch it, and keep the server for the clean-up of an orphaned group.
        std::weak_ptr<int> alive = lifeToken_;
        std::shared_ptr<transport::OPCServer> server = OPCServer;
        const auto clientHandle = static_cast<transport::OPCHANDLE>(Groups.size());
        transport::OPCHANDLE serverHandle = 0;
        DWORD revised = 0;
        std::shared_ptr<transport::GroupObject> unknown;
        LONG bias = timeBias;
        FLOAT band = deadband;
        Check(server->AddGroup(Ole(name), active, updateRate, clientHandle, &bias, &band, lcid, &serverHandle,
                               &revised, &unknown));
        auto orphaned = [&] {
            unknown.reset();
            server->RemoveGroup(serverHandle, FALSE); // result not examined: the session is gone
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
        group->UpdateRate = updateRate;
        group->UpdateRate = revised;
        group->TimeBias = timeBias;
        group->Deadband = deadband;
        group->ClientHandle = clientHandle;
        group->ServerHandle = serverHandle;
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

bool TServer::SetGroupStat(std::uint32_t handle, std::uint32_t updateRate, BOOL active, std::int32_t timeBias,
                           float deadband, std::uint32_t lcid) {
    return Guarded("TServer.SetGroupStat", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->SetStat(updateRate, active, timeBias, deadband, lcid);
    });
}

bool TServer::GetGroupStat(std::uint32_t handle, std::uint32_t* updateRate, QZDAC_BOOL* active,
                           std::int32_t* timeBias, float* deadband, std::uint32_t* lcid) {
    return Guarded("TServer.GetGroupStat", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->GetStat(updateRate, active, timeBias, deadband, lcid);
    });
}

bool TServer::RefreshGroup(std::uint32_t handle, std::uint16_t dataSource) {
    return Guarded("TServer.RefreshGroup", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->Refresh(dataSource);
    });
}

// ---------------------------------------------------------------------------------------------------------
// Items

std::uint32_t TServer::AddItem(std::uint32_t handle, const std::u16string& itemId) {
    return Guarded("TServer.AddItem", std::uint32_t{0}, [&]() -> std::uint32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItem(itemId, 0, "TGroup.AddItem") : 0;
    });
}

std::uint32_t TServer::AddItemEx(std::uint32_t handle, const std::u16string& itemId,
                                 std::int32_t clientValue) {
    return Guarded("TServer.AddItemEx", std::uint32_t{0}, [&]() -> std::uint32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItem(itemId, clientValue, "TGroup.AddItemEx") : 0;
    });
}

std::int32_t TServer::AddItems(std::uint32_t handle, std::int32_t count, const VARIANT& itemIds,
                               const VARIANT& clientValues, VARIANT* handles) {
    return Guarded("TServer.AddItem", std::int32_t{0}, [&]() -> std::int32_t {
        TGroup* group = FindGroup(handle);
        return group ? group->AddItems(count, itemIds, clientValues, handles) : 0;
    });
}

bool TServer::RemoveItem(std::uint32_t handle, std::uint32_t item) {
    return Guarded("TServer.RemoveItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->RemoveItem(item);
    });
}

bool TServer::ValidateItem(std::uint32_t handle, const std::u16string& itemId, std::uint16_t, std::uint32_t) {
    return Guarded("TServer.ValidateItem", false, [&] {
        TGroup* group = FindGroup(handle);
        return group && group->ValidateItem(itemId);
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
