#include "service_events.hpp"

namespace tagsink::service {

ServiceEvents::ServiceEvents(const qz::Clock& clock, std::uint64_t interval_ms)
    : clock_(clock), interval_ms_(interval_ms) {}

bool ServiceEvents::Due(bool has_event, std::uint64_t last_event_ms, std::uint64_t now) const {
    return !has_event || now - last_event_ms >= interval_ms_;
}

void ServiceEvents::UpdateLink(Link& link, bool up, std::uint64_t now, std::vector<ServiceEvent>& out) {
    if (!link.known) {
        link.known = true;
        link.first_ms = now;
    }
    if (up != link.last_seen_up) {
        ++link.changes;
        link.last_seen_up = up;
    }
    link.ever_up = link.ever_up || up;
    if (up == link.reported_up || !Due(link.has_event, link.last_event_ms, now))
        return;
    std::string text;
    if (!link.ever_up) {
        // Connecting takes a moment at the start: a link that never came up is news after a minute.
        if (now - link.first_ms < interval_ms_)
            return;
        text = std::string("The ") + link.name + " link has not come up since the start.";
    } else {
        text = std::string("The ") + link.name + " link " + (up ? "is up again." : "was lost.");
        if (link.changes > 1)
            text += " It changed " + std::to_string(link.changes) + " times since the last event.";
    }
    out.push_back({up ? EventId::kLinkRestored : EventId::kLinkLost,
                   up ? EventLevel::kInformation : EventLevel::kWarning, std::move(text)});
    link.reported_up = up;
    link.has_event = true;
    link.last_event_ms = now;
    link.changes = 0;
}

std::vector<ServiceEvent> ServiceEvents::Update(const RecorderSample& sample) {
    const std::uint64_t now = clock_.NowMs();
    std::vector<ServiceEvent> out;
    UpdateLink(opc_, sample.opc_up, now, out);
    UpdateLink(db_, sample.db_up, now, out);
    if (sample.quarantined > quarantined_.reported &&
        Due(quarantined_.has_event, quarantined_.last_event_ms, now)) {
        out.push_back({EventId::kStatementsQuarantined, EventLevel::kWarning,
                       std::to_string(sample.quarantined - quarantined_.reported) +
                           " statements were refused by the database and moved to \"sql.rejected\" (" +
                           std::to_string(sample.quarantined) + " since the start)."});
        quarantined_ = {sample.quarantined, true, now};
    }
    if (sample.lost > lost_.reported && Due(lost_.has_event, lost_.last_event_ms, now)) {
        out.push_back({EventId::kStatementsLost, EventLevel::kError,
                       std::to_string(sample.lost - lost_.reported) +
                           " statements were lost: neither the database nor \"sql.dat\" could take them (" +
                           std::to_string(sample.lost) + " since the start)."});
        lost_ = {sample.lost, true, now};
    }
    return out;
}

} // namespace tagsink::service
