// What the simulated servers need from their surroundings: a monotonic clock, deferred calls and repeating
// timers, all run on the client thread. That is the toolkit's Host, which the transport hands on; tests and
// benchmarks give them a host with a manual clock (tests/sim/manual_scheduler.hpp). Servers never sleep and
// start no threads: every notification leaves from a posted call or a timer tick, never from inside a call
// the client made into the server.
#pragma once
#include <transport/transport.hpp>

namespace tagclient::transport::sim {

using Scheduler = transport::Host;

} // namespace tagclient::transport::sim
