// What a service writes to the Windows event log while it records, worked out from the recorder's state:
// the OPC and database links lost and restored (at most one event per link per minute, so that a link
// that comes and goes does not flood the log), and statements quarantined ("sql.rejected") or lost, with
// their counts. Free of Windows: the service samples the engine every few seconds and writes what comes
// out (windows_event_log.hpp); the tests feed it with a clock they move themselves.
#pragma once

#include "platform/clock.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tagsink::service {

/// The event IDs of the service's entries (the message file's IDs; docs/operations.md lists them).
enum class EventId : std::uint16_t {
    kStarted = 1,
    kStopped = 2,
    kLinkLost = 3,
    kLinkRestored = 4,
    kStatementsQuarantined = 5,
    kStatementsLost = 6,
};

enum class EventLevel { kInformation, kWarning, kError };

struct ServiceEvent {
    EventId id;
    EventLevel level;
    std::string text;
};

/// The recorder's state as sampled.
struct RecorderSample {
    bool opc_up = false;
    bool db_up = false;
    std::uint64_t quarantined = 0; // statements moved to "sql.rejected" since the start
    std::uint64_t lost = 0;        // statements that could be kept nowhere since the start
};

class ServiceEvents {
public:
    /// At most one event per link and one per counter in `interval_ms` (a minute).
    explicit ServiceEvents(const qz::Clock& clock, std::uint64_t interval_ms = 60'000);

    /// The events that `sample` calls for now. A link that is up from the start is no news; one that has
    /// not come up a minute after the first sample is. A change within the interval of the link's last
    /// event waits, and is written once the interval has passed if the link is still in the changed
    /// state (saying how often it changed meanwhile). Counters that grew give one event with the growth
    /// and the total; growth within the interval of the last such event is told with the next one.
    std::vector<ServiceEvent> Update(const RecorderSample& sample);

private:
    struct Link {
        const char* name;
        bool known = false;
        std::uint64_t first_ms = 0; // when it was first sampled
        bool ever_up = false;
        bool reported_up = true; // the state the last event told (up: no news at the start)
        bool has_event = false;
        std::uint64_t last_event_ms = 0;
        unsigned changes = 0; // changes since the last event
        bool last_seen_up = true;
    };
    struct Counter {
        std::uint64_t reported = 0;
        bool has_event = false;
        std::uint64_t last_event_ms = 0;
    };
    void UpdateLink(Link& link, bool up, std::uint64_t now, std::vector<ServiceEvent>& out);
    bool Due(bool has_event, std::uint64_t last_event_ms, std::uint64_t now) const;

    const qz::Clock& clock_;
    std::uint64_t interval_ms_;
    Link opc_{"OPC"};
    Link db_{"database"};
    Counter quarantined_;
    Counter lost_;
};

} // namespace tagsink::service
