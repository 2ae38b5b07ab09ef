#include "sim_server.hpp"

#include "sim_codes.hpp"
#include "sim_group.hpp"
#include "sim_time.hpp"
#include "sim_wildcard.hpp"

#include <cmath>

namespace tagclient::transport::sim {

namespace {

std::u16string Join(const std::u16string& a, const std::u16string& b) {
    return a.empty() ? b : a + Catalogue::kSeparator + b;
}

bool PassesFilters(const ItemSpec& spec, VARTYPE data_type, DWORD rights) {
    if (data_type != VT_EMPTY && spec.type != data_type)
        return false;
    rights &= kReadable | kWritable;
    return (spec.rights & rights) == rights;
}

void CollectFlat(const Catalogue& catalogue, const std::u16string& path, std::vector<const ItemSpec*>* out) {
    const Catalogue::Branch* branch = catalogue.FindBranch(path);
    if (branch == nullptr)
        return;
    for (const ItemSpec* leaf : branch->leaves)
        out->push_back(leaf);
    for (const auto& child : branch->branches)
        CollectFlat(catalogue, Join(path, child), out);
}

std::vector<PropertyInfo> PropertyList(const ItemSpec& spec) {
    std::vector<PropertyInfo> list = {
        {1, u"Item Canonical DataType", VT_I2},
        {2, u"Item Value", spec.type},
        {3, u"Item Quality", VT_I2},
        {4, u"Item Timestamp", VT_DATE},
        {5, u"Item Access Rights", VT_I4},
        {6, u"Server Scan Rate", VT_R4},
    };
    if (spec.eu_type != kEuNone) {
        list.push_back({7, u"Item EU Type", VT_I4});
        list.push_back({8, u"Item EUInfo",
                        static_cast<VARTYPE>(VT_ARRAY | (spec.eu_type == kEuAnalog ? VT_R8 : VT_BSTR))});
    }
    if (!spec.units.empty())
        list.push_back({100, u"EU Units", VT_BSTR});
    if (!spec.description.empty())
        list.push_back({101, u"Item Description", VT_BSTR});
    if (spec.eu_type == kEuAnalog) {
        list.push_back({102, u"High EU", VT_R8});
        list.push_back({103, u"Low EU", VT_R8});
    }
    for (const auto& v : spec.vendor)
        list.push_back({v.id, v.description, v.value.type});
    return list;
}

} // namespace

const Catalogue& SimServer::Items() {
    static const Catalogue kCatalogue;
    return kCatalogue;
}

std::shared_ptr<SimServer> SimServer::Create(ServerProfile profile, std::shared_ptr<Scheduler> scheduler,
                                             std::uint64_t wall_ticks) {
    return std::shared_ptr<SimServer>(new SimServer(std::move(profile), std::move(scheduler), wall_ticks));
}

SimServer::SimServer(ServerProfile profile, std::shared_ptr<Scheduler> scheduler, std::uint64_t wall_ticks)
    : profile_(std::move(profile)), scheduler_(std::move(scheduler)), wall_start_(wall_ticks),
      mono_start_(scheduler_->NowMs()) {}

SimServer::~SimServer() {
    for (auto& [handle, group] : groups_)
        group->MarkRemoved();
}

std::uint64_t SimServer::NowTicks() {
    return wall_start_ + (scheduler_->NowMs() - mono_start_) * kTicksPerMs;
}

bool SimServer::NameInUse(const std::u16string& name, const SimGroup* except) const {
    for (const auto& [handle, group] : groups_)
        if (group.get() != except && group->state_.name == name)
            return true;
    return false;
}

HRESULT SimServer::AddGroup(const std::u16string& name, bool active, DWORD requested_rate,
                            DWORD client_handle, const LONG* time_bias, const FLOAT* percent_deadband,
                            DWORD lcid, DWORD* server_handle, DWORD* revised_rate,
                            std::shared_ptr<SimGroup>* group) {
    if (HRESULT hr = faults_.Take(u"AddGroup"); FAILED(hr))
        return hr;
    if (percent_deadband != nullptr && !(*percent_deadband >= 0.0f && *percent_deadband <= 100.0f))
        return E_INVALIDARG;
    std::u16string group_name = name;
    if (group_name.empty()) {
        for (DWORD n = next_group_handle_;; ++n) {
            group_name = u"Group" + Utf16(std::to_string(n));
            if (!NameInUse(group_name, nullptr))
                break;
        }
    } else if (NameInUse(group_name, nullptr)) {
        return code::kDuplicateName;
    }
    const DWORD handle = next_group_handle_++;
    auto created =
        std::shared_ptr<SimGroup>(new SimGroup(shared_from_this(), handle, faults_.Apply(profile_.groups)));
    GroupState& st = created->state_;
    st.name = group_name;
    st.active = active;
    st.update_rate = requested_rate < kMinimumUpdateRate ? kMinimumUpdateRate : requested_rate;
    st.time_bias = time_bias != nullptr ? *time_bias : 0;
    st.percent_deadband = percent_deadband != nullptr ? *percent_deadband : 0.0f;
    st.lcid = lcid;
    st.client_handle = client_handle;
    st.server_handle = handle;
    groups_.emplace(handle, created);
    created->StartTimer();
    *server_handle = handle;
    *revised_rate = st.update_rate;
    *group = std::move(created);
    return *revised_rate != requested_rate ? code::kUnsupportedRate : S_OK;
}

HRESULT SimServer::GetStatus(ServerStatusInfo* status) {
    if (HRESULT hr = faults_.Take(u"GetStatus"); FAILED(hr))
        return hr;
    status->start_time = wall_start_;
    status->current_time = NowTicks();
    status->last_update_time = last_update_;
    status->state = state_;
    status->group_count = static_cast<DWORD>(groups_.size());
    status->band_width = 0xFFFFFFFFu;
    status->major_version = profile_.major_version;
    status->minor_version = profile_.minor_version;
    status->build_number = profile_.build_number;
    status->vendor_info = profile_.vendor_info;
    return S_OK;
}

HRESULT SimServer::RemoveGroup(DWORD server_handle, bool /*force*/) {
    if (HRESULT hr = faults_.Take(u"RemoveGroup"); FAILED(hr))
        return hr;
    auto it = groups_.find(server_handle);
    if (it == groups_.end())
        return E_INVALIDARG;
    if (faults_.TakeRefuseRemoveGroup())
        return E_FAIL;
    std::shared_ptr<SimGroup> group = std::move(it->second);
    groups_.erase(it);
    group->MarkRemoved();
    return S_OK;
}

HRESULT SimServer::AdviseShutdown(std::shared_ptr<ShutdownListener> listener, DWORD* cookie) {
    if (HRESULT hr = faults_.Take(u"Advise"); FAILED(hr))
        return hr;
    if (!listener)
        return E_POINTER;
    *cookie = next_cookie_++;
    shutdown_listeners_.emplace(*cookie, std::move(listener));
    return S_OK;
}

HRESULT SimServer::UnadviseShutdown(DWORD cookie) {
    return shutdown_listeners_.erase(cookie) != 0 ? S_OK : code::kNoConnection;
}

void SimServer::PostShutdown(std::u16string reason) {
    std::weak_ptr<SimServer> weak = weak_from_this();
    scheduler_->Post([weak, reason = std::move(reason)] {
        auto self = weak.lock();
        if (!self)
            return;
        // Copy first: a subscriber may let go of the server from inside its notification.
        std::vector<std::shared_ptr<ShutdownListener>> listeners;
        for (const auto& [cookie, listener] : self->shutdown_listeners_)
            listeners.push_back(listener);
        for (const auto& listener : listeners)
            listener->OnShutdown(reason);
    });
}

HRESULT SimServer::QueryOrganization(DWORD* organization) {
    if (HRESULT hr = faults_.Take(u"QueryOrganization"); FAILED(hr))
        return hr;
    *organization = profile_.hierarchical ? 1 : 2;
    return S_OK;
}

HRESULT SimServer::ChangeBrowsePosition(DWORD direction, const std::u16string& name) {
    if (HRESULT hr = faults_.Take(u"ChangeBrowsePosition"); FAILED(hr))
        return hr;
    const Catalogue& catalogue = Items();
    switch (direction) {
    case 1: { // up
        if (position_.empty())
            return E_FAIL;
        size_t dot = position_.rfind(Catalogue::kSeparator);
        position_ = dot == std::u16string::npos ? std::u16string() : position_.substr(0, dot);
        return S_OK;
    }
    case 2: { // down
        if (!profile_.hierarchical || name.empty())
            return E_INVALIDARG;
        std::u16string child = Join(position_, name);
        if (name.find(Catalogue::kSeparator) != std::u16string::npos ||
            catalogue.FindBranch(child) == nullptr)
            return E_INVALIDARG;
        position_ = child;
        return S_OK;
    }
    case 3: // to
        if (name.empty()) {
            position_.clear();
            return S_OK;
        }
        if (!profile_.hierarchical || catalogue.FindBranch(name) == nullptr)
            return E_INVALIDARG;
        position_ = name;
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

HRESULT SimServer::BrowseItemIds(DWORD browse_type, const std::u16string& filter, VARTYPE data_type,
                                 DWORD rights, std::vector<std::u16string>* names) {
    if (HRESULT hr = faults_.Take(u"BrowseOPCItemIDs"); FAILED(hr))
        return hr;
    if (browse_type < 1 || browse_type > 3)
        return E_INVALIDARG;
    names->clear();
    const Catalogue& catalogue = Items();
    if (!profile_.hierarchical) {
        if (browse_type != 1)
            for (const auto& spec : catalogue.Items())
                if (PassesFilters(*spec, data_type, rights) && MatchesFilter(spec->id, filter))
                    names->push_back(spec->id);
        return names->empty() ? S_FALSE : S_OK;
    }
    const Catalogue::Branch* branch = catalogue.FindBranch(position_);
    if (branch == nullptr)
        return E_FAIL;
    if (browse_type == 1) {
        for (const auto& child : branch->branches)
            if (MatchesFilter(child, filter))
                names->push_back(child);
    } else if (browse_type == 2) {
        for (const ItemSpec* leaf : branch->leaves) {
            std::u16string leaf_name = Catalogue::LeafName(*leaf);
            if (PassesFilters(*leaf, data_type, rights) && MatchesFilter(leaf_name, filter))
                names->push_back(leaf_name);
        }
    } else {
        std::vector<const ItemSpec*> all;
        CollectFlat(catalogue, position_, &all);
        for (const ItemSpec* leaf : all)
            if (PassesFilters(*leaf, data_type, rights) && MatchesFilter(leaf->id, filter))
                names->push_back(leaf->id);
    }
    return names->empty() ? S_FALSE : S_OK;
}

HRESULT SimServer::GetItemId(const std::u16string& name, std::u16string* item_id) {
    if (HRESULT hr = faults_.Take(u"GetItemID"); FAILED(hr))
        return hr;
    const Catalogue& catalogue = Items();
    if (!profile_.hierarchical) {
        if (catalogue.Find(name) == nullptr)
            return E_INVALIDARG;
        *item_id = name;
        return S_OK;
    }
    if (name.empty()) {
        *item_id = position_;
        return S_OK;
    }
    std::u16string full = Join(position_, name);
    if (catalogue.Find(full) != nullptr || catalogue.FindBranch(full) != nullptr) {
        *item_id = full;
        return S_OK;
    }
    if (catalogue.Find(name) != nullptr) { // already a full item ID
        *item_id = name;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT SimServer::QueryAvailableProperties(const std::u16string& item_id,
                                            std::vector<PropertyInfo>* properties) {
    if (HRESULT hr = faults_.Take(u"QueryAvailableProperties"); FAILED(hr))
        return hr;
    if (item_id.empty())
        return code::kInvalidItemId;
    const ItemSpec* spec = Items().Find(item_id);
    if (spec == nullptr)
        return code::kUnknownItemId;
    *properties = PropertyList(*spec);
    return S_OK;
}

HRESULT SimServer::GetItemProperties(const std::u16string& item_id, const std::vector<DWORD>& ids,
                                     std::vector<Value>* values, std::vector<HRESULT>* errors) {
    if (HRESULT hr = faults_.Take(u"GetItemProperties"); FAILED(hr))
        return hr;
    if (item_id.empty())
        return code::kInvalidItemId;
    const ItemSpec* spec = Items().Find(item_id);
    if (spec == nullptr)
        return code::kUnknownItemId;
    const auto list = PropertyList(*spec);
    values->assign(ids.size(), Value());
    errors->assign(ids.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < ids.size(); ++i) {
        const DWORD id = ids[i];
        bool listed = false;
        for (const auto& p : list)
            listed = listed || p.id == id;
        if (!listed) {
            (*errors)[i] = code::kInvalidPid;
            any_failed = true;
            continue;
        }
        Value& v = (*values)[i];
        switch (id) {
        case 1:
            v = Value::Integer(VT_I2, spec->type);
            break;
        case 2:
        case 3:
        case 4: {
            if ((spec->rights & kReadable) == 0) {
                (*errors)[i] = code::kBadRights;
                any_failed = true;
                break;
            }
            if (id == 2 && spec->device_read_fails) {
                (*errors)[i] = E_FAIL;
                any_failed = true;
                break;
            }
            Sample s = SampleItem(*spec);
            v = id == 2   ? s.value
                : id == 3 ? Value::Integer(VT_I2, s.quality)
                          : Value::Date(TicksToOleDate(s.timestamp));
            break;
        }
        case 5:
            v = Value::Integer(VT_I4, spec->rights);
            break;
        case 6:
            v = Value::Real(VT_R4, spec->IsGenerated() ? spec->period_ms : kMinimumUpdateRate);
            break;
        case 7:
            v = Value::Integer(VT_I4, spec->eu_type);
            break;
        case 8:
            if (spec->eu_type == kEuAnalog) {
                v = Value::Array(VT_R8, {Value::Real(VT_R8, spec->low), Value::Real(VT_R8, spec->high)});
            } else {
                std::vector<Value> texts;
                for (const auto& t : spec->eu_texts)
                    texts.push_back(Value::Text(t));
                v = Value::Array(VT_BSTR, std::move(texts));
            }
            break;
        case 100:
            v = Value::Text(spec->units);
            break;
        case 101:
            v = Value::Text(spec->description);
            break;
        case 102:
            v = Value::Real(VT_R8, spec->high);
            break;
        case 103:
            v = Value::Real(VT_R8, spec->low);
            break;
        default:
            for (const auto& vendor : spec->vendor)
                if (vendor.id == id)
                    v = vendor.value;
            break;
        }
    }
    return any_failed ? S_FALSE : S_OK;
}

Sample SimServer::SampleItem(const ItemSpec& spec) {
    Sample s;
    if (spec.IsGenerated()) {
        const std::uint64_t elapsed = scheduler_->NowMs() - mono_start_;
        const std::uint64_t step = elapsed / spec.period_ms;
        const std::uint64_t step_start = wall_start_ + step * spec.period_ms * kTicksPerMs;
        s.value = Generate(spec, step, step_start);
        s.quality = GeneratedQuality(spec, step);
        s.timestamp = step_start;
        return s;
    }
    auto [it, inserted] = memory_.try_emplace(&spec);
    if (inserted) {
        it->second.value = spec.initial;
        it->second.quality = spec.fixed_quality;
        it->second.timestamp = wall_start_;
    }
    s.value = it->second.value;
    s.quality = it->second.quality;
    s.timestamp = it->second.timestamp;
    return s;
}

HRESULT SimServer::WriteItem(const ItemSpec& spec, const Value& value) {
    if ((spec.rights & kWritable) == 0)
        return code::kBadRights;
    if (spec.write_fails)
        return E_FAIL;
    Value coerced;
    if (HRESULT hr = ConvertValue(value, spec.type, &coerced); FAILED(hr))
        return hr == DISP_E_OVERFLOW ? code::kRange : code::kBadType;
    if (spec.behaviour == Behaviour::Control)
        if (HRESULT hr = ApplyControl(spec, coerced); FAILED(hr))
            return hr;
    Cell& cell = memory_[&spec];
    cell.value = std::move(coerced);
    cell.quality = spec.fixed_quality;
    cell.timestamp = NowTicks();
    return S_OK;
}

HRESULT SimServer::ApplyControl(const ItemSpec& spec, const Value& value) {
    switch (spec.control) {
    case ControlKind::Shutdown:
        PostShutdown(value.text);
        return S_OK;
    case ControlKind::RefuseRemoveGroup:
        if (value.integer < 0)
            return code::kRange;
        faults_.SetRefuseRemoveGroup(static_cast<int>(value.integer));
        return S_OK;
    case ControlKind::FailNext:
        return faults_.SetFailNext(value.text);
    case ControlKind::RefuseItems:
        if (value.integer < 0)
            return code::kRange;
        faults_.SetRefuseItems(static_cast<int>(value.integer));
        return S_OK;
    case ControlKind::MalformedStream: {
        StreamDamage damage;
        if (!ParseStreamDamage(value.text, &damage))
            return E_INVALIDARG;
        faults_.SetDamage(damage);
        return S_OK;
    }
    case ControlKind::HideInterface:
        return faults_.SetHidden(value.text);
    case ControlKind::ServerState:
        if (value.integer < 1 || value.integer > 5)
            return code::kRange;
        state_ = static_cast<DWORD>(value.integer);
        return S_OK;
    default:
        return S_OK;
    }
}

} // namespace tagclient::transport::sim
