// One instance of a simulated OPC DA server: what an OPC server object does (groups, status, shutdown
// subscriptions, browsing, item properties, item values and writes), in value terms. The transport adapter
// presents it through the toolkit's transport interfaces.
#pragma once
#include "sim_faults.hpp"
#include "sim_items.hpp"
#include "sim_listeners.hpp"
#include "sim_scheduler.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

class SimGroup;

// What kind of server an instance is: its identity and the interfaces it offers.
struct ServerProfile {
    std::u16string prog_id;
    std::u16string user_type;
    CLSID clsid{};
    std::u16string vendor_info;
    WORD major_version = 1, minor_version = 0, build_number = 0;
    bool implements_d_a1 = false; // component categories it is listed under
    bool implements_d_a2 = false;
    bool hierarchical = true;   // browse organisation (false: flat)
    bool browsing = true;       // offers IOPCBrowseServerAddressSpace
    bool properties = true;     // offers IOPCItemProperties
    bool shutdown_point = true; // offers IConnectionPointContainer with IOPCShutdown
    GroupInterfaces groups;     // what its group objects offer
};

// The fastest update rate a group gets; slower requests are kept as they are.
constexpr DWORD kMinimumUpdateRate = 50;

struct ServerStatusInfo {
    std::uint64_t start_time = 0, current_time = 0, last_update_time = 0; // FILETIME ticks
    DWORD state = 1;                                                      // OPC_STATUS_RUNNING
    DWORD group_count = 0;
    DWORD band_width = 0xFFFFFFFFu; // unknown
    WORD major_version = 0, minor_version = 0, build_number = 0;
    std::u16string vendor_info;
};

struct PropertyInfo {
    DWORD id = 0;
    std::u16string description;
    VARTYPE type = VT_EMPTY;
};

class SimServer : public std::enable_shared_from_this<SimServer> {
public:
    // A new instance. `wall_ticks` is the wall-clock time (FILETIME ticks, UTC) at this moment; item
    // timestamps advance from it with the scheduler's clock.
    static std::shared_ptr<SimServer> Create(ServerProfile profile, std::shared_ptr<Scheduler> scheduler,
                                             std::uint64_t wall_ticks);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    const ServerProfile& Profile() const { return profile_; }
    static const Catalogue& Items();

    // IOPCServer
    HRESULT AddGroup(const std::u16string& name, bool active, DWORD requested_rate, DWORD client_handle,
                     const LONG* time_bias, const FLOAT* percent_deadband, DWORD lcid, DWORD* server_handle,
                     DWORD* revised_rate, std::shared_ptr<SimGroup>* group);
    HRESULT GetStatus(ServerStatusInfo* status);
    HRESULT RemoveGroup(DWORD server_handle, bool force);
    size_t GroupCount() const { return groups_.size(); }

    // The shutdown connection point.
    HRESULT AdviseShutdown(std::shared_ptr<ShutdownListener> listener, DWORD* cookie);
    HRESULT UnadviseShutdown(DWORD cookie);
    // Sends a shutdown request with the reason to every subscriber, from a posted call (as Control.Shutdown).
    void RequestShutdown(std::u16string reason) { PostShutdown(std::move(reason)); }

    // IOPCBrowseServerAddressSpace (the browse position belongs to this instance).
    HRESULT QueryOrganization(DWORD* organization);
    HRESULT ChangeBrowsePosition(DWORD direction, const std::u16string& name);
    HRESULT BrowseItemIds(DWORD browse_type, const std::u16string& filter, VARTYPE data_type, DWORD rights,
                          std::vector<std::u16string>* names);
    HRESULT GetItemId(const std::u16string& name, std::u16string* item_id);
    const std::u16string& BrowsePosition() const { return position_; }

    // IOPCItemProperties
    HRESULT QueryAvailableProperties(const std::u16string& item_id, std::vector<PropertyInfo>* properties);
    HRESULT GetItemProperties(const std::u16string& item_id, const std::vector<DWORD>& ids,
                              std::vector<Value>* values, std::vector<HRESULT>* errors);

    // Item values, shared by the groups of this instance.
    Sample SampleItem(const ItemSpec& spec);
    // A write of one value (coerced to the canonical type); the per-item result.
    HRESULT WriteItem(const ItemSpec& spec, const Value& value);

    Faults& FaultControl() { return faults_; }
    Scheduler& Clock() { return *scheduler_; }
    const std::shared_ptr<Scheduler>& SchedulerRef() const { return scheduler_; }
    // The wall-clock time now, FILETIME ticks (UTC).
    std::uint64_t NowTicks();
    void NoteUpdateSent(std::uint64_t ticks) { last_update_ = ticks; }

private:
    SimServer(ServerProfile profile, std::shared_ptr<Scheduler> scheduler, std::uint64_t wall_ticks);
    HRESULT ApplyControl(const ItemSpec& spec, const Value& value);
    void PostShutdown(std::u16string reason);
    bool NameInUse(const std::u16string& name, const SimGroup* except) const;
    friend class SimGroup;

    struct Cell {
        Value value;
        WORD quality = 0;
        std::uint64_t timestamp = 0;
    };

    ServerProfile profile_;
    std::shared_ptr<Scheduler> scheduler_;
    std::uint64_t wall_start_ = 0;
    std::uint64_t mono_start_ = 0;
    std::uint64_t last_update_ = 0;
    DWORD state_ = 1;
    std::map<DWORD, std::shared_ptr<SimGroup>> groups_;
    DWORD next_group_handle_ = 1;
    std::map<DWORD, std::shared_ptr<ShutdownListener>> shutdown_listeners_;
    DWORD next_cookie_ = 1;
    std::u16string position_;
    std::map<const ItemSpec*, Cell> memory_;
    Faults faults_;
};

} // namespace tagclient::transport::sim
