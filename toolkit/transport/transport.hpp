// The transport: everything tagclient needs from OPC DA servers, as C++ interfaces.
//
// The toolkit core (sessions, groups, items, callbacks, enumeration, browsing) is written only against this
// header. A backend implements it: `transport/sim` (simulated in-process servers, Linux) and
// `transport/com` (COM and DCOM, Windows). Each backend builds a static library
// (`tagclient_transport_sim`, `tagclient_transport_com`) that defines `CreateDefaultTransport`.
//
// Conventions, chosen so that the COM backend maps every call 1:1 onto the published OPC DA 1.0/2.0 custom
// interfaces:
// - Every operation returns an HRESULT. A failing HRESULT fails the whole call; per-item arrays of HRESULTs
//   decide per item. S_FALSE is a success.
// - Outputs returned through `T**` are allocated by the callee with CoTaskMemAlloc and freed by the caller
//   with CoTaskMemFree (arrays, strings, structures; VARIANTs inside them are cleared by the caller with
//   VariantClear). Inputs stay the caller's.
// - Interface references are `std::shared_ptr`: holding one is holding a COM reference. An interface an
//   object does not offer is a query that returns null (the COM backend maps E_NOINTERFACE to null), so
//   every missing-interface path is reachable with a backend that simply returns null.
// - Strings are UTF-16 (`OLECHAR`), NUL-terminated.
// - All calls into a transport object are made on the client thread (the thread that called QZDAC_Init).
//   A backend may block inside a call.
// - Notifications (the three sink interfaces below) reach the core ONLY through the `Host` the core gave
//   the backend: the backend posts a call with `Host::Post` (from any thread) or runs it from a
//   `Host::StartTimer` tick, and the core runs it on the client thread inside QZDAC_DispatchEvents.
//   A backend never calls a sink directly from inside one of the core's calls into it.
#pragma once
#include <platform/oleauto.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tagclient::transport {

// ---------------------------------------------------------------------------------------------------------
// Scalar types and codes of the OPC DA custom interfaces (published values).

using OPCHANDLE = DWORD;
using CLIPFORMAT = WORD;

enum OPCDATASOURCE : DWORD { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 };
enum OPCSERVERSTATE : DWORD {
    OPC_STATUS_RUNNING = 1,
    OPC_STATUS_FAILED = 2,
    OPC_STATUS_NOCONFIG = 3,
    OPC_STATUS_SUSPENDED = 4,
    OPC_STATUS_TEST = 5
};
enum OPCNAMESPACETYPE : DWORD { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 };
enum OPCBROWSEDIRECTION : DWORD { OPC_BROWSE_UP = 1, OPC_BROWSE_DOWN = 2, OPC_BROWSE_TO = 3 };
enum OPCBROWSETYPE : DWORD { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 };

// OPC qualities (16-bit, the low byte carries quality and substatus).
constexpr WORD OPC_QUALITY_BAD = 0x00;
constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
constexpr WORD OPC_QUALITY_GOOD = 0xC0;

// OPC error codes a server returns per item or per call.
constexpr HRESULT OPC_E_INVALIDHANDLE = static_cast<HRESULT>(0xC0040001L);
constexpr HRESULT OPC_E_BADTYPE = static_cast<HRESULT>(0xC0040004L);
constexpr HRESULT OPC_E_PUBLIC = static_cast<HRESULT>(0xC0040005L);
constexpr HRESULT OPC_E_BADRIGHTS = static_cast<HRESULT>(0xC0040006L);
constexpr HRESULT OPC_E_UNKNOWNITEMID = static_cast<HRESULT>(0xC0040007L);
constexpr HRESULT OPC_E_INVALIDITEMID = static_cast<HRESULT>(0xC0040008L);
constexpr HRESULT OPC_E_INVALIDFILTER = static_cast<HRESULT>(0xC0040009L);
constexpr HRESULT OPC_E_UNKNOWNPATH = static_cast<HRESULT>(0xC004000AL);
constexpr HRESULT OPC_E_RANGE = static_cast<HRESULT>(0xC004000BL);
constexpr HRESULT OPC_E_DUPLICATENAME = static_cast<HRESULT>(0xC004000CL);
constexpr HRESULT OPC_S_UNSUPPORTEDRATE = static_cast<HRESULT>(0x0004000DL);
constexpr HRESULT OPC_S_CLAMP = static_cast<HRESULT>(0x0004000EL);
constexpr HRESULT OPC_E_INVALID_PID = static_cast<HRESULT>(0xC0040203L);
// COM codes of connection points and data objects (macros of the same values in the Windows headers).
#ifndef CONNECT_E_NOCONNECTION
constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200L);
#endif
#ifndef CONNECT_E_CANNOTCONNECT
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202L);
#endif
#ifndef OLE_E_ADVISENOTSUPPORTED
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003L);
#endif
#ifndef DV_E_FORMATETC
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064L);
#endif
#ifndef DV_E_TYMED
constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069L);
#endif

// FORMATETC / STGMEDIUM constants used by the data-object subscription (the system's own on Windows).
#ifdef _WIN32
using ::ADVF_PRIMEFIRST;
using ::DVASPECT_CONTENT;
using ::TYMED_HGLOBAL;
#else
constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD ADVF_PRIMEFIRST = 2;
#endif

// ---------------------------------------------------------------------------------------------------------
// Well-known GUIDs (published values).

// {F31DFDE1-07B6-11D2-B2D8-0060083BA1FB}
inline constexpr GUID IID_IOPCShutdown = {
    0xF31DFDE1, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
// {39C13A70-011E-11D0-9675-0020AFD8ADB3}
inline constexpr GUID IID_IOPCDataCallback = {
    0x39C13A70, 0x011E, 0x11D0, {0x96, 0x75, 0x00, 0x20, 0xAF, 0xD8, 0xAD, 0xB3}};
// {13486D51-4821-11D2-A494-3CB306C10000}: the OPC server-list component.
inline constexpr GUID CLSID_OpcServerList = {
    0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};
// Component categories of OPC DA 1.0, 2.0 and 3.0 servers.
inline constexpr GUID CATID_OPCDAServer10 = {
    0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
inline constexpr GUID CATID_OPCDAServer20 = {
    0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
inline constexpr GUID CATID_OPCDAServer30 = {
    0xCC603642, 0x66D7, 0x48F1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}};

inline bool SameGuid(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Structures (same members, order and meaning as the OPC DA structures of the same role).

// OPCITEMDEF: one item to add or validate. All pointers are the caller's.
struct ItemDef {
    OLECHAR* szAccessPath;
    OLECHAR* szItemID;
    BOOL bActive;
    OPCHANDLE hClient;
    DWORD dwBlobSize;
    BYTE* pBlob;
    VARTYPE vtRequestedDataType;
    WORD wReserved;
};

// OPCITEMRESULT: the server's answer per added or validated item (pBlob task-allocated, usually null).
struct ItemResult {
    OPCHANDLE hServer;
    VARTYPE vtCanonicalDataType;
    WORD wReserved;
    DWORD dwAccessRights;
    DWORD dwBlobSize;
    BYTE* pBlob;
};

// OPCITEMSTATE: one value read synchronously (vDataValue owned by the array's receiver).
struct ItemState {
    OPCHANDLE hClient;
    FILETIME ftTimeStamp;
    WORD wQuality;
    WORD wReserved;
    VARIANT vDataValue;
};

// OPCSERVERSTATUS (szVendorInfo task-allocated, may be null).
struct ServerStatus {
    FILETIME ftStartTime;
    FILETIME ftCurrentTime;
    FILETIME ftLastUpdateTime;
    DWORD dwServerState; // OPCSERVERSTATE
    DWORD dwGroupCount;
    DWORD dwBandWidth;
    WORD wMajorVersion;
    WORD wMinorVersion;
    WORD wBuildNumber;
    WORD wReserved;
    OLECHAR* szVendorInfo;
};

// FORMATETC as used by the OPC DA 1.0 data-object subscription (ptd is always null).
struct FormatEtc {
    CLIPFORMAT cfFormat;
    void* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
};

// A global memory block (HGLOBAL). The sender owns it; a receiver locks it for reading and unlocks it.
class GlobalMemory {
public:
    virtual ~GlobalMemory() = default;
    // GlobalLock: the block's first byte, or null when it cannot be locked.
    virtual const BYTE* Lock() = 0;
    // GlobalUnlock, once per successful Lock.
    virtual void Unlock() = 0;
    // GlobalSize: the block's size in bytes (what a reader may touch after Lock).
    virtual size_t Size() const = 0;
};

// STGMEDIUM with TYMED_HGLOBAL: the medium of a data-object notification, owned by the caller of
// AdviseSink::OnDataChange (the receiver never releases it).
struct StgMedium {
    DWORD tymed;
    GlobalMemory* hGlobal;
};

// Data-object stream layout (OPC DA 1.0, all little-endian, offsets from the start of the block):
//
//   0  +----------------------+  group header, 20 bytes
//      | total size      u32  |
//   4  | item count      u32  |
//   8  | client group    u32  |
//  12  | transaction id  u32  |
//  16  | status      HRESULT  |  the block is used only when this is 0
//  20  +----------------------+  item headers, back to back, item count of them:
//      | client handle   u32  |    OPCSTMFORMATDATATIME: 20 bytes each
//      | value offset    u32  |    OPCSTMFORMATDATA:     12 bytes each (no timestamp)
//      | quality         u16  |
//      | reserved        u16  |
//      | timestamp  FILETIME  |  (DATATIME only)
//      +----------------------+
//      | values ...           |  at each value offset a VARIANT (sizeof(VARIANT) bytes on this platform;
//      +----------------------+  pointers inside it are meaningless to the receiver). Data follows it:
//   VT_BSTR:            u32 byte length n, n bytes of UTF-16 text, a 2-byte NUL.
//   VT_ARRAY | vt:      a SAFEARRAY header (sizeof(SAFEARRAY), one dimension), then the element area
//                       (cbElements x cElements bytes); for VT_BSTR elements the area holds slots that
//                       are not read, followed by each element's text as for VT_BSTR, one after another.
//   Other types carry their value inside the VARIANT. No field is aligned: read with memcpy.
struct StreamGroupHeader {
    DWORD dwSize;
    DWORD dwItemCount;
    OPCHANDLE hClientGroup;
    DWORD dwTransactionID;
    HRESULT hrStatus;
};
struct StreamItemHeader {
    OPCHANDLE hClient;
    DWORD dwValueOffset;
    WORD wQuality;
    WORD wReserved;
};
struct StreamItemHeaderTime {
    OPCHANDLE hClient;
    DWORD dwValueOffset;
    WORD wQuality;
    WORD wReserved;
    FILETIME ftTimeStampItem;
};
static_assert(sizeof(StreamGroupHeader) == 20);
static_assert(sizeof(StreamItemHeader) == 12);
static_assert(sizeof(StreamItemHeaderTime) == 20);

// The names under which the three stream formats are registered (Transport::RegisterClipboardFormat).
inline constexpr const char16_t* kFormatData = u"OPCSTMFORMATDATA";
inline constexpr const char16_t* kFormatDataTime = u"OPCSTMFORMATDATATIME";
inline constexpr const char16_t* kFormatWriteComplete = u"OPCSTMFORMATWRITECOMPLETE";

// ---------------------------------------------------------------------------------------------------------
// Sinks: implemented by the core, called by a backend through Host::Post / Host timers only.

// Base of every sink handed to a connection point or data object (IUnknown). A backend finds the
// interface it needs with dynamic_pointer_cast; a sink without it gives CONNECT_E_CANNOTCONNECT.
class Sink {
public:
    virtual ~Sink() = default;
};

// IOPCShutdown.
class OPCShutdown : public virtual Sink {
public:
    // The server asks its clients to let go. szReason may be null. Returns S_OK.
    virtual HRESULT ShutdownRequest(const OLECHAR* szReason) = 0;
};

// IOPCDataCallback. The arrays are the caller's and valid only during the call.
class OPCDataCallback : public virtual Sink {
public:
    // Changed values of a subscribed group (also the answer to Refresh2).
    virtual HRESULT OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                 HRESULT hrMastererror, DWORD dwCount, const OPCHANDLE* phClientItems,
                                 const VARIANT* pvValues, const WORD* pwQualities,
                                 const FILETIME* pftTimeStamps, const HRESULT* pErrors) = 0;
    // Completion of an asynchronous read (not used by tagclient, acknowledged).
    virtual HRESULT OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                   HRESULT hrMastererror, DWORD dwCount, const OPCHANDLE* phClientItems,
                                   const VARIANT* pvValues, const WORD* pwQualities,
                                   const FILETIME* pftTimeStamps, const HRESULT* pErrors) = 0;
    // Completion of IOPCAsyncIO2::Write.
    virtual HRESULT OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                                    const OPCHANDLE* pClienthandles, const HRESULT* pErrors) = 0;
    // Completion of a cancel.
    virtual HRESULT OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) = 0;
};

// IAdviseSink (OPC DA 1.0 data-object notifications).
class AdviseSink : public virtual Sink {
public:
    // A block in one of the stream formats. The medium stays the caller's.
    virtual void OnDataChange(const FormatEtc& format, const StgMedium& medium) = 0;
    virtual void OnViewChange(DWORD dwAspect, LONG lindex) = 0;
    virtual void OnRename() = 0;
    virtual void OnSave() = 0;
    virtual void OnClose() = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Connection points and data objects.

// IConnectionPoint.
class ConnectionPoint {
public:
    virtual ~ConnectionPoint() = default;
    // Subscribes the sink; the server keeps a reference until Unadvise or until it goes away.
    virtual HRESULT Advise(std::shared_ptr<Sink> sink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
};

// IConnectionPointContainer.
class ConnectionPointContainer {
public:
    virtual ~ConnectionPointContainer() = default;
    // The connection point for the outgoing interface riid (IID_IOPCShutdown on a server,
    // IID_IOPCDataCallback on a group); CONNECT_E_NOCONNECTION when there is none.
    virtual HRESULT FindConnectionPoint(const IID& riid, std::shared_ptr<ConnectionPoint>* ppCP) = 0;
};

// IDataObject, as far as OPC DA 1.0 subscriptions use it.
class DataObject {
public:
    virtual ~DataObject() = default;
    // Subscribes the sink to blocks of format->cfFormat (medium TYMED_HGLOBAL); advf ADVF_PRIMEFIRST asks
    // for the current values at once.
    virtual HRESULT DAdvise(const FormatEtc* pformatetc, DWORD advf, std::shared_ptr<AdviseSink> pAdvSink,
                            DWORD* pdwConnection) = 0;
    virtual HRESULT DUnadvise(DWORD dwConnection) = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Enumerators.

// IEnumGUID.
class EnumGUID {
public:
    virtual ~EnumGUID() = default;
    // Up to celt GUIDs into rgelt; *pceltFetched receives the number given. S_FALSE when fewer than celt.
    virtual HRESULT Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) = 0;
};

// IEnumString.
class EnumString {
public:
    virtual ~EnumString() = default;
    // Up to celt task-allocated strings into rgelt. S_FALSE when fewer than celt (also 0 at the end).
    virtual HRESULT Next(ULONG celt, OLECHAR** rgelt, ULONG* pceltFetched) = 0;
};

// ---------------------------------------------------------------------------------------------------------
// The group object and its interfaces.

// IOPCGroupStateMgt.
class OPCGroupStateMgt {
public:
    virtual ~OPCGroupStateMgt() = default;
    // The group's state; *ppName task-allocated. Every pointer must be valid.
    virtual HRESULT GetState(DWORD* pUpdateRate, BOOL* pActive, OLECHAR** ppName, LONG* pTimeBias,
                             FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                             OPCHANDLE* phServerGroup) = 0;
    // Changes what is given (null pointers leave that part unchanged); *pRevisedUpdateRate receives the
    // rate the server chose.
    virtual HRESULT SetState(const DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                             const BOOL* pActive, const LONG* pTimeBias, const FLOAT* pPercentDeadband,
                             const DWORD* pLCID, const OPCHANDLE* phClientGroup) = 0;
    // Renames the group; OPC_E_DUPLICATENAME when the name is taken.
    virtual HRESULT SetName(const OLECHAR* szName) = 0;
};

// IOPCItemMgt.
class OPCItemMgt {
public:
    virtual ~OPCItemMgt() = default;
    // Adds dwCount items; *ppAddResults and *ppErrors are task-allocated arrays of dwCount entries (given
    // also when the call returns S_FALSE because some items were refused).
    virtual HRESULT AddItems(DWORD dwCount, const ItemDef* pItemArray, ItemResult** ppAddResults,
                             HRESULT** ppErrors) = 0;
    // Checks dwCount item definitions without adding them; outputs as AddItems.
    virtual HRESULT ValidateItems(DWORD dwCount, const ItemDef* pItemArray, BOOL bBlobUpdate,
                                  ItemResult** ppValidationResults, HRESULT** ppErrors) = 0;
    // Removes items by server handle; *ppErrors task-allocated.
    virtual HRESULT RemoveItems(DWORD dwCount, const OPCHANDLE* phServer, HRESULT** ppErrors) = 0;
    // Activates or deactivates items by server handle; *ppErrors task-allocated.
    virtual HRESULT SetActiveState(DWORD dwCount, const OPCHANDLE* phServer, BOOL bActive,
                                   HRESULT** ppErrors) = 0;
};

// IOPCSyncIO.
class OPCSyncIO {
public:
    virtual ~OPCSyncIO() = default;
    // Reads from the cache or the device; *ppItemValues and *ppErrors task-allocated (dwCount entries).
    virtual HRESULT Read(OPCDATASOURCE dwSource, DWORD dwCount, const OPCHANDLE* phServer,
                         ItemState** ppItemValues, HRESULT** ppErrors) = 0;
    // Writes values; *ppErrors task-allocated.
    virtual HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues,
                          HRESULT** ppErrors) = 0;
};

// IOPCAsyncIO (OPC DA 1.0), as far as tagclient uses it.
class OPCAsyncIO {
public:
    virtual ~OPCAsyncIO() = default;
    // Sends all active items' values through the data-object subscription dwConnection.
    virtual HRESULT Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) = 0;
};

// IOPCAsyncIO2 (OPC DA 2.0), as far as tagclient uses it.
class OPCAsyncIO2 {
public:
    virtual ~OPCAsyncIO2() = default;
    // Queues a write; the outcome comes through OPCDataCallback::OnWriteComplete. *ppErrors task-allocated.
    virtual HRESULT Write(DWORD dwCount, const OPCHANDLE* phServer, const VARIANT* pItemValues,
                          DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) = 0;
    // Sends all active items' values through the connection-point subscription.
    virtual HRESULT Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) = 0;
};

// The group object as AddGroup returns it (its IUnknown). Each query returns the interface or null.
class GroupObject {
public:
    virtual ~GroupObject() = default;
    virtual std::shared_ptr<OPCItemMgt> QueryItemMgt() = 0;
    virtual std::shared_ptr<OPCGroupStateMgt> QueryGroupStateMgt() = 0;
    virtual std::shared_ptr<OPCAsyncIO> QueryAsyncIO() = 0;
    virtual std::shared_ptr<OPCAsyncIO2> QueryAsyncIO2() = 0;
    virtual std::shared_ptr<OPCSyncIO> QuerySyncIO() = 0;
    virtual std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() = 0;
    virtual std::shared_ptr<DataObject> QueryDataObject() = 0;
};

// ---------------------------------------------------------------------------------------------------------
// The server object and its interfaces.

// IOPCBrowseServerAddressSpace.
class OPCBrowseServerAddressSpace {
public:
    virtual ~OPCBrowseServerAddressSpace() = default;
    virtual HRESULT QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) = 0;
    // Moves this client's browse position; E_FAIL up from the root, E_INVALIDARG into a non-branch.
    virtual HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, const OLECHAR* szString) = 0;
    // Names at the position (or all leaves below it for OPC_FLAT) matching the filters. Returns S_FALSE
    // with an (empty) enumerator when nothing matches.
    virtual HRESULT BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, const OLECHAR* szFilterCriteria,
                                     VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                     std::shared_ptr<EnumString>* ppIEnumString) = 0;
    // The full item ID of a name browsed at the position; *szItemID task-allocated.
    virtual HRESULT GetItemID(const OLECHAR* szItemDataID, OLECHAR** szItemID) = 0;
};

// IOPCItemProperties, as far as tagclient uses it.
class OPCItemProperties {
public:
    virtual ~OPCItemProperties() = default;
    // The item's properties: *pdwCount entries in three task-allocated arrays (descriptions task-allocated
    // strings).
    virtual HRESULT QueryAvailableProperties(const OLECHAR* szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                             OLECHAR*** ppDescriptions, VARTYPE** ppvtDataTypes) = 0;
    // Property values: *ppvData and *ppErrors task-allocated (dwCount entries).
    virtual HRESULT GetItemProperties(const OLECHAR* szItemID, DWORD dwCount, const DWORD* pdwPropertyIDs,
                                      VARIANT** ppvData, HRESULT** ppErrors) = 0;
};

// IOPCServer, with the queries tagclient makes on it.
class OPCServer {
public:
    virtual ~OPCServer() = default;
    // Creates a group. *pTimeBias and *pPercentDeadband may be read by the server; *phServerGroup and
    // *pRevisedUpdateRate receive the server's handle and rate; *ppUnk the group object.
    virtual HRESULT AddGroup(const OLECHAR* szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                             OPCHANDLE hClientGroup, const LONG* pTimeBias, const FLOAT* pPercentDeadband,
                             DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                             std::shared_ptr<GroupObject>* ppUnk) = 0;
    // The server's status; *ppServerStatus (and its szVendorInfo) task-allocated.
    virtual HRESULT GetStatus(ServerStatus** ppServerStatus) = 0;
    // Removes a group; with bForce FALSE a server may refuse while it still has references.
    virtual HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;

    virtual std::shared_ptr<OPCItemProperties> QueryItemProperties() = 0;
    virtual std::shared_ptr<OPCBrowseServerAddressSpace> QueryBrowseServerAddressSpace() = 0;
    virtual std::shared_ptr<ConnectionPointContainer> QueryConnectionPointContainer() = 0;
};

// The server object as it was created (its IUnknown).
class ServerObject {
public:
    virtual ~ServerObject() = default;
    // IOPCServer, or null when the object is no OPC DA server.
    virtual std::shared_ptr<OPCServer> QueryOPCServer() = 0;
};

// IOPCServerList (the OPC server-list component of a host).
class OPCServerList {
public:
    virtual ~OPCServerList() = default;
    // The classes implementing all of the given categories (and requiring none of rgcatidReq).
    virtual HRESULT EnumClassesOfCategories(ULONG cImplemented, const GUID* rgcatidImpl, ULONG cRequired,
                                            const GUID* rgcatidReq,
                                            std::shared_ptr<EnumGUID>* ppenumClsid) = 0;
    // ProgID and user type of a class, both task-allocated.
    virtual HRESULT GetClassDetails(const CLSID& clsid, OLECHAR** ppszProgID, OLECHAR** ppszUserType) = 0;
    // The class of a ProgID known to the component.
    virtual HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) = 0;
};

// The local class registry stand-in (HKEY_CLASSES_ROOT on Windows). Keys are 8-bit ANSI text; paths use
// '\' between key names.
class Registry {
public:
    virtual ~Registry() = default;
    // CLSIDFromProgID through the registry (REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when unknown).
    virtual HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) = 0;
    // Names of the subkeys of the class root, in the registry's order.
    virtual HRESULT EnumRootKeys(std::vector<std::string>* names) = 0;
    // Whether a key exists (opened for reading).
    virtual bool KeyExists(const std::string& path) = 0;
    // The default value of a key opened with full access, as stored; failure when it cannot be opened so.
    virtual HRESULT ReadDefaultValue(const std::string& path, std::string* value) = 0;
};

// ---------------------------------------------------------------------------------------------------------
// What the core offers a backend. All calls of Post may come from any thread; the others only from the
// client thread (inside a call from the core or inside a posted call or timer tick).
class Host {
public:
    virtual ~Host() = default;
    // Runs `call` on the client thread at the next QZDAC_DispatchEvents (calls run in posting order).
    // Safe from any thread, also during QZDAC_Uninit and after the core let go of the transport: a call
    // posted then may simply never run.
    virtual void Post(std::function<void()> call) = 0;
    using TimerId = std::uint64_t;
    // A repeating timer on the client thread: `tick` runs once per elapsed interval, inside
    // QZDAC_DispatchEvents. Never returns 0.
    virtual TimerId StartTimer(std::uint32_t interval_ms, std::function<void()> tick) = 0;
    // Stops a timer (also from inside its own tick); unknown ids are ignored.
    virtual void StopTimer(TimerId id) = 0;
    // Milliseconds of a monotonic clock (the one the timers use; tests may replace it).
    virtual std::uint64_t NowMs() = 0;
};

// The root of a backend: creating objects on hosts and the platform services around them.
class Transport {
public:
    virtual ~Transport() = default;
    // The OPC server-list component on a host (null/empty host = this computer, else DCOM to it).
    virtual HRESULT CreateServerList(const OLECHAR* host, std::shared_ptr<OPCServerList>* ppList) = 0;
    // Creates an instance of a class: on this computer (host null or empty; in-process or local server)
    // or on the named host (DCOM). REGDB_E_CLASSNOTREG for an unknown class, an RPC code for an
    // unreachable host, E_ACCESSDENIED, ...
    virtual HRESULT CreateServerObject(const CLSID& clsid, const OLECHAR* host,
                                       std::shared_ptr<ServerObject>* ppObject) = 0;
    // The local class registry; null when the platform has none.
    virtual std::shared_ptr<Registry> LocalRegistry() = 0;
    // RegisterClipboardFormat: the number of a format registered by name; the same name always gives the
    // same number, distinct names distinct numbers; 0 on failure.
    virtual CLIPFORMAT RegisterClipboardFormat(const char16_t* name) = 0;
    // The name of this computer in the system ANSI code page (empty when unknown).
    virtual std::string ComputerName() = 0;
};

// Implemented by the backend linked into the library. Called once, on the client thread, when the library
// first needs its transport; `host` outlives the transport.
std::unique_ptr<Transport> CreateDefaultTransport(Host& host);

} // namespace tagclient::transport
