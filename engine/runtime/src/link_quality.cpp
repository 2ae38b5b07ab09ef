// The quality of the values while the OPC link is lost.
//
// The server cannot report for itself once it is gone, so the engine says it: every item that was
// subscribed takes the quality 0x18 ("bad: comm failure") and keeps its last value, until the server
// reports again after the link came back (the refresh of the next Run). A group that records a quality
// (it has a gtQuality item) writes the rows that show the loss at once: a snapshot group one snapshot, a
// data-change group a row for every keyed item whose quality changed. Groups without a quality item write
// nothing more than they always did.
#include "engine/runtime/engine.hpp"

#include "engine/statement/statement_builder.hpp"
#include "engine/statement/value_source.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/opc_quality.hpp"

#include <exception>
#include <vector>

namespace tagsink {

namespace {

bool RecordsQuality(const TGroup& group) {
    for (std::size_t i = 0; i < group.ItemCount(); ++i)
        if (group.Item(i).GainType() == TGainType::gtQuality)
            return true;
    return false;
}

} // namespace

void Engine::MarkLinkLost() {
    const std::uint64_t now = FileTimeNow();
    for (std::size_t g = 0; g < server_.GroupCount(); ++g) {
        TGroup& group = server_.Group(g);
        std::vector<TItem*> changed;
        for (std::size_t i = 0; i < group.ItemCount(); ++i) {
            TItem& item = group.Item(i);
            if (item.ItemHandle == 0 || item.Quality == qz::kQualityCommFailure)
                continue;
            item.Quality = qz::kQualityCommFailure;
            item.TimeStamp = now; // the quality is the engine's own, stamped when the loss was seen
            item.Changed = true;
            changed.push_back(&item);
        }
        if (changed.empty() || !RecordsQuality(group) || group.GroupHandle == 0)
            continue;
        try {
            if (group.TrigType() == TTrigType::ttSnapShot) {
                SnapShot(group);
            } else {
                for (TItem* item : changed)
                    Trigger(group, *item);
            }
        } catch (const std::exception& error) {
            Log("TGroup.DataChange", group.GetNamePath() + ": " + error.what());
        }
    }
}

} // namespace tagsink
