#include "sim_group.hpp"

#include "sim_codes.hpp"
#include "sim_server.hpp"

#include <cmath>

namespace tagclient::transport::sim {

namespace {

constexpr DWORD kSourceCache = 1;
constexpr DWORD kSourceDevice = 2;

// Whether two numbers differ by more than the deadband threshold.
bool Beyond(const Value& a, const Value& b, double threshold) {
    double x = 0, y = 0;
    if (!a.ToDouble(&x) || !b.ToDouble(&y))
        return a != b;
    return std::fabs(x - y) > threshold;
}

} // namespace

SimGroup::SimGroup(std::shared_ptr<SimServer> server, DWORD server_handle, GroupInterfaces interfaces)
    : server_(server), scheduler_(server->SchedulerRef()), interfaces_(interfaces) {
    state_.server_handle = server_handle;
}

SimGroup::~SimGroup() {
    StopTimer();
}

void SimGroup::StartTimer() {
    StopTimer();
    std::weak_ptr<SimGroup> weak = weak_from_this();
    timer_ = scheduler_->StartTimer(state_.update_rate, [weak] {
        if (auto self = weak.lock())
            self->OnUpdateTick();
    });
}

void SimGroup::StopTimer() {
    if (timer_ != 0) {
        scheduler_->StopTimer(timer_);
        timer_ = 0;
    }
}

void SimGroup::MarkRemoved() {
    removed_ = true;
    StopTimer();
    // The server lets go of its subscribers with the group, as a COM server releases the sinks.
    callbacks_.clear();
    streams_.clear();
}

HRESULT SimGroup::Enter(std::u16string_view call, std::shared_ptr<SimServer>& server) {
    server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    return server->FaultControl().Take(call);
}

HRESULT SimGroup::GetState(GroupState* state) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"GetState", server); FAILED(hr))
        return hr;
    *state = state_;
    return S_OK;
}

HRESULT SimGroup::SetState(const DWORD* requested_rate, DWORD* revised_rate, const BOOL* active,
                           const LONG* time_bias, const FLOAT* percent_deadband, const DWORD* lcid,
                           const DWORD* client_handle) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"SetState", server); FAILED(hr))
        return hr;
    if (percent_deadband != nullptr && !(*percent_deadband >= 0.0f && *percent_deadband <= 100.0f))
        return E_INVALIDARG;
    HRESULT result = S_OK;
    if (requested_rate != nullptr) {
        DWORD revised = *requested_rate < kMinimumUpdateRate ? kMinimumUpdateRate : *requested_rate;
        if (revised != *requested_rate)
            result = code::kUnsupportedRate;
        if (revised != state_.update_rate) {
            state_.update_rate = revised;
            StartTimer();
        }
    }
    if (revised_rate != nullptr)
        *revised_rate = state_.update_rate;
    if (active != nullptr) {
        bool now_active = *active != 0;
        if (now_active && !state_.active)
            for (auto& [handle, item] : items_)
                item.sent = false; // an activated group reports every active item again
        state_.active = now_active;
    }
    if (time_bias != nullptr)
        state_.time_bias = *time_bias;
    if (percent_deadband != nullptr)
        state_.percent_deadband = *percent_deadband;
    if (lcid != nullptr)
        state_.lcid = *lcid;
    if (client_handle != nullptr)
        state_.client_handle = *client_handle;
    return result;
}

HRESULT SimGroup::SetName(const std::u16string& name) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"SetName", server); FAILED(hr))
        return hr;
    if (name.empty())
        return E_INVALIDARG;
    if (server->NameInUse(name, this))
        return code::kDuplicateName;
    state_.name = name;
    return S_OK;
}

HRESULT SimGroup::CheckItem(const ItemRequest& request, const ItemSpec** spec) const {
    if (request.item_id.empty())
        return code::kInvalidItemId;
    const ItemSpec* found = SimServer::Items().Find(request.item_id);
    if (found == nullptr)
        return code::kUnknownItemId;
    if (request.requested_type != VT_EMPTY) {
        if (!IsSupportedType(request.requested_type) ||
            ((request.requested_type & VT_ARRAY) != 0) != ((found->type & VT_ARRAY) != 0))
            return code::kBadType;
    }
    *spec = found;
    return S_OK;
}

HRESULT SimGroup::AddItems(const std::vector<ItemRequest>& requests, std::vector<ItemAddResult>* results,
                           std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"AddItems", server); FAILED(hr))
        return hr;
    if (requests.empty())
        return E_INVALIDARG;
    results->assign(requests.size(), ItemAddResult());
    errors->assign(requests.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < requests.size(); ++i) {
        const ItemSpec* spec = nullptr;
        HRESULT hr = CheckItem(requests[i], &spec);
        if (SUCCEEDED(hr) && server->FaultControl().TakeRefuseItem())
            hr = code::kUnknownItemId;
        if (FAILED(hr)) {
            (*errors)[i] = hr;
            any_failed = true;
            continue;
        }
        Item item;
        item.server_handle = next_item_handle_++;
        item.client_handle = requests[i].client_handle;
        item.spec = spec;
        item.active = requests[i].active;
        item.requested_type = requests[i].requested_type;
        (*results)[i] = {item.server_handle, spec->type, spec->rights};
        items_.emplace(item.server_handle, std::move(item));
    }
    return any_failed ? S_FALSE : S_OK;
}

HRESULT SimGroup::ValidateItems(const std::vector<ItemRequest>& requests, std::vector<ItemAddResult>* results,
                                std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"ValidateItems", server); FAILED(hr))
        return hr;
    if (requests.empty())
        return E_INVALIDARG;
    results->assign(requests.size(), ItemAddResult());
    errors->assign(requests.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < requests.size(); ++i) {
        const ItemSpec* spec = nullptr;
        HRESULT hr = CheckItem(requests[i], &spec);
        (*errors)[i] = hr;
        if (FAILED(hr))
            any_failed = true;
        else
            (*results)[i] = {0, spec->type, spec->rights};
    }
    return any_failed ? S_FALSE : S_OK;
}

HRESULT SimGroup::RemoveItems(const std::vector<DWORD>& server_handles, std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"RemoveItems", server); FAILED(hr))
        return hr;
    if (server_handles.empty())
        return E_INVALIDARG;
    errors->assign(server_handles.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < server_handles.size(); ++i) {
        if (items_.erase(server_handles[i]) == 0) {
            (*errors)[i] = code::kInvalidHandle;
            any_failed = true;
        }
    }
    return any_failed ? S_FALSE : S_OK;
}

HRESULT SimGroup::SetActiveState(const std::vector<DWORD>& server_handles, bool active,
                                 std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"SetActiveState", server); FAILED(hr))
        return hr;
    if (server_handles.empty())
        return E_INVALIDARG;
    errors->assign(server_handles.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < server_handles.size(); ++i) {
        auto it = items_.find(server_handles[i]);
        if (it == items_.end()) {
            (*errors)[i] = code::kInvalidHandle;
            any_failed = true;
            continue;
        }
        if (active && !it->second.active)
            it->second.sent = false; // an activated item reports its value at the next update
        it->second.active = active;
    }
    return any_failed ? S_FALSE : S_OK;
}

ItemUpdate SimGroup::Current(const Item& item, DWORD source) {
    ItemUpdate u;
    u.client_handle = item.client_handle;
    auto server = server_.lock();
    if (!server) {
        u.error = E_FAIL;
        return u;
    }
    Sample s = server->SampleItem(*item.spec);
    u.timestamp = s.timestamp;
    if (source == kSourceDevice && item.spec->device_read_fails) {
        u.error = E_FAIL;
        u.quality = s.quality;
        return u;
    }
    u.quality = s.quality;
    if (item.requested_type != VT_EMPTY && item.requested_type != s.value.type) {
        if (FAILED(ConvertValue(s.value, item.requested_type, &u.value))) {
            u.value = Value();
            u.quality = quality::kBad;
        }
    } else {
        u.value = std::move(s.value);
    }
    return u;
}

HRESULT SimGroup::Read(DWORD source, const std::vector<DWORD>& server_handles, std::vector<ItemRead>* values,
                       std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"Read", server); FAILED(hr))
        return hr;
    if (server_handles.empty() || (source != kSourceCache && source != kSourceDevice))
        return E_INVALIDARG;
    values->assign(server_handles.size(), ItemRead());
    errors->assign(server_handles.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < server_handles.size(); ++i) {
        auto it = items_.find(server_handles[i]);
        HRESULT hr = S_OK;
        if (it == items_.end())
            hr = code::kInvalidHandle;
        else if ((it->second.spec->rights & kReadable) == 0)
            hr = code::kBadRights;
        if (SUCCEEDED(hr)) {
            ItemUpdate u = Current(it->second, source);
            hr = u.error;
            ItemRead& r = (*values)[i];
            r.client_handle = u.client_handle;
            r.timestamp = u.timestamp;
            r.quality = u.quality;
            r.value = std::move(u.value);
            // A cache read of an inactive group or item reports the value as out of service.
            if (source == kSourceCache && (!state_.active || !it->second.active))
                r.quality = quality::kOutOfService;
        } else {
            (*values)[i].client_handle = it == items_.end() ? 0 : it->second.client_handle;
        }
        if (FAILED(hr)) {
            (*errors)[i] = hr;
            (*values)[i].value = Value();
            any_failed = true;
        }
    }
    return any_failed ? S_FALSE : S_OK;
}

HRESULT SimGroup::Write(const std::vector<DWORD>& server_handles, const std::vector<Value>& values,
                        std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"Write", server); FAILED(hr))
        return hr;
    if (server_handles.empty() || server_handles.size() != values.size())
        return E_INVALIDARG;
    errors->assign(server_handles.size(), S_OK);
    bool any_failed = false;
    for (size_t i = 0; i < server_handles.size(); ++i) {
        auto it = items_.find(server_handles[i]);
        HRESULT hr =
            it == items_.end() ? code::kInvalidHandle : server->WriteItem(*it->second.spec, values[i]);
        (*errors)[i] = hr;
        any_failed = any_failed || FAILED(hr);
    }
    return any_failed ? S_FALSE : S_OK;
}

HRESULT SimGroup::AsyncWrite(const std::vector<DWORD>& server_handles, const std::vector<Value>& values,
                             DWORD transaction_id, DWORD* cancel_id, std::vector<HRESULT>* errors) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"AsyncWrite", server); FAILED(hr))
        return hr;
    if (server_handles.empty() || server_handles.size() != values.size())
        return E_INVALIDARG;
    if (callbacks_.empty())
        return code::kNoConnection;
    errors->assign(server_handles.size(), S_OK);
    std::vector<std::pair<DWORD, Value>> queued;
    bool any_failed = false;
    for (size_t i = 0; i < server_handles.size(); ++i) {
        if (items_.count(server_handles[i]) == 0) {
            (*errors)[i] = code::kInvalidHandle;
            any_failed = true;
        } else {
            queued.emplace_back(server_handles[i], values[i]);
        }
    }
    *cancel_id = next_transaction_++;
    if (queued.empty())
        return S_FALSE;
    std::weak_ptr<SimGroup> weak = weak_from_this();
    scheduler_->Post([weak, transaction_id, queued = std::move(queued)] {
        auto self = weak.lock();
        if (!self || self->removed_)
            return;
        auto server = self->server_.lock();
        if (!server)
            return;
        std::vector<ItemWriteResult> results;
        HRESULT master = S_OK;
        for (const auto& [handle, value] : queued) {
            auto it = self->items_.find(handle);
            // An item removed since the request was queued reports an invalid handle.
            ItemWriteResult r;
            r.client_handle = it == self->items_.end() ? 0 : it->second.client_handle;
            r.error =
                it == self->items_.end() ? code::kInvalidHandle : server->WriteItem(*it->second.spec, value);
            if (FAILED(r.error))
                master = S_FALSE;
            results.push_back(r);
        }
        std::vector<std::shared_ptr<DataListener>> listeners;
        for (const auto& [cookie, listener] : self->callbacks_)
            listeners.push_back(listener);
        for (const auto& listener : listeners) {
            if (self->removed_)
                break;
            listener->OnWriteComplete(transaction_id, self->state_.client_handle, master, results);
        }
    });
    return any_failed ? S_FALSE : S_OK;
}

std::vector<ItemUpdate> SimGroup::AllActive(DWORD source) {
    std::vector<ItemUpdate> updates;
    updates.reserve(items_.size());
    for (auto& [handle, item] : items_) {
        if (!item.active || (item.spec->rights & kReadable) == 0)
            continue;
        updates.push_back(Current(item, source));
    }
    return updates;
}

HRESULT SimGroup::Refresh2(DWORD source, DWORD transaction_id, DWORD* cancel_id) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"Refresh2", server); FAILED(hr))
        return hr;
    if (source != kSourceCache && source != kSourceDevice)
        return E_INVALIDARG;
    if (callbacks_.empty())
        return code::kNoConnection;
    if (!state_.active)
        return E_FAIL;
    bool any_active = false;
    for (const auto& [handle, item] : items_)
        any_active = any_active || item.active;
    if (!any_active)
        return E_FAIL;
    *cancel_id = next_transaction_++;
    std::weak_ptr<SimGroup> weak = weak_from_this();
    scheduler_->Post([weak, source, transaction_id] {
        auto self = weak.lock();
        if (!self || self->removed_)
            return;
        auto updates = self->AllActive(source);
        if (!updates.empty())
            self->DeliverToCallbacks(transaction_id, updates);
    });
    return S_OK;
}

HRESULT SimGroup::Refresh(DWORD connection, DWORD source, DWORD* transaction_id) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"Refresh", server); FAILED(hr))
        return hr;
    if (source != kSourceCache && source != kSourceDevice)
        return E_INVALIDARG;
    if (streams_.count(connection) == 0)
        return E_INVALIDARG;
    if (!state_.active)
        return E_FAIL;
    bool any_active = false;
    for (const auto& [handle, item] : items_)
        any_active = any_active || item.active;
    if (!any_active)
        return E_FAIL;
    const DWORD id = next_transaction_++;
    *transaction_id = id;
    std::weak_ptr<SimGroup> weak = weak_from_this();
    scheduler_->Post([weak, connection, source, id] {
        auto self = weak.lock();
        if (!self || self->removed_)
            return;
        auto updates = self->AllActive(source);
        if (!updates.empty())
            self->DeliverToStream(connection, id, updates);
    });
    return S_OK;
}

HRESULT SimGroup::Advise(std::shared_ptr<DataListener> listener, DWORD* cookie) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"Advise", server); FAILED(hr))
        return hr;
    if (!listener)
        return E_POINTER;
    *cookie = next_cookie_++;
    callbacks_.emplace(*cookie, std::move(listener));
    return S_OK;
}

HRESULT SimGroup::Unadvise(DWORD cookie) {
    return callbacks_.erase(cookie) != 0 ? S_OK : code::kNoConnection;
}

HRESULT SimGroup::DAdvise(StreamFormat format, bool prime_first, std::shared_ptr<StreamListener> listener,
                          DWORD* connection) {
    std::shared_ptr<SimServer> server;
    if (HRESULT hr = Enter(u"DAdvise", server); FAILED(hr))
        return hr;
    if (!listener)
        return E_POINTER;
    const DWORD id = next_cookie_++;
    streams_.emplace(id, StreamSubscription{format, std::move(listener)});
    *connection = id;
    if (prime_first && state_.active) {
        std::weak_ptr<SimGroup> weak = weak_from_this();
        scheduler_->Post([weak, id] {
            auto self = weak.lock();
            if (!self || self->removed_ || self->streams_.count(id) == 0)
                return;
            auto updates = self->AllActive(kSourceCache);
            if (!updates.empty())
                self->DeliverToStream(id, 0, updates);
        });
    }
    return S_OK;
}

HRESULT SimGroup::DUnadvise(DWORD connection) {
    return streams_.erase(connection) != 0 ? S_OK : code::kNoConnection;
}

bool SimGroup::Changed(const Item& item, const Value& value, WORD quality) const {
    if (!item.sent || quality != item.last_quality)
        return true;
    if (value == item.last_value)
        return false;
    if (state_.percent_deadband <= 0.0f || item.spec->eu_type != kEuAnalog ||
        value.type != item.last_value.type)
        return true;
    // Percent deadband: an analog value is reported when it moved more than that share of its EU span since
    // the value last reported; arrays when any element did.
    const double threshold = state_.percent_deadband / 100.0 * std::fabs(item.spec->high - item.spec->low);
    if (value.IsArray()) {
        if (value.elements.size() != item.last_value.elements.size())
            return true;
        for (size_t i = 0; i < value.elements.size(); ++i)
            if (Beyond(value.elements[i], item.last_value.elements[i], threshold))
                return true;
        return false;
    }
    return Beyond(value, item.last_value, threshold);
}

void SimGroup::OnUpdateTick() {
    if (removed_ || !state_.active || !HasSubscribers())
        return;
    auto server = server_.lock();
    if (!server)
        return;
    std::vector<ItemUpdate> updates;
    updates.reserve(items_.size());
    for (auto& [handle, item] : items_) {
        if (!item.active || (item.spec->rights & kReadable) == 0)
            continue;
        ItemUpdate u = Current(item, kSourceCache);
        if (!Changed(item, u.value, u.quality))
            continue;
        item.sent = true;
        item.last_value = u.value;
        item.last_quality = u.quality;
        updates.push_back(std::move(u));
    }
    if (updates.empty())
        return;
    server->NoteUpdateSent(server->NowTicks());
    // Keep the group alive while subscribers run: one may remove it from inside its notification.
    auto keep = shared_from_this();
    DeliverToCallbacks(0, updates);
    std::vector<DWORD> connections;
    for (const auto& [id, sub] : streams_)
        connections.push_back(id);
    for (DWORD id : connections)
        DeliverToStream(id, 0, updates);
}

void SimGroup::DeliverToCallbacks(DWORD transaction_id, const std::vector<ItemUpdate>& updates) {
    HRESULT master_quality = S_OK;
    HRESULT master_error = S_OK;
    for (const auto& u : updates) {
        if ((u.quality & 0xC0) != quality::kGood)
            master_quality = S_FALSE;
        if (FAILED(u.error))
            master_error = S_FALSE;
    }
    std::vector<std::shared_ptr<DataListener>> listeners;
    for (const auto& [cookie, listener] : callbacks_)
        listeners.push_back(listener);
    auto keep = shared_from_this();
    for (const auto& listener : listeners) {
        if (removed_)
            return;
        listener->OnDataChange(transaction_id, state_.client_handle, master_quality, master_error, updates);
    }
}

void SimGroup::DeliverToStream(DWORD connection, DWORD transaction_id,
                               const std::vector<ItemUpdate>& updates) {
    auto it = streams_.find(connection);
    auto server = server_.lock();
    if (it == streams_.end() || removed_ || !server)
        return;
    std::vector<StreamItem> items;
    items.reserve(updates.size());
    for (const auto& u : updates) {
        StreamItem s;
        s.client_handle = u.client_handle;
        s.value = &u.value;
        // A stream has no per-item error: a failed device read shows as a bad quality.
        s.quality = FAILED(u.error) ? quality::kDeviceFailure : u.quality;
        s.timestamp = u.timestamp;
        items.push_back(s);
    }
    const StreamFormat format = it->second.format;
    auto listener = it->second.listener;
    auto block = EncodeDataStream(format, state_.client_handle, transaction_id, items,
                                  server->FaultControl().TakeDamage());
    auto keep = shared_from_this();
    listener->OnStream(format, block);
}

} // namespace tagclient::transport::sim
