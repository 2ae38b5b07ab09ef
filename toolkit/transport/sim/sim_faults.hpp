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
    bool itemMgt = true;
    bool groupStateMgt = true;
    bool syncIO = true;
    bool asyncIO = true;
    bool asyncIO2 = true;
    bool connectionPoints = true;
    bool dataObject = true;
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

    void SetRefuseRemoveGroup(int count) { refuseRemoveGroup_ = count; }
    // True (and one fewer left) when the next RemoveGroup is to be refused.
    bool TakeRefuseRemoveGroup();
    void SetRefuseItems(int count) { refuseItems_ = count; }
    bool TakeRefuseItem();

    void SetDamage(StreamDamage damage) { damage_ = damage; }
    StreamDamage TakeDamage();

private:
    struct Queued {
        HRESULT code = E_FAIL;
        unsigned delayMs = 0; // a delay instead of a failure
    };
    std::map<std::u16string, std::deque<Queued>, std::less<>> failNext_;
    std::set<std::u16string, std::less<>> hidden_;
    int refuseRemoveGroup_ = 0;
    int refuseItems_ = 0;
    StreamDamage damage_ = StreamDamage::None;
};

} // namespace tagclient::transport::sim
