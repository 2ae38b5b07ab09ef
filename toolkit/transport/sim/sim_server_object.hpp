// The server object of a simulated server: one server instance (sim_server.hpp) behind the transport's
// server interfaces.
#pragma once
#include "sim_format_table.hpp"
#include "sim_instance_life.hpp"
#include "sim_server.hpp"

#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::sim {

std::shared_ptr<ServerObject> MakeServerObject(std::shared_ptr<SimServer> server,
                                               std::shared_ptr<FormatTable> formats,
                                               std::shared_ptr<InstanceLife> life);

} // namespace tagclient::transport::sim
