// The runner's EngineReporter: log lines on standard error (when asked for), link texts kept for the
// progress line, and the first failure of each kind told to the operator with its reason even without
// --log.
#pragma once

#include "engine/runtime/engine_reporter.hpp"
#include "engine/runtime/recorder_stats.hpp"

#include <cstdint>
#include <map>
#include <set>
#include <mutex>
#include <string>

namespace tagsink {

class RotatingLogFile;

class StderrReporter final : public EngineReporter {
public:
    /// `log`: write every log line; `tty`: standard error is a terminal that shows a progress line
    /// rewritten in place (lines printed meanwhile clear it first).
    explicit StderrReporter(bool log, bool tty = false) : log_(log), tty_(tty) {}

    /// "yyyy-mm-dd hh:nn:ss:uMap--operation--text", one line each, when logging is on.
    void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept override;
    void SetOpcLinkText(std::string_view text) noexcept override;
    void SetDbLinkText(std::string_view text) noexcept override;
    /// A failure report of the OPC toolkit (its log procedure): `source` names the operation.
    void ToolkitFailure(std::string_view source, std::string_view message) noexcept;

    /// The project's connection string, named (without its password) when the database fails.
    void SetDbString(std::string db_string);

    std::string OpcText() const;
    std::string DbText() const;
    /// The toolkit's last failure report ("source: message"), empty when there was none.
    std::string LastToolkitFailure() const;
    /// Where refused statements went (from the engine's report), empty while none did.
    std::string RejectPath() const;
    /// The first failure of each kind seen so far, by kind ("database connection failure", "statement set
    /// aside", ...).
    std::map<std::string, std::string> FirstFailures() const;

    /// "queued N  executed N  waiting N  in sql.dat N  quarantined N [in PATH]  failures N [lost N] |
    /// OPC text[opc_suffix] | DB text".
    std::string ProgressLine(std::uint64_t queued, const RecorderStats& stats,
                             const std::string& opc_suffix = {}) const;

    /// The closing lines: the failures since the start with the last one, the first failure of each
    /// kind, and where refused statements were set aside (empty when all went well).
    std::string Summary(const RecorderStats& stats) const;

    /// Writes a line to standard error (or the log file) without tearing a log line apart.
    void Print(const std::string& line);

    /// Sends everything Print writes to `file` instead of standard error (nullptr: standard error again).
    /// When the file cannot be written, the text goes to standard error with the reason, once per failure.
    void SetLogFile(RotatingLogFile* file);

private:
    void NoteFirst(const std::string& kind, const std::string& text);
    // An item the server refused: each item ID is told once (all of them, not only the first), also
    // when a reconnection adds it again.
    void NoteRefusedItem(const std::string& item_id, const std::string& text);

    bool log_;
    bool tty_;
    RotatingLogFile* log_file_ = nullptr;
    bool log_file_failing_ = false;
    mutable std::mutex mutex_;
    std::string opc_{"OPC Disconnected"};
    std::string db_{"DB Disconnected"};
    std::string db_string_;
    std::string last_toolkit_failure_;
    std::string last_item_;
    std::string reject_path_;
    std::map<std::string, std::string> first_;
    std::set<std::string> refused_items_;
};

/// Sends the OPC toolkit's failure reports (its log procedure) to `reporter`; nullptr stops them.
void ReportToolkitFailuresTo(StderrReporter* reporter);

/// The connection string with the values of Pwd and Password replaced by "***".
std::string WithoutPassword(const std::string& connection_string);

/// A database connection failure as the operator can act on it: which connection string failed, the
/// driver's message, and what to check (the folder of an SQLite file, the driver, server and login).
std::string DbConnectFailureText(const std::string& db_string, const std::string& message);

} // namespace tagsink
