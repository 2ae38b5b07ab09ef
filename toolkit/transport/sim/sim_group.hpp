// One group of a simulated server: its state, its items, the update timer that paces data changes at the
// group's rate with its percent deadband, and its subscriptions (connection point and data object).
#pragma once
#include "sim_faults.hpp"
#include "sim_items.hpp"
#include "sim_listeners.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

class SimServer;

struct ItemRequest {
    std::u16string itemId;
    std::u16string accessPath;
    bool active = true;
    DWORD clientHandle = 0;
    VARTYPE requestedType = VT_EMPTY;
};

struct ItemAddResult {
    DWORD serverHandle = 0;
    VARTYPE canonicalType = VT_EMPTY;
    DWORD accessRights = 0;
};

struct ItemRead {
    DWORD clientHandle = 0;
    Value value;
    WORD quality = 0;
    std::uint64_t timestamp = 0;
};

struct GroupState {
    DWORD updateRate = 0;
    bool active = false;
    std::u16string name;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0;
    DWORD lcid = 0;
    DWORD clientHandle = 0;
    DWORD serverHandle = 0;
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
    HRESULT SetState(const DWORD* requestedRate, DWORD* revisedRate, const BOOL* active, const LONG* timeBias,
                     const FLOAT* percentDeadband, const DWORD* lcid, const DWORD* clientHandle);
    HRESULT SetName(const std::u16string& name);

    // IOPCItemMgt
    HRESULT AddItems(const std::vector<ItemRequest>& items, std::vector<ItemAddResult>* results,
                     std::vector<HRESULT>* errors);
    HRESULT ValidateItems(const std::vector<ItemRequest>& items, std::vector<ItemAddResult>* results,
                          std::vector<HRESULT>* errors);
    HRESULT RemoveItems(const std::vector<DWORD>& serverHandles, std::vector<HRESULT>* errors);
    HRESULT SetActiveState(const std::vector<DWORD>& serverHandles, bool active,
                           std::vector<HRESULT>* errors);
    size_t ItemCount() const { return items_.size(); }

    // IOPCSyncIO (source 1 = cache, 2 = device)
    HRESULT Read(DWORD source, const std::vector<DWORD>& serverHandles, std::vector<ItemRead>* values,
                 std::vector<HRESULT>* errors);
    HRESULT Write(const std::vector<DWORD>& serverHandles, const std::vector<Value>& values,
                  std::vector<HRESULT>* errors);

    // IOPCAsyncIO2
    HRESULT AsyncWrite(const std::vector<DWORD>& serverHandles, const std::vector<Value>& values,
                       DWORD transactionId, DWORD* cancelId, std::vector<HRESULT>* errors);
    HRESULT Refresh2(DWORD source, DWORD transactionId, DWORD* cancelId);
    // IOPCAsyncIO
    HRESULT Refresh(DWORD connection, DWORD source, DWORD* transactionId);

    // The IOPCDataCallback connection point.
    HRESULT Advise(std::shared_ptr<DataListener> listener, DWORD* cookie);
    HRESULT Unadvise(DWORD cookie);
    // The data object (formats DATA and DATATIME).
    HRESULT DAdvise(StreamFormat format, bool primeFirst, std::shared_ptr<StreamListener> listener,
                    DWORD* connection);
    HRESULT DUnadvise(DWORD connection);

private:
    friend class SimServer;
    SimGroup(std::shared_ptr<SimServer> server, DWORD serverHandle, GroupInterfaces interfaces);

    struct Item {
        DWORD serverHandle = 0;
        DWORD clientHandle = 0;
        const ItemSpec* spec = nullptr;
        bool active = true;
        VARTYPE requestedType = VT_EMPTY;
        bool sent = false; // whether lastValue/lastQuality hold what was last sent
        Value lastValue;
        WORD lastQuality = 0;
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
    void DeliverToCallbacks(DWORD transactionId, const std::vector<ItemUpdate>& updates);
    void DeliverToStream(DWORD connection, DWORD transactionId, const std::vector<ItemUpdate>& updates);
    void MarkRemoved();
    bool HasSubscribers() const { return !callbacks_.empty() || !streams_.empty(); }

    std::weak_ptr<SimServer> server_;
    std::shared_ptr<class Scheduler> scheduler_;
    GroupInterfaces interfaces_;
    GroupState state_;
    bool removed_ = false;
    std::uint64_t timer_ = 0;
    std::map<DWORD, Item> items_;
    DWORD nextItemHandle_ = 1;
    std::map<DWORD, std::shared_ptr<DataListener>> callbacks_;
    std::map<DWORD, StreamSubscription> streams_;
    DWORD nextCookie_ = 1;
    DWORD nextTransaction_ = 1;
};

} // namespace tagclient::transport::sim
