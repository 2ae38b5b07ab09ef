#include "sim_faults.hpp"

#include "sim_value.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <thread>

namespace tagclient::transport::sim {

namespace {

std::vector<std::u16string_view> Split(std::u16string_view text, std::u16string_view separators) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::u16string_view::npos)
            end = text.size();
        std::u16string_view part = text.substr(start, end - start);
        while (!part.empty() && part.front() == u' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == u' ')
            part.remove_suffix(1);
        if (!part.empty())
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

bool ParseCode(std::u16string_view text, HRESULT* code) {
    std::string s = Utf8(text);
    std::uint64_t v = 0;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        first += 2;
        base = 16;
    }
    auto [p, ec] = std::from_chars(first, last, v, base);
    if (ec != std::errc() || p != last || first == last || v > 0xFFFFFFFFu)
        return false;
    *code = static_cast<HRESULT>(static_cast<std::uint32_t>(v));
    return true;
}

} // namespace

const std::vector<std::u16string>& Faults::OperationNames() {
    static const std::vector<std::u16string> kNames = {u"GetStatus",
                                                       u"AddGroup",
                                                       u"RemoveGroup",
                                                       u"GetState",
                                                       u"SetState",
                                                       u"SetName",
                                                       u"AddItems",
                                                       u"ValidateItems",
                                                       u"RemoveItems",
                                                       u"SetActiveState",
                                                       u"Read",
                                                       u"Write",
                                                       u"AsyncWrite",
                                                       u"Refresh",
                                                       u"Refresh2",
                                                       u"Advise",
                                                       u"DAdvise",
                                                       u"QueryOrganization",
                                                       u"ChangeBrowsePosition",
                                                       u"BrowseOPCItemIDs",
                                                       u"GetItemID",
                                                       u"QueryAvailableProperties",
                                                       u"GetItemProperties"};
    return kNames;
}

const std::vector<std::u16string>& Faults::InterfaceNames() {
    static const std::vector<std::u16string> kNames = {
        u"ItemMgt",   u"GroupStateMgt", u"SyncIO", u"AsyncIO", u"AsyncIO2", u"ConnectionPointContainer",
        u"DataObject"};
    return kNames;
}

HRESULT Faults::SetFailNext(std::u16string_view text) {
    auto parts = Split(text, u";");
    if (parts.empty()) {
        fail_next_.clear();
        return S_OK;
    }
    std::vector<std::pair<std::u16string, Queued>> parsed;
    for (auto part : parts) {
        std::u16string_view name = part;
        Queued entry;
        if (size_t eq = part.find(u'='); eq != std::u16string_view::npos) {
            name = part.substr(0, eq);
            while (!name.empty() && name.back() == u' ')
                name.remove_suffix(1);
            std::u16string_view code_text = part.substr(eq + 1);
            while (!code_text.empty() && code_text.front() == u' ')
                code_text.remove_prefix(1);
            constexpr std::u16string_view kSlow = u"slow:";
            if (code_text.substr(0, kSlow.size()) == kSlow) {
                HRESULT ms = 0;
                if (!ParseCode(code_text.substr(kSlow.size()), &ms) || ms <= 0 || ms > 60000)
                    return E_INVALIDARG;
                entry.code = S_OK;
                entry.delay_ms = static_cast<unsigned>(ms);
            } else if (!ParseCode(code_text, &entry.code) || SUCCEEDED(entry.code)) {
                return E_INVALIDARG;
            }
        }
        const auto& known = OperationNames();
        if (std::find(known.begin(), known.end(), name) == known.end())
            return E_INVALIDARG;
        parsed.emplace_back(std::u16string(name), entry);
    }
    for (auto& [name, entry] : parsed)
        fail_next_[name].push_back(entry);
    return S_OK;
}

HRESULT Faults::Take(std::u16string_view operation) {
    auto it = fail_next_.find(operation);
    if (it == fail_next_.end() || it->second.empty())
        return S_OK;
    const Queued entry = it->second.front();
    it->second.pop_front();
    if (it->second.empty())
        fail_next_.erase(it);
    if (entry.delay_ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(entry.delay_ms));
    return entry.code;
}

HRESULT Faults::SetHidden(std::u16string_view text) {
    auto parts = Split(text, u";,");
    const auto& known = InterfaceNames();
    for (auto part : parts)
        if (std::find(known.begin(), known.end(), part) == known.end())
            return E_INVALIDARG;
    hidden_.clear();
    for (auto part : parts)
        hidden_.emplace(part);
    return S_OK;
}

GroupInterfaces Faults::Apply(GroupInterfaces offered) const {
    auto hide = [&](const char16_t* name, bool& flag) {
        if (hidden_.count(std::u16string_view(name)) != 0)
            flag = false;
    };
    hide(u"ItemMgt", offered.item_mgt);
    hide(u"GroupStateMgt", offered.group_state_mgt);
    hide(u"SyncIO", offered.sync_io);
    hide(u"AsyncIO", offered.async_io);
    hide(u"AsyncIO2", offered.async_i_o2);
    hide(u"ConnectionPointContainer", offered.connection_points);
    hide(u"DataObject", offered.data_object);
    return offered;
}

bool Faults::TakeRefuseRemoveGroup() {
    if (refuse_remove_group_ <= 0)
        return false;
    --refuse_remove_group_;
    return true;
}

bool Faults::TakeRefuseItem() {
    if (refuse_items_ <= 0)
        return false;
    --refuse_items_;
    return true;
}

StreamDamage Faults::TakeDamage() {
    StreamDamage d = damage_;
    damage_ = StreamDamage::None;
    return d;
}

} // namespace tagclient::transport::sim
