// The outside control of the simulated servers: a text file, named by the environment variable
// TAGCLIENT_SIM_CONTROL, through which a test (or an operator rehearsing an outage) makes every simulated
// server vanish, come back, or ask its clients to let go, from outside the process that uses them.
//
// The file's first word that is not in a comment line (`#`) says what the servers do:
//   up                  (also: no variable, no file, an empty file, an unknown word) the servers are there
//   down                the servers have vanished: creating one fails with 0x800706BA (the RPC server is
//                       unavailable); every instance that exists dies for good, as a server process that
//                       ended: each later call on it fails with 0x800706BA and it sends nothing more
//   shutdown [reason]   every instance that existed when the file got this text sends one shutdown
//                       request with the reason (default "Shutdown requested by the control file")
//
// The file is looked at again whenever its size, time stamp or identity changes, so writing it (or
// renaming a new file over it) takes effect at the next call or within a quarter of a second.
#pragma once
#include <cstdint>
#include <string>

namespace tagclient::transport::sim {

// The environment variable that names the control file.
inline constexpr const char* kControlVariable = "TAGCLIENT_SIM_CONTROL";
// How often a living instance looks at the control file on its own (while the variable is set).
inline constexpr std::uint32_t kControlWatchMs = 250;

enum class ControlState { Up, Down, Shutdown };

struct ControlReading {
    ControlState state = ControlState::Up;
    std::u16string reason; // of a shutdown
    // Changes whenever the file's text changes; an instance sends one shutdown request per version.
    std::uint64_t version = 0;
};

// Parses a control file's text.
ControlReading ParseControl(const std::string& text);

// True when the environment variable is set (and not empty).
bool ControlEnabled();

// What the control file says now. Thread-safe; the file is read only when it changed.
ControlReading ReadControl();

} // namespace tagclient::transport::sim
