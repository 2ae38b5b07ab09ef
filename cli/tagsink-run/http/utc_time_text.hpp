// Time stamps as the HTTP views show them: UTC ISO 8601 with milliseconds ("2026-12-10T06:15:00.123Z").
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tagsink::http {

/// A UTC FILETIME (100 ns ticks since 1601); 0 gives an empty text.
std::string IsoTextOfFileTime(std::uint64_t file_time);
/// A point of the system clock; the epoch itself gives an empty text.
std::string IsoText(std::chrono::system_clock::time_point when);

} // namespace tagsink::http
