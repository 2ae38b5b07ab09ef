// The registry view of the simulated servers' host: one root key per ProgID (the registry's order: sorted
// without case), with an "OPC" subkey when marked and a "CLSID" subkey holding the class ID text.
#pragma once
#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::sim {

std::shared_ptr<Registry> MakeRegistry();

} // namespace tagclient::transport::sim
