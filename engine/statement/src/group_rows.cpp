#include "engine/statement/group_rows.hpp"

#include "model/group.hpp"
#include "model/item.hpp"

#include <stdexcept>

namespace tagsink {

GroupRows::GroupRows(const TGroup& group) : item_count_(group.ItemCount()) {
    if (item_count_ > UINT32_MAX)
        throw std::length_error("too many items in group " + group.Name());
    // First the size of each Key's run, then the runs themselves: one array for all keys.
    std::size_t keyed = 0;
    for (std::size_t i = 0; i < item_count_; ++i) {
        const std::string& key = group.Item(i).Key();
        if (key.empty())
            keyless_.push_back(static_cast<std::uint32_t>(i));
        else {
            ++keyed_[key].count;
            ++keyed;
        }
    }
    keyless_.shrink_to_fit();
    std::uint32_t offset = 0;
    for (auto& [key, span] : keyed_) {
        span.offset = offset;
        offset += span.count;
        span.count = 0;
    }
    keyed_items_.resize(keyed);
    for (std::size_t i = 0; i < item_count_; ++i) {
        const std::string& key = group.Item(i).Key();
        if (key.empty())
            continue;
        Span& span = keyed_.find(key)->second;
        keyed_items_[span.offset + span.count++] = static_cast<std::uint32_t>(i);
    }
}

std::pair<const std::uint32_t*, std::size_t> GroupRows::Keyed(const std::string& key) const {
    if (key.empty())
        return {nullptr, 0};
    auto it = keyed_.find(key);
    if (it == keyed_.end())
        return {nullptr, 0};
    return {keyed_items_.data() + it->second.offset, it->second.count};
}

} // namespace tagsink
