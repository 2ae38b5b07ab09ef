#include "uEnumSvr.hpp"

#include "library.hpp"
#include "uRoutine.hpp"

#include <platform/ascii.hpp>
#include <transport/transport.hpp>

namespace tagclient {

namespace {
std::string GuidText(const GUID& guid) {
    OLECHAR text[40] = {};
#ifdef _WIN32
    if (StringFromGUID2(guid, text, 40) <= 0) // REFGUID is a reference in the Windows headers
#else
    if (StringFromGUID2(&guid, text, 40) <= 0)
#endif
        throw std::runtime_error("Cannot format a class ID");
    return WideToAnsi(text);
}
} // namespace

void TServerEnum::Enumerate() {
    Library& lib = Library::Get();
    const bool local = lib.IsLocalHost(Host);
    try {
        std::u16string host = AnsiToWide(Host.c_str());
        std::shared_ptr<transport::OPCServerList> list;
        HRESULT hr = lib.Transport().CreateServerList(
            local ? nullptr : reinterpret_cast<const OLECHAR*>(host.c_str()), &list);
        if (SUCCEEDED(hr) && list) {
            std::shared_ptr<transport::EnumGUID> classes;
            if (FAILED(list->EnumClassesOfCategories(1, &CategoryID, 0, nullptr, &classes)))
                return; // no registry pass either
            while (classes) {
                GUID clsid{};
                ULONG fetched = 0;
                if (FAILED(classes->Next(1, &clsid, &fetched)) || fetched != 1)
                    break;
                TaskMem<OLECHAR> prog_id, user_type;
                if (FAILED(list->GetClassDetails(clsid, prog_id.out(), user_type.out())))
                    continue;
                Items.push_back(
                    TServerItem{GuidText(clsid), WideToAnsi(prog_id.get()), WideToAnsi(user_type.get())});
            }
        }
        if (!local)
            return;
        auto registry = lib.Transport().LocalRegistry();
        if (!registry)
            return;
        std::vector<std::string> keys;
        if (FAILED(registry->EnumRootKeys(&keys)))
            return;
        for (const std::string& key : keys) {
            if (!registry->KeyExists(key + "\\OPC"))
                continue;
            bool listed = false;
            for (const TServerItem& item : Items)
                listed = listed || qz::EqualsNoCase(item.ProgID, key);
            if (listed)
                continue;
            std::string clsid;
            if (FAILED(registry->ReadDefaultValue(key + "\\CLSID", &clsid)))
                continue;
            Items.push_back(TServerItem{clsid, key, {}});
        }
    } catch (...) {
        // ends the enumeration; what was found stays
    }
}

void TDAEnum::Enumerate() {
    switch (Version) {
    case 1:
        CategoryID = transport::CATID_OPCDAServer10;
        break;
    case 2:
        CategoryID = transport::CATID_OPCDAServer20;
        break;
    case 3:
        CategoryID = transport::CATID_OPCDAServer30;
        break;
    default:
        CategoryID = GUID{};
        break;
    }
    TServerEnum::Enumerate();
}

std::int32_t TServerEnum::FillArrays(VARIANT* prog_ids, VARIANT* class_ids) {
    Enumerate();
    try {
        const auto n = static_cast<ULONG>(Items.size());
        SAFEARRAY* first = SafeArrayCreateVector(VT_BSTR, 0, n);
        SAFEARRAY* second = SafeArrayCreateVector(VT_BSTR, 0, n);
        if (!first || !second || !prog_ids || !class_ids) {
            if (first)
                SafeArrayDestroy(first);
            if (second)
                SafeArrayDestroy(second);
            return 0;
        }
        VariantClear(prog_ids);
        prog_ids->vt = VT_ARRAY | VT_BSTR;
        prog_ids->parray = first;
        VariantClear(class_ids);
        class_ids->vt = VT_ARRAY | VT_BSTR;
        class_ids->parray = second;
        for (ULONG i = 0; i < n; ++i) {
            LONG at = static_cast<LONG>(i);
            std::u16string prog = AnsiToWide(Items[i].ProgID.c_str());
            std::u16string cls = AnsiToWide(Items[i].ClassID.c_str());
            const qz::Bstr p = qz::Bstr::attach(SysAllocStringLen(
                reinterpret_cast<const OLECHAR*>(prog.data()), static_cast<UINT>(prog.size())));
            const qz::Bstr c = qz::Bstr::attach(SysAllocStringLen(
                reinterpret_cast<const OLECHAR*>(cls.data()), static_cast<UINT>(cls.size())));
            if (!p.get() || !c.get())
                return 0;
            if (FAILED(SafeArrayPutElement(first, &at, p.get())) ||
                FAILED(SafeArrayPutElement(second, &at, c.get())))
                return 0;
        }
        return static_cast<std::int32_t>(n);
    } catch (...) {
        return 0;
    }
}

} // namespace tagclient
