// The recording the desktop tests share: a "Snapshot" group writing Sine and Ramp of the simulated server
// into the columns S and R of `readings` every 100 ms, with the time in DT.
#pragma once

#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"

namespace tagsink::app::testing {

inline TGroup& AddSnapshotGroup(TServer& server) {
    TGroup& group = TGroup::Create(server);
    group.SetName("Snapshot");
    group.SetTableName("readings");
    group.SetTimeField("DT");
    group.SetRecordInterval(100);
    TItem::Create(group, "Sine", "Sine.Real8", "S", TFieldType::ftFloat);
    TItem::Create(group, "Ramp", "Ramp.Int4", "R", TFieldType::ftInteger);
    return group;
}

} // namespace tagsink::app::testing
