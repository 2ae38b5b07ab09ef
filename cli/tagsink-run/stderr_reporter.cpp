#include "stderr_reporter.hpp"

#include "rotating_log.hpp"

#include "engine/runtime/recorder.hpp"
#include "platform/bstr.hpp"
#include "platform/path_text.hpp"
#include "tagclient.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace tagsink {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// The value of `key` in a "key=value;key=value" string (keys without regard to case; braces kept).
std::string ConnectionValue(const std::string& connection_string, std::string_view key) {
    const std::string wanted = Lower(key);
    std::size_t at = 0;
    while (at < connection_string.size()) {
        std::size_t end = connection_string.find(';', at);
        if (end == std::string::npos)
            end = connection_string.size();
        const std::string part = connection_string.substr(at, end - at);
        const std::size_t equals = part.find('=');
        if (equals != std::string::npos) {
            std::string name = part.substr(0, equals);
            name.erase(0, name.find_first_not_of(' '));
            name.erase(name.find_last_not_of(' ') + 1);
            if (Lower(name) == wanted)
                return part.substr(equals + 1);
        }
        at = end + 1;
    }
    return {};
}

std::atomic<StderrReporter*> toolkitReports{nullptr};

void QZDAC_LOGCALL OnToolkitLog(BSTR source, BSTR message) {
    const qz::Bstr owned_source = qz::Bstr::attach(source);
    const qz::Bstr owned_message = qz::Bstr::attach(message);
    try {
        if (StderrReporter* reporter = toolkitReports.load())
            reporter->ToolkitFailure(owned_source.toUtf8(), owned_message.toUtf8());
    } catch (...) {
    }
}

} // namespace

void ReportToolkitFailuresTo(StderrReporter* reporter) {
    toolkitReports.store(reporter);
    QZDAC_SetLogProc(reporter ? OnToolkitLog : nullptr);
}

std::string WithoutPassword(const std::string& connection_string) {
    std::string out;
    std::size_t at = 0;
    while (at <= connection_string.size()) {
        std::size_t end = connection_string.find(';', at);
        const bool last = end == std::string::npos;
        if (last)
            end = connection_string.size();
        std::string part = connection_string.substr(at, end - at);
        const std::size_t equals = part.find('=');
        if (equals != std::string::npos) {
            std::string name = Lower(part.substr(0, equals));
            name.erase(0, name.find_first_not_of(' '));
            name.erase(name.find_last_not_of(' ') + 1);
            if ((name == "pwd" || name == "password") && equals + 1 < part.size())
                part = part.substr(0, equals + 1) + "***";
        }
        out += part;
        if (last)
            break;
        out += ';';
        at = end + 1;
    }
    return out;
}

std::string DbConnectFailureText(const std::string& db_string, const std::string& message) {
    std::string text =
        "cannot open the database of DBString \"" + WithoutPassword(db_string) + "\": " + message;
    const std::string driver = Lower(ConnectionValue(db_string, "Driver"));
    const std::string database = ConnectionValue(db_string, "Database");
    if (driver.find("sqlite") != std::string::npos) {
        if (database.empty()) {
            text += "; the connection string names no Database file";
        } else {
            const std::filesystem::path file = qz::Utf8Path(database);
            const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
            std::error_code ec;
            if (!std::filesystem::is_directory(folder, ec))
                text += "; the folder \"" + qz::PathUtf8(folder) + "\" of the database file does not exist";
            else
                text += "; check that \"" + database + "\" and its folder can be read and written";
        }
    } else if (db_string.empty()) {
        text += "; the project has no DBString";
    } else {
        text += "; check the server address, the database name, the user and the password";
    }
    if (!driver.empty())
        text += ", and that the ODBC driver " + ConnectionValue(db_string, "Driver") +
#ifdef _WIN32
                " is installed (the Drivers tab of the ODBC Data Source Administrator, odbcad32.exe, "
                "lists them; a 64-bit program sees the 64-bit drivers only)";
#else
                " is installed (odbcinst -q -d)";
#endif
    return text;
}

void StderrReporter::WriteLog(std::string_view unit, std::string_view operation,
                              std::string_view text) noexcept {
    try {
        if (log_) {
            std::string line = LocalTimeText() + ":" + std::string(unit) + "--" + std::string(operation) +
                               "--" + std::string(text) + "\n";
            Print(line);
        }
        // Every executed statement comes by here: it is no failure, and is not copied to find that out.
        if (operation == "TServer.DoRecord" && text.substr(0, 4) == "sql=")
            return;
        // The failures among the engine's lines, the first of each kind told at once.
        const std::string what(text);
        if (operation == "TServer.DBConnect") {
            std::string db_string;
            {
                std::lock_guard lock(mutex_);
                db_string = db_string_;
            }
            NoteFirst("database connection failure", DbConnectFailureText(db_string, what));
        } else if (operation == "TServer.DoRecord") {
            static const std::string kMoved = "Statement moved to ";
            if (what.rfind(kMoved, 0) == 0) {
                const std::size_t after = what.find(" after ", kMoved.size());
                const std::string path = what.substr(
                    kMoved.size(), after == std::string::npos ? std::string::npos : after - kMoved.size());
                {
                    std::lock_guard lock(mutex_);
                    reject_path_ = path;
                }
                NoteFirst("statement set aside", what);
                return;
            }
            NoteFirst("database failure", what);
        } else if (operation == "TServer.SaveOutList" || operation == "TServer.LoadItem") {
            NoteFirst("buffer file failure", what);
        } else if (operation == "TGroup.SnapShot" || operation == "TGroup.DataChange") {
            NoteFirst("record failure", what);
        } else if (operation == "TServer.Stop") {
            NoteFirst("stop failure", what);
        } else if (operation == "TItem.Run") {
            if (what.rfind("ItemAdd=", 0) == 0 && what != "ItemAdd=true" && what != "ItemAdd=false") {
                std::lock_guard lock(mutex_);
                last_item_ = what.substr(8);
            } else if (what == "ItemAdd=false") {
                std::string item, toolkit;
                {
                    std::lock_guard lock(mutex_);
                    item = last_item_;
                    toolkit = last_toolkit_failure_;
                }
                const std::string text = "the OPC server did not add the item \"" + item + "\"" +
                                         (toolkit.empty() ? std::string() : " (" + toolkit + ")");
                NoteFirst("OPC item failure", text);
                NoteRefusedItem(item, text);
            }
        }
    } catch (...) {
    }
}

void StderrReporter::ToolkitFailure(std::string_view source, std::string_view message) noexcept {
    try {
        std::string text = std::string(source) + ": " + std::string(message);
        {
            std::lock_guard lock(mutex_);
            last_toolkit_failure_ = text;
        }
        if (log_)
            Print(LocalTimeText() + ":tagclient--" + text + "\n");
    } catch (...) {
    }
}

void StderrReporter::NoteFirst(const std::string& kind, const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        if (!first_.emplace(kind, text).second)
            return;
    }
    if (!log_) // with --log the line is on the screen already
        Print((tty_ ? "\r\x1b[K" : "") + std::string("tagsink-run: first ") + kind + " at " +
              LocalTimeText() + ": " + text + "\n");
}

void StderrReporter::NoteRefusedItem(const std::string& item_id, const std::string& text) {
    bool first_item = false;
    {
        std::lock_guard lock(mutex_);
        if (!refused_items_.insert(item_id).second)
            return;
        first_item = refused_items_.size() == 1;
    }
    // The first is told by NoteFirst; with --log every line is on the screen already.
    if (!log_ && !first_item)
        Print((tty_ ? "\r\x1b[K" : "") + std::string("tagsink-run: OPC item failure at ") + LocalTimeText() +
              ": " + text + "\n");
}

void StderrReporter::SetDbString(std::string db_string) {
    std::lock_guard lock(mutex_);
    db_string_ = std::move(db_string);
}

void StderrReporter::SetOpcLinkText(std::string_view text) noexcept {
    try {
        std::lock_guard lock(mutex_);
        opc_ = text;
    } catch (...) {
    }
}

void StderrReporter::SetDbLinkText(std::string_view text) noexcept {
    try {
        std::lock_guard lock(mutex_);
        db_ = text;
    } catch (...) {
    }
}

std::string StderrReporter::OpcText() const {
    std::lock_guard lock(mutex_);
    return opc_;
}

std::string StderrReporter::DbText() const {
    std::lock_guard lock(mutex_);
    return db_;
}

std::string StderrReporter::LastToolkitFailure() const {
    std::lock_guard lock(mutex_);
    return last_toolkit_failure_;
}

std::string StderrReporter::RejectPath() const {
    std::lock_guard lock(mutex_);
    return reject_path_;
}

std::map<std::string, std::string> StderrReporter::FirstFailures() const {
    std::lock_guard lock(mutex_);
    return first_;
}

std::string StderrReporter::ProgressLine(std::uint64_t queued, const RecorderStats& stats,
                                         const std::string& opc_suffix) const {
    auto n = [](std::uint64_t value) { return std::to_string(value); };
    std::string line = "queued " + n(queued) + "  executed " + n(stats.executed.load()) + "  waiting " +
                       n(stats.waiting.load()) + "  in sql.dat " + n(stats.journaled.load()) +
                       "  quarantined " + n(stats.rejected.load());
    const std::string reject_path = RejectPath();
    if (stats.rejected.load() > 0 && !reject_path.empty())
        line += " in " + reject_path;
    line += "  failures " + n(stats.failures.load());
    if (stats.journal_failing.load())
        line += "  JOURNAL WRITE FAILING";
    if (stats.lost.load() > 0)
        line += "  LOST " + n(stats.lost.load());
    line += " | " + OpcText() + opc_suffix + " | " + DbText();
    return line;
}

std::string StderrReporter::Summary(const RecorderStats& stats) const {
    std::string text;
    if (stats.failures.load() > 0) {
        text += "tagsink-run: " + std::to_string(stats.failures.load()) + " database or disk failure(s)";
        const RecorderStats::Failure last = stats.LastFailure();
        if (!last.text.empty())
            text += "; the last: " + last.text;
        text += "\n";
    }
    for (const auto& [kind, reason] : FirstFailures())
        text += "tagsink-run: first " + kind + ": " + reason + "\n";
    if (stats.rejected.load() > 0) {
        std::string path = RejectPath();
        if (path.empty())
            path = "sql.rejected";
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(qz::Utf8Path(path), ec);
        text += "tagsink-run: " + std::to_string(stats.rejected.load()) +
                " statement(s) the database refused were set aside in " + (ec ? path : qz::PathUtf8(full)) +
                "\n";
    }
    return text;
}

void StderrReporter::Print(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (log_file_ != nullptr) {
        if (log_file_->Write(line)) {
            log_file_failing_ = false;
            return;
        }
        if (!log_file_failing_) {
            const std::string note =
                "tagsink-run: " + log_file_->LastError() + "; writing to standard error\n";
            std::fwrite(note.data(), 1, note.size(), stderr);
        }
        log_file_failing_ = true;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void StderrReporter::SetLogFile(RotatingLogFile* file) {
    std::lock_guard lock(mutex_);
    log_file_ = file;
    log_file_failing_ = false;
}

} // namespace tagsink
