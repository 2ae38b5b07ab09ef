// The class registry of this computer (HKEY_CLASSES_ROOT) as the transport's Registry.
#pragma once
#include <transport/transport.hpp>

namespace tagclient::transport::com {

class WinRegistry final : public Registry {
public:
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override;
    HRESULT EnumRootKeys(std::vector<std::string>* names) override;
    bool KeyExists(const std::string& path) override;
    HRESULT ReadDefaultValue(const std::string& path, std::string* value) override;
};

} // namespace tagclient::transport::com
