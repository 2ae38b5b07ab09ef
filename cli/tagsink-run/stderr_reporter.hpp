// The runner's EngineReporter: log lines on standard error (when asked for), link texts kept for the
// progress line.
#pragma once

#include "engine/runtime/engine_reporter.hpp"

#include <mutex>
#include <string>

namespace tagsink {

class StderrReporter final : public EngineReporter {
public:
    explicit StderrReporter(bool log) : log_(log) {}

    /// "yyyy-mm-dd hh:nn:ss:uMap--operation--text", one line each, when logging is on.
    void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept override;
    void SetOpcLinkText(std::string_view text) noexcept override;
    void SetDbLinkText(std::string_view text) noexcept override;

    std::string OpcText() const;
    std::string DbText() const;
    /// Writes a line to standard error without tearing a log line apart.
    void Print(const std::string& line);

private:
    bool log_;
    mutable std::mutex mutex_;
    std::string opc_{"OPC Disconnected"};
    std::string db_{"DB Disconnected"};
};

} // namespace tagsink
