#include "module.hpp"

#include "server_objects.hpp"

#include "platform/registry_key.hpp"

#include <atomic>

namespace opcsim {

namespace tp = tagclient::transport;
using tagclient::transport::com::ComPtr;

namespace {

std::atomic<long> g_count{0};

std::wstring ToWide(const std::string& ansi) {
    if (ansi.empty())
        return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return w;
}

std::wstring TakeTaskString(OLECHAR* s) {
    std::wstring w = s ? std::wstring(reinterpret_cast<const wchar_t*>(s)) : std::wstring();
    CoTaskMemFree(s);
    return w;
}

std::wstring GuidText(const GUID& g) {
    wchar_t text[40] = {};
    StringFromGUID2(g, text, 40);
    return text;
}

} // namespace

Module& Module::Get() {
    static Module module;
    return module;
}

Module::Module() : transport_(tp::CreateDefaultTransport(host_)) {
    Discover();
    for (const char16_t* name : {tp::kFormatData, tp::kFormatDataTime, tp::kFormatWriteComplete}) {
        auto system = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(reinterpret_cast<LPCWSTR>(name)));
        formats_.push_back(FormatPair{system, transport_->RegisterClipboardFormat(name)});
    }
}

CLIPFORMAT Module::ToSimFormat(CLIPFORMAT system) {
    for (const auto& f : formats_)
        if (f.system == system)
            return f.sim;
    return system;
}

CLIPFORMAT Module::ToSystemFormat(CLIPFORMAT sim) {
    for (const auto& f : formats_)
        if (f.sim == sim)
            return f.system;
    return sim;
}

void Module::Discover() {
    auto add = [this](const CLSID& clsid, std::wstring prog_id, std::wstring user_type) {
        for (auto& c : classes_)
            if (IsEqualCLSID(c.clsid, clsid)) {
                if (c.prog_id.empty())
                    c.prog_id = std::move(prog_id);
                if (c.user_type.empty())
                    c.user_type = std::move(user_type);
                return;
            }
        classes_.push_back(ServerClass{clsid, std::move(prog_id), std::move(user_type), false});
    };

    // The server list, category by category.
    std::shared_ptr<tp::OPCServerList> list;
    if (SUCCEEDED(transport_->CreateServerList(nullptr, &list)) && list) {
        for (const GUID& category :
             {tp::CATID_OPCDAServer10, tp::CATID_OPCDAServer20, tp::CATID_OPCDAServer30}) {
            std::shared_ptr<tp::EnumGUID> classes;
            if (FAILED(list->EnumClassesOfCategories(1, &category, 0, nullptr, &classes)) || !classes)
                continue;
            GUID clsid;
            ULONG fetched = 0;
            while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
                OLECHAR* prog_id = nullptr;
                OLECHAR* user_type = nullptr;
                if (SUCCEEDED(list->GetClassDetails(clsid, &prog_id, &user_type)))
                    add(clsid, TakeTaskString(prog_id), TakeTaskString(user_type));
                else
                    add(clsid, L"", L"");
            }
        }
    }

    // The class registry: the keys the registry pass lists, and the classes they name.
    if (auto registry = transport_->LocalRegistry()) {
        std::vector<std::string> names;
        if (SUCCEEDED(registry->EnumRootKeys(&names))) {
            for (const auto& name : names) {
                if (!registry->KeyExists(name + "\\OPC"))
                    continue;
                std::string stored;
                if (FAILED(registry->ReadDefaultValue(name + "\\CLSID", &stored)))
                    continue;
                markers_.push_back(OpcMarkerKey{ToWide(name), ToWide(stored)});
                CLSID clsid;
                std::wstring text = ToWide(stored);
                if (SUCCEEDED(CLSIDFromString(text.c_str(), &clsid)))
                    add(clsid, ToWide(name), L"");
            }
        }
        for (auto& c : classes_) {
            CLSID resolved;
            c.prog_id_in_registry = !c.prog_id.empty() &&
                                    SUCCEEDED(registry->CLSIDFromProgID(
                                        reinterpret_cast<const OLECHAR*>(c.prog_id.c_str()), &resolved)) &&
                                    IsEqualCLSID(resolved, c.clsid);
        }
    }
}

bool Module::Serves(const CLSID& clsid) const {
    if (IsEqualCLSID(clsid, tp::CLSID_OpcServerList))
        return true;
    for (const auto& c : classes_)
        if (IsEqualCLSID(c.clsid, clsid))
            return true;
    return false;
}

HRESULT Module::CreateInstance(const CLSID& clsid, ComPtr<IUnknown>* object) {
    if (IsEqualCLSID(clsid, tp::CLSID_OpcServerList)) {
        std::shared_ptr<tp::OPCServerList> list;
        HRESULT hr = transport_->CreateServerList(nullptr, &list);
        if (FAILED(hr))
            return hr;
        *object = MakeServerListCom(std::move(list));
        return *object ? S_OK : E_NOINTERFACE;
    }
    std::shared_ptr<tp::ServerObject> server;
    HRESULT hr = transport_->CreateServerObject(clsid, nullptr, &server);
    if (FAILED(hr))
        return hr;
    *object = MakeServerCom(std::move(server));
    return *object ? S_OK : E_NOINTERFACE;
}

void Module::AddRef() {
    ++g_count;
}
void Module::Release() {
    --g_count;
}
long Module::Count() const {
    return g_count;
}

// ------------------------------------------------------------------------------------ registration

namespace {

// Sets a text value of an open key (the default value for a null name).
LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Creates a key under the class root and sets its default value (and a named one).
HRESULT Write(const std::wstring& path, const std::wstring& value, const wchar_t* name = nullptr,
              const std::wstring& named = {}) {
    qz::RegistryKey key;
    LONG rc = key.Create(HKEY_CLASSES_ROOT, path.c_str(), KEY_ALL_ACCESS);
    if (rc == ERROR_SUCCESS)
        rc = SetText(key.get(), nullptr, value);
    if (rc == ERROR_SUCCESS && name)
        rc = SetText(key.get(), name, named);
    return HRESULT_FROM_WIN32(rc);
}

void Remove(const std::wstring& path) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
}

} // namespace

HRESULT RegisterServers(const std::wstring& module_path, Activation activation) {
    Module& module = Module::Get();
    HRESULT first = S_OK;
    auto keep = [&first](HRESULT hr) {
        if (SUCCEEDED(first) && FAILED(hr))
            first = hr;
    };
    for (const auto& c : module.Classes()) {
        std::wstring key = L"CLSID\\" + GuidText(c.clsid);
        keep(Write(key, c.user_type.empty() ? c.prog_id : c.user_type));
        if (activation == Activation::InProcess) {
            Remove(key + L"\\LocalServer32");
            keep(Write(key + L"\\InprocServer32", module_path, L"ThreadingModel", L"Apartment"));
        } else {
            Remove(key + L"\\InprocServer32");
            keep(Write(key + L"\\LocalServer32", L"\"" + module_path + L"\""));
        }
        if (!c.prog_id.empty()) {
            keep(Write(key + L"\\ProgID", c.prog_id));
            if (c.prog_id_in_registry) {
                keep(Write(c.prog_id, c.user_type));
                keep(Write(c.prog_id + L"\\CLSID", GuidText(c.clsid)));
            }
        }
    }
    for (const auto& m : module.MarkerKeys()) {
        keep(Write(m.name + L"\\OPC", L""));
        keep(Write(m.name + L"\\CLSID", m.clsid));
    }
    if (activation == Activation::InProcess) {
        std::wstring key = L"CLSID\\" + GuidText(tagclient::transport::CLSID_OpcServerList);
        keep(Write(key, L"OPC server list (test stand-in)"));
        keep(Write(key + L"\\InprocServer32", module_path, L"ThreadingModel", L"Apartment"));
    }
    return first;
}

HRESULT UnregisterServers() {
    Module& module = Module::Get();
    for (const auto& c : module.Classes()) {
        Remove(L"CLSID\\" + GuidText(c.clsid));
        if (c.prog_id_in_registry)
            Remove(c.prog_id);
    }
    for (const auto& m : module.MarkerKeys())
        Remove(m.name);
    Remove(L"CLSID\\" + GuidText(tagclient::transport::CLSID_OpcServerList));
    return S_OK;
}

HRESULT UnregisterLocalServers() {
    for (const auto& c : Module::Get().Classes())
        Remove(L"CLSID\\" + GuidText(c.clsid) + L"\\LocalServer32");
    return S_OK;
}

} // namespace opcsim
