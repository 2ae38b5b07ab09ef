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
    static const std::vector<std::u16string> names = {u"GetStatus",
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
    return names;
}

const std::vector<std::u16string>& Faults::InterfaceNames() {
    static const std::vector<std::u16string> names = {
        u"ItemMgt",   u"GroupStateMgt", u"SyncIO", u"AsyncIO", u"AsyncIO2", u"ConnectionPointContainer",
        u"DataObject"};
    return names;
}

HRESULT Faults::SetFailNext(std::u16string_view text) {
    auto parts = Split(text, u";");
    if (parts.empty()) {
        failNext_.clear();
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
            std::u16string_view codeText = part.substr(eq + 1);
            while (!codeText.empty() && codeText.front() == u' ')
                codeText.remove_prefix(1);
            constexpr std::u16string_view kSlow = u"slow:";
            if (codeText.substr(0, kSlow.size()) == kSlow) {
                HRESULT ms = 0;
                if (!ParseCode(codeText.substr(kSlow.size()), &ms) || ms <= 0 || ms > 60000)
                    return E_INVALIDARG;
                entry.code = S_OK;
                entry.delayMs = static_cast<unsigned>(ms);
            } else if (!ParseCode(codeText, &entry.code) || SUCCEEDED(entry.code)) {
                return E_INVALIDARG;
            }
        }
        const auto& known = OperationNames();
        if (std::find(known.begin(), known.end(), name) == known.end())
            return E_INVALIDARG;
        parsed.emplace_back(std::u16string(name), entry);
    }
    for (auto& [name, entry] : parsed)
        failNext_[name].push_back(entry);
    return S_OK;
}

HRESULT Faults::Take(std::u16string_view operation) {
    auto it = failNext_.find(operation);
    if (it == failNext_.end() || it->second.empty())
        return S_OK;
    const Queued entry = it->second.front();
    it->second.pop_front();
    if (it->second.empty())
        failNext_.erase(it);
    if (entry.delayMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(entry.delayMs));
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
    hide(u"ItemMgt", offered.itemMgt);
    hide(u"GroupStateMgt", offered.groupStateMgt);
    hide(u"SyncIO", offered.syncIO);
    hide(u"AsyncIO", offered.asyncIO);
    hide(u"AsyncIO2", offered.asyncIO2);
    hide(u"ConnectionPointContainer", offered.connectionPoints);
    hide(u"DataObject", offered.dataObject);
    return offered;
}

bool Faults::TakeRefuseRemoveGroup() {
    if (refuseRemoveGroup_ <= 0)
        return false;
    --refuseRemoveGroup_;
    return true;
}

bool Faults::TakeRefuseItem() {
    if (refuseItems_ <= 0)
        return false;
    --refuseItems_;
    return true;
}

StreamDamage Faults::TakeDamage() {
    StreamDamage d = damage_;
    damage_ = StreamDamage::None;
    return d;
}

} // namespace tagclient::transport::sim
