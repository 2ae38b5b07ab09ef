// The default transport on this platform: the simulated servers, their server-list component and the
// registration-file registry, presented through the toolkit's transport interfaces. Everything here
// translates between the interface conventions (task-allocated arrays, VARIANTs, UTF-16 strings, sinks) and
// the servers' value-level core; the servers' behaviour lives in sim_server / sim_group.
#include "sim_codes.hpp"
#include "sim_control.hpp"
#include "sim_group.hpp"
#include "sim_profiles.hpp"
#include "sim_registration.hpp"
#include "sim_server.hpp"
#include "sim_time.hpp"
#include "sim_variant.hpp"

#include <transport/transport.hpp>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace tagclient::transport {

namespace {

using namespace tagclient::transport::sim;

constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAL); // RPC server unavailable
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002L);

// ---------------------------------------------------------------------------------------------------------
// Task memory helpers.

template <typename T> T* TaskArray(size_t count) {
    void* p = CoTaskMemAlloc(count == 0 ? 1 : count * sizeof(T));
    if (p == nullptr)
        throw std::bad_alloc();
    std::memset(p, 0, count == 0 ? 1 : count * sizeof(T));
    return static_cast<T*>(p);
}

OLECHAR* TaskString(const std::u16string& s) {
    OLECHAR* p = TaskArray<OLECHAR>(s.size() + 1);
    std::memcpy(p, s.data(), s.size() * sizeof(OLECHAR));
    p[s.size()] = 0;
    return p;
}

std::u16string FromOle(const OLECHAR* s) {
    if (s == nullptr)
        return {};
    const auto* c = reinterpret_cast<const char16_t*>(s);
    return std::u16string(c);
}

std::string Narrow(const std::u16string& s) {
    return Utf8(s);
}

// Every task-allocated output of one call, freed unless the call hands them over.
class TaskOutputs {
public:
    ~TaskOutputs() {
        if (!released_)
            for (void* p : blocks_)
                CoTaskMemFree(p);
    }
    template <typename T> T* Keep(T* p) {
        blocks_.push_back(p);
        return p;
    }
    void Release() { released_ = true; }

private:
    std::vector<void*> blocks_;
    bool released_ = false;
};

// A VARIANT array of the caller's that is cleared when the call fails before handing it over.
void ClearVariants(VARIANT* values, size_t count) {
    for (size_t i = 0; i < count; ++i)
        VariantClear(&values[i]);
}

// Runs a transport operation, turning an allocation failure into E_OUTOFMEMORY: nothing thrown here may
// reach the toolkit.
template <typename F> HRESULT Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// ---------------------------------------------------------------------------------------------------------
// The scheduler of the servers: the toolkit's Host.

class HostScheduler final : public Scheduler {
public:
    explicit HostScheduler(Host& host) : host_(host) {}
    std::uint64_t NowMs() override { return host_.NowMs(); }
    void Post(std::function<void()> call) override { host_.Post(std::move(call)); }
    std::uint64_t StartTimer(std::uint32_t intervalMs, std::function<void()> tick) override {
        return host_.StartTimer(intervalMs, std::move(tick));
    }
    void StopTimer(std::uint64_t id) override { host_.StopTimer(id); }

private:
    Host& host_;
};

// The scheduler of one server instance: the transport's scheduler, with a switch that ends everything the
// instance has running or posted, as when the server's process ends.
class InstanceScheduler final : public Scheduler {
public:
    explicit InstanceScheduler(std::shared_ptr<Scheduler> outer)
        : outer_(std::move(outer)), alive_(std::make_shared<bool>(true)) {}
    std::uint64_t NowMs() override { return outer_->NowMs(); }
    void Post(std::function<void()> call) override {
        if (!*alive_)
            return;
        outer_->Post([alive = alive_, call = std::move(call)] {
            if (*alive)
                call();
        });
    }
    std::uint64_t StartTimer(std::uint32_t intervalMs, std::function<void()> tick) override {
        if (!*alive_)
            return kNeverStarted | nextDead_++; // never 0, never one of the outer scheduler's timers
        std::uint64_t id = outer_->StartTimer(intervalMs, std::move(tick));
        timers_.insert(id);
        return id;
    }
    void StopTimer(std::uint64_t id) override {
        if (timers_.erase(id) != 0)
            outer_->StopTimer(id);
    }
    // Stops every timer and drops every posted call of the instance, now and later.
    void Halt() {
        *alive_ = false;
        std::set<std::uint64_t> timers;
        timers.swap(timers_);
        for (std::uint64_t id : timers)
            outer_->StopTimer(id);
    }

private:
    static constexpr std::uint64_t kNeverStarted = 1ull << 63;
    std::shared_ptr<Scheduler> outer_;
    std::shared_ptr<bool> alive_;
    std::set<std::uint64_t> timers_;
    std::uint64_t nextDead_ = 1;
};

// Whether one server instance still exists, as the outside control decides (sim_control.hpp): the
// instance dies for good when the control file says "down", and sends one shutdown request for each
// "shutdown" text written after it was created. Checked at every call on the instance's objects and, while
// the control variable is set, every kControlWatchMs by a timer of the instance.
class InstanceLife final : public std::enable_shared_from_this<InstanceLife> {
public:
    explicit InstanceLife(std::shared_ptr<InstanceScheduler> scheduler)
        : scheduler_(std::move(scheduler)), seen_(ReadControl().version) {}
    ~InstanceLife() {
        if (watch_ != 0)
            scheduler_->StopTimer(watch_);
    }
    InstanceLife(const InstanceLife&) = delete;
    InstanceLife& operator=(const InstanceLife&) = delete;

    void Watch(const std::shared_ptr<SimServer>& server) {
        server_ = server;
        if (!ControlEnabled())
            return;
        std::weak_ptr<InstanceLife> weak = weak_from_this();
        watch_ = scheduler_->StartTimer(kControlWatchMs, [weak] {
            if (auto self = weak.lock())
                self->Lost();
        });
    }

    // True when the instance has vanished; every call on it then fails with kServerUnavailable.
    bool Lost() {
        if (dead_)
            return true;
        if (!ControlEnabled())
            return false;
        const ControlReading reading = ReadControl();
        if (reading.state == ControlState::Down) {
            dead_ = true;
            watch_ = 0;
            scheduler_->Halt();
            return true;
        }
        if (reading.state == ControlState::Shutdown && reading.version != seen_) {
            if (auto server = server_.lock())
                server->RequestShutdown(reading.reason);
        }
        seen_ = reading.version;
        return false;
    }

private:
    std::shared_ptr<InstanceScheduler> scheduler_;
    std::weak_ptr<SimServer> server_;
    std::uint64_t seen_ = 0;
    std::uint64_t watch_ = 0;
    bool dead_ = false;
};

// Clipboard formats registered by name (shared by the transport and the data objects it creates).
class FormatTable {
public:
    CLIPFORMAT Register(const char16_t* name) {
        if (name == nullptr || *name == 0)
            return 0;
        std::lock_guard lock(mutex_);
        std::u16string n(name);
        for (size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == n)
                return static_cast<CLIPFORMAT>(0xC000 + i);
        names_.push_back(n);
        return static_cast<CLIPFORMAT>(0xC000 + names_.size() - 1);
    }
    // The stream format of a registered number, if it is one of the data formats.
    bool DataFormat(CLIPFORMAT cf, StreamFormat* format) {
        if (cf == Register(kFormatData)) {
            *format = StreamFormat::Data;
            return true;
        }
        if (cf == Register(kFormatDataTime)) {
            *format = StreamFormat::DataTime;
            return true;
        }
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<std::u16string> names_;
};

// ---------------------------------------------------------------------------------------------------------
// Sinks of the toolkit seen as the servers' listeners.

class ShutdownAdapter final : public ShutdownListener {
public:
    explicit ShutdownAdapter(std::shared_ptr<OPCShutdown> sink) : sink_(std::move(sink)) {}
    void OnShutdown(const std::u16string& reason) override {
        sink_->ShutdownRequest(reinterpret_cast<const OLECHAR*>(reason.c_str()));
    }

private:
    std::shared_ptr<OPCShutdown> sink_;
};

// The arrays of one data-change or read-complete call, built from updates and released after the call.
struct CallbackArrays {
    explicit CallbackArrays(const std::vector<ItemUpdate>& items) {
        const size_t n = items.size();
        handles.resize(n);
        values.resize(n);
        qualities.resize(n);
        times.resize(n);
        errors.resize(n);
        for (size_t i = 0; i < n; ++i) {
            handles[i] = items[i].clientHandle;
            qualities[i] = items[i].quality;
            times[i] = ToFileTime(items[i].timestamp);
            errors[i] = items[i].error;
            if (FAILED(ValueToVariant(items[i].value, &values[i])) && SUCCEEDED(errors[i]))
                errors[i] = E_OUTOFMEMORY;
        }
    }
    ~CallbackArrays() { ClearVariants(values.data(), values.size()); }
    CallbackArrays(const CallbackArrays&) = delete;
    CallbackArrays& operator=(const CallbackArrays&) = delete;

    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

class DataCallbackAdapter final : public DataListener {
public:
    explicit DataCallbackAdapter(std::shared_ptr<OPCDataCallback> sink) : sink_(std::move(sink)) {}
    void OnDataChange(DWORD transactionId, DWORD clientGroup, HRESULT masterQuality, HRESULT masterError,
                      const std::vector<ItemUpdate>& items) override {
        CallbackArrays a(items);
        sink_->OnDataChange(transactionId, clientGroup, masterQuality, masterError,
                            static_cast<DWORD>(items.size()), a.handles.data(), a.values.data(),
                            a.qualities.data(), a.times.data(), a.errors.data());
    }
    void OnWriteComplete(DWORD transactionId, DWORD clientGroup, HRESULT masterError,
                         const std::vector<ItemWriteResult>& results) override {
        std::vector<OPCHANDLE> handles;
        std::vector<HRESULT> errors;
        for (const auto& r : results) {
            handles.push_back(r.clientHandle);
            errors.push_back(r.error);
        }
        sink_->OnWriteComplete(transactionId, clientGroup, masterError, static_cast<DWORD>(results.size()),
                               handles.data(), errors.data());
    }

private:
    std::shared_ptr<OPCDataCallback> sink_;
};

// One data-object block as a global memory block.
class BlockMemory final : public GlobalMemory {
public:
    explicit BlockMemory(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    const BYTE* Lock() override {
        ++locks_;
        return bytes_.data();
    }
    void Unlock() override {
        if (locks_ > 0)
            --locks_;
    }
    size_t Size() const override { return bytes_.size(); }

private:
    const std::vector<std::uint8_t>& bytes_;
    int locks_ = 0;
};

class AdviseSinkAdapter final : public StreamListener {
public:
    AdviseSinkAdapter(std::shared_ptr<AdviseSink> sink, CLIPFORMAT cf) : sink_(std::move(sink)), cf_(cf) {}
    void OnStream(StreamFormat, const std::vector<std::uint8_t>& block) override {
        BlockMemory memory(block);
        FormatEtc format{cf_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        StgMedium medium{TYMED_HGLOBAL, &memory};
        sink_->OnDataChange(format, medium);
    }

private:
    std::shared_ptr<AdviseSink> sink_;
    CLIPFORMAT cf_;
};

// ---------------------------------------------------------------------------------------------------------
// Enumerators.

class StringEnumerator final : public EnumString {
public:
    explicit StringEnumerator(std::vector<std::u16string> names) : names_(std::move(names)) {}
    HRESULT Next(ULONG celt, OLECHAR** rgelt, ULONG* pceltFetched) override {
        return Guarded([&] {
            ULONG given = 0;
            while (given < celt && next_ < names_.size())
                rgelt[given++] = TaskString(names_[next_++]);
            if (pceltFetched != nullptr)
                *pceltFetched = given;
            return given == celt ? S_OK : S_FALSE;
        });
    }

private:
    std::vector<std::u16string> names_;
    size_t next_ = 0;
};

class GuidEnumerator final : public EnumGUID {
public:
    explicit GuidEnumerator(std::vector<GUID> guids) : guids_(std::move(guids)) {}
    HRESULT Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) override {
        ULONG given = 0;
        while (given < celt && next_ < guids_.size())
            rgelt[given++] = guids_[next_++];
        if (pceltFetched != nullptr)
            *pceltFetched = given;
        return given == celt ? S_OK : S_FALSE;
    }

private:
    std::vector<GUID> guids_;
    size_t next_ = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Group objects.

class DataCallbackPoint final : public ConnectionPoint {
public:
    explicit DataCallbackPoint(std::shared_ptr<SimGroup> group) : group_(std::move(group)) {}
    HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* pdwCookie) override {
        return Guarded([&] {
            auto callback = std::dynamic_pointer_cast<OPCDataCallback>(sink);
            if (!callback)
                return CONNECT_E_CANNOTCONNECT;
            return group_->Advise(std::make_shared<DataCallbackAdapter>(std::move(callback)), pdwCookie);
        });
    }
    HRESULT Unadvise(DWORD dwCookie) override { return group_->Unadvise(dwCookie); }

private:
    std::shared_ptr<SimGroup> group_;
};

std::vector<ItemRequest> Requests(DWORD count, const ItemDef* defs) {
    std::vector<ItemRequest> requests(count);
    for (DWORD i = 0; i < count; ++i) {
        requests[i].itemId = FromOle(defs[i].szItemID);
        requests[i].accessPath = FromOle(defs[i].szAccessPath);
        requests[i].active = defs[i].bActive != 0;
        requests[i].clientHandle = defs[i].hClient;
        requests[i].requestedType = defs[i].vtRequestedDataType;
    }
    return requests;
}

class SimGroupObject final : public GroupObject,
                             public OPCItemMgt,
                             public OPCGroupStateMgt,
                             public OPCSyncIO,
                             public OPCAsyncIO,
                             public OPCAsyncIO2,
                             public ConnectionPointContainer,
                             public DataObject,
                             public std::enable_shared_from_this<SimGroupObject> {
public:
    SimGroupObject(std::shared_ptr<SimGroup> group, std::shared_ptr<FormatTable> formats,
                   std::shared_ptr<InstanceLife> life)
        : group_(std::move(group)), formats_(std::move(formats)), life_(std::move(life)) {}

    std::shared_ptr<OPCItemMgt> QueryItemMgt() override { return Offer<OPCItemMgt>(Offered().itemMgt); }
    std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() override {
        return Offer<OPCGroupStateMgt>(Offered().groupStateMgt);
    }
    std::shared_ptr<OPCAsyncIO> QueryAsyncIO() override { return Offer<OPCAsyncIO>(Offered().asyncIO); }
    std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() override { return Offer<OPCAsyncIO2>(Offered().asyncIO2); }
    std::shared_ptr<OPCSyncIO> QuerySyncIO() override { return Offer<OPCSyncIO>(Offered().syncIO); }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return Offer<ConnectionPointContainer>(Offered().connectionPoints);
    }
    std::shared_ptr<DataObject> QueryDataObject() override { return Offer<DataObject>(Offered().dataObject); }

    // IOPCItemMgt
    HRESULT AddItems(DWORD dwCount, const ItemDef* pItemArray, ItemResult** ppAddResults,
                     HRESULT** ppErrors) override {
        return AddOrValidate(false, dwCount, pItemArray, ppAddResults, ppErrors);
    }
    HRESULT ValidateItems(DWORD dwCount, const ItemDef* pItemArray, BOOL, ItemResult** ppValidationResults,
                          HRESULT** ppErrors) override {
        return AddOrValidate(true, dwCount, pItemArray, ppValidationResults, ppErrors);
    }
    HRESULT RemoveItems(DWORD dwCount, const OPCHANDLE* phServer, HRESULT** ppErrors) override {
        return HandleCall(
            dwCount, phServer, ppErrors,
            [&](const std::vector<DWORD>& h, std::vector<HRESULT>* e) { return group_->RemoveItems(h, e); });
    }
    HRESULT SetActiveState(DWORD dwCount, const OPCHANDLE* phServer, BOOL bActive,
                           HRESULT** ppErrors) override {
        return HandleCall(dwCount, phServer, ppErrors,
                          [&](const std::vector<DWORD>& h, std::vector<HRESULT>* e) {
                              return group_->SetActiveState(h, bActive != 0, e);
                          });
    }

    // IOPCGroupStateMgt
    HRESULT GetState(DWORD* pUpdateRate, BOOL* pActive, OLECHAR** ppName, LONG* pTimeBias,
                     FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                     OPCHANDLE* phServerGroup) override {
        return Live([&] {
            if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID ||
                !phClientGroup || !phServerGroup)
                return E_POINTER;
            GroupState st;
            HRESULT hr = group_->GetState(&st);
            if (FAILED(hr))
                return hr;
            *ppName = TaskString(st.name);
            *pUpdateRate = st.updateRate;
            *pActive = st.active ? TRUE : FALSE;
            *pTimeBias = st.timeBias;
            *pPercentDeadband = st.percentDeadband;
            *pLCID = st.lcid;
            *phClientGroup = st.clientHandle;
            *phServerGroup = st.serverHandle;
            return hr;
        });
    }
    HRESULT SetState(const DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, const BOOL* pActive,
                     const LONG* pTimeBias, const FLOAT* pPercentDeadband, const DWORD* pLCID,
                     const OPCHANDLE* phClientGroup) override {
        return Live([&] {
            return group_->SetState(pRequestedUpdateRate, pRevisedUpdateRate, pActive, pTimeBias,
                                    pPercentDeadband, pLCID, phClientGroup);
        });
    }
    HRESULT SetName(const OLECHAR* szName) override {
        return Live([&] { return group_->SetName(FromOle(szName)); });
    }

    // IOPCSyncIO
    HRESULT Read(OPCDATASOURCE dwSource, DWORD dwCount, const OPCHANDLE* phServer, ItemState** ppItemValues,
                 HRESULT** ppErrors) override {
        return Live([&] {
            if (!ppItemValues || !ppErrors || (dwCount != 0 && !phServer))
                return E_POINTER;
            *ppItemValues = nullptr;
            *ppErrors = nullptr;
            std::vector<ItemRead> values;
            std::vector<HRESULT> errors;
            HRESULT hr =
                group_->Read(dwSource, std::vector<DWORD>(phServer, phServer + dwCount), &values, &errors);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            ItemState* states = out.Keep(TaskArray<ItemState>(dwCount));
            HRESULT* errs = out.Keep(TaskArray<HRESULT>(dwCount));
            for (DWORD i = 0; i < dwCount; ++i) {
                states[i].hClient = values[i].clientHandle;
                states[i].ftTimeStamp = ToFileTime(values[i].timestamp);
                states[i].wQuality = values[i].quality;
                errs[i] = errors[i];
                if (FAILED(ValueToVariant(values[i].value, &states[i].vDataValue))) {
                    for (DWORD k = 0; k < i; ++k)
                        VariantClear(&states[k].vDataValue);
                    return E_OUTOFMEMORY;
                }
            }
            out.Release();
            *ppItemValues = states;
            *ppErrors = errs;
            return hr;
        });
    }
    HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues,
                  HRESULT** ppErrors) override {
        return Live([&] {
            if (!ppErrors || (dwCount != 0 && (!phServer || !pItemValues)))
                return E_POINTER;
            *ppErrors = nullptr;
            std::vector<Value> values;
            std::vector<HRESULT> conversion;
            Values(dwCount, pItemValues, &values, &conversion);
            std::vector<HRESULT> errors;
            HRESULT hr = group_->Write(std::vector<DWORD>(phServer, phServer + dwCount), values, &errors);
            if (FAILED(hr))
                return hr;
            return HandOver(errors, conversion, hr, ppErrors);
        });
    }

    // IOPCAsyncIO
    HRESULT Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) override {
        return Live([&] {
            if (!pTransactionID)
                return E_POINTER;
            return group_->Refresh(dwConnection, dwSource, pTransactionID);
        });
    }

    // IOPCAsyncIO2
    HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues, DWORD dwTransactionID,
                  DWORD* pdwCancelID, HRESULT** ppErrors) override {
        return Live([&] {
            if (!ppErrors || !pdwCancelID || (dwCount != 0 && (!phServer || !pItemValues)))
                return E_POINTER;
            *ppErrors = nullptr;
            std::vector<Value> values;
            std::vector<HRESULT> conversion;
            Values(dwCount, pItemValues, &values, &conversion);
            std::vector<HRESULT> errors;
            HRESULT hr = group_->AsyncWrite(std::vector<DWORD>(phServer, phServer + dwCount), values,
                                            dwTransactionID, pdwCancelID, &errors);
            if (FAILED(hr))
                return hr;
            return HandOver(errors, conversion, hr, ppErrors);
        });
    }
    HRESULT Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) override {
        return Live([&] {
            if (!pdwCancelID)
                return E_POINTER;
            return group_->Refresh2(dwSource, dwTransactionID, pdwCancelID);
        });
    }

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* ppCP) override {
        return Live([&] {
            if (!ppCP)
                return E_POINTER;
            ppCP->reset();
            if (!SameGuid(riid, IID_IOPCDataCallback))
                return CONNECT_E_NOCONNECTION;
            *ppCP = std::make_shared<DataCallbackPoint>(group_);
            return S_OK;
        });
    }

    // IDataObject
    HRESULT DAdvise(const FormatEtc* pformatetc, DWORD advf, std::shared_ptr<AdviseSink> pAdvSink,
                    DWORD* pdwConnection) override {
        return Live([&] {
            if (!pformatetc || !pdwConnection)
                return E_POINTER;
            if (!pAdvSink)
                return E_INVALIDARG;
            StreamFormat format;
            if (!formats_->DataFormat(pformatetc->cfFormat, &format) ||
                pformatetc->dwAspect != DVASPECT_CONTENT)
                return DV_E_FORMATETC;
            if ((pformatetc->tymed & TYMED_HGLOBAL) == 0)
                return DV_E_TYMED;
            return group_->DAdvise(
                format, (advf & ADVF_PRIMEFIRST) != 0,
                std::make_shared<AdviseSinkAdapter>(std::move(pAdvSink), pformatetc->cfFormat),
                pdwConnection);
        });
    }
    HRESULT DUnadvise(DWORD dwConnection) override { return group_->DUnadvise(dwConnection); }

private:
    // A call on a vanished instance fails as a call into a process that ended.
    template <typename F> HRESULT Live(F&& f) {
        if (life_->Lost())
            return kServerUnavailable;
        return Guarded(std::forward<F>(f));
    }

    const GroupInterfaces& Offered() const { return group_->Interfaces(); }

    template <typename I> std::shared_ptr<I> Offer(bool offered) {
        if (!offered)
            return nullptr;
        return std::static_pointer_cast<I>(shared_from_this());
    }

    static void Values(DWORD count, const VARIANT* in, std::vector<Value>* values,
                       std::vector<HRESULT>* errors) {
        values->resize(count);
        errors->assign(count, S_OK);
        for (DWORD i = 0; i < count; ++i)
            if (FAILED(VariantToValue(in[i], &(*values)[i]))) {
                (*errors)[i] = code::BadType;
                (*values)[i] = Value();
                (*values)[i].type = VT_NULL; // converts to nothing: the write fails for this item
            }
    }

    // Per-item results as a task-allocated array; a value that could not be read reports a bad type.
    static HRESULT HandOver(const std::vector<HRESULT>& errors, const std::vector<HRESULT>& conversion,
                            HRESULT hr, HRESULT** ppErrors) {
        HRESULT* errs = TaskArray<HRESULT>(errors.size());
        for (size_t i = 0; i < errors.size(); ++i) {
            errs[i] = FAILED(conversion[i]) && errors[i] != code::InvalidHandle ? conversion[i] : errors[i];
            if (FAILED(errs[i]))
                hr = S_FALSE;
        }
        *ppErrors = errs;
        return hr;
    }

    template <typename F>
    HRESULT HandleCall(DWORD count, const OPCHANDLE* handles, HRESULT** ppErrors, F&& call) {
        return Live([&] {
            if (!ppErrors || (count != 0 && !handles))
                return E_POINTER;
            *ppErrors = nullptr;
            std::vector<HRESULT> errors;
            HRESULT hr = call(std::vector<DWORD>(handles, handles + count), &errors);
            if (FAILED(hr))
                return hr;
            HRESULT* errs = TaskArray<HRESULT>(count);
            std::copy(errors.begin(), errors.end(), errs);
            *ppErrors = errs;
            return hr;
        });
    }

    HRESULT AddOrValidate(bool validateOnly, DWORD count, const ItemDef* defs, ItemResult** ppResults,
                          HRESULT** ppErrors) {
        return Live([&] {
            if (!ppResults || !ppErrors || (count != 0 && !defs))
                return E_POINTER;
            *ppResults = nullptr;
            *ppErrors = nullptr;
            std::vector<ItemAddResult> results;
            std::vector<HRESULT> errors;
            auto requests = Requests(count, defs);
            HRESULT hr = validateOnly ? group_->ValidateItems(requests, &results, &errors)
                                      : group_->AddItems(requests, &results, &errors);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            ItemResult* r = out.Keep(TaskArray<ItemResult>(count));
            HRESULT* e = out.Keep(TaskArray<HRESULT>(count));
            for (DWORD i = 0; i < count; ++i) {
                r[i].hServer = results[i].serverHandle;
                r[i].vtCanonicalDataType = results[i].canonicalType;
                r[i].dwAccessRights = results[i].accessRights;
                e[i] = errors[i];
            }
            out.Release();
            *ppResults = r;
            *ppErrors = e;
            return hr;
        });
    }

    std::shared_ptr<SimGroup> group_;
    std::shared_ptr<FormatTable> formats_;
    std::shared_ptr<InstanceLife> life_;
};

// ---------------------------------------------------------------------------------------------------------
// Server objects.

class ShutdownPoint final : public ConnectionPoint {
public:
    explicit ShutdownPoint(std::shared_ptr<SimServer> server) : server_(std::move(server)) {}
    HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* pdwCookie) override {
        return Guarded([&] {
            auto shutdown = std::dynamic_pointer_cast<OPCShutdown>(sink);
            if (!shutdown)
                return CONNECT_E_CANNOTCONNECT;
            if (!pdwCookie)
                return E_POINTER;
            return server_->AdviseShutdown(std::make_shared<ShutdownAdapter>(std::move(shutdown)), pdwCookie);
        });
    }
    HRESULT Unadvise(DWORD dwCookie) override { return server_->UnadviseShutdown(dwCookie); }

private:
    std::shared_ptr<SimServer> server_;
};

class SimServerObject final : public ServerObject,
                              public OPCServer,
                              public OPCBrowseServerAddressSpace,
                              public OPCItemProperties,
                              public ConnectionPointContainer,
                              public std::enable_shared_from_this<SimServerObject> {
public:
    SimServerObject(std::shared_ptr<SimServer> server, std::shared_ptr<FormatTable> formats,
                    std::shared_ptr<InstanceLife> life)
        : server_(std::move(server)), formats_(std::move(formats)), life_(std::move(life)) {}

    std::shared_ptr<OPCServer> QueryOPCServer() override { return shared_from_this(); }
    std::shared_ptr<OPCItemProperties> QueryItemProperties() override {
        return Offer<OPCItemProperties>(server_->Profile().properties);
    }
    std::shared_ptr<OPCBrowseServerAddressSpace> QueryBrowseServerAddressSpace() override {
        return Offer<OPCBrowseServerAddressSpace>(server_->Profile().browsing);
    }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return Offer<ConnectionPointContainer>(server_->Profile().shutdownPoint);
    }

    // IOPCServer
    HRESULT AddGroup(const OLECHAR* szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                     const LONG* pTimeBias, const FLOAT* pPercentDeadband, DWORD dwLCID,
                     OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                     std::shared_ptr<GroupObject>* ppUnk) override {
        return Live([&] {
            if (!phServerGroup || !pRevisedUpdateRate || !ppUnk)
                return E_POINTER;
            std::shared_ptr<SimGroup> group;
            HRESULT hr = server_->AddGroup(FromOle(szName), bActive != 0, dwRequestedUpdateRate, hClientGroup,
                                           pTimeBias, pPercentDeadband, dwLCID, phServerGroup,
                                           pRevisedUpdateRate, &group);
            if (FAILED(hr)) {
                ppUnk->reset();
                return hr;
            }
            *ppUnk = std::make_shared<SimGroupObject>(std::move(group), formats_, life_);
            return hr;
        });
    }
    HRESULT GetStatus(ServerStatus** ppServerStatus) override {
        return Live([&] {
            if (!ppServerStatus)
                return E_POINTER;
            *ppServerStatus = nullptr;
            ServerStatusInfo info;
            HRESULT hr = server_->GetStatus(&info);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            ServerStatus* st = out.Keep(TaskArray<ServerStatus>(1));
            st->ftStartTime = ToFileTime(info.startTime);
            st->ftCurrentTime = ToFileTime(info.currentTime);
            st->ftLastUpdateTime = ToFileTime(info.lastUpdateTime);
            st->dwServerState = info.state;
            st->dwGroupCount = info.groupCount;
            st->dwBandWidth = info.bandWidth;
            st->wMajorVersion = info.majorVersion;
            st->wMinorVersion = info.minorVersion;
            st->wBuildNumber = info.buildNumber;
            st->szVendorInfo = TaskString(info.vendorInfo);
            out.Release();
            *ppServerStatus = st;
            return hr;
        });
    }
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        return Live([&] { return server_->RemoveGroup(hServerGroup, bForce != 0); });
    }

    // IOPCBrowseServerAddressSpace
    HRESULT QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        return Live([&] {
            if (!pNameSpaceType)
                return E_POINTER;
            DWORD organization = 0;
            HRESULT hr = server_->QueryOrganization(&organization);
            if (SUCCEEDED(hr))
                *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(organization);
            return hr;
        });
    }
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, const OLECHAR* szString) override {
        return Live([&] { return server_->ChangeBrowsePosition(dwBrowseDirection, FromOle(szString)); });
    }
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, const OLECHAR* szFilterCriteria,
                             VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                             std::shared_ptr<EnumString>* ppIEnumString) override {
        return Live([&] {
            if (!ppIEnumString)
                return E_POINTER;
            ppIEnumString->reset();
            std::vector<std::u16string> names;
            HRESULT hr = server_->BrowseItemIds(dwBrowseFilterType, FromOle(szFilterCriteria),
                                                vtDataTypeFilter, dwAccessRightsFilter, &names);
            if (FAILED(hr))
                return hr;
            *ppIEnumString = std::make_shared<StringEnumerator>(std::move(names));
            return hr;
        });
    }
    HRESULT GetItemID(const OLECHAR* szItemDataID, OLECHAR** szItemID) override {
        return Live([&] {
            if (!szItemID)
                return E_POINTER;
            *szItemID = nullptr;
            std::u16string id;
            HRESULT hr = server_->GetItemId(FromOle(szItemDataID), &id);
            if (SUCCEEDED(hr))
                *szItemID = TaskString(id);
            return hr;
        });
    }

    // IOPCItemProperties
    HRESULT QueryAvailableProperties(const OLECHAR* szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                     OLECHAR*** ppDescriptions, VARTYPE** ppvtDataTypes) override {
        return Live([&] {
            if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes)
                return E_POINTER;
            *pdwCount = 0;
            *ppPropertyIDs = nullptr;
            *ppDescriptions = nullptr;
            *ppvtDataTypes = nullptr;
            std::vector<PropertyInfo> props;
            HRESULT hr = server_->QueryAvailableProperties(FromOle(szItemID), &props);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            DWORD* ids = out.Keep(TaskArray<DWORD>(props.size()));
            OLECHAR** texts = out.Keep(TaskArray<OLECHAR*>(props.size()));
            VARTYPE* types = out.Keep(TaskArray<VARTYPE>(props.size()));
            for (size_t i = 0; i < props.size(); ++i) {
                ids[i] = props[i].id;
                types[i] = props[i].type;
                texts[i] = out.Keep(TaskString(props[i].description));
            }
            out.Release();
            *pdwCount = static_cast<DWORD>(props.size());
            *ppPropertyIDs = ids;
            *ppDescriptions = texts;
            *ppvtDataTypes = types;
            return hr;
        });
    }
    HRESULT GetItemProperties(const OLECHAR* szItemID, DWORD dwCount, const DWORD* pdwPropertyIDs,
                              VARIANT** ppvData, HRESULT** ppErrors) override {
        return Live([&] {
            if (!ppvData || !ppErrors || (dwCount != 0 && !pdwPropertyIDs))
                return E_POINTER;
            *ppvData = nullptr;
            *ppErrors = nullptr;
            std::vector<Value> values;
            std::vector<HRESULT> errors;
            HRESULT hr = server_->GetItemProperties(
                FromOle(szItemID), std::vector<DWORD>(pdwPropertyIDs, pdwPropertyIDs + dwCount), &values,
                &errors);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            VARIANT* data = out.Keep(TaskArray<VARIANT>(dwCount));
            HRESULT* errs = out.Keep(TaskArray<HRESULT>(dwCount));
            for (DWORD i = 0; i < dwCount; ++i) {
                errs[i] = errors[i];
                if (FAILED(ValueToVariant(values[i], &data[i]))) {
                    ClearVariants(data, i);
                    return E_OUTOFMEMORY;
                }
            }
            out.Release();
            *ppvData = data;
            *ppErrors = errs;
            return hr;
        });
    }

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* ppCP) override {
        return Live([&] {
            if (!ppCP)
                return E_POINTER;
            ppCP->reset();
            if (!SameGuid(riid, IID_IOPCShutdown))
                return CONNECT_E_NOCONNECTION;
            *ppCP = std::make_shared<ShutdownPoint>(server_);
            return S_OK;
        });
    }

private:
    template <typename F> HRESULT Live(F&& f) {
        if (life_->Lost())
            return kServerUnavailable;
        return Guarded(std::forward<F>(f));
    }

    template <typename I> std::shared_ptr<I> Offer(bool offered) {
        if (!offered)
            return nullptr;
        return std::static_pointer_cast<I>(shared_from_this());
    }

    std::shared_ptr<SimServer> server_;
    std::shared_ptr<FormatTable> formats_;
    std::shared_ptr<InstanceLife> life_;
};

// ---------------------------------------------------------------------------------------------------------
// The classes a host knows: the built-in servers and the registration files.

struct KnownClass {
    std::u16string progId;
    std::u16string userType;
    std::string classIdText;
    bool parsed = false;
    CLSID clsid{};
    bool opc = true;
    std::vector<int> versions;
    const ServerProfile* implementation = nullptr;
};

std::vector<KnownClass> KnownClasses() {
    std::vector<KnownClass> classes;
    for (const ServerProfile& p : BuiltinServers()) {
        KnownClass k;
        k.progId = p.progId;
        k.userType = p.userType;
        k.classIdText = Narrow(ClsidText(p.clsid));
        k.parsed = true;
        k.clsid = p.clsid;
        if (p.implementsDA1)
            k.versions.push_back(1);
        if (p.implementsDA2)
            k.versions.push_back(2);
        k.implementation = &p;
        classes.push_back(std::move(k));
    }
    for (const RegisteredClass& r : LoadRegistrations()) {
        KnownClass k;
        k.progId = Utf16(r.progId);
        k.userType = Utf16(r.userType);
        k.classIdText = r.classIdText;
        k.parsed = ParseClsid(Utf16(r.classIdText), &k.clsid);
        k.opc = r.opc;
        k.versions = r.versions;
        k.implementation = r.server.empty() ? nullptr : FindBuiltinServer(Utf16(r.server));
        // A registered ProgID replaces a built-in one of the same name.
        auto same = std::find_if(classes.begin(), classes.end(), [&](const KnownClass& c) {
            return SameKeyName(Narrow(c.progId), r.progId);
        });
        if (same != classes.end())
            *same = std::move(k);
        else
            classes.push_back(std::move(k));
    }
    return classes;
}

const GUID& CategoryOf(int version) {
    static const GUID none{};
    switch (version) {
    case 1:
        return CATID_OPCDAServer10;
    case 2:
        return CATID_OPCDAServer20;
    case 3:
        return CATID_OPCDAServer30;
    default:
        return none;
    }
}

bool Implements(const KnownClass& k, const GUID& category) {
    for (int v : k.versions)
        if (SameGuid(CategoryOf(v), category))
            return true;
    return false;
}

class SimServerList final : public OPCServerList {
public:
    HRESULT EnumClassesOfCategories(ULONG cImplemented, const GUID* rgcatidImpl, ULONG, const GUID*,
                                    std::shared_ptr<EnumGUID>* ppenumClsid) override {
        return Guarded([&] {
            if (!ppenumClsid || (cImplemented != 0 && !rgcatidImpl))
                return E_POINTER;
            std::vector<GUID> found;
            for (const KnownClass& k : KnownClasses()) {
                if (!k.parsed)
                    continue;
                bool all = true;
                for (ULONG i = 0; i < cImplemented; ++i)
                    all = all && Implements(k, rgcatidImpl[i]);
                bool duplicate = std::any_of(found.begin(), found.end(),
                                             [&](const GUID& g) { return SameClsid(g, k.clsid); });
                if (all && !duplicate)
                    found.push_back(k.clsid);
            }
            *ppenumClsid = std::make_shared<GuidEnumerator>(std::move(found));
            return S_OK;
        });
    }
    HRESULT GetClassDetails(const CLSID& clsid, OLECHAR** ppszProgID, OLECHAR** ppszUserType) override {
        return Guarded([&] {
            if (!ppszProgID || !ppszUserType)
                return E_POINTER;
            *ppszProgID = nullptr;
            *ppszUserType = nullptr;
            for (const KnownClass& k : KnownClasses()) {
                if (k.parsed && SameClsid(k.clsid, clsid)) {
                    TaskOutputs out;
                    OLECHAR* prog = out.Keep(TaskString(k.progId));
                    OLECHAR* type = out.Keep(TaskString(k.userType));
                    out.Release();
                    *ppszProgID = prog;
                    *ppszUserType = type;
                    return S_OK;
                }
            }
            return REGDB_E_CLASSNOTREG;
        });
    }
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override {
        return Guarded([&] {
            if (!szProgId || !clsid)
                return E_POINTER;
            const std::string wanted = Narrow(FromOle(szProgId));
            for (const KnownClass& k : KnownClasses())
                if (SameKeyName(Narrow(k.progId), wanted))
                    return k.parsed ? (*clsid = k.clsid, S_OK) : CO_E_CLASSSTRING;
            return CO_E_CLASSSTRING;
        });
    }
};

// The registry view: one root key per ProgID (the registry's order: sorted without case), with an "OPC"
// subkey when marked and a "CLSID" subkey holding the class ID text.
class SimRegistry final : public Registry {
public:
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override {
        return Guarded([&] {
            if (!szProgId || !clsid)
                return E_POINTER;
            const KnownClass* k = Find(Narrow(FromOle(szProgId)));
            if (k == nullptr)
                return REGDB_E_CLASSNOTREG;
            if (!k->parsed)
                return CO_E_CLASSSTRING;
            *clsid = k->clsid;
            return S_OK;
        });
    }
    HRESULT EnumRootKeys(std::vector<std::string>* names) override {
        return Guarded([&] {
            if (!names)
                return E_POINTER;
            Refresh();
            names->clear();
            for (const KnownClass& k : classes_)
                names->push_back(Narrow(k.progId));
            std::stable_sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
                return std::lexicographical_compare(
                    a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                        auto fold = [](char c) {
                            return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
                        };
                        return fold(x) < fold(y);
                    });
            });
            return S_OK;
        });
    }
    bool KeyExists(const std::string& path) override {
        try {
            std::string key, sub;
            Split(path, &key, &sub);
            const KnownClass* k = Find(key);
            if (k == nullptr)
                return false;
            if (sub.empty())
                return true;
            if (SameKeyName(sub, "OPC"))
                return k->opc;
            if (SameKeyName(sub, "CLSID"))
                return !k->classIdText.empty();
            return false;
        } catch (...) {
            return false;
        }
    }
    HRESULT ReadDefaultValue(const std::string& path, std::string* value) override {
        return Guarded([&] {
            if (!value)
                return E_POINTER;
            std::string key, sub;
            Split(path, &key, &sub);
            const KnownClass* k = Find(key);
            if (k == nullptr || !SameKeyName(sub, "CLSID") || k->classIdText.empty())
                return kFileNotFound;
            *value = k->classIdText;
            return S_OK;
        });
    }

private:
    static void Split(const std::string& path, std::string* key, std::string* sub) {
        size_t slash = path.find('\\');
        *key = path.substr(0, slash);
        *sub = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    }
    // The files are read again for each enumeration, so a changed registration shows at the next listing.
    void Refresh() { classes_ = KnownClasses(); }
    const KnownClass* Find(const std::string& progId) {
        if (!loaded_ || classes_.empty()) {
            Refresh();
            loaded_ = true;
        }
        for (const KnownClass& k : classes_)
            if (SameKeyName(Narrow(k.progId), progId))
                return &k;
        // Not among the cached entries: the files may have changed since.
        Refresh();
        for (const KnownClass& k : classes_)
            if (SameKeyName(Narrow(k.progId), progId))
                return &k;
        return nullptr;
    }

    std::vector<KnownClass> classes_;
    bool loaded_ = false;
};

// ---------------------------------------------------------------------------------------------------------
// The transport.

std::string HostName() {
#ifdef _WIN32
    char name[256] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
#endif
}

class SimTransport final : public Transport {
public:
    explicit SimTransport(Host& host)
        : scheduler_(std::make_shared<HostScheduler>(host)), formats_(std::make_shared<FormatTable>()) {}

    HRESULT CreateServerList(const OLECHAR* host, std::shared_ptr<OPCServerList>* ppList) override {
        return Guarded([&] {
            if (!ppList)
                return E_POINTER;
            ppList->reset();
            if (!Reachable(host))
                return kServerUnavailable;
            *ppList = std::make_shared<SimServerList>();
            return S_OK;
        });
    }
    HRESULT CreateServerObject(const CLSID& clsid, const OLECHAR* host,
                               std::shared_ptr<ServerObject>* ppObject) override {
        return Guarded([&] {
            if (!ppObject)
                return E_POINTER;
            ppObject->reset();
            if (!Reachable(host) || ReadControl().state == ControlState::Down)
                return kServerUnavailable;
            for (const KnownClass& k : KnownClasses()) {
                if (!k.parsed || !SameClsid(k.clsid, clsid))
                    continue;
                if (k.implementation == nullptr)
                    return REGDB_E_CLASSNOTREG;
                ServerProfile profile = *k.implementation;
                profile.progId = k.progId;
                profile.clsid = k.clsid;
                if (!k.userType.empty())
                    profile.userType = k.userType;
                FILETIME now;
                GetSystemTimeAsFileTime(&now);
                auto scheduler = std::make_shared<InstanceScheduler>(scheduler_);
                auto life = std::make_shared<InstanceLife>(scheduler);
                auto server = SimServer::Create(std::move(profile), scheduler, FromFileTime(now));
                life->Watch(server);
                *ppObject = std::make_shared<SimServerObject>(std::move(server), formats_, std::move(life));
                return S_OK;
            }
            return REGDB_E_CLASSNOTREG;
        });
    }
    std::shared_ptr<Registry> LocalRegistry() override { return std::make_shared<SimRegistry>(); }
    CLIPFORMAT RegisterClipboardFormat(const char16_t* name) override { return formats_->Register(name); }
    std::string ComputerName() override { return HostName(); }

private:
    // This computer, under its own name or a loopback name, is reachable; every other host is not.
    static bool Reachable(const OLECHAR* host) {
        const std::string name = Narrow(FromOle(host));
        if (name.empty())
            return true;
        static const char* const loopback[] = {"localhost", "127.0.0.1", "::1"};
        for (const char* l : loopback)
            if (SameKeyName(name, l))
                return true;
        return SameKeyName(name, HostName());
    }

    std::shared_ptr<HostScheduler> scheduler_;
    std::shared_ptr<FormatTable> formats_;
};

} // namespace

std::unique_ptr<Transport> CreateDefaultTransport(Host& host) {
    return std::make_unique<SimTransport>(host);
}

} // namespace tagclient::transport
