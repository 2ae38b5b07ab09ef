// The server-list component of the simulated servers' host: the known classes by OPC category, their
// details and their ProgIDs.
#pragma once
#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::sim {

std::shared_ptr<OPCServerList> MakeServerList();

} // namespace tagclient::transport::sim
