// /metrics: the recorder's counters in the Prometheus text exposition format, version 0.0.4.
#pragma once

#include "status_board.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tagsink::http {

/// The content type of the format.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

/// Every metric with its HELP and TYPE lines; `version` goes into tagsink_build_info.
std::string MetricsText(const StatusView& status, const std::vector<ItemView>& items,
                        std::string_view version);

/// A label value escaped for the format (backslash, double quote, line feed).
std::string EscapeLabelValue(std::string_view value);

} // namespace tagsink::http
