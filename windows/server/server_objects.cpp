#include "server_objects.hpp"

#include "com_object.hpp"
#include "module.hpp"
#include "sink_adapters.hpp"

#include <string>

namespace opcsim {

namespace tp = tagclient::transport;
using tagclient::transport::com::ComObject;
using tagclient::transport::com::MakeCom;

namespace {

const OLECHAR* Ole(LPCWSTR s) {
    return reinterpret_cast<const OLECHAR*>(s);
}

template <class Itf, class T> HRESULT Hand(const ComPtr<T>& object, Itf** out) {
    if (!out)
        return E_POINTER;
    *out = ComPtr<Itf>::Share(static_cast<Itf*>(object.get())).Detach();
    return S_OK;
}

// ------------------------------------------------------------------------------------------- enums

class EnumStringCom final : public ComObject<IEnumString> {
public:
    explicit EnumStringCom(std::shared_ptr<tp::EnumString> e) : e_(std::move(e)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override {
        ULONG fetched = 0;
        HRESULT hr = e_->Next(celt, reinterpret_cast<OLECHAR**>(rgelt), &fetched);
        if (pceltFetched)
            *pceltFetched = fetched;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        // Skipping is fetching and dropping.
        for (ULONG i = 0; i < celt; ++i) {
            OLECHAR* s = nullptr;
            ULONG n = 0;
            HRESULT hr = e_->Next(1, &s, &n);
            CoTaskMemFree(s);
            if (hr != S_OK || n != 1)
                return S_FALSE;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** ppenum) override {
        if (ppenum)
            *ppenum = nullptr;
        return E_NOTIMPL;
    }

private:
    std::shared_ptr<tp::EnumString> e_;
};

class EnumGuidCom final : public ComObject<IEnumGUID> {
public:
    explicit EnumGuidCom(std::shared_ptr<tp::EnumGUID> e) : e_(std::move(e)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) override {
        ULONG fetched = 0;
        HRESULT hr = e_->Next(celt, rgelt, &fetched);
        if (pceltFetched)
            *pceltFetched = fetched;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        for (ULONG i = 0; i < celt; ++i) {
            GUID g;
            ULONG n = 0;
            if (e_->Next(1, &g, &n) != S_OK || n != 1)
                return S_FALSE;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumGUID** ppenum) override {
        if (ppenum)
            *ppenum = nullptr;
        return E_NOTIMPL;
    }

private:
    std::shared_ptr<tp::EnumGUID> e_;
};

// ------------------------------------------------------------------------------- connection points

class ConnectionPointCom final : public ComObject<IConnectionPoint> {
public:
    ConnectionPointCom(IConnectionPointContainer* container, const IID& riid,
                       std::shared_ptr<tp::ConnectionPoint> cp)
        : container_(ComPtr<IConnectionPointContainer>::Share(container)), riid_(riid), cp_(std::move(cp)) {}

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (!pIID)
            return E_POINTER;
        *pIID = riid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC)
            return E_POINTER;
        *ppCPC = ComPtr<IConnectionPointContainer>(container_).Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (!pUnkSink || !pdwCookie)
            return E_POINTER;
        auto sink = AdaptConnectionSink(riid_, pUnkSink);
        if (!sink)
            return tp::CONNECT_E_CANNOTCONNECT;
        return cp_->Advise(std::move(sink), pdwCookie);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override { return cp_->Unadvise(dwCookie); }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }

private:
    ComPtr<IConnectionPointContainer> container_;
    IID riid_;
    std::shared_ptr<tp::ConnectionPoint> cp_;
};

// Finds a connection point of a simulated container and gives it its COM face.
HRESULT FindPoint(IConnectionPointContainer* self, tp::ConnectionPointContainer& cpc, REFIID riid,
                  IConnectionPoint** ppCP) {
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    std::shared_ptr<tp::ConnectionPoint> cp;
    HRESULT hr = cpc.FindConnectionPoint(riid, &cp);
    if (FAILED(hr))
        return hr;
    if (!cp)
        return tp::CONNECT_E_NOCONNECTION;
    auto com = MakeCom<ConnectionPointCom>(self, riid, std::move(cp));
    *ppCP = com.Detach();
    return S_OK;
}

// ------------------------------------------------------------------------------------------ groups

class GroupCom final : public ComObject<IOPCItemMgt, IOPCGroupStateMgt, IOPCSyncIO, IOPCAsyncIO, IOPCAsyncIO2,
                                        IConnectionPointContainer, IDataObject> {
public:
    explicit GroupCom(const std::shared_ptr<tp::GroupObject>& group)
        : item_mgt_(group->QueryItemMgt()), state_mgt_(group->QueryGroupStateMgt()),
          sync_io_(group->QuerySyncIO()), async_io_(group->QueryAsyncIO()),
          async_i_o2_(group->QueryAsyncIO2()), cpc_(group->QueryConnectionPointContainer()),
          data_(group->QueryDataObject()) {}

    // IOPCItemMgt
    HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                                       HRESULT** ppErrors) override {
        return item_mgt_->AddItems(dwCount, reinterpret_cast<const tp::ItemDef*>(pItemArray),
                                   reinterpret_cast<tp::ItemResult**>(ppAddResults), ppErrors);
    }
    HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                            OPCITEMRESULT** ppValidationResults,
                                            HRESULT** ppErrors) override {
        return item_mgt_->ValidateItems(dwCount, reinterpret_cast<const tp::ItemDef*>(pItemArray),
                                        bBlobUpdate, reinterpret_cast<tp::ItemResult**>(ppValidationResults),
                                        ppErrors);
    }
    HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) override {
        return item_mgt_->RemoveItems(dwCount, phServer, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                             HRESULT** ppErrors) override {
        return item_mgt_->SetActiveState(dwCount, phServer, bActive, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD, OPCHANDLE*, OPCHANDLE*, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD, OPCHANDLE*, VARTYPE*, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk)
            *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCGroupStateMgt
    HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                                       FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                                       OPCHANDLE* phServerGroup) override {
        return state_mgt_->GetState(pUpdateRate, pActive, reinterpret_cast<OLECHAR**>(ppName), pTimeBias,
                                    pPercentDeadband, pLCID, phClientGroup, phServerGroup);
    }
    HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                                       LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                       OPCHANDLE* phClientGroup) override {
        return state_mgt_->SetState(pRequestedUpdateRate, pRevisedUpdateRate, pActive, pTimeBias,
                                    pPercentDeadband, pLCID, phClientGroup);
    }
    HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override { return state_mgt_->SetName(Ole(szName)); }
    HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk)
            *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCSyncIO
    HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                   OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override {
        return sync_io_->Read(static_cast<tp::OPCDATASOURCE>(dwSource), dwCount, phServer,
                              reinterpret_cast<tp::ItemState**>(ppItemValues), ppErrors);
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                    HRESULT** ppErrors) override {
        return sync_io_->Write(dwCount, phServer, pItemValues, ppErrors);
    }

    // IOPCAsyncIO (1.0): only Refresh exists in the simulation.
    HRESULT STDMETHODCALLTYPE Read(DWORD, OPCDATASOURCE, DWORD, OPCHANDLE*, DWORD*, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD, DWORD, OPCHANDLE*, VARIANT*, DWORD*, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                      DWORD* pTransactionID) override {
        return async_io_->Refresh(dwConnection, static_cast<tp::OPCDATASOURCE>(dwSource), pTransactionID);
    }
    HRESULT STDMETHODCALLTYPE Cancel(DWORD) override { return E_NOTIMPL; }

    // IOPCAsyncIO2: Write and Refresh2 exist in the simulation.
    HRESULT STDMETHODCALLTYPE Read(DWORD, OPCHANDLE*, DWORD, DWORD*, HRESULT**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                    DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) override {
        return async_i_o2_->Write(dwCount, phServer, pItemValues, dwTransactionID, pdwCancelID, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                       DWORD* pdwCancelID) override {
        return async_i_o2_->Refresh2(static_cast<tp::OPCDATASOURCE>(dwSource), dwTransactionID, pdwCancelID);
    }
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL*) override { return E_NOTIMPL; }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        return FindPoint(this, *cpc_, riid, ppCP);
    }

    // IDataObject: subscriptions only.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** ppenum) override {
        if (ppenum)
            *ppenum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                      DWORD* pdwConnection) override {
        if (!pformatetc || !pAdvSink || !pdwConnection)
            return E_POINTER;
        tp::FormatEtc format{Module::Get().ToSimFormat(pformatetc->cfFormat), nullptr, pformatetc->dwAspect,
                             pformatetc->lindex, pformatetc->tymed};
        return data_->DAdvise(&format, advf, AdaptAdviseSink(pAdvSink), pdwConnection);
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override {
        return data_->DUnadvise(dwConnection);
    }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppenum) override {
        if (ppenum)
            *ppenum = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }

protected:
    bool Offers(REFIID riid) override {
        if (IsEqualIID(riid, __uuidof(IOPCItemMgt)))
            return item_mgt_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IOPCGroupStateMgt)))
            return state_mgt_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IOPCSyncIO)))
            return sync_io_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IOPCAsyncIO)))
            return async_io_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IOPCAsyncIO2)))
            return async_i_o2_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IConnectionPointContainer)))
            return cpc_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IDataObject)))
            return data_ != nullptr;
        return true;
    }

private:
    std::shared_ptr<tp::OPCItemMgt> item_mgt_;
    std::shared_ptr<tp::OPCGroupStateMgt> state_mgt_;
    std::shared_ptr<tp::OPCSyncIO> sync_io_;
    std::shared_ptr<tp::OPCAsyncIO> async_io_;
    std::shared_ptr<tp::OPCAsyncIO2> async_i_o2_;
    std::shared_ptr<tp::ConnectionPointContainer> cpc_;
    std::shared_ptr<tp::DataObject> data_;
};

// ------------------------------------------------------------------------------------------ server

class ServerCom final : public ComObject<IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace,
                                         IOPCItemProperties, IConnectionPointContainer> {
public:
    explicit ServerCom(std::shared_ptr<tp::OPCServer> server)
        : server_(std::move(server)), browse_(server_->QueryBrowseServerAddressSpace()),
          properties_(server_->QueryItemProperties()), cpc_(server_->QueryConnectionPointContainer()) {
        Module::Get().AddRef();
    }
    ~ServerCom() override { Module::Get().Release(); }

    // IOPCServer
    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                       OPCHANDLE hClientGroup, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                       DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                       REFIID riid, LPUNKNOWN* ppUnk) override {
        if (!ppUnk)
            return E_POINTER;
        *ppUnk = nullptr;
        std::shared_ptr<tp::GroupObject> group;
        HRESULT hr = server_->AddGroup(Ole(szName), bActive, dwRequestedUpdateRate, hClientGroup, pTimeBias,
                                       pPercentDeadband, dwLCID, phServerGroup, pRevisedUpdateRate, &group);
        if (FAILED(hr))
            return hr;
        if (!group)
            return E_FAIL;
        auto com = MakeCom<GroupCom>(group);
        HRESULT qi = com->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
        return FAILED(qi) ? qi : hr;
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID, LPWSTR* ppString) override {
        return ErrorString(dwError, ppString);
    }
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk)
            *ppUnk = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override {
        return server_->GetStatus(reinterpret_cast<tp::ServerStatus**>(ppServerStatus));
    }
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        return server_->RemoveGroup(hServerGroup, bForce);
    }
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk)
            *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCCommon
    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override {
        locale_ = dwLcid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override {
        if (!pdwLcid)
            return E_POINTER;
        *pdwLcid = locale_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override {
        if (!pdwCount || !pdwLcid)
            return E_POINTER;
        *pdwLcid = static_cast<LCID*>(CoTaskMemAlloc(sizeof(LCID)));
        if (!*pdwLcid)
            return E_OUTOFMEMORY;
        (*pdwLcid)[0] = LOCALE_SYSTEM_DEFAULT;
        *pdwCount = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override {
        return ErrorString(dwError, ppString);
    }
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR) override { return S_OK; }

    // IOPCBrowseServerAddressSpace
    HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        if (!pNameSpaceType)
            return E_POINTER;
        tp::OPCNAMESPACETYPE type{};
        HRESULT hr = browse_->QueryOrganization(&type);
        if (SUCCEEDED(hr))
            *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(type);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                   LPCWSTR szString) override {
        return browse_->ChangeBrowsePosition(static_cast<tp::OPCBROWSEDIRECTION>(dwBrowseDirection),
                                             Ole(szString));
    }
    HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                               VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                               LPENUMSTRING* ppIEnumString) override {
        if (!ppIEnumString)
            return E_POINTER;
        *ppIEnumString = nullptr;
        std::shared_ptr<tp::EnumString> e;
        HRESULT hr =
            browse_->BrowseOPCItemIDs(static_cast<tp::OPCBROWSETYPE>(dwBrowseFilterType),
                                      Ole(szFilterCriteria), vtDataTypeFilter, dwAccessRightsFilter, &e);
        if (SUCCEEDED(hr) && e)
            *ppIEnumString = MakeCom<EnumStringCom>(std::move(e)).Detach();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override {
        return browse_->GetItemID(Ole(szItemDataID), reinterpret_cast<OLECHAR**>(szItemID));
    }
    HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR, LPENUMSTRING* ppIEnumString) override {
        if (ppIEnumString)
            *ppIEnumString = nullptr;
        return E_NOTIMPL;
    }

    // IOPCItemProperties
    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                       DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                                       VARTYPE** ppvtDataTypes) override {
        return properties_->QueryAvailableProperties(Ole(szItemID), pdwCount, ppPropertyIDs,
                                                     reinterpret_cast<OLECHAR***>(ppDescriptions),
                                                     ppvtDataTypes);
    }
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                                VARIANT** ppvData, HRESULT** ppErrors) override {
        return properties_->GetItemProperties(Ole(szItemID), dwCount, pdwPropertyIDs, ppvData, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR, DWORD, DWORD*, LPWSTR** ppszNewItemIDs,
                                            HRESULT** ppErrors) override {
        if (ppszNewItemIDs)
            *ppszNewItemIDs = nullptr;
        if (ppErrors)
            *ppErrors = nullptr;
        return E_NOTIMPL;
    }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        return FindPoint(this, *cpc_, riid, ppCP);
    }

protected:
    bool Offers(REFIID riid) override {
        if (IsEqualIID(riid, __uuidof(IOPCBrowseServerAddressSpace)))
            return browse_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IOPCItemProperties)))
            return properties_ != nullptr;
        if (IsEqualIID(riid, __uuidof(IConnectionPointContainer)))
            return cpc_ != nullptr;
        return true;
    }

private:
    static HRESULT ErrorString(HRESULT code, LPWSTR* ppString) {
        if (!ppString)
            return E_POINTER;
        *ppString = nullptr;
        wchar_t* text = nullptr;
        DWORD n = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
        if (text)
            LocalFree(text);
        if (message.empty())
            return E_INVALIDARG; // the code is unknown
        auto* out = static_cast<wchar_t*>(CoTaskMemAlloc((message.size() + 1) * sizeof(wchar_t)));
        if (!out)
            return E_OUTOFMEMORY;
        std::copy(message.c_str(), message.c_str() + message.size() + 1, out);
        *ppString = out;
        return S_OK;
    }

    std::shared_ptr<tp::OPCServer> server_;
    std::shared_ptr<tp::OPCBrowseServerAddressSpace> browse_;
    std::shared_ptr<tp::OPCItemProperties> properties_;
    std::shared_ptr<tp::ConnectionPointContainer> cpc_;
    LCID locale_ = LOCALE_SYSTEM_DEFAULT;
};

// --------------------------------------------------------------------------------------- server list

class ServerListCom final : public ComObject<IOPCServerList> {
public:
    explicit ServerListCom(std::shared_ptr<tp::OPCServerList> list) : list_(std::move(list)) {}
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID* rgcatidImpl, ULONG cRequired,
                                                      CATID* rgcatidReq, IEnumGUID** ppenumClsid) override {
        if (!ppenumClsid)
            return E_POINTER;
        *ppenumClsid = nullptr;
        std::shared_ptr<tp::EnumGUID> e;
        HRESULT hr = list_->EnumClassesOfCategories(cImplemented, rgcatidImpl, cRequired, rgcatidReq, &e);
        if (SUCCEEDED(hr) && e)
            *ppenumClsid = MakeCom<EnumGuidCom>(std::move(e)).Detach();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType) override {
        return list_->GetClassDetails(clsid, reinterpret_cast<OLECHAR**>(ppszProgID),
                                      reinterpret_cast<OLECHAR**>(ppszUserType));
    }
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) override {
        return list_->CLSIDFromProgID(Ole(szProgId), clsid);
    }

private:
    std::shared_ptr<tp::OPCServerList> list_;
};

} // namespace

ComPtr<IUnknown> MakeServerCom(std::shared_ptr<tp::ServerObject> server) {
    std::shared_ptr<tp::OPCServer> opc = server ? server->QueryOPCServer() : nullptr;
    if (!opc)
        return {};
    auto com = MakeCom<ServerCom>(std::move(opc));
    return ComPtr<IUnknown>::Share(static_cast<IOPCServer*>(com.get()));
}

ComPtr<IUnknown> MakeServerListCom(std::shared_ptr<tp::OPCServerList> list) {
    if (!list)
        return {};
    auto com = MakeCom<ServerListCom>(std::move(list));
    return ComPtr<IUnknown>::Share(static_cast<IOPCServerList*>(com.get()));
}

} // namespace opcsim
