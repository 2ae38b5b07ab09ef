// Address-space browsing and item properties: the session-level steps, thin pass-throughs to the server's
// IOPCBrowseServerAddressSpace and IOPCItemProperties.
#include "uRoutine.hpp"
#include "uServer.hpp"

namespace tagclient {

namespace {

const OLECHAR* Ole(const std::u16string& s) {
    return reinterpret_cast<const OLECHAR*>(s.c_str());
}

// A one-dimensional array of `count` elements of type vt, lower bound 0, owned until released.
struct ArrayHolder {
    SAFEARRAY* psa = nullptr;
    ArrayHolder(VARTYPE vt, ULONG count) : psa(SafeArrayCreateVector(vt, 0, count)) {
        if (!psa)
            throw std::bad_alloc();
    }
    ~ArrayHolder() {
        if (psa)
            SafeArrayDestroy(psa);
    }
    ArrayHolder(const ArrayHolder&) = delete;
    ArrayHolder& operator=(const ArrayHolder&) = delete;
};

// Clears the caller's VARIANT and moves the array into it.
void StoreArray(VARIANT* out, VARTYPE vt, ArrayHolder& array) {
    if (!out)
        return;
    VariantClear(out);
    out->vt = VT_ARRAY | vt;
    out->parray = array.psa;
    array.psa = nullptr;
}

BSTR AllocBstr(const std::u16string& text) {
    BSTR b = SysAllocStringLen(Ole(text), static_cast<UINT>(text.size()));
    if (!b)
        throw std::bad_alloc();
    return b;
}

} // namespace

bool TServer::GetNameSpace(std::uint16_t* name_space_type) {
    return Guarded("TServer.GetNameSpace", false, [&] {
        if (!BrowseSpace)
            throw InterfaceNotSupported();
        transport::OPCNAMESPACETYPE type{};
        Check(BrowseSpace->QueryOrganization(&type));
        if (name_space_type)
            *name_space_type = static_cast<std::uint16_t>(type);
        return true;
    });
}

bool TServer::ChangeBrowsePosition(std::uint16_t direction, const std::u16string& name) {
    return Guarded("TServer.ChangeBrowsePosition", false, [&] {
        if (!BrowseSpace)
            throw InterfaceNotSupported();
        Check(BrowseSpace->ChangeBrowsePosition(static_cast<transport::OPCBROWSEDIRECTION>(direction),
                                                Ole(name)));
        return true;
    });
}

std::int32_t TServer::BrowseItems(std::uint16_t browse_type, const std::u16string& filter,
                                  std::uint16_t data_type_filter, std::uint32_t access_rights,
                                  VARIANT* names) {
    return Guarded("TServer.BrowseItems", std::int32_t{0}, [&]() -> std::int32_t {
        if (!BrowseSpace)
            throw InterfaceNotSupported();
        std::shared_ptr<transport::EnumString> strings;
        Check(BrowseSpace->BrowseOPCItemIDs(static_cast<transport::OPCBROWSETYPE>(browse_type), Ole(filter),
                                            data_type_filter, access_rights, &strings));
        std::vector<std::string> listed;
        while (strings) {
            OLECHAR* text = nullptr;
            ULONG fetched = 0;
            if (strings->Next(1, &text, &fetched) != S_OK || fetched != 1) {
                CoTaskMemFree(text);
                break;
            }
            TaskMem<OLECHAR> owned;
            *owned.out() = text;
            listed.push_back(WideToAnsi(text));
        }
        if (listed.empty()) {
            if (names) {
                VariantClear(names);
                names->vt = VT_NULL;
            }
            return 0;
        }
        ArrayHolder array(VT_BSTR, static_cast<ULONG>(listed.size()));
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const qz::Bstr element = qz::Bstr::attach(AllocBstr(AnsiToWide(listed[i].c_str())));
            LONG at = static_cast<LONG>(i);
            Check(SafeArrayPutElement(array.psa, &at, element.get())); // copies the string
        }
        StoreArray(names, VT_BSTR, array);
        return static_cast<std::int32_t>(listed.size());
    });
}

bool TServer::GetItemFullName(const std::u16string& name, char* buffer, std::int32_t max_length) {
    return Guarded("TServer.GetItemFullName", false, [&] {
        if (!BrowseSpace)
            throw InterfaceNotSupported();
        TaskMem<OLECHAR> id;
        Check(BrowseSpace->GetItemID(Ole(name), id.out()));
        CopyOutputString(WideToAnsi(id.get()), buffer, max_length);
        return true;
    });
}

std::int32_t TServer::GetItemProperties(const std::u16string& item_id, VARIANT* property_ids,
                                        VARIANT* data_types, VARIANT* descriptions) {
    return Guarded("TServer.GetItemProperties", std::int32_t{0}, [&]() -> std::int32_t {
        if (!ItemProperties)
            throw InterfaceNotSupported();
        DWORD count = 0;
        TaskMem<DWORD> ids;
        TaskMem<OLECHAR*> texts;
        TaskMem<VARTYPE> types;
        struct FreeTexts {
            TaskMem<OLECHAR*>& t;
            DWORD& n;
            ~FreeTexts() {
                if (t)
                    for (DWORD i = 0; i < n; ++i)
                        CoTaskMemFree(t[i]);
            }
        } free_texts{texts, count};
        Check(ItemProperties->QueryAvailableProperties(Ole(item_id), &count, ids.out(), texts.out(),
                                                       types.out()));
        if (count && (!ids || !texts || !types))
            ThrowFailure(E_POINTER);
        ArrayHolder id_array(VT_I4, count), type_array(VT_UI2, count), text_array(VT_BSTR, count);
        for (DWORD i = 0; i < count; ++i) {
            LONG at = static_cast<LONG>(i);
            LONG id = static_cast<LONG>(ids[i]);
            USHORT type = types[i];
            Check(SafeArrayPutElement(id_array.psa, &at, &id));
            Check(SafeArrayPutElement(type_array.psa, &at, &type));
            const OLECHAR* t = texts[i];
            std::u16string text(t ? reinterpret_cast<const char16_t*>(t) : u"");
            const qz::Bstr element = qz::Bstr::attach(AllocBstr(text));
            Check(SafeArrayPutElement(text_array.psa, &at, element.get()));
        }
        StoreArray(property_ids, VT_I4, id_array);
        StoreArray(data_types, VT_UI2, type_array);
        StoreArray(descriptions, VT_BSTR, text_array);
        return static_cast<std::int32_t>(count);
    });
}

bool TServer::GetItemPropertyValue(const std::u16string& item_id, std::int32_t property_id, VARIANT* value) {
    return Guarded("TServer.GetItemPropertyValue", false, [&] {
        if (!ItemProperties)
            throw InterfaceNotSupported();
        DWORD id = static_cast<DWORD>(property_id);
        TaskMem<VARIANT> values;
        TaskMem<HRESULT> errors;
        struct ClearValue {
            TaskMem<VARIANT>& v;
            ~ClearValue() {
                if (v)
                    VariantClear(v.get());
            }
        } clear_value{values};
        Check(ItemProperties->GetItemProperties(Ole(item_id), 1, &id, values.out(), errors.out()));
        if (!errors || !values || FAILED(errors[0]))
            return false;
        if (value) {
            qz::Variant copy;
            Check(VariantCopy(copy.out(), values.get()));
            VariantClear(value);
            *value = copy.release();
        }
        return true;
    });
}

} // namespace tagclient
