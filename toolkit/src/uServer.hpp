// Sessions: TServer, the connection to one OPC DA server instance, and its shutdown sink TOPCShutDown.
#pragma once
#include <tagclient.h>
#include <transport/transport.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tagclient {

class TGroup;
class TServer;
struct TItem;

// The session's IOPCShutdown sink. Its back reference is not counted: the session detaches it when it is
// destroyed, so a late shutdown request reaches nothing.
class TOPCShutDown final : public transport::OPCShutdown {
public:
    explicit TOPCShutDown(TServer* session) : Session(session) {}
    HRESULT ShutdownRequest(const OLECHAR* szReason) override;
    TServer* Session;
};

class TServer {
public:
    TServer();
    ~TServer(); // the teardown: poll stopped, groups removed last first, interfaces released
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    // "TServer.Connect": resolves the class, creates the server object, subscribes to shutdown and starts
    // the keep-alive poll. Returns Handle, or 0 (failures reported).
    std::uint32_t Connect();

    // Session-level steps of the exports (each its own catch-all region).
    bool GetServerStatus(FILETIME* startTime, FILETIME* currentTime, FILETIME* lastUpdateTime,
                         std::uint16_t* serverState, std::uint32_t* bandWidth, std::uint32_t* groupCount,
                         std::uint16_t* majorVersion, std::uint16_t* minorVersion, std::uint16_t* buildNumber,
                         char* vendor, std::int32_t vendorMax);
    bool SetShutdownProc(TShutdownProc proc);
    std::uint32_t AddGroup(const std::u16string& name, BOOL active, std::uint32_t updateRate,
                           std::int32_t timeBias, float deadband, std::uint32_t lcid);
    bool RemoveGroup(std::uint32_t group);
    bool SetGroupName(std::uint32_t group, const std::u16string& name);
    bool SetGroupStat(std::uint32_t group, std::uint32_t updateRate, BOOL active, std::int32_t timeBias,
                      float deadband, std::uint32_t lcid);
    bool GetGroupStat(std::uint32_t group, std::uint32_t* updateRate, QZDAC_BOOL* active,
                      std::int32_t* timeBias, float* deadband, std::uint32_t* lcid);
    bool RefreshGroup(std::uint32_t group, std::uint16_t dataSource);
    std::uint32_t AddItem(std::uint32_t group, const std::u16string& itemId);
    std::uint32_t AddItemEx(std::uint32_t group, const std::u16string& itemId, std::int32_t clientValue);
    std::int32_t AddItems(std::uint32_t group, std::int32_t count, const VARIANT& itemIds,
                          const VARIANT& clientValues, VARIANT* handles);
    bool RemoveItem(std::uint32_t group, std::uint32_t item);
    bool ValidateItem(std::uint32_t group, const std::u16string& itemId, std::uint16_t reserved16,
                      std::uint32_t reserved32);
    bool ActiveItem(std::uint32_t group, std::uint32_t item, BOOL active);
    bool ReadItem(std::uint32_t group, std::uint32_t item, VARIANT* value, FILETIME* timestamp,
                  std::uint16_t* quality);
    bool WriteItem(std::uint32_t group, std::uint32_t item, const VARIANT& value, bool async);
    bool GetNameSpace(std::uint16_t* nameSpaceType);
    bool ChangeBrowsePosition(std::uint16_t direction, const std::u16string& name);
    std::int32_t BrowseItems(std::uint16_t browseType, const std::u16string& filter,
                             std::uint16_t dataTypeFilter, std::uint32_t accessRights, VARIANT* names);
    bool GetItemFullName(const std::u16string& name, char* buffer, std::int32_t maxLength);
    std::int32_t GetItemProperties(const std::u16string& itemId, VARIANT* propertyIds, VARIANT* dataTypes,
                                   VARIANT* descriptions);
    bool GetItemPropertyValue(const std::u16string& itemId, std::int32_t propertyId, VARIANT* value);

    // Dispatch: one call of the client's data-change procedure with a copy of the value, cleared after.
    void Dispatch(TGroup& group, const TItem& item, const VARIANT& value, const FILETIME& timestamp,
                  std::uint16_t quality);
    // The server's shutdown request (through the sink).
    void OnShutdownRequest(const OLECHAR* reason);

    // The lost link. A session is lost once a status poll (the keep-alive or QZDAC_GetServerStatus) failed
    // with a code that means the server or the way to it is gone, or once the server asked its clients to
    // leave. A lost session never calls its server again; its exports fail with a report (FailIfLost)
    // until it is disconnected, which only releases what it holds.
    bool Lost() const { return lost_; }
    const std::string& LostReason() const { return lostReason_; }
    void MarkLost(std::string reason);
    // Reports the lost link under `source` and returns true when the session is lost.
    bool FailIfLost(const char* source);
    // Alive while the session is: whoever calls a client procedure or the server watches it to stop
    // touching a session that the procedure (or a notification run meanwhile) disconnected.
    std::weak_ptr<int> Life() const { return lifeToken_; }

    // The group of this session with this handle, or null.
    TGroup* FindGroup(std::uint32_t handle);
    bool HasPollTimer() const { return timer_ != 0; }

    // The session's groups in creation order (the list class).
    std::vector<std::unique_ptr<TGroup>> Groups;

    DWORD ShutdownCookie = 0;
    std::shared_ptr<transport::OPCServer> OPCServer;
    std::shared_ptr<transport::OPCBrowseServerAddressSpace> BrowseSpace;
    std::shared_ptr<transport::OPCItemProperties> ItemProperties;
    std::shared_ptr<TOPCShutDown> ShutdownSink;
    TShutdownProc ShutdownProc = nullptr;
    TDataChangeProc DataChangeProc = nullptr;
    TDataChangeExProc DataChangeExProc = nullptr;
    std::int32_t Option = 0;
    std::string ServerName;
    std::string HostName;
    std::uint32_t Handle = 0;

private:
    std::optional<CLSID> ResolveClassId();
    void StopPoll();
    void Poll();                           // one keep-alive GetStatus
    void RemoveGroupAt(std::size_t index); // server RemoveGroup (force FALSE), then destruction
    transport::Host::TimerId timer_ = 0;   // the keep-alive poll (the "timer window")
    bool lost_ = false;
    std::string lostReason_;
    std::shared_ptr<int> lifeToken_ = std::make_shared<int>(0);
};

} // namespace tagclient
