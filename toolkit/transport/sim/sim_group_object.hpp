// The group object of a simulated server: one group (sim_group.hpp) behind the transport's group
// interfaces.
#pragma once
#include "sim_format_table.hpp"
#include "sim_group.hpp"
#include "sim_instance_life.hpp"

#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::sim {

std::shared_ptr<GroupObject> MakeGroupObject(std::shared_ptr<SimGroup> group,
                                             std::shared_ptr<FormatTable> formats,
                                             std::shared_ptr<InstanceLife> life);

} // namespace tagclient::transport::sim
