#include "com_objects.hpp"

#include "com_sinks.hpp"
#include "rpc_guard.hpp"
#include "opc_da.h"

#include <cstddef>
#include <type_traits>

namespace tagclient::transport::com {

// The transport's structures are the OPC structures: same members, same order, same sizes.
#define SAME_LAYOUT(ours, theirs, member)                                                                    \
    static_assert(offsetof(ours, member) == offsetof(theirs, member), #ours "::" #member)
static_assert(sizeof(OLECHAR) == sizeof(wchar_t));
static_assert(sizeof(ItemDef) == sizeof(OPCITEMDEF));
SAME_LAYOUT(ItemDef, OPCITEMDEF, szItemID);
SAME_LAYOUT(ItemDef, OPCITEMDEF, bActive);
SAME_LAYOUT(ItemDef, OPCITEMDEF, hClient);
SAME_LAYOUT(ItemDef, OPCITEMDEF, pBlob);
SAME_LAYOUT(ItemDef, OPCITEMDEF, vtRequestedDataType);
static_assert(sizeof(ItemResult) == sizeof(OPCITEMRESULT));
SAME_LAYOUT(ItemResult, OPCITEMRESULT, vtCanonicalDataType);
SAME_LAYOUT(ItemResult, OPCITEMRESULT, dwAccessRights);
SAME_LAYOUT(ItemResult, OPCITEMRESULT, pBlob);
static_assert(sizeof(ItemState) == sizeof(OPCITEMSTATE));
SAME_LAYOUT(ItemState, OPCITEMSTATE, ftTimeStamp);
SAME_LAYOUT(ItemState, OPCITEMSTATE, wQuality);
SAME_LAYOUT(ItemState, OPCITEMSTATE, vDataValue);
static_assert(sizeof(ServerStatus) == sizeof(OPCSERVERSTATUS));
SAME_LAYOUT(ServerStatus, OPCSERVERSTATUS, dwServerState);
SAME_LAYOUT(ServerStatus, OPCSERVERSTATUS, dwGroupCount);
SAME_LAYOUT(ServerStatus, OPCSERVERSTATUS, dwBandWidth);
SAME_LAYOUT(ServerStatus, OPCSERVERSTATUS, wBuildNumber);
SAME_LAYOUT(ServerStatus, OPCSERVERSTATUS, szVendorInfo);
static_assert(sizeof(OPCSERVERSTATE) == sizeof(DWORD));
#undef SAME_LAYOUT

namespace {

LPWSTR Wide(const OLECHAR* s) {
    return const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(s));
}
OPCITEMDEF* Defs(const ItemDef* p) {
    return const_cast<OPCITEMDEF*>(reinterpret_cast<const OPCITEMDEF*>(p));
}
OPCHANDLE* Handles(const OPCHANDLE* p) {
    return const_cast<OPCHANDLE*>(p);
}
VARIANT* Values(const VARIANT* p) {
    return const_cast<VARIANT*>(p);
}

template <class T, class Wrapper, class From, class... Args>
std::shared_ptr<Wrapper> QueryWrap(const ComPtr<From>& from, Args&... args) {
    ComPtr<T> itf = from.template Query<T>();
    if (!itf)
        return nullptr;
    return std::make_shared<Wrapper>(args..., std::move(itf));
}

// ----------------------------------------------------------------------------------------------- enums

class ComEnumString final : public EnumString {
public:
    explicit ComEnumString(ComPtr<IEnumString> e) : e_(std::move(e)) {}
    HRESULT Next(ULONG celt, OLECHAR** rgelt, ULONG* pceltFetched) override {
        ULONG fetched = 0;
        HRESULT hr = ProxyCall([&] { return e_->Next(celt, reinterpret_cast<LPOLESTR*>(rgelt), &fetched); });
        if (pceltFetched)
            *pceltFetched = SUCCEEDED(hr) ? fetched : 0;
        return hr;
    }

private:
    ComPtr<IEnumString> e_;
};

class ComEnumGUID final : public EnumGUID {
public:
    explicit ComEnumGUID(ComPtr<IEnumGUID> e) : e_(std::move(e)) {}
    HRESULT Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) override {
        ULONG fetched = 0;
        HRESULT hr = ProxyCall([&] { return e_->Next(celt, rgelt, &fetched); });
        if (pceltFetched)
            *pceltFetched = SUCCEEDED(hr) ? fetched : 0;
        return hr;
    }

private:
    ComPtr<IEnumGUID> e_;
};

// ----------------------------------------------------------------------------- connection points

class ComConnectionPoint final : public ConnectionPoint {
public:
    ComConnectionPoint(Host& host, const IID& riid, ComPtr<IConnectionPoint> cp)
        : host_(host), riid_(riid), cp_(std::move(cp)) {}
    HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* pdwCookie) override {
        ComPtr<IUnknown> com = MakeConnectionSink(host_, riid_, sink);
        if (!com)
            return CONNECT_E_CANNOTCONNECT;
        DWORD cookie = 0;
        HRESULT hr = ProxyCall([&] { return cp_->Advise(com.get(), &cookie); });
        if (pdwCookie)
            *pdwCookie = cookie;
        return hr;
    }
    HRESULT Unadvise(DWORD dwCookie) override {
        return ProxyCall([&] { return cp_->Unadvise(dwCookie); });
    }

private:
    Host& host_;
    IID riid_;
    ComPtr<IConnectionPoint> cp_;
};

class ComConnectionPointContainer final : public ConnectionPointContainer {
public:
    ComConnectionPointContainer(Host& host, ComPtr<IConnectionPointContainer> cpc)
        : host_(host), cpc_(std::move(cpc)) {}
    HRESULT FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* ppCP) override {
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = ProxyCall([&] { return cpc_->FindConnectionPoint(riid, cp.out()); });
        if (SUCCEEDED(hr) && !cp)
            hr = CONNECT_E_NOCONNECTION;
        if (ppCP)
            *ppCP =
                SUCCEEDED(hr) ? std::make_shared<ComConnectionPoint>(host_, riid, std::move(cp)) : nullptr;
        return hr;
    }

private:
    Host& host_;
    ComPtr<IConnectionPointContainer> cpc_;
};

class ComDataObject final : public DataObject {
public:
    ComDataObject(Host& host, ComPtr<IDataObject> data) : host_(host), data_(std::move(data)) {}
    HRESULT DAdvise(const FormatEtc* pformatetc, DWORD advf, std::shared_ptr<AdviseSink> pAdvSink,
                    DWORD* pdwConnection) override {
        if (!pformatetc || !pAdvSink)
            return E_INVALIDARG;
        FORMATETC format{pformatetc->cfFormat, nullptr, pformatetc->dwAspect, pformatetc->lindex,
                         pformatetc->tymed};
        ComPtr<IAdviseSink> sink = MakeAdviseSink(host_, pAdvSink);
        DWORD connection = 0;
        HRESULT hr = ProxyCall([&] { return data_->DAdvise(&format, advf, sink.get(), &connection); });
        if (pdwConnection)
            *pdwConnection = connection;
        return hr;
    }
    HRESULT DUnadvise(DWORD dwConnection) override {
        return ProxyCall([&] { return data_->DUnadvise(dwConnection); });
    }

private:
    Host& host_;
    ComPtr<IDataObject> data_;
};

// ------------------------------------------------------------------------------------------ groups

class ComItemMgt final : public OPCItemMgt {
public:
    explicit ComItemMgt(ComPtr<IOPCItemMgt> itf) : itf_(std::move(itf)) {}
    HRESULT AddItems(DWORD dwCount, const ItemDef* pItemArray, ItemResult** ppAddResults,
                     HRESULT** ppErrors) override {
        return ProxyCall([&] {
            return itf_->AddItems(dwCount, Defs(pItemArray), reinterpret_cast<OPCITEMRESULT**>(ppAddResults),
                                  ppErrors);
        });
    }
    HRESULT ValidateItems(DWORD dwCount, const ItemDef* pItemArray, BOOL bBlobUpdate,
                          ItemResult** ppValidationResults, HRESULT** ppErrors) override {
        return ProxyCall([&] {
            return itf_->ValidateItems(dwCount, Defs(pItemArray), bBlobUpdate,
                                       reinterpret_cast<OPCITEMRESULT**>(ppValidationResults), ppErrors);
        });
    }
    HRESULT RemoveItems(DWORD dwCount, const OPCHANDLE* phServer, HRESULT** ppErrors) override {
        return ProxyCall([&] { return itf_->RemoveItems(dwCount, Handles(phServer), ppErrors); });
    }
    HRESULT SetActiveState(DWORD dwCount, const OPCHANDLE* phServer, BOOL bActive,
                           HRESULT** ppErrors) override {
        return ProxyCall([&] { return itf_->SetActiveState(dwCount, Handles(phServer), bActive, ppErrors); });
    }

private:
    ComPtr<IOPCItemMgt> itf_;
};

class ComGroupStateMgt final : public OPCGroupStateMgt {
public:
    explicit ComGroupStateMgt(ComPtr<IOPCGroupStateMgt> itf) : itf_(std::move(itf)) {}
    HRESULT GetState(DWORD* pUpdateRate, BOOL* pActive, OLECHAR** ppName, LONG* pTimeBias,
                     FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                     OPCHANDLE* phServerGroup) override {
        return ProxyCall([&] {
            return itf_->GetState(pUpdateRate, pActive, reinterpret_cast<LPWSTR*>(ppName), pTimeBias,
                                  pPercentDeadband, pLCID, phClientGroup, phServerGroup);
        });
    }
    HRESULT SetState(const DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, const BOOL* pActive,
                     const LONG* pTimeBias, const FLOAT* pPercentDeadband, const DWORD* pLCID,
                     const OPCHANDLE* phClientGroup) override {
        DWORD revised = 0;
        HRESULT hr = ProxyCall([&] {
            return itf_->SetState(const_cast<DWORD*>(pRequestedUpdateRate), &revised,
                                  const_cast<BOOL*>(pActive), const_cast<LONG*>(pTimeBias),
                                  const_cast<FLOAT*>(pPercentDeadband), const_cast<DWORD*>(pLCID),
                                  const_cast<OPCHANDLE*>(phClientGroup));
        });
        if (SUCCEEDED(hr) && pRevisedUpdateRate)
            *pRevisedUpdateRate = revised;
        return hr;
    }
    HRESULT SetName(const OLECHAR* szName) override {
        return ProxyCall([&] { return itf_->SetName(Wide(szName)); });
    }

private:
    ComPtr<IOPCGroupStateMgt> itf_;
};

class ComSyncIO final : public OPCSyncIO {
public:
    explicit ComSyncIO(ComPtr<IOPCSyncIO> itf) : itf_(std::move(itf)) {}
    HRESULT Read(OPCDATASOURCE dwSource, DWORD dwCount, const OPCHANDLE* phServer, ItemState** ppItemValues,
                 HRESULT** ppErrors) override {
        return ProxyCall([&] {
            return itf_->Read(static_cast<::OPCDATASOURCE>(dwSource), dwCount, Handles(phServer),
                              reinterpret_cast<OPCITEMSTATE**>(ppItemValues), ppErrors);
        });
    }
    HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues,
                  HRESULT** ppErrors) override {
        return ProxyCall(
            [&] { return itf_->Write(dwCount, Handles(phServer), Values(pItemValues), ppErrors); });
    }

private:
    ComPtr<IOPCSyncIO> itf_;
};

class ComAsyncIO final : public OPCAsyncIO {
public:
    explicit ComAsyncIO(ComPtr<IOPCAsyncIO> itf) : itf_(std::move(itf)) {}
    HRESULT Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) override {
        DWORD transaction = 0;
        HRESULT hr = ProxyCall([&] {
            return itf_->Refresh(dwConnection, static_cast<::OPCDATASOURCE>(dwSource), &transaction);
        });
        if (pTransactionID)
            *pTransactionID = transaction;
        return hr;
    }

private:
    ComPtr<IOPCAsyncIO> itf_;
};

class ComAsyncIO2 final : public OPCAsyncIO2 {
public:
    explicit ComAsyncIO2(ComPtr<IOPCAsyncIO2> itf) : itf_(std::move(itf)) {}
    HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues, DWORD dwTransactionID,
                  DWORD* pdwCancelID, HRESULT** ppErrors) override {
        DWORD cancel = 0;
        HRESULT hr = ProxyCall([&] {
            return itf_->Write(dwCount, Handles(phServer), Values(pItemValues), dwTransactionID, &cancel,
                               ppErrors);
        });
        if (pdwCancelID)
            *pdwCancelID = cancel;
        return hr;
    }
    HRESULT Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) override {
        DWORD cancel = 0;
        HRESULT hr = ProxyCall(
            [&] { return itf_->Refresh2(static_cast<::OPCDATASOURCE>(dwSource), dwTransactionID, &cancel); });
        if (pdwCancelID)
            *pdwCancelID = cancel;
        return hr;
    }

private:
    ComPtr<IOPCAsyncIO2> itf_;
};

class ComGroupObject final : public GroupObject {
public:
    ComGroupObject(Host& host, ComPtr<IUnknown> group) : host_(host), group_(std::move(group)) {}
    std::shared_ptr<OPCItemMgt> QueryItemMgt() override { return QueryWrap<IOPCItemMgt, ComItemMgt>(group_); }
    std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() override {
        return QueryWrap<IOPCGroupStateMgt, ComGroupStateMgt>(group_);
    }
    std::shared_ptr<OPCAsyncIO> QueryAsyncIO() override { return QueryWrap<IOPCAsyncIO, ComAsyncIO>(group_); }
    std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() override {
        return QueryWrap<IOPCAsyncIO2, ComAsyncIO2>(group_);
    }
    std::shared_ptr<OPCSyncIO> QuerySyncIO() override { return QueryWrap<IOPCSyncIO, ComSyncIO>(group_); }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return QueryWrap<IConnectionPointContainer, ComConnectionPointContainer>(group_, host_);
    }
    std::shared_ptr<DataObject> QueryDataObject() override {
        return QueryWrap<IDataObject, ComDataObject>(group_, host_);
    }

private:
    Host& host_;
    ComPtr<IUnknown> group_;
};

// ------------------------------------------------------------------------------------------ server

class ComBrowse final : public OPCBrowseServerAddressSpace {
public:
    explicit ComBrowse(ComPtr<IOPCBrowseServerAddressSpace> itf) : itf_(std::move(itf)) {}
    HRESULT QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        ::OPCNAMESPACETYPE type{};
        HRESULT hr = ProxyCall([&] { return itf_->QueryOrganization(&type); });
        if (SUCCEEDED(hr) && pNameSpaceType)
            *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(type);
        return hr;
    }
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, const OLECHAR* szString) override {
        return ProxyCall([&] {
            return itf_->ChangeBrowsePosition(static_cast<::OPCBROWSEDIRECTION>(dwBrowseDirection),
                                              szString ? Wide(szString) : const_cast<LPWSTR>(L""));
        });
    }
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, const OLECHAR* szFilterCriteria,
                             VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                             std::shared_ptr<EnumString>* ppIEnumString) override {
        ComPtr<IEnumString> e;
        HRESULT hr = ProxyCall([&] {
            return itf_->BrowseOPCItemIDs(static_cast<::OPCBROWSETYPE>(dwBrowseFilterType),
                                          szFilterCriteria ? Wide(szFilterCriteria) : const_cast<LPWSTR>(L""),
                                          vtDataTypeFilter, dwAccessRightsFilter, e.out());
        });
        // A success without an enumerator is no list at all.
        if (SUCCEEDED(hr) && !e)
            hr = E_POINTER;
        if (ppIEnumString)
            *ppIEnumString = SUCCEEDED(hr) ? std::make_shared<ComEnumString>(std::move(e)) : nullptr;
        return hr;
    }
    HRESULT GetItemID(const OLECHAR* szItemDataID, OLECHAR** szItemID) override {
        return ProxyCall([&] {
            return itf_->GetItemID(szItemDataID ? Wide(szItemDataID) : const_cast<LPWSTR>(L""),
                                   reinterpret_cast<LPWSTR*>(szItemID));
        });
    }

private:
    ComPtr<IOPCBrowseServerAddressSpace> itf_;
};

class ComItemProperties final : public OPCItemProperties {
public:
    explicit ComItemProperties(ComPtr<IOPCItemProperties> itf) : itf_(std::move(itf)) {}
    HRESULT QueryAvailableProperties(const OLECHAR* szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                     OLECHAR*** ppDescriptions, VARTYPE** ppvtDataTypes) override {
        return ProxyCall([&] {
            return itf_->QueryAvailableProperties(Wide(szItemID), pdwCount, ppPropertyIDs,
                                                  reinterpret_cast<LPWSTR**>(ppDescriptions), ppvtDataTypes);
        });
    }
    HRESULT GetItemProperties(const OLECHAR* szItemID, DWORD dwCount, const DWORD* pdwPropertyIDs,
                              VARIANT** ppvData, HRESULT** ppErrors) override {
        return ProxyCall([&] {
            return itf_->GetItemProperties(Wide(szItemID), dwCount, const_cast<DWORD*>(pdwPropertyIDs),
                                           ppvData, ppErrors);
        });
    }

private:
    ComPtr<IOPCItemProperties> itf_;
};

class ComOPCServer final : public OPCServer {
public:
    ComOPCServer(Host& host, ComPtr<IOPCServer> itf) : host_(host), itf_(std::move(itf)) {}
    HRESULT AddGroup(const OLECHAR* szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                     const LONG* pTimeBias, const FLOAT* pPercentDeadband, DWORD dwLCID,
                     OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                     std::shared_ptr<GroupObject>* ppUnk) override {
        ComPtr<IUnknown> group;
        OPCHANDLE server_group = 0;
        DWORD revised = 0;
        HRESULT hr = ProxyCall([&] {
            return itf_->AddGroup(szName ? Wide(szName) : const_cast<LPWSTR>(L""), bActive,
                                  dwRequestedUpdateRate, hClientGroup, const_cast<LONG*>(pTimeBias),
                                  const_cast<FLOAT*>(pPercentDeadband), dwLCID, &server_group, &revised,
                                  IID_IUnknown, group.out());
        });
        if (SUCCEEDED(hr) && !group)
            hr = E_NOINTERFACE;
        if (FAILED(hr))
            return hr;
        if (phServerGroup)
            *phServerGroup = server_group;
        if (pRevisedUpdateRate)
            *pRevisedUpdateRate = revised;
        if (ppUnk)
            *ppUnk = std::make_shared<ComGroupObject>(host_, std::move(group));
        return hr;
    }
    HRESULT GetStatus(ServerStatus** ppServerStatus) override {
        return ProxyCall(
            [&] { return itf_->GetStatus(reinterpret_cast<OPCSERVERSTATUS**>(ppServerStatus)); });
    }
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        return ProxyCall([&] { return itf_->RemoveGroup(hServerGroup, bForce); });
    }
    std::shared_ptr<OPCItemProperties> QueryItemProperties() override {
        return QueryWrap<IOPCItemProperties, ComItemProperties>(itf_);
    }
    std::shared_ptr<OPCBrowseServerAddressSpace> QueryBrowseServerAddressSpace() override {
        return QueryWrap<IOPCBrowseServerAddressSpace, ComBrowse>(itf_);
    }
    std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() override {
        return QueryWrap<IConnectionPointContainer, ComConnectionPointContainer>(itf_, host_);
    }

private:
    Host& host_;
    ComPtr<IOPCServer> itf_;
};

class ComServerObject final : public ServerObject {
public:
    ComServerObject(Host& host, ComPtr<IUnknown> object) : host_(host), object_(std::move(object)) {}
    std::shared_ptr<OPCServer> QueryOPCServer() override {
        return QueryWrap<IOPCServer, ComOPCServer>(object_, host_);
    }

private:
    Host& host_;
    ComPtr<IUnknown> object_;
};

class ComServerList final : public OPCServerList {
public:
    explicit ComServerList(ComPtr<IOPCServerList> itf) : itf_(std::move(itf)) {}
    HRESULT EnumClassesOfCategories(ULONG cImplemented, const GUID* rgcatidImpl, ULONG cRequired,
                                    const GUID* rgcatidReq, std::shared_ptr<EnumGUID>* ppenumClsid) override {
        ComPtr<IEnumGUID> e;
        HRESULT hr = ProxyCall([&] {
            return itf_->EnumClassesOfCategories(cImplemented, const_cast<GUID*>(rgcatidImpl), cRequired,
                                                 const_cast<GUID*>(rgcatidReq), e.out());
        });
        if (SUCCEEDED(hr) && !e)
            hr = E_POINTER;
        if (ppenumClsid)
            *ppenumClsid = SUCCEEDED(hr) ? std::make_shared<ComEnumGUID>(std::move(e)) : nullptr;
        return hr;
    }
    HRESULT GetClassDetails(const CLSID& clsid, OLECHAR** ppszProgID, OLECHAR** ppszUserType) override {
        return ProxyCall([&] {
            return itf_->GetClassDetails(clsid, reinterpret_cast<LPOLESTR*>(ppszProgID),
                                         reinterpret_cast<LPOLESTR*>(ppszUserType));
        });
    }
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override {
        return ProxyCall([&] { return itf_->CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(szProgId), clsid); });
    }

private:
    ComPtr<IOPCServerList> itf_;
};

} // namespace

std::shared_ptr<ServerObject> WrapServerObject(Host& host, ComPtr<IUnknown> object) {
    return std::make_shared<ComServerObject>(host, std::move(object));
}

std::shared_ptr<OPCServerList> WrapServerList(ComPtr<IUnknown> list) {
    ComPtr<IOPCServerList> itf = list.Query<IOPCServerList>();
    if (!itf)
        return nullptr;
    return std::make_shared<ComServerList>(std::move(itf));
}

} // namespace tagclient::transport::com
