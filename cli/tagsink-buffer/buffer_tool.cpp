#include "buffer_tool.hpp"

#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/recorder.hpp"
#include "model/server.hpp"

#include <thread>

namespace tagsink::buffer {
namespace {

constexpr std::string_view kReasonMark = " rejected: ";

class QuietReporter final : public EngineReporter {
public:
    void WriteLog(std::string_view, std::string_view operation, std::string_view text) noexcept override {
        if (operation != "TServer.DoRecord" || text.substr(0, 4) != "sql=")
            last_text = std::string(operation) + ": " + std::string(text);
    }
    void SetOpcLinkText(std::string_view) noexcept override {}
    void SetDbLinkText(std::string_view) noexcept override {}
    std::string last_text;
};

} // namespace

std::vector<BufferedStatement> ReadJournalStatements(const std::filesystem::path& journal) {
    std::vector<BufferedStatement> statements;
    Journal::Recovered recovered = PeekJournal(journal);
    for (JournalEntry& entry : recovered.entries)
        statements.push_back({std::move(entry.statement), {}});
    return statements;
}

std::vector<BufferedStatement> ReadRejected(const std::filesystem::path& rejected) {
    std::vector<BufferedStatement> statements;
    if (!std::filesystem::exists(rejected))
        return statements;
    BufferFileContents contents = ReadBufferFile(rejected);
    std::string reason;
    for (std::string& line : contents.statements) {
        if (line.rfind("-- ", 0) == 0 && line.find(kReasonMark) != std::string::npos) {
            reason = line.substr(3);
            continue;
        }
        statements.push_back({std::move(line), reason});
        reason.clear();
    }
    for (std::string& line : contents.undecodable)
        statements.push_back({std::move(line), "a line that cannot be decoded"});
    return statements;
}

void WriteScript(std::ostream& out, const std::vector<BufferedStatement>& statements) {
    for (const BufferedStatement& item : statements) {
        if (!item.reason.empty()) {
            out << "-- ";
            for (char c : item.reason)
                out << ((c == '\r' || c == '\n') ? ' ' : c);
            out << "\n";
        }
        std::string text = item.statement;
        while (!text.empty() && (text.back() == ' ' || text.back() == ';'))
            text.pop_back();
        out << text << ";\n";
    }
}

ReplayResult ReplayRejected(const std::filesystem::path& rejected, const std::string& connection) {
    ReplayResult result;
    std::vector<BufferedStatement> statements = ReadRejected(rejected);
    if (statements.empty())
        return result;
    db::OdbcConnection db;
    db.SetConnectionString(connection);
    db.Open(std::chrono::seconds(10));
    std::vector<std::string> keep;
    for (const BufferedStatement& item : statements) {
        try {
            db.Execute(item.statement);
            ++result.executed;
        } catch (const std::exception& error) {
            ++result.failed;
            result.last_error = db::DescribeFailure(error);
            std::string comment = "-- " + LocalTimeText() + std::string(kReasonMark);
            for (char c : result.last_error)
                comment += (c == '\r' || c == '\n') ? ' ' : c;
            keep.push_back(comment);
            keep.push_back(EncodeStatementLine(item.statement));
        }
    }
    // The file is rewritten beside and then put in place, so that a crash leaves the old or the new one.
    std::filesystem::path fresh = rejected;
    fresh += ".new";
    std::filesystem::remove(fresh);
    if (!keep.empty())
        AppendLines(fresh, keep);
    if (keep.empty())
        std::filesystem::remove(rejected);
    else
        std::filesystem::rename(fresh, rejected);
    return result;
}

ReplayResult ReplayJournal(const std::filesystem::path& journal, const std::string& connection, int seconds) {
    ReplayResult result;
    db::InstallOdbcConnectionFactory();
    TServer server;
    server.SetDBString(connection);
    QuietReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.buffer_file = journal;
    // Refusals that can pass are retried while the tool runs, then left in the journal.
    options.retry_window = std::chrono::seconds(seconds) + std::chrono::minutes(1);
    options.first_retry_delay = std::chrono::milliseconds(200);
    options.longest_retry_delay = std::chrono::seconds(2);
    const std::size_t waiting = ReadJournalStatements(journal).size();
    {
        Recorder recorder(server, SystemClock::Instance(), reporter, stats, options);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        recorder.DoRecord();
        while (stats.journaled.load() > 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            recorder.DoRecord();
        }
        recorder.Finish();
    }
    result.executed = stats.executed.load();
    result.failed = stats.rejected.load();
    if (stats.journaled.load() > 0 || result.executed + result.failed < waiting)
        result.last_error =
            reporter.last_text.empty() ? "statements remain in the journal" : reporter.last_text;
    else if (result.failed > 0)
        result.last_error = stats.LastFailure().text;
    return result;
}

} // namespace tagsink::buffer
