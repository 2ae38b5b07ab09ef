// Where the engine reports: the log and the two link status texts.
//
// The program's main window implements this by handing every call over to its user-interface thread; the
// headless runner writes to standard error. Every member is called from the user-interface thread and
// from the record thread, so implementations must be thread-safe, and none may throw.
#pragma once

#include <string_view>

namespace tagsink {

/// The engine's unit name in every log line.
inline constexpr std::string_view kEngineUnit = "uMap";

inline constexpr std::string_view kOpcConnected = "OPC Connected";
inline constexpr std::string_view kOpcDisconnected = "OPC Disconnected";
inline constexpr std::string_view kDbConnected = "DB Connected";
inline constexpr std::string_view kDbDisconnected = "DB Disconnected";

class EngineReporter {
public:
    virtual ~EngineReporter() = default;
    /// One log line: unit (always "uMap"), operation ("TServer.DoRecord"), text.
    virtual void WriteLog(std::string_view unit, std::string_view operation,
                          std::string_view text) noexcept = 0;
    /// The OPC link text: "OPC Connected" or "OPC Disconnected".
    virtual void SetOpcLinkText(std::string_view text) noexcept = 0;
    /// The database link text: "DB Connected" or "DB Disconnected".
    virtual void SetDbLinkText(std::string_view text) noexcept = 0;
};

/// Reports nowhere.
class NullReporter final : public EngineReporter {
public:
    void WriteLog(std::string_view, std::string_view, std::string_view) noexcept override {}
    void SetOpcLinkText(std::string_view) noexcept override {}
    void SetDbLinkText(std::string_view) noexcept override {}
};

} // namespace tagsink
