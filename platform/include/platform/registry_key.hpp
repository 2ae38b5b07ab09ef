// An open Windows registry key, closed when its holder goes away (Windows only).
#pragma once
#ifdef _WIN32
#include <windows.h>

namespace qz {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    /// Opens an existing key (RegOpenKeyExA); ERROR_SUCCESS or the system's error code.
    LONG Open(HKEY parent, const char* path, REGSAM access) {
        return RegOpenKeyExA(parent, path, 0, access, &key_);
    }
    /// Opens the key, creating it (and the keys above it) where it does not exist (RegCreateKeyExW).
    LONG Create(HKEY parent, const wchar_t* path, REGSAM access) {
        return RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key_, nullptr);
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace qz
#endif
