#include "sim_server_object.hpp"

#include "sim_codes.hpp"
#include "sim_enumerators.hpp"
#include "sim_group_object.hpp"
#include "sim_guarded.hpp"
#include "sim_sink_adapters.hpp"
#include "sim_task_memory.hpp"
#include "sim_variant.hpp"

#include <algorithm>
#include <cstring>

namespace tagclient::transport::sim {

namespace {

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
        return Offer<ConnectionPointContainer>(server_->Profile().shutdown_point);
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
            *ppUnk = MakeGroupObject(std::move(group), formats_, life_);
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
            st->ftStartTime = ToFileTime(info.start_time);
            st->ftCurrentTime = ToFileTime(info.current_time);
            st->ftLastUpdateTime = ToFileTime(info.last_update_time);
            st->dwServerState = info.state;
            st->dwGroupCount = info.group_count;
            st->dwBandWidth = info.band_width;
            st->wMajorVersion = info.major_version;
            st->wMinorVersion = info.minor_version;
            st->wBuildNumber = info.build_number;
            st->szVendorInfo = TaskString(info.vendor_info);
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
            return code::kServerUnavailable;
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

} // namespace

std::shared_ptr<ServerObject> MakeServerObject(std::shared_ptr<SimServer> server,
                                               std::shared_ptr<FormatTable> formats,
                                               std::shared_ptr<InstanceLife> life) {
    return std::make_shared<SimServerObject>(std::move(server), std::move(formats), std::move(life));
}

} // namespace tagclient::transport::sim
