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
    bool GetServerStatus(FILETIME* start_time, FILETIME* current_time, FILETIME* last_update_time,
                         std::uint16_t* server_state, std::uint32_t* band_width, std::uint32_t* group_count,
                         std::uint16_t* major_version, std::uint16_t* minor_version,
                         std::uint16_t* build_number, char* vendor, std::int32_t vendor_max);
    bool SetShutdownProc(TShutdownProc proc);
    std::uint32_t AddGroup(const std::u16string& name, BOOL active, std::uint32_t update_rate,
                           std::int32_t time_bias, float deadband, std::uint32_t lcid);
    bool RemoveGroup(std::uint32_t group);
    bool SetGroupName(std::uint32_t group, const std::u16string& name);
    bool SetGroupStat(std::uint32_t group, std::uint32_t update_rate, BOOL active, std::int32_t time_bias,
                      float deadband, std::uint32_t lcid);
    bool GetGroupStat(std::uint32_t group, std::uint32_t* update_rate, QZDAC_BOOL* active,
                      std::int32_t* time_bias, float* deadband, std::uint32_t* lcid);
    bool RefreshGroup(std::uint32_t group, std::uint16_t data_source);
    std::uint32_t AddItem(std::uint32_t group, const std::u16string& item_id);
    std::uint32_t AddItemEx(std::uint32_t group, const std::u16string& item_id, std::int32_t client_value);
    std::int32_t AddItems(std::uint32_t group, std::int32_t count, const VARIANT& item_ids,
                          const VARIANT& client_values, VARIANT* handles);
    bool RemoveItem(std::uint32_t group, std::uint32_t item);
    bool ValidateItem(std::uint32_t group, const std::u16string& item_id, std::uint16_t reserved16,
                      std::uint32_t reserved32);
    bool ActiveItem(std::uint32_t group, std::uint32_t item, BOOL active);
    bool ReadItem(std::uint32_t group, std::uint32_t item, VARIANT* value, FILETIME* timestamp,
                  std::uint16_t* quality);
    bool WriteItem(std::uint32_t group, std::uint32_t item, const VARIANT& value, bool async);
    bool GetNameSpace(std::uint16_t* name_space_type);
    bool ChangeBrowsePosition(std::uint16_t direction, const std::u16string& name);
    std::int32_t BrowseItems(std::uint16_t browse_type, const std::u16string& filter,
                             std::uint16_t data_type_filter, std::uint32_t access_rights, VARIANT* names);
    bool GetItemFullName(const std::u16string& name, char* buffer, std::int32_t max_length);
    std::int32_t GetItemProperties(const std::u16string& item_id, VARIANT* property_ids, VARIANT* data_types,
                                   VARIANT* descriptions);
    bool GetItemPropertyValue(const std::u16string& item_id, std::int32_t property_id, VARIANT* value);

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
    const std::string& LostReason() const { return lost_reason_; }
    void MarkLost(std::string reason);
    // Reports the lost link under `source` and returns true when the session is lost.
    bool FailIfLost(const char* source);
    // Alive while the session is: whoever calls a client procedure or the server watches it to stop
    // touching a session that the procedure (or a notification run meanwhile) disconnected.
    std::weak_ptr<int> Life() const { return life_token_; }

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
    std::string lost_reason_;
    std::shared_ptr<int> life_token_ = std::make_shared<int>(0);
};

} // namespace tagclient
