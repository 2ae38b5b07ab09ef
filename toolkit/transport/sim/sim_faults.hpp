// Fault control of one simulated server instance: what its Control.* items were told to do.
#pragma once
#include "sim_stream.hpp"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

// The interfaces a group object offers (Control.HideInterface removes some from later groups).
struct GroupInterfaces {
    bool item_mgt = true;
    bool group_state_mgt = true;
    bool sync_io = true;
    bool async_io = true;
    bool async_i_o2 = true;
    bool connection_points = true;
    bool data_object = true;
};

class Faults {
public:
    // The operation names Control.FailNext accepts (the interface method names; "AsyncWrite" is
    // IOPCAsyncIO2::Write, "Write" IOPCSyncIO::Write).
    static const std::vector<std::u16string>& OperationNames();
    // The interface names Control.HideInterface accepts.
    static const std::vector<std::u16string>& InterfaceNames();

    // "Name[=HRESULT]" entries separated by ';' (HRESULT as 0x hex or decimal, default E_FAIL); each queues
    // one failure of the next call of that operation. "Name=slow:MS" queues a delay instead: the next call
    // of the operation waits MS milliseconds (at most 60000) and then goes on as usual (a slow server, to
    // end a server process in the middle of a call). An empty text clears every queued failure.
    // E_INVALIDARG (nothing changes) for an unknown name or a bad code or a success code.
    HRESULT SetFailNext(std::u16string_view text);
    // The failure queued for the operation, consumed; S_OK when there is none.
    HRESULT Take(std::u16string_view operation);

    // Names separated by ';' or ','; an empty text makes every interface offered again.
    HRESULT SetHidden(std::u16string_view text);
    GroupInterfaces Apply(GroupInterfaces offered) const;

    void SetRefuseRemoveGroup(int count) { refuse_remove_group_ = count; }
    // True (and one fewer left) when the next RemoveGroup is to be refused.
    bool TakeRefuseRemoveGroup();
    void SetRefuseItems(int count) { refuse_items_ = count; }
    bool TakeRefuseItem();

    void SetDamage(StreamDamage damage) { damage_ = damage; }
    StreamDamage TakeDamage();

private:
    struct Queued {
        HRESULT code = E_FAIL;
        unsigned delay_ms = 0; // a delay instead of a failure
    };
    std::map<std::u16string, std::deque<Queued>, std::less<>> fail_next_;
    std::set<std::u16string, std::less<>> hidden_;
    int refuse_remove_group_ = 0;
    int refuse_items_ = 0;
    StreamDamage damage_ = StreamDamage::None;
};

} // namespace tagclient::transport::sim
