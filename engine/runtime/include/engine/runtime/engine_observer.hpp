// What a watcher of the running engine sees of its intake: every routed notification and every record a
// group builds. The headless runner's status board implements it; nothing in the engine depends on it.
//
// Both calls come on the engine's loop thread, inside the data path: implementations must be quick, must
// not call back into the engine and must not throw.
#pragma once

namespace tagsink {

class TGroup;
class TItem;

class EngineObserver {
public:
    virtual ~EngineObserver() = default;
    /// A notification reached `item` of `group` and was stored; `changed` when value or quality differed.
    virtual void ItemUpdated(const TGroup& group, const TItem& item, bool changed) noexcept = 0;
    /// `group` queued one record statement.
    virtual void RecordBuilt(const TGroup& group) noexcept = 0;
};

} // namespace tagsink
