#include "win_registry.hpp"

#include "platform/registry_key.hpp"

#include <windows.h>

namespace tagclient::transport::com {

HRESULT WinRegistry::CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) {
    if (!szProgId || !clsid)
        return E_INVALIDARG;
    return ::CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(szProgId), clsid);
}

HRESULT WinRegistry::EnumRootKeys(std::vector<std::string>* names) {
    if (!names)
        return E_INVALIDARG;
    names->clear();
    // The root is opened with full access, as the registry pass has always done; a class root that this
    // account may not open so lists nothing.
    qz::RegistryKey root;
    LONG rc = root.Open(HKEY_CLASSES_ROOT, nullptr, KEY_ALL_ACCESS);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    char name[256]; // key names are at most 255 characters
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        rc = RegEnumKeyExA(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_MORE_DATA)
            continue; // a name longer than the registry allows for keys: not a ProgID
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
        names->emplace_back(name, length);
    }
    return S_OK;
}

bool WinRegistry::KeyExists(const std::string& path) {
    qz::RegistryKey key;
    return key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

HRESULT WinRegistry::ReadDefaultValue(const std::string& path, std::string* value) {
    if (!value)
        return E_INVALIDARG;
    qz::RegistryKey key;
    LONG rc = key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_ALL_ACCESS);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    DWORD type = 0;
    DWORD size = 0;
    rc = RegQueryValueExA(key.get(), nullptr, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        value->clear(); // no default value: an empty string
        return S_OK;
    }
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    std::string data(size, '\0');
    rc = RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATATYPE);
    data.resize(size);
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    *value = std::move(data);
    return S_OK;
}

} // namespace tagclient::transport::com
