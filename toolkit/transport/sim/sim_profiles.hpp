// The three built-in simulated servers: identity (ProgID, class ID, user type), the OPC DA versions they
// implement, and the interfaces they offer. docs/simulated-servers.md documents them for users.
#pragma once
#include "sim_server.hpp"

#include <string>
#include <vector>

namespace tagclient::transport::sim {

// "da2", "da1" and "minimal": the names a registration file uses to pick an implementation.
const ServerProfile* FindBuiltinServer(std::u16string_view kind);
// The built-in servers in listing order (DA 2.0, DA 1.0, minimal).
const std::vector<ServerProfile>& BuiltinServers();
// The built-in server with this class ID, or null.
const ServerProfile* FindBuiltinServer(const CLSID& clsid);

// Class-ID text in registry form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case), and its parser
// (case-insensitive; false for anything else).
std::u16string ClsidText(const CLSID& clsid);
bool ParseClsid(std::u16string_view text, CLSID* clsid);
bool SameClsid(const CLSID& a, const CLSID& b);

} // namespace tagclient::transport::sim
