#include "metrics_text.hpp"

#include <cstdio>

namespace tagsink::http {
namespace {

class Writer {
public:
    void Family(std::string_view name, std::string_view type, std::string_view help) {
        out.append("# HELP ").append(name).append(" ").append(help).append("\n");
        out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }
    void Sample(std::string_view name, std::string_view labels, double value) {
        out.append(name);
        if (!labels.empty())
            out.append("{").append(labels).append("}");
        char number[40];
        std::snprintf(number, sizeof number, " %.17g\n", value);
        out.append(number);
    }
    void Sample(std::string_view name, std::string_view labels, std::uint64_t value) {
        out.append(name);
        if (!labels.empty())
            out.append("{").append(labels).append("}");
        out.append(" ").append(std::to_string(value)).append("\n");
    }
    void One(std::string_view name, std::string_view type, std::string_view help, std::uint64_t value) {
        Family(name, type, help);
        Sample(name, {}, value);
    }
    std::string out;
};

double Seconds(std::chrono::system_clock::time_point when) {
    return std::chrono::duration<double>(when.time_since_epoch()).count();
}

} // namespace

std::string EscapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string MetricsText(const StatusView& status, const std::vector<ItemView>& items,
                        std::string_view version) {
    Writer w;
    w.out.reserve(256 + items.size() * 120);
    w.One("tagsink_statements_queued_total", "counter", "Record statements the groups queued.",
          status.queued);
    w.One("tagsink_statements_executed_total", "counter", "Statements the database accepted.",
          status.executed);
    w.One("tagsink_failures_total", "counter",
          "Failed database or journal operations (a statement tried again counts each time it fails).",
          status.failures);
    w.One("tagsink_statements_quarantined_total", "counter",
          "Statements moved to sql.rejected because the database refused them.", status.quarantined);
    w.One("tagsink_statements_lost_total", "counter",
          "Statements that neither the journal nor the database could take.", status.lost);
    w.One("tagsink_statements_waiting", "gauge", "Statements waiting for execution after the last pass.",
          status.waiting);
    w.One("tagsink_statements_journaled", "gauge", "Statements in the journal sql.dat now.",
          status.journaled);
    w.Family("tagsink_link_up", "gauge", "1 while the link is up, 0 while it is down.");
    w.Sample("tagsink_link_up", "link=\"opc\"", std::uint64_t{status.opc_up ? 1u : 0u});
    w.Sample("tagsink_link_up", "link=\"db\"", std::uint64_t{status.db_up ? 1u : 0u});
    w.One("tagsink_opc_reconnect_attempts", "gauge",
          "Attempts to connect the OPC server again since the link was last lost (0 while it is up).",
          status.reconnect_attempts);
    w.One("tagsink_opc_reconnections_total", "counter", "Times the OPC link came back by itself.",
          status.reconnections);
    w.Family("tagsink_group_records_total", "counter", "Records (statements) the group built.");
    for (const auto& group : status.groups)
        w.Sample("tagsink_group_records_total", "group=\"" + EscapeLabelValue(group.name) + "\"",
                 group.records);
    w.Family("tagsink_group_last_record_timestamp_seconds", "gauge",
             "Unix time of the group's last record (0: none yet).");
    for (const auto& group : status.groups)
        w.Sample("tagsink_group_last_record_timestamp_seconds",
                 "group=\"" + EscapeLabelValue(group.name) + "\"",
                 group.last_record.time_since_epoch().count() == 0 ? 0.0 : Seconds(group.last_record));
    w.Family("tagsink_item_bad_quality_updates_total", "counter",
             "Updates of the item that arrived with bad quality.");
    for (const auto& item : items)
        w.Sample("tagsink_item_bad_quality_updates_total",
                 "group=\"" + EscapeLabelValue(item.group) + "\",item=\"" + EscapeLabelValue(item.path) +
                     "\"",
                 item.bad_updates);
    w.Family("tagsink_process_start_time_seconds", "gauge", "Unix time the recorder started.");
    w.Sample("tagsink_process_start_time_seconds", {}, Seconds(status.started));
    w.Family("tagsink_build_info", "gauge", "Always 1; the version of the recorder as a label.");
    w.Sample("tagsink_build_info", "version=\"" + EscapeLabelValue(version) + "\"", std::uint64_t{1});
    return std::move(w.out);
}

} // namespace tagsink::http
