#include "uGroup.hpp"

#include "library.hpp"
#include "stream_reader.hpp"
#include "uRoutine.hpp"
#include "uServer.hpp"

#include <mutex>

namespace tagclient {

namespace {

const OLECHAR* Ole(const std::u16string& s) {
    return reinterpret_cast<const OLECHAR*>(s.c_str());
}

// Frees a task-allocated ItemResult array with its blobs.
struct ItemResults {
    TaskMem<transport::ItemResult> results;
    DWORD count = 0;
    ~ItemResults() {
        if (results)
            for (DWORD i = 0; i < count; ++i)
                CoTaskMemFree(results[i].pBlob);
    }
};

// The local wall-clock time, to the millisecond, as a FILETIME (no conversion to UTC).
FILETIME LocalNow() {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local))
        local = utc;
    std::uint64_t ticks = (std::uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    ticks -= ticks % 10000;
    local.dwLowDateTime = static_cast<DWORD>(ticks);
    local.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return local;
}

// Element i of a one-dimensional array VARIANT, as a VARIANT.
qz::Variant ArrayElement(const VARIANT& array, LONG index) {
    qz::Variant element;
    SAFEARRAY* psa = array.parray;
    const VARTYPE vt = static_cast<VARTYPE>(array.vt & ~VT_ARRAY);
    LONG lbound = 0;
    Check(SafeArrayGetLBound(psa, 1, &lbound));
    LONG at = lbound + index;
    if (vt == VT_VARIANT) {
        Check(SafeArrayGetElement(psa, &at, element.out()));
    } else {
        // The element's bytes go straight into the value part of the VARIANT.
        VARIANT& v = *element.out();
        Check(SafeArrayGetElement(psa, &at, &v.llVal));
        v.vt = vt;
    }
    return element;
}

// The upper bound of dimension 1 of an array VARIANT, or nothing when it is no usable array.
bool UpperBound(const VARIANT& v, LONG* ubound) {
    if (!(v.vt & VT_ARRAY) || (v.vt & VT_BYREF) || !v.parray || SafeArrayGetDim(v.parray) < 1)
        return false;
    return SUCCEEDED(SafeArrayGetUBound(v.parray, 1, ubound));
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Sinks

HRESULT TOPCCPCallback::OnDataChange(DWORD, transport::OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                     const transport::OPCHANDLE* phClientItems, const VARIANT* pvValues,
                                     const WORD* pwQualities, const FILETIME* pftTimeStamps,
                                     const HRESULT* pErrors) {
    if (TGroup* group = Group)
        group->DoCPCallBack(dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
    return S_OK;
}

void TOPCDOCallBack::OnDataChange(const transport::FormatEtc& format, const transport::StgMedium& medium) {
    if (TGroup* group = Group) {
        transport::FormatEtc f = format; // the handler works on copies
        transport::StgMedium m = medium;
        group->DoDOCallBack(f, m);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Life of a group

TGroup::TGroup(TServer* owner, const std::shared_ptr<transport::GroupObject>& unknown) : Owner(owner) {
    AdviseSink = std::make_shared<TOPCDOCallBack>(this);
    DataCallback = std::make_shared<TOPCCPCallback>(this);
    Handle = Library::Get().NewHandle();
    Initialize(unknown);
}

TGroup::~TGroup() {
    // Detached sinks answer the server and deliver nothing: a group the server still feeds (a refused
    // removal) cannot reach freed memory.
    AdviseSink->Group = nullptr;
    DataCallback->Group = nullptr;
    {
        std::lock_guard lock(Library::Get().item_list_lock);
        item_order_.clear();
        items_.clear();
    }
}

void TGroup::Initialize(const std::shared_ptr<transport::GroupObject>& unknown) {
    Guarded("TGroup.Initialize", 0, [&] {
        ItemMgt = unknown->QueryItemMgt();
        GroupStateMgt = unknown->QueryGroupStateMgt();
        AsyncIO = unknown->QueryAsyncIO();
        AsyncIO2 = unknown->QueryAsyncIO2();
        SyncIO = unknown->QuerySyncIO();
        ConnectMode = 1;
        HRESULT refused = S_OK; // why a DA 2.0 group has no data-callback connection
        if (AsyncIO2) {
            auto container = unknown->QueryConnectionPointContainer();
            if (!container)
                throw InterfaceNotSupported();
            std::shared_ptr<transport::ConnectionPoint> point;
            refused = container->FindConnectionPoint(transport::IID_IOPCDataCallback, &point);
            if (SUCCEEDED(refused) && !point)
                refused = E_NOINTERFACE;
            if (SUCCEEDED(refused)) {
                DWORD cookie = 0;
                refused = point->Advise(DataCallback, &cookie);
                if (SUCCEEDED(refused)) {
                    Connection = cookie;
                    ConnectMode = 2;
                }
            }
        }
        if (ConnectMode == 1 && AsyncIO) {
            auto data = unknown->QueryDataObject();
            if (!data)
                throw InterfaceNotSupported();
            transport::FormatEtc format{Library::Get().format_data_time, nullptr, transport::DVASPECT_CONTENT,
                                        -1, transport::TYMED_HGLOBAL};
            DWORD connection = 0;
            data->DAdvise(&format, transport::ADVF_PRIMEFIRST, AdviseSink, &connection); // not examined
            Connection = connection;
            // One line for the operator: a DA 2.0 group on the older path (often a server that cannot
            // marshal the callback because the OPC proxy/stub DLL is not registered).
            if (AsyncIO2)
                LogError("TGroup.Initialize",
                         "The group receives its data through the OPC DA 1.0 data object: "
                         "the server refused the data callback (" +
                             HResultMessage(refused) + ")");
        }
        return 0;
    });
}

void TGroup::Rename(const std::u16string& name) {
    if (!GroupStateMgt)
        return;
    std::weak_ptr<int> alive = life_token_;
    if (SUCCEEDED(GroupStateMgt->SetName(Ole(name))) && !alive.expired())
        Name = name;
}

// ---------------------------------------------------------------------------------------------------------
// State

bool TGroup::SetStat(std::uint32_t update_rate, BOOL active, std::int32_t time_bias, float deadband,
                     std::uint32_t lcid) {
    return Guarded("TGroup.SetStat", false, [&] {
        if (!GroupStateMgt)
            throw InterfaceNotSupported();
        DWORD requested = update_rate;
        DWORD revised = UpdateRate;
        BOOL act = active; // passed on as the client gave it
        LONG bias = time_bias;
        FLOAT band = deadband;
        DWORD locale = lcid;
        transport::OPCHANDLE client = ClientHandle;
        std::weak_ptr<int> alive = life_token_;
        Check(GroupStateMgt->SetState(&requested, &revised, &act, &bias, &band, &locale, &client));
        if (!alive.expired()) // the group may have gone during the call
            UpdateRate = revised;
        return true;
    });
}

bool TGroup::GetStat(std::uint32_t* update_rate, std::int32_t* active, std::int32_t* time_bias,
                     float* deadband, std::uint32_t* lcid) {
    return Guarded("TGroup.GetStat", false, [&] {
        if (!GroupStateMgt)
            throw InterfaceNotSupported();
        DWORD rate = 0;
        BOOL act = 0;
        LONG bias = 0;
        FLOAT band = 0;
        DWORD locale = 0;
        TaskMem<OLECHAR> name;
        transport::OPCHANDLE client = 0, server = 0;
        Check(GroupStateMgt->GetState(&rate, &act, name.out(), &bias, &band, &locale, &client, &server));
        if (update_rate)
            *update_rate = rate;
        if (active)
            *active = act;
        if (time_bias)
            *time_bias = bias;
        if (deadband)
            *deadband = band;
        if (lcid)
            *lcid = locale;
        return true;
    });
}

bool TGroup::Refresh(std::uint16_t data_source) {
    return Guarded("TGroup.Refresh", false, [&] {
        const auto source = static_cast<transport::OPCDATASOURCE>(data_source);
        if (AsyncIO2) {
            DWORD cancel = 0;
            Check(AsyncIO2->Refresh2(source, 0, &cancel));
        } else if (AsyncIO) {
            DWORD transaction = 0;
            Check(AsyncIO->Refresh(Connection, source, &transaction));
        } else {
            throw InterfaceNotSupported();
        }
        return true;
    });
}

// ---------------------------------------------------------------------------------------------------------
// Items

TItem* TGroup::FindItem(std::uint32_t handle) {
    if (handle == 0)
        return nullptr;
    auto it = items_.find(handle);
    return it == items_.end() ? nullptr : it->second.get();
}

void TGroup::AppendItem(std::unique_ptr<TItem> item) {
    TItem* raw = item.get();
    items_.emplace(raw->Handle, std::move(item));
    item_order_.push_back(raw);
}

std::uint32_t TGroup::AddItem(const std::u16string& item_id, std::int32_t client_value, const char* source) {
    return Guarded(source, std::uint32_t{0}, [&]() -> std::uint32_t {
        if (!ItemMgt)
            throw InterfaceNotSupported();
        auto item = std::make_unique<TItem>();
        item->Handle = Library::Get().NewHandle();
        item->ClientValue = client_value;
        item->ItemID = item_id;
        std::u16string id = AnsiToWide(WideToAnsi(item_id).c_str()); // through the system code page
        std::u16string empty;
        transport::ItemDef def{const_cast<OLECHAR*>(Ole(empty)),
                               const_cast<OLECHAR*>(Ole(id)),
                               TRUE,
                               item->Handle,
                               0,
                               nullptr,
                               VT_EMPTY,
                               0};
        ItemResults results;
        results.count = 1;
        TaskMem<HRESULT> errors;
        std::weak_ptr<int> alive = life_token_;
        Check(ItemMgt->AddItems(1, &def, results.results.out(), errors.out()));
        if (alive.expired()) // the group (or its session) went during the call: nothing to add the item to
            return 0;
        if (!errors || !results.results)
            ThrowFailure(E_POINTER);
        if (FAILED(errors[0]))
            return 0;
        std::lock_guard lock(Library::Get().item_list_lock);
        item->ServerHandle = results.results[0].hServer;
        const std::uint32_t handle = item->Handle;
        AppendItem(std::move(item));
        return handle;
    });
}

std::int32_t TGroup::AddItems(std::int32_t count, const VARIANT& item_ids, const VARIANT& client_values,
                              VARIANT* handles) {
    LONG id_bound = 0;
    if (!UpperBound(item_ids, &id_bound) || id_bound != count - 1 || count < 0)
        return 0;
    return Guarded("TGroup.AddItems", std::int32_t{0}, [&]() -> std::int32_t {
        if (!ItemMgt)
            throw InterfaceNotSupported();
        LONG value_bound = 0;
        const bool with_values = UpperBound(client_values, &value_bound) && value_bound == count - 1;
        std::vector<std::unique_ptr<TItem>> records(static_cast<std::size_t>(count));
        std::vector<std::u16string> ids(static_cast<std::size_t>(count));
        std::vector<transport::ItemDef> defs(static_cast<std::size_t>(count));
        std::u16string empty;
        for (LONG i = 0; i < count; ++i) {
            auto item = std::make_unique<TItem>();
            if (with_values) {
                const qz::Variant element = ArrayElement(client_values, i);
                qz::Variant number;
                Check(element.tryConvert(VT_I4, number));
                item->ClientValue = number.get().lVal;
            }
            const qz::Variant element = ArrayElement(item_ids, i);
            qz::Variant text;
            Check(element.tryConvert(VT_BSTR, text));
            const OLECHAR* b = text.get().bstrVal;
            item->ItemID.assign(b ? reinterpret_cast<const char16_t*>(b) : u"",
                                b ? SysStringLen(text.get().bstrVal) : 0);
            item->Handle = Library::Get().NewHandle();
            ids[i] = AnsiToWide(WideToAnsi(item->ItemID).c_str());
            defs[i] = transport::ItemDef{const_cast<OLECHAR*>(Ole(empty)),
                                         const_cast<OLECHAR*>(Ole(ids[i])),
                                         TRUE,
                                         item->Handle,
                                         0,
                                         nullptr,
                                         VT_EMPTY,
                                         0};
            records[i] = std::move(item);
        }
        if (handles) {
            VariantClear(handles);
            SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(count));
            if (!psa)
                throw std::bad_alloc();
            handles->vt = VT_ARRAY | VT_I4;
            handles->parray = psa;
        }
        ItemResults results;
        results.count = static_cast<DWORD>(count);
        TaskMem<HRESULT> errors;
        std::weak_ptr<int> alive = life_token_;
        Check(ItemMgt->AddItems(static_cast<DWORD>(count), defs.data(), results.results.out(), errors.out()));
        if (alive.expired()) // the group (or its session) went during the call; no handle was handed out
            return 0;
        if (count > 0 && (!errors || !results.results))
            ThrowFailure(E_POINTER);
        std::int32_t refused = 0;
        std::lock_guard lock(Library::Get().item_list_lock);
        for (LONG i = 0; i < count; ++i) {
            if (FAILED(errors[i])) {
                ++refused;
                records[i].reset();
                continue;
            }
            records[i]->ServerHandle = results.results[i].hServer;
            if (handles) {
                LONG at = i;
                LONG value = static_cast<LONG>(records[i]->Handle);
                SafeArrayPutElement(handles->parray, &at, &value);
            }
            AppendItem(std::move(records[i]));
        }
        return refused;
    });
}

bool TGroup::RemoveItem(std::uint32_t handle) {
    return Guarded("TGroup.RemoveItem", false, [&] {
        TItem* item = FindItem(handle);
        if (!item)
            return false;
        if (!ItemMgt)
            throw InterfaceNotSupported();
        transport::OPCHANDLE server = item->ServerHandle;
        TaskMem<HRESULT> errors;
        std::weak_ptr<int> alive = life_token_;
        Check(ItemMgt->RemoveItems(1, &server, errors.out()));
        if (!errors || FAILED(errors[0]))
            return false;
        if (alive.expired()) // the group went during the call, and its items with it
            return true;
        std::lock_guard lock(Library::Get().item_list_lock);
        auto it = items_.find(handle);
        if (it != items_.end()) {
            std::erase(item_order_, it->second.get());
            items_.erase(it);
        }
        return true;
    });
}

bool TGroup::ValidateItem(const std::u16string& item_id) {
    return Guarded("TGroup.ValidateItem", false, [&] {
        if (!ItemMgt)
            throw InterfaceNotSupported();
        std::u16string empty;
        transport::ItemDef def{const_cast<OLECHAR*>(Ole(empty)),
                               const_cast<OLECHAR*>(Ole(item_id)),
                               0,
                               static_cast<transport::OPCHANDLE>(item_order_.size()),
                               0,
                               nullptr,
                               VT_EMPTY,
                               0};
        ItemResults results;
        results.count = 1;
        TaskMem<HRESULT> errors;
        Check(ItemMgt->ValidateItems(1, &def, FALSE, results.results.out(), errors.out()));
        return errors && SUCCEEDED(errors[0]);
    });
}

bool TGroup::ActiveItem(std::uint32_t handle, BOOL active) {
    return Guarded("TGroup.ActiveItem", false, [&] {
        TItem* item = FindItem(handle);
        if (!item)
            return false;
        if (!ItemMgt)
            throw InterfaceNotSupported();
        transport::OPCHANDLE server = item->ServerHandle;
        TaskMem<HRESULT> errors;
        Check(ItemMgt->SetActiveState(1, &server, active, errors.out()));
        return errors && SUCCEEDED(errors[0]);
    });
}

bool TGroup::ReadItem(std::uint32_t handle, VARIANT* value, FILETIME* timestamp, std::uint16_t* quality) {
    return Guarded("TGroup.ReadItem", false, [&] {
        TItem* item = FindItem(handle);
        if (!item)
            return false;
        if (!SyncIO)
            throw InterfaceNotSupported();
        transport::OPCHANDLE server = item->ServerHandle;
        TaskMem<transport::ItemState> states;
        TaskMem<HRESULT> errors;
        struct ClearState {
            TaskMem<transport::ItemState>& s;
            ~ClearState() {
                if (s)
                    VariantClear(&s.get()->vDataValue);
            }
        } clear_state{states};
        Check(SyncIO->Read(transport::OPC_DS_DEVICE, 1, &server, states.out(), errors.out()));
        if (!errors || !states || FAILED(errors[0]))
            return false;
        if (value) {
            qz::Variant copy;
            Check(VariantCopy(copy.out(), &states[0].vDataValue));
            VariantClear(value);
            *value = copy.release();
        }
        if (timestamp)
            *timestamp = states[0].ftTimeStamp;
        if (quality)
            *quality = states[0].wQuality;
        return true;
    });
}

bool TGroup::WriteItem(std::uint32_t handle, const VARIANT& value, bool async) {
    return Guarded("TGroup.WriteItem", false, [&] {
        TItem* item = FindItem(handle);
        if (!item)
            return false;
        qz::Variant copy;
        Check(VariantCopy(copy.out(), const_cast<VARIANT*>(&value)));
        transport::OPCHANDLE server = item->ServerHandle;
        TaskMem<HRESULT> errors;
        if (async) {
            if (!AsyncIO2)
                throw InterfaceNotSupported();
            DWORD cancel = 0;
            Check(AsyncIO2->Write(1, &server, &copy.get(), 2, &cancel, errors.out()));
        } else {
            if (!SyncIO)
                throw InterfaceNotSupported();
            Check(SyncIO->Write(1, &server, &copy.get(), errors.out()));
        }
        return errors && SUCCEEDED(errors[0]);
    });
}

// ---------------------------------------------------------------------------------------------------------
// Deliveries

void TGroup::DoCPCallBack(DWORD count, const transport::OPCHANDLE* client_handles, const VARIANT* values,
                          const WORD* qualities, const FILETIME* timestamps, const HRESULT* errors) {
    Library& lib = Library::Get();
    std::weak_ptr<int> alive = life_token_;
    std::lock_guard lock(lib.item_list_lock);
    Guarded("TGroup.DoCPCallBack", 0, [&] {
        if (count && (!client_handles || !values || !qualities || !timestamps || !errors))
            ThrowFailure(E_POINTER);
        for (DWORD i = 0; i < count; ++i) {
            if (FAILED(errors[i]))
                continue;
            TItem* item = FindItem(client_handles[i]);
            if (!item) // removed while the notification was on its way
                continue;
            Owner->Dispatch(*this, *item, values[i], timestamps[i], qualities[i]);
            if (alive.expired()) // the procedure removed this group or closed its session
                break;
        }
        return 0;
    });
}

void TGroup::DoDOCallBack(const transport::FormatEtc& format, const transport::StgMedium& medium) {
    if (format.tymed != transport::TYMED_HGLOBAL || medium.tymed != transport::TYMED_HGLOBAL ||
        !medium.hGlobal)
        return;
    Library& lib = Library::Get();
    const bool data = format.cfFormat == lib.format_data && lib.format_data != 0;
    const bool data_time = format.cfFormat == lib.format_data_time && lib.format_data_time != 0;
    if (!data && !data_time)
        return;
    std::weak_ptr<int> alive = life_token_;
    std::lock_guard lock(lib.item_list_lock); // backends deliver on the client thread; other threads may not
    Guarded("TGroup.DoDOCallBack", 0, [&] {
        const BYTE* block = medium.hGlobal->Lock();
        if (!block)
            return 0;
        struct Unlock {
            transport::GlobalMemory* memory;
            ~Unlock() { memory->Unlock(); }
        } unlock{medium.hGlobal};
        std::vector<StreamValue> entries;
        if (!ReadDataStream(block, medium.hGlobal->Size(), data_time, entries))
            return 0;
        for (StreamValue& entry : entries) {
            TItem* item = FindItem(entry.hClient);
            if (!item)
                continue;
            const FILETIME stamp = data_time ? entry.timestamp : LocalNow();
            Owner->Dispatch(*this, *item, entry.value.get(), stamp, entry.quality);
            if (alive.expired())
                break;
        }
        return 0;
    });
}

} // namespace tagclient
