#include "status_json.hpp"

#include "utc_time_text.hpp"

#include <nlohmann/json.hpp>

namespace tagsink::http {
namespace {

using nlohmann::json;

json HealthObject(const StatusView& status) {
    return json{
        {"status", status.Healthy() ? "ok" : "failing"},
        {"opc", {{"up", status.opc_up}, {"state", status.opc_up ? "OPC Connected" : "OPC Disconnected"}}},
        {"db", {{"up", status.db_up}, {"state", status.db_up ? "DB Connected" : "DB Disconnected"}}},
        {"waiting", status.waiting},
        {"journaled", status.journaled},
        {"quarantined", status.quarantined},
        {"lost", status.lost},
        {"last_error", status.last_error},
        {"last_error_time", status.last_error.empty() ? "" : IsoText(status.last_error_time)}};
}

std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string HealthJson(const StatusView& status) {
    return Dump(HealthObject(status));
}

std::string StatusJson(const StatusView& status, const std::vector<std::string>& log_tail,
                       std::string_view version) {
    json body = HealthObject(status);
    body["version"] = version;
    body["started"] = IsoText(status.started);
    body["queued"] = status.queued;
    body["executed"] = status.executed;
    body["failures"] = status.failures;
    body["items"] = status.items;
    body["opc"]["reconnecting"] = status.reconnecting;
    body["opc"]["reconnect_attempts"] = status.reconnect_attempts;
    body["opc"]["reconnections"] = status.reconnections;
    json groups = json::array();
    for (const auto& group : status.groups)
        groups.push_back(
            {{"name", group.name}, {"records", group.records}, {"last_record", IsoText(group.last_record)}});
    body["groups"] = std::move(groups);
    body["log"] = log_tail;
    return Dump(body);
}

std::string ItemsJson(const std::vector<ItemView>& items) {
    std::string out = "{\"items\":[";
    out.reserve(items.size() * 200 + 16);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ',';
        out += ItemJson(items[i]);
    }
    out += "]}";
    return out;
}

} // namespace tagsink::http
