// What the HTTP endpoint shows of a running recorder, kept apart from the engine so that a request never
// touches engine state: the engine's loop thread and record thread write here (the item values and records
// as EngineObserver, the log lines and link texts through BoardReporter, the engine's reconnect state by
// Sample), the HTTP threads copy out what a request needs. Every lock is held for one update or one copy.
// The counters of statements are the engine's own (RecorderStats and the queued count), read at request
// time; the board adds only what the engine does not count: records per group and bad-quality updates per
// item.
#pragma once

#include "engine/runtime/engine_observer.hpp"
#include "event_hub.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tagsink {
class TServer;
struct RecorderStats;
} // namespace tagsink

namespace tagsink::http {

/// One item as /api/items shows it.
struct ItemView {
    std::string group;
    std::string path;    // "Manager.Group.Item"
    std::string item_id; // the OPC item ID (ItemName)
    std::string value;   // as text; empty before the first value
    std::uint16_t quality = 0;
    std::uint64_t time_stamp = 0;                    // source time stamp, UTC FILETIME
    std::chrono::system_clock::time_point changed{}; // when value or quality last changed (epoch: never)
    std::uint64_t bad_updates = 0;                   // updates that arrived with bad quality
    bool has_value = false;
};

struct GroupView {
    std::string name;
    std::uint64_t records = 0;
    std::chrono::system_clock::time_point last_record{};
};

/// The recorder's state at one moment: the engine's counters and the board's own.
struct StatusView {
    bool opc_up = false;
    bool db_up = false;
    bool reconnecting = false;
    unsigned reconnect_attempts = 0; // since the OPC link was last lost
    std::uint64_t reconnections = 0; // times the OPC link came back
    std::uint64_t queued = 0;
    std::uint64_t executed = 0;
    std::uint64_t failures = 0;
    std::uint64_t quarantined = 0;
    std::uint64_t lost = 0;
    std::uint64_t waiting = 0;
    std::uint64_t journaled = 0;
    std::string last_error;
    std::chrono::system_clock::time_point last_error_time{};
    std::chrono::system_clock::time_point started{};
    std::vector<GroupView> groups;
    std::size_t items = 0;
    bool Healthy() const { return opc_up && db_up && lost == 0; }
};

/// The engine state that only its loop thread may read, sampled there.
struct EngineSample {
    bool reconnecting = false;
    unsigned reconnect_attempts = 0;
    std::uint64_t reconnections = 0;
};

class StatusBoard final : public EngineObserver {
public:
    /// Lists the groups and items of `root` (which must not change while the board lives).
    explicit StatusBoard(const TServer& root, std::size_t log_lines = 200);

    /// The engine's counters, read from any thread; set once, before anyone reads the board.
    void AttachCounters(const RecorderStats* stats, std::function<std::uint64_t()> queued);

    // EngineObserver (the loop thread).
    void ItemUpdated(const TGroup& group, const TItem& item, bool changed) noexcept override;
    void RecordBuilt(const TGroup& group) noexcept override;

    // From the reporter (any thread).
    void AddLogLine(std::string line) noexcept;
    void SetOpcLink(bool up) noexcept;
    void SetDbLink(bool up) noexcept;
    // From the loop thread, a few times a second.
    void Sample(const EngineSample& sample) noexcept;

    // For the HTTP threads.
    StatusView Status() const;
    /// The items of `group` (every item when empty), in project order.
    std::vector<ItemView> Items(std::string_view group = {}) const;
    std::vector<std::string> LogTail() const;
    EventHub& Events() { return events_; }

private:
    struct GroupSlot {
        GroupView view;
        std::size_t first_item = 0;
        std::size_t item_count = 0;
    };

    const RecorderStats* stats_ = nullptr;
    std::function<std::uint64_t()> queued_;
    const std::size_t log_lines_;
    const std::chrono::system_clock::time_point started_;
    std::unordered_map<const TItem*, std::size_t> item_index_;
    std::unordered_map<const TGroup*, std::size_t> group_index_;

    mutable std::mutex mutex_; // guards what follows
    std::vector<ItemView> items_;
    std::vector<GroupSlot> groups_;
    std::deque<std::string> log_;
    bool opc_up_ = false;
    bool db_up_ = false;
    EngineSample sample_;

    EventHub events_;
};

/// The JSON text of one value event (also the rows of /api/items).
std::string ItemJson(const ItemView& item);

} // namespace tagsink::http
