// The JSON bodies of /health, /api/status and /api/items.
#pragma once

#include "status_board.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tagsink::http {

/// {"status":"ok"|"failing","opc":{"up":..},"db":{"up":..},"waiting":..,"journaled":..,"quarantined":..,
///  "lost":..,"last_error":".."}
std::string HealthJson(const StatusView& status);

/// The health fields and the counters, the reconnect state, the groups and the log tail.
std::string StatusJson(const StatusView& status, const std::vector<std::string>& log_tail,
                       std::string_view version);

/// {"items":[...]} with one ItemJson row per item.
std::string ItemsJson(const std::vector<ItemView>& items);

} // namespace tagsink::http
