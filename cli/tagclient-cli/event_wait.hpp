// Waiting for the library's work while a command runs, and the interrupt that ends the wait. On Linux the
// library's event descriptor is watched and QZDAC_DispatchEvents runs the due work; on Windows the work
// arrives as window messages of this thread (a COM single-threaded apartment), so the wait pumps them.
#pragma once

namespace tagclient_cli {

/// While it lives, Ctrl+C (and on Linux SIGTERM, on Windows closing the console) ends the wait instead
/// of the program.
class EventWait {
public:
    EventWait();
    ~EventWait();
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

    /// Waits up to `timeout_ms` for the library's work and runs what is due; returns early on an interrupt.
    void WaitAndDispatch(int timeout_ms);
    /// True once an interrupt came.
    bool Interrupted() const;
};

} // namespace tagclient_cli
