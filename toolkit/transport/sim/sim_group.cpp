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

SimGroup::SimGroup(std::shared_ptr<SimServer> server, DWORD serverHandle, GroupInterfaces interfaces)
    : server_(server), scheduler_(server->SchedulerRef()), interfaces_(interfaces) {
    state_.serverHandle = serverHandle;
}

SimGroup::~SimGroup() {
    StopTimer();
}

void SimGroup::StartTimer() {
    StopTimer();
    std::weak_ptr<SimGroup> weak = weak_from_this();
    timer_ = scheduler_->StartTimer(state_.updateRate, [weak] {
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

HRESULT SimGroup::GetState(GroupState* state) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"GetState"); FAILED(hr))
        return hr;
    *state = state_;
    return S_OK;
}

HRESULT SimGroup::SetState(const DWORD* requestedRate, DWORD* revisedRate, const BOOL* active,
                           const LONG* timeBias, const FLOAT* percentDeadband, const DWORD* lcid,
                           const DWORD* clientHandle) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"SetState"); FAILED(hr))
        return hr;
    if (percentDeadband != nullptr && !(*percentDeadband >= 0.0f && *percentDeadband <= 100.0f))
        return E_INVALIDARG;
    HRESULT result = S_OK;
    if (requestedRate != nullptr) {
        DWORD revised = *requestedRate < kMinimumUpdateRate ? kMinimumUpdateRate : *requestedRate;
        if (revised != *requestedRate)
            result = code::UnsupportedRate;
        if (revised != state_.updateRate) {
            state_.updateRate = revised;
            StartTimer();
        }
    }
    if (revisedRate != nullptr)
        *revisedRate = state_.updateRate;
    if (active != nullptr) {
        bool nowActive = *active != 0;
        if (nowActive && !state_.active)
            for (auto& [handle, item] : items_)
                item.sent = false; // an activated group reports every active item again
        state_.active = nowActive;
    }
    if (timeBias != nullptr)
        state_.timeBias = *timeBias;
    if (percentDeadband != nullptr)
        state_.percentDeadband = *percentDeadband;
    if (lcid != nullptr)
        state_.lcid = *lcid;
    if (clientHandle != nullptr)
        state_.clientHandle = *clientHandle;
    return result;
}

HRESULT SimGroup::SetName(const std::u16string& name) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"SetName"); FAILED(hr))
        return hr;
    if (name.empty())
        return E_INVALIDARG;
    if (server->NameInUse(name, this))
        return code::DuplicateName;
    state_.name = name;
    return S_OK;
}

HRESULT SimGroup::CheckItem(const ItemRequest& request, const ItemSpec** spec) const {
    if (request.itemId.empty())
        return code::InvalidItemId;
    const ItemSpec* found = SimServer::Items().Find(request.itemId);
    if (found == nullptr)
        return code::UnknownItemId;
    if (request.requestedType != VT_EMPTY) {
        if (!IsSupportedType(request.requestedType) ||
            ((request.requestedType & VT_ARRAY) != 0) != ((found->type & VT_ARRAY) != 0))
            return code::BadType;
    }
    *spec = found;
    return S_OK;
}

HRESULT SimGroup::AddItems(const std::vector<ItemRequest>& requests, std::vector<ItemAddResult>* results,
                           std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"AddItems"); FAILED(hr))
        return hr;
    if (requests.empty())
        return E_INVALIDARG;
    results->assign(requests.size(), ItemAddResult());
    errors->assign(requests.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < requests.size(); ++i) {
        const ItemSpec* spec = nullptr;
        HRESULT hr = CheckItem(requests[i], &spec);
        if (SUCCEEDED(hr) && server->FaultControl().TakeRefuseItem())
            hr = code::UnknownItemId;
        if (FAILED(hr)) {
            (*errors)[i] = hr;
            anyFailed = true;
            continue;
        }
        Item item;
        item.serverHandle = nextItemHandle_++;
        item.clientHandle = requests[i].clientHandle;
        item.spec = spec;
        item.active = requests[i].active;
        item.requestedType = requests[i].requestedType;
        (*results)[i] = {item.serverHandle, spec->type, spec->rights};
        items_.emplace(item.serverHandle, std::move(item));
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT SimGroup::ValidateItems(const std::vector<ItemRequest>& requests, std::vector<ItemAddResult>* results,
                                std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"ValidateItems"); FAILED(hr))
        return hr;
    if (requests.empty())
        return E_INVALIDARG;
    results->assign(requests.size(), ItemAddResult());
    errors->assign(requests.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < requests.size(); ++i) {
        const ItemSpec* spec = nullptr;
        HRESULT hr = CheckItem(requests[i], &spec);
        (*errors)[i] = hr;
        if (FAILED(hr))
            anyFailed = true;
        else
            (*results)[i] = {0, spec->type, spec->rights};
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT SimGroup::RemoveItems(const std::vector<DWORD>& serverHandles, std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"RemoveItems"); FAILED(hr))
        return hr;
    if (serverHandles.empty())
        return E_INVALIDARG;
    errors->assign(serverHandles.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < serverHandles.size(); ++i) {
        if (items_.erase(serverHandles[i]) == 0) {
            (*errors)[i] = code::InvalidHandle;
            anyFailed = true;
        }
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT SimGroup::SetActiveState(const std::vector<DWORD>& serverHandles, bool active,
                                 std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"SetActiveState"); FAILED(hr))
        return hr;
    if (serverHandles.empty())
        return E_INVALIDARG;
    errors->assign(serverHandles.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < serverHandles.size(); ++i) {
        auto it = items_.find(serverHandles[i]);
        if (it == items_.end()) {
            (*errors)[i] = code::InvalidHandle;
            anyFailed = true;
            continue;
        }
        if (active && !it->second.active)
            it->second.sent = false; // an activated item reports its value at the next update
        it->second.active = active;
    }
    return anyFailed ? S_FALSE : S_OK;
}

ItemUpdate SimGroup::Current(const Item& item, DWORD source) {
    ItemUpdate u;
    u.clientHandle = item.clientHandle;
    auto server = server_.lock();
    if (!server) {
        u.error = E_FAIL;
        return u;
    }
    Sample s = server->SampleItem(*item.spec);
    u.timestamp = s.timestamp;
    if (source == kSourceDevice && item.spec->deviceReadFails) {
        u.error = E_FAIL;
        u.quality = s.quality;
        return u;
    }
    u.quality = s.quality;
    if (item.requestedType != VT_EMPTY && item.requestedType != s.value.type) {
        if (FAILED(ConvertValue(s.value, item.requestedType, &u.value))) {
            u.value = Value();
            u.quality = quality::Bad;
        }
    } else {
        u.value = std::move(s.value);
    }
    return u;
}

HRESULT SimGroup::Read(DWORD source, const std::vector<DWORD>& serverHandles, std::vector<ItemRead>* values,
                       std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"Read"); FAILED(hr))
        return hr;
    if (serverHandles.empty() || (source != kSourceCache && source != kSourceDevice))
        return E_INVALIDARG;
    values->assign(serverHandles.size(), ItemRead());
    errors->assign(serverHandles.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < serverHandles.size(); ++i) {
        auto it = items_.find(serverHandles[i]);
        HRESULT hr = S_OK;
        if (it == items_.end())
            hr = code::InvalidHandle;
        else if ((it->second.spec->rights & kReadable) == 0)
            hr = code::BadRights;
        if (SUCCEEDED(hr)) {
            ItemUpdate u = Current(it->second, source);
            hr = u.error;
            ItemRead& r = (*values)[i];
            r.clientHandle = u.clientHandle;
            r.timestamp = u.timestamp;
            r.quality = u.quality;
            r.value = std::move(u.value);
            // A cache read of an inactive group or item reports the value as out of service.
            if (source == kSourceCache && (!state_.active || !it->second.active))
                r.quality = quality::OutOfService;
        } else {
            (*values)[i].clientHandle = it == items_.end() ? 0 : it->second.clientHandle;
        }
        if (FAILED(hr)) {
            (*errors)[i] = hr;
            (*values)[i].value = Value();
            anyFailed = true;
        }
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT SimGroup::Write(const std::vector<DWORD>& serverHandles, const std::vector<Value>& values,
                        std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"Write"); FAILED(hr))
        return hr;
    if (serverHandles.empty() || serverHandles.size() != values.size())
        return E_INVALIDARG;
    errors->assign(serverHandles.size(), S_OK);
    bool anyFailed = false;
    for (size_t i = 0; i < serverHandles.size(); ++i) {
        auto it = items_.find(serverHandles[i]);
        HRESULT hr =
            it == items_.end() ? code::InvalidHandle : server->WriteItem(*it->second.spec, values[i]);
        (*errors)[i] = hr;
        anyFailed = anyFailed || FAILED(hr);
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT SimGroup::AsyncWrite(const std::vector<DWORD>& serverHandles, const std::vector<Value>& values,
                             DWORD transactionId, DWORD* cancelId, std::vector<HRESULT>* errors) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"AsyncWrite"); FAILED(hr))
        return hr;
    if (serverHandles.empty() || serverHandles.size() != values.size())
        return E_INVALIDARG;
    if (callbacks_.empty())
        return code::NoConnection;
    errors->assign(serverHandles.size(), S_OK);
    std::vector<std::pair<DWORD, Value>> queued;
    bool anyFailed = false;
    for (size_t i = 0; i < serverHandles.size(); ++i) {
        if (items_.count(serverHandles[i]) == 0) {
            (*errors)[i] = code::InvalidHandle;
            anyFailed = true;
        } else {
            queued.emplace_back(serverHandles[i], values[i]);
        }
    }
    *cancelId = nextTransaction_++;
    if (queued.empty())
        return S_FALSE;
    std::weak_ptr<SimGroup> weak = weak_from_this();
    scheduler_->Post([weak, transactionId, queued = std::move(queued)] {
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
            r.clientHandle = it == self->items_.end() ? 0 : it->second.clientHandle;
            r.error =
                it == self->items_.end() ? code::InvalidHandle : server->WriteItem(*it->second.spec, value);
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
            listener->OnWriteComplete(transactionId, self->state_.clientHandle, master, results);
        }
    });
    return anyFailed ? S_FALSE : S_OK;
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

HRESULT SimGroup::Refresh2(DWORD source, DWORD transactionId, DWORD* cancelId) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"Refresh2"); FAILED(hr))
        return hr;
    if (source != kSourceCache && source != kSourceDevice)
        return E_INVALIDARG;
    if (callbacks_.empty())
        return code::NoConnection;
    if (!state_.active)
        return E_FAIL;
    bool anyActive = false;
    for (const auto& [handle, item] : items_)
        anyActive = anyActive || item.active;
    if (!anyActive)
        return E_FAIL;
    *cancelId = nextTransaction_++;
    std::weak_ptr<SimGroup> weak = weak_from_this();
    scheduler_->Post([weak, source, transactionId] {
        auto self = weak.lock();
        if (!self || self->removed_)
            return;
        auto updates = self->AllActive(source);
        if (!updates.empty())
            self->DeliverToCallbacks(transactionId, updates);
    });
    return S_OK;
}

HRESULT SimGroup::Refresh(DWORD connection, DWORD source, DWORD* transactionId) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"Refresh"); FAILED(hr))
        return hr;
    if (source != kSourceCache && source != kSourceDevice)
        return E_INVALIDARG;
    if (streams_.count(connection) == 0)
        return E_INVALIDARG;
    if (!state_.active)
        return E_FAIL;
    bool anyActive = false;
    for (const auto& [handle, item] : items_)
        anyActive = anyActive || item.active;
    if (!anyActive)
        return E_FAIL;
    const DWORD id = nextTransaction_++;
    *transactionId = id;
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
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"Advise"); FAILED(hr))
        return hr;
    if (!listener)
        return E_POINTER;
    *cookie = nextCookie_++;
    callbacks_.emplace(*cookie, std::move(listener));
    return S_OK;
}

HRESULT SimGroup::Unadvise(DWORD cookie) {
    return callbacks_.erase(cookie) != 0 ? S_OK : code::NoConnection;
}

HRESULT SimGroup::DAdvise(StreamFormat format, bool primeFirst, std::shared_ptr<StreamListener> listener,
                          DWORD* connection) {
    auto server = server_.lock();
    if (removed_ || !server)
        return E_FAIL;
    if (HRESULT hr = server->FaultControl().Take(u"DAdvise"); FAILED(hr))
        return hr;
    if (!listener)
        return E_POINTER;
    const DWORD id = nextCookie_++;
    streams_.emplace(id, StreamSubscription{format, std::move(listener)});
    *connection = id;
    if (primeFirst && state_.active) {
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
    return streams_.erase(connection) != 0 ? S_OK : code::NoConnection;
}

bool SimGroup::Changed(const Item& item, const Value& value, WORD quality) const {
    if (!item.sent || quality != item.lastQuality)
        return true;
    if (value == item.lastValue)
        return false;
    if (state_.percentDeadband <= 0.0f || item.spec->euType != kEuAnalog || value.type != item.lastValue.type)
        return true;
    // Percent deadband: an analog value is reported when it moved more than that share of its EU span since
    // the value last reported; arrays when any element did.
    const double threshold = state_.percentDeadband / 100.0 * std::fabs(item.spec->high - item.spec->low);
    if (value.IsArray()) {
        if (value.elements.size() != item.lastValue.elements.size())
            return true;
        for (size_t i = 0; i < value.elements.size(); ++i)
            if (Beyond(value.elements[i], item.lastValue.elements[i], threshold))
                return true;
        return false;
    }
    return Beyond(value, item.lastValue, threshold);
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
        item.lastValue = u.value;
        item.lastQuality = u.quality;
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

void SimGroup::DeliverToCallbacks(DWORD transactionId, const std::vector<ItemUpdate>& updates) {
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    for (const auto& u : updates) {
        if ((u.quality & 0xC0) != quality::Good)
            masterQuality = S_FALSE;
        if (FAILED(u.error))
            masterError = S_FALSE;
    }
    std::vector<std::shared_ptr<DataListener>> listeners;
    for (const auto& [cookie, listener] : callbacks_)
        listeners.push_back(listener);
    auto keep = shared_from_this();
    for (const auto& listener : listeners) {
        if (removed_)
            return;
        listener->OnDataChange(transactionId, state_.clientHandle, masterQuality, masterError, updates);
    }
}

void SimGroup::DeliverToStream(DWORD connection, DWORD transactionId,
                               const std::vector<ItemUpdate>& updates) {
    auto it = streams_.find(connection);
    auto server = server_.lock();
    if (it == streams_.end() || removed_ || !server)
        return;
    std::vector<StreamItem> items;
    items.reserve(updates.size());
    for (const auto& u : updates) {
        StreamItem s;
        s.clientHandle = u.clientHandle;
        s.value = &u.value;
        // A stream has no per-item error: a failed device read shows as a bad quality.
        s.quality = FAILED(u.error) ? quality::DeviceFailure : u.quality;
        s.timestamp = u.timestamp;
        items.push_back(s);
    }
    const StreamFormat format = it->second.format;
    auto listener = it->second.listener;
    auto block = EncodeDataStream(format, state_.clientHandle, transactionId, items,
                                  server->FaultControl().TakeDamage());
    auto keep = shared_from_this();
    listener->OnStream(format, block);
}

} // namespace tagclient::transport::sim
