// Groups and items: TGroup (one OPC group of a session, the container of items and the unit of data
// subscription), TItem (one added item) and the group's two notification sinks.
#pragma once
#include <transport/transport.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tagclient {

class TServer;
class TGroup;

// One added item. Handle is the item handle of the client and the client handle given to the server.
struct TItem {
    std::uint32_t Handle = 0;
    transport::OPCHANDLE ServerHandle = 0;
    std::int32_t ClientValue = 0;
    std::u16string ItemID;
};

// The group's IOPCDataCallback sink (connection-point path). Holds no reference on its group; the group
// detaches it when it is destroyed.
class TOPCCPCallback final : public transport::OPCDataCallback {
public:
    explicit TOPCCPCallback(TGroup* group) : Group(group) {}
    HRESULT OnDataChange(DWORD dwTransid, transport::OPCHANDLE hGroup, HRESULT hrMasterquality,
                         HRESULT hrMastererror, DWORD dwCount, const transport::OPCHANDLE* phClientItems,
                         const VARIANT* pvValues, const WORD* pwQualities, const FILETIME* pftTimeStamps,
                         const HRESULT* pErrors) override;
    HRESULT OnReadComplete(DWORD, transport::OPCHANDLE, HRESULT, HRESULT, DWORD, const transport::OPCHANDLE*,
                           const VARIANT*, const WORD*, const FILETIME*, const HRESULT*) override {
        return S_OK;
    }
    HRESULT OnWriteComplete(DWORD, transport::OPCHANDLE, HRESULT, DWORD, const transport::OPCHANDLE*,
                            const HRESULT*) override {
        return S_OK;
    }
    HRESULT OnCancelComplete(DWORD, transport::OPCHANDLE) override { return S_OK; }
    TGroup* Group;
};

// The group's IAdviseSink (data-object path).
class TOPCDOCallBack final : public transport::AdviseSink {
public:
    explicit TOPCDOCallBack(TGroup* group) : Group(group) {}
    void OnDataChange(const transport::FormatEtc& format, const transport::StgMedium& medium) override;
    void OnViewChange(DWORD, LONG) override {}
    void OnRename() override {}
    void OnSave() override {}
    void OnClose() override {}
    TGroup* Group;
};

class TGroup {
public:
    // Creation: stores the owner, creates the two sinks, takes a handle and runs TGroup.Initialize.
    TGroup(TServer* owner, const std::shared_ptr<transport::GroupObject>& unknown);
    ~TGroup(); // releases the items, detaches and releases the sinks and the interfaces
    TGroup(const TGroup&) = delete;
    TGroup& operator=(const TGroup&) = delete;

    // Group-level steps (each its own catch-all region with its "TGroup." report name).
    void Rename(const std::u16string& name); // no region: a refused name only leaves Name unchanged
    bool SetStat(std::uint32_t update_rate, BOOL active, std::int32_t time_bias, float deadband,
                 std::uint32_t lcid);
    bool GetStat(std::uint32_t* update_rate, std::int32_t* active, std::int32_t* time_bias, float* deadband,
                 std::uint32_t* lcid);
    bool Refresh(std::uint16_t data_source);
    std::uint32_t AddItem(const std::u16string& item_id, std::int32_t client_value, const char* source);
    std::int32_t AddItems(std::int32_t count, const VARIANT& item_ids, const VARIANT& client_values,
                          VARIANT* handles);
    bool RemoveItem(std::uint32_t item);
    bool ValidateItem(const std::u16string& item_id);
    bool ActiveItem(std::uint32_t item, BOOL active);
    bool ReadItem(std::uint32_t item, VARIANT* value, FILETIME* timestamp, std::uint16_t* quality);
    bool WriteItem(std::uint32_t item, const VARIANT& value, bool async);

    // Deliveries from the sinks.
    void DoCPCallBack(DWORD count, const transport::OPCHANDLE* client_handles, const VARIANT* values,
                      const WORD* qualities, const FILETIME* timestamps, const HRESULT* errors);
    void DoDOCallBack(const transport::FormatEtc& format, const transport::StgMedium& medium);

    // The live item of this group with this handle, or null (take the item-list lock around its use when
    // other threads may remove items).
    TItem* FindItem(std::uint32_t handle);
    std::size_t ItemCount() const { return item_order_.size(); }
    const std::vector<TItem*>& Items() const { return item_order_; }

    TServer* Owner;
    DWORD Connection = 0;
    std::uint16_t ConnectMode = 1;
    std::shared_ptr<transport::OPCGroupStateMgt> GroupStateMgt;
    std::shared_ptr<transport::OPCItemMgt> ItemMgt;
    std::shared_ptr<transport::OPCSyncIO> SyncIO;
    std::shared_ptr<transport::OPCAsyncIO> AsyncIO;
    std::shared_ptr<transport::OPCAsyncIO2> AsyncIO2;
    std::shared_ptr<TOPCDOCallBack> AdviseSink;
    std::shared_ptr<TOPCCPCallback> DataCallback;
    transport::OPCHANDLE ServerHandle = 0;
    std::uint32_t LCID = 0;
    std::int32_t TimeBias = 0;
    std::uint32_t UpdateRate = 0;
    transport::OPCHANDLE ClientHandle = 0;
    float Deadband = 0;
    std::u16string Name;
    bool Active = false;
    std::uint32_t Handle = 0;

private:
    void Initialize(const std::shared_ptr<transport::GroupObject>& unknown);
    void AppendItem(std::unique_ptr<TItem> item); // under the item-list lock
    // Alive while the group is; a delivery watches it to stop when a client procedure removed the group.
    std::shared_ptr<int> life_token_ = std::make_shared<int>(0);
    std::vector<TItem*> item_order_;
    std::unordered_map<std::uint32_t, std::unique_ptr<TItem>> items_;
};

} // namespace tagclient
