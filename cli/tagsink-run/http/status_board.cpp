#include "status_board.hpp"

#include "engine/runtime/recorder_stats.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "utc_time_text.hpp"
#include "platform/value_text.hpp"

#include <nlohmann/json.hpp>

namespace tagsink::http {
namespace {

bool IsBad(std::uint16_t quality) {
    return (quality & 0xC0) == 0;
}

std::string LinkJson(std::string_view link, bool up) {
    return nlohmann::json{{"link", link}, {"up", up}}.dump();
}

} // namespace

std::string ItemJson(const ItemView& item) {
    nlohmann::json row{{"group", item.group},
                       {"path", item.path},
                       {"item_id", item.item_id},
                       {"value", item.value},
                       {"quality", item.quality},
                       {"quality_text", item.has_value ? qz::QualityCaption(item.quality) : ""},
                       {"time_stamp", IsoTextOfFileTime(item.time_stamp)},
                       {"changed", IsoText(item.changed)},
                       {"bad_updates", item.bad_updates}};
    return row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

StatusBoard::StatusBoard(const TServer& root, std::size_t log_lines)
    : log_lines_(log_lines), started_(std::chrono::system_clock::now()) {
    for (std::size_t g = 0; g < root.GroupCount(); ++g) {
        const TGroup& group = root.Group(g);
        GroupSlot slot;
        slot.view.name = group.Name();
        slot.first_item = items_.size();
        slot.item_count = group.ItemCount();
        group_index_.emplace(&group, groups_.size());
        groups_.push_back(std::move(slot));
        for (std::size_t i = 0; i < group.ItemCount(); ++i) {
            const TItem& item = group.Item(i);
            ItemView view;
            view.group = group.Name();
            view.path = item.GetNamePath();
            view.item_id = item.ItemName();
            item_index_.emplace(&item, items_.size());
            items_.push_back(std::move(view));
        }
    }
}

void StatusBoard::AttachCounters(const RecorderStats* stats, std::function<std::uint64_t()> queued) {
    stats_ = stats;
    queued_ = std::move(queued);
}

void StatusBoard::ItemUpdated(const TGroup&, const TItem& item, bool changed) noexcept {
    auto found = item_index_.find(&item);
    if (found == item_index_.end())
        return;
    try {
        // The text is made before the lock is taken, and only for a change.
        std::string text = changed ? qz::ValueText(item.Value) : std::string();
        const auto now = std::chrono::system_clock::now();
        std::string event;
        {
            std::lock_guard lock(mutex_);
            ItemView& view = items_[found->second];
            if (IsBad(item.Quality))
                ++view.bad_updates;
            if (!changed)
                return;
            view.value = std::move(text);
            view.quality = item.Quality;
            view.time_stamp = item.TimeStamp;
            view.changed = now;
            view.has_value = true;
            if (events_.Listened())
                event = ItemJson(view);
        }
        if (!event.empty())
            events_.Publish(Event{"value", std::move(event)});
    } catch (...) {
        // A value that cannot be shown is not the recorder's problem.
    }
}

void StatusBoard::RecordBuilt(const TGroup& group) noexcept {
    auto found = group_index_.find(&group);
    if (found == group_index_.end())
        return;
    std::lock_guard lock(mutex_);
    GroupView& view = groups_[found->second].view;
    ++view.records;
    view.last_record = std::chrono::system_clock::now();
}

void StatusBoard::AddLogLine(std::string line) noexcept {
    try {
        {
            std::lock_guard lock(mutex_);
            log_.push_back(line);
            while (log_.size() > log_lines_)
                log_.pop_front();
        }
        if (events_.Listened())
            events_.Publish(Event{
                "log", nlohmann::json(line).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
    } catch (...) {
    }
}

void StatusBoard::SetOpcLink(bool up) noexcept {
    {
        std::lock_guard lock(mutex_);
        if (opc_up_ == up)
            return;
        opc_up_ = up;
    }
    try {
        events_.Publish(Event{"link", LinkJson("opc", up)});
    } catch (...) {
    }
}

void StatusBoard::SetDbLink(bool up) noexcept {
    {
        std::lock_guard lock(mutex_);
        if (db_up_ == up)
            return;
        db_up_ = up;
    }
    try {
        events_.Publish(Event{"link", LinkJson("db", up)});
    } catch (...) {
    }
}

void StatusBoard::Sample(const EngineSample& sample) noexcept {
    std::lock_guard lock(mutex_);
    sample_ = sample;
}

StatusView StatusBoard::Status() const {
    StatusView view;
    view.queued = queued_ ? queued_() : 0;
    if (stats_ != nullptr) {
        view.executed = stats_->executed.load();
        view.failures = stats_->failures.load();
        view.quarantined = stats_->rejected.load();
        view.lost = stats_->lost.load();
        view.waiting = stats_->waiting.load();
        view.journaled = stats_->journaled.load();
        auto failure = stats_->LastFailure();
        view.last_error = std::move(failure.text);
        view.last_error_time = failure.when;
    }
    view.started = started_;
    std::lock_guard lock(mutex_);
    view.opc_up = opc_up_;
    view.db_up = db_up_;
    view.reconnecting = sample_.reconnecting;
    view.reconnect_attempts = sample_.reconnect_attempts;
    view.reconnections = sample_.reconnections;
    view.items = items_.size();
    view.groups.reserve(groups_.size());
    for (const auto& slot : groups_)
        view.groups.push_back(slot.view);
    return view;
}

std::vector<ItemView> StatusBoard::Items(std::string_view group) const {
    std::lock_guard lock(mutex_);
    if (group.empty())
        return items_;
    std::vector<ItemView> out;
    for (const auto& slot : groups_) {
        if (slot.view.name != group)
            continue;
        out.insert(out.end(), items_.begin() + static_cast<std::ptrdiff_t>(slot.first_item),
                   items_.begin() + static_cast<std::ptrdiff_t>(slot.first_item + slot.item_count));
    }
    return out;
}

std::vector<std::string> StatusBoard::LogTail() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

} // namespace tagsink::http
