// One group of a simulated server: its state, its items, the update timer that paces data changes at the
// group's rate with its percent deadband, and its subscriptions (connection point and data object).
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

class SimServer;

struct ItemRequest {
    std::u16string item_id;
    std::u16string access_path;
    bool active = true;
    DWORD client_handle = 0;
    VARTYPE requested_type = VT_EMPTY;
};

struct ItemAddResult {
    DWORD server_handle = 0;
    VARTYPE canonical_type = VT_EMPTY;
    DWORD access_rights = 0;
};

struct ItemRead {
    DWORD client_handle = 0;
    Value value;
    WORD quality = 0;
    std::uint64_t timestamp = 0;
};

struct GroupState {
    DWORD update_rate = 0;
    bool active = false;
    std::u16string name;
    LONG time_bias = 0;
    FLOAT percent_deadband = 0;
    DWORD lcid = 0;
    DWORD client_handle = 0;
    DWORD server_handle = 0;
};

class SimGroup : public std::enable_shared_from_this<SimGroup> {
public:
    ~SimGroup();
    SimGroup(const SimGroup&) = delete;
    SimGroup& operator=(const SimGroup&) = delete;

    // The interfaces this group object offers (fixed when it was created).
    const GroupInterfaces& Interfaces() const { return interfaces_; }
    bool Removed() const { return removed_; }

    // IOPCGroupStateMgt
    HRESULT GetState(GroupState* state);
    HRESULT SetState(const DWORD* requested_rate, DWORD* revised_rate, const BOOL* active,
                     const LONG* time_bias, const FLOAT* percent_deadband, const DWORD* lcid,
                     const DWORD* client_handle);
    HRESULT SetName(const std::u16string& name);

    // IOPCItemMgt
    HRESULT AddItems(const std::vector<ItemRequest>& items, std::vector<ItemAddResult>* results,
                     std::vector<HRESULT>* errors);
    HRESULT ValidateItems(const std::vector<ItemRequest>& items, std::vector<ItemAddResult>* results,
                          std::vector<HRESULT>* errors);
    HRESULT RemoveItems(const std::vector<DWORD>& server_handles, std::vector<HRESULT>* errors);
    HRESULT SetActiveState(const std::vector<DWORD>& server_handles, bool active,
                           std::vector<HRESULT>* errors);
    size_t ItemCount() const { return items_.size(); }

    // IOPCSyncIO (source 1 = cache, 2 = device)
    HRESULT Read(DWORD source, const std::vector<DWORD>& server_handles, std::vector<ItemRead>* values,
                 std::vector<HRESULT>* errors);
    HRESULT Write(const std::vector<DWORD>& server_handles, const std::vector<Value>& values,
                  std::vector<HRESULT>* errors);

    // IOPCAsyncIO2
    HRESULT AsyncWrite(const std::vector<DWORD>& server_handles, const std::vector<Value>& values,
                       DWORD transaction_id, DWORD* cancel_id, std::vector<HRESULT>* errors);
    HRESULT Refresh2(DWORD source, DWORD transaction_id, DWORD* cancel_id);
    // IOPCAsyncIO
    HRESULT Refresh(DWORD connection, DWORD source, DWORD* transaction_id);

    // The IOPCDataCallback connection point.
    HRESULT Advise(std::shared_ptr<DataListener> listener, DWORD* cookie);
    HRESULT Unadvise(DWORD cookie);
    // The data object (formats DATA and DATATIME).
    HRESULT DAdvise(StreamFormat format, bool prime_first, std::shared_ptr<StreamListener> listener,
                    DWORD* connection);
    HRESULT DUnadvise(DWORD connection);

private:
    // The server of a group that is not removed, once the fault control has had its say about `call`;
    // E_FAIL for a removed group or a server that is gone.
    HRESULT Enter(std::u16string_view call, std::shared_ptr<SimServer>& server);

    friend class SimServer;
    SimGroup(std::shared_ptr<SimServer> server, DWORD server_handle, GroupInterfaces interfaces);

    struct Item {
        DWORD server_handle = 0;
        DWORD client_handle = 0;
        const ItemSpec* spec = nullptr;
        bool active = true;
        VARTYPE requested_type = VT_EMPTY;
        bool sent = false; // whether last_value/last_quality hold what was last sent
        Value last_value;
        WORD last_quality = 0;
    };
    struct StreamSubscription {
        StreamFormat format;
        std::shared_ptr<StreamListener> listener;
    };

    HRESULT CheckItem(const ItemRequest& request, const ItemSpec** spec) const;
    // The item's current value as the client asked for it (requested type) and whether a device read
    // fails.
    ItemUpdate Current(const Item& item, DWORD source);
    bool Changed(const Item& item, const Value& value, WORD quality) const;
    void StartTimer();
    void StopTimer();
    void OnUpdateTick();
    std::vector<ItemUpdate> AllActive(DWORD source);
    void DeliverToCallbacks(DWORD transaction_id, const std::vector<ItemUpdate>& updates);
    void DeliverToStream(DWORD connection, DWORD transaction_id, const std::vector<ItemUpdate>& updates);
    void MarkRemoved();
    bool HasSubscribers() const { return !callbacks_.empty() || !streams_.empty(); }

    std::weak_ptr<SimServer> server_;
    std::shared_ptr<Scheduler> scheduler_;
    GroupInterfaces interfaces_;
    GroupState state_;
    bool removed_ = false;
    std::uint64_t timer_ = 0;
    std::map<DWORD, Item> items_;
    DWORD next_item_handle_ = 1;
    std::map<DWORD, std::shared_ptr<DataListener>> callbacks_;
    std::map<DWORD, StreamSubscription> streams_;
    DWORD next_cookie_ = 1;
    DWORD next_transaction_ = 1;
};

} // namespace tagclient::transport::sim
