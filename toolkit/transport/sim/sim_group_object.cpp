#include "sim_group_object.hpp"

#include "sim_codes.hpp"
#include "sim_guarded.hpp"
#include "sim_sink_adapters.hpp"
#include "sim_task_memory.hpp"
#include "sim_variant.hpp"

#include <algorithm>
#include <cstring>

namespace tagclient::transport::sim {

namespace {

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
        requests[i].item_id = FromOle(defs[i].szItemID);
        requests[i].access_path = FromOle(defs[i].szAccessPath);
        requests[i].active = defs[i].bActive != 0;
        requests[i].client_handle = defs[i].hClient;
        requests[i].requested_type = defs[i].vtRequestedDataType;
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

    std::shared_ptr<OPCItemMgt> QueryItemMgt() override { return Offer<OPCItemMgt>(Offered().item_mgt); }
    std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() override {
        return Offer<OPCGroupStateMgt>(Offered().group_state_mgt);
    }
    std::shared_ptr<OPCAsyncIO> QueryAsyncIO() override { return Offer<OPCAsyncIO>(Offered().async_io); }
    std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() override { return Offer<OPCAsyncIO2>(Offered().async_i_o2); }
    std::shared_ptr<OPCSyncIO> QuerySyncIO() override { return Offer<OPCSyncIO>(Offered().sync_io); }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return Offer<ConnectionPointContainer>(Offered().connection_points);
    }
    std::shared_ptr<DataObject> QueryDataObject() override {
        return Offer<DataObject>(Offered().data_object);
    }

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
            *pUpdateRate = st.update_rate;
            *pActive = st.active ? TRUE : FALSE;
            *pTimeBias = st.time_bias;
            *pPercentDeadband = st.percent_deadband;
            *pLCID = st.lcid;
            *phClientGroup = st.client_handle;
            *phServerGroup = st.server_handle;
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
                states[i].hClient = values[i].client_handle;
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
        return WriteCall(dwCount, phServer, pItemValues, ppErrors,
                         [&](auto handles, const auto& values, auto errors) {
                             return group_->Write(handles, values, errors);
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
        return WriteCall(
            dwCount, phServer, pItemValues, ppErrors,
            [&](auto handles, const auto& values, auto errors) {
                return group_->AsyncWrite(handles, values, dwTransactionID, pdwCancelID, errors);
            },
            pdwCancelID != nullptr);
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
            return code::kServerUnavailable;
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
                (*errors)[i] = code::kBadType;
                (*values)[i] = Value();
                (*values)[i].type = VT_NULL; // converts to nothing: the write fails for this item
            }
    }

    // The checks and value conversion of both writes; `call` hands the values to the group. The
    // asynchronous write also says whether it was given somewhere to put the cancel ID.
    template <typename F>
    HRESULT WriteCall(DWORD count, const OPCHANDLE* handles, const VARIANT* in, HRESULT** errors_out,
                      F&& call, bool has_cancel_id_out = true) {
        return Live([&] {
            if (!errors_out || !has_cancel_id_out || (count != 0 && (!handles || !in)))
                return E_POINTER;
            *errors_out = nullptr;
            std::vector<Value> values;
            std::vector<HRESULT> conversion;
            Values(count, in, &values, &conversion);
            std::vector<HRESULT> errors;
            HRESULT hr = call(std::vector<DWORD>(handles, handles + count), values, &errors);
            if (FAILED(hr))
                return hr;
            return HandOver(errors, conversion, hr, errors_out);
        });
    }

    // Per-item results as a task-allocated array; a value that could not be read reports a bad type.
    static HRESULT HandOver(const std::vector<HRESULT>& errors, const std::vector<HRESULT>& conversion,
                            HRESULT hr, HRESULT** ppErrors) {
        HRESULT* errs = TaskArray<HRESULT>(errors.size());
        for (size_t i = 0; i < errors.size(); ++i) {
            errs[i] = FAILED(conversion[i]) && errors[i] != code::kInvalidHandle ? conversion[i] : errors[i];
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

    HRESULT AddOrValidate(bool validate_only, DWORD count, const ItemDef* defs, ItemResult** ppResults,
                          HRESULT** ppErrors) {
        return Live([&] {
            if (!ppResults || !ppErrors || (count != 0 && !defs))
                return E_POINTER;
            *ppResults = nullptr;
            *ppErrors = nullptr;
            std::vector<ItemAddResult> results;
            std::vector<HRESULT> errors;
            auto requests = Requests(count, defs);
            HRESULT hr = validate_only ? group_->ValidateItems(requests, &results, &errors)
                                       : group_->AddItems(requests, &results, &errors);
            if (FAILED(hr))
                return hr;
            TaskOutputs out;
            ItemResult* r = out.Keep(TaskArray<ItemResult>(count));
            HRESULT* e = out.Keep(TaskArray<HRESULT>(count));
            for (DWORD i = 0; i < count; ++i) {
                r[i].hServer = results[i].server_handle;
                r[i].vtCanonicalDataType = results[i].canonical_type;
                r[i].dwAccessRights = results[i].access_rights;
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

} // namespace

std::shared_ptr<GroupObject> MakeGroupObject(std::shared_ptr<SimGroup> group,
                                             std::shared_ptr<FormatTable> formats,
                                             std::shared_ptr<InstanceLife> life) {
    return std::make_shared<SimGroupObject>(std::move(group), std::move(formats), std::move(life));
}

} // namespace tagclient::transport::sim
