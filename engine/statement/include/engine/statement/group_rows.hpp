// Which items belong to which row of a group, prepared once when the group starts recording, so that
// building a row costs the same in a group of ten items and in one of a hundred thousand.
//
// A row of key text K takes, in child order, every item whose Key is empty and every item whose Key is
// exactly K (case-sensitive). GroupRows holds the two halves of that list: the items without a key, and for
// each distinct Key the items that carry it, both as child indices in ascending order. The builder merges
// them in child order.
//
// The plan describes the group as it was when it was made: it must be made again after items were added,
// removed or re-keyed (the engine makes it on every Run; the project cannot be edited while it runs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tagsink {

class TGroup;

class GroupRows {
public:
    GroupRows() = default;
    explicit GroupRows(const TGroup& group);

    // Child indices of the items with an empty Key, ascending.
    const std::vector<std::uint32_t>& Keyless() const { return keyless_; }

    // Child indices of the items whose Key is exactly `key`, ascending; empty when no item carries it.
    std::pair<const std::uint32_t*, std::size_t> Keyed(const std::string& key) const;

    // The number of items of the group when the plan was made.
    std::size_t ItemCount() const { return item_count_; }

private:
    // Where the items of one Key lie in `keyed_items_`.
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t count = 0;
    };

    std::vector<std::uint32_t> keyless_;
    std::unordered_map<std::string, Span> keyed_;
    std::vector<std::uint32_t> keyed_items_; // the items of each Key side by side, each run ascending
    std::size_t item_count_ = 0;
};

} // namespace tagsink
