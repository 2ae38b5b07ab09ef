// The classes a host knows: the built-in servers and the registration files, a registered ProgID
// replacing a built-in one of the same name.
#pragma once
#include "sim_profiles.hpp"

#include <platform/oleauto.h>

#include <string>
#include <vector>

namespace tagclient::transport::sim {

struct KnownClass {
    std::u16string prog_id;
    std::u16string user_type;
    std::string class_id_text;
    bool parsed = false;
    CLSID clsid{};
    bool opc = true;
    std::vector<int> versions;
    const ServerProfile* implementation = nullptr;
};

// Read again at each call, so that a changed registration file shows at once.
std::vector<KnownClass> KnownClasses();

// Whether the class implements the OPC category (CATID_OPCDAServer10/20/30).
bool Implements(const KnownClass& k, const GUID& category);

} // namespace tagclient::transport::sim
