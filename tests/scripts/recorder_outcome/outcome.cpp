#include "outcome.hpp"

#include "buffer_tool.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "test_db.hpp"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>

namespace tagsink::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string RowText(const std::vector<std::string>& row) {
    std::string text = "(";
    for (std::size_t i = 0; i < row.size(); ++i)
        text += (i ? ", " : "") + row[i];
    return text + ")";
}

std::size_t Waiting(const std::filesystem::path& journal) {
    return std::filesystem::exists(journal) ? buffer::ReadJournalStatements(journal).size() : 0;
}

// The rows the kept statements make on their own: run on an empty table of the same shape.
Rows RowsOfStatements(const std::filesystem::path& database, const std::string& table,
                      const std::vector<buffer::BufferedStatement>& statements) {
    const Rows schema =
        db::testing::Query(db::testing::SqliteConnectionString(database),
                           "select sql from sqlite_master where type = 'table' and name = '" + table + "'");
    if (schema.empty())
        throw std::runtime_error(database.string() + " has no table " + table);
    db::testing::TempDir scratch;
    const std::string connection = db::testing::SqliteConnectionString(scratch / "kept.db");
    std::vector<std::string> script{schema.front().front()};
    for (const auto& statement : statements)
        script.push_back(statement.statement);
    db::testing::Exec(connection, script);
    return db::testing::Query(connection, "select * from " + table + " order by rowid");
}

} // namespace

ReplayOutcome CheckReplay(const ReplayFiles& files) {
    ReplayOutcome outcome;
    auto fault = [&](std::string text) { outcome.faults.push_back(std::move(text)); };
    const auto kept = buffer::ReadJournalStatements(files.kept_journal);
    outcome.kept = kept.size();
    outcome.left = Waiting(files.journal);
    const Rows rows = db::testing::Query(db::testing::SqliteConnectionString(files.database),
                                         "select * from " + files.table + " order by rowid");
    outcome.rows = rows.size();
    if (kept.empty())
        fault("the copy of sql.dat taken before the replay holds no statement");
    if (outcome.left != 0)
        fault(std::to_string(outcome.left) + " statements are still waiting in sql.dat after the replay");
    if (outcome.rows != outcome.kept + files.queued)
        fault(std::to_string(outcome.rows) + " rows after the replay, " + std::to_string(outcome.kept) +
              " kept and " + std::to_string(files.queued) +
              " new statements: some were lost or written twice");
    if (kept.empty())
        return outcome;

    // Each kept statement's row is in the table exactly as often as the kept statements make it.
    const Rows expected = RowsOfStatements(files.database, files.table, kept);
    std::map<std::vector<std::string>, long> balance;
    for (const auto& row : expected)
        ++balance[row];
    for (const auto& row : rows)
        if (auto found = balance.find(row); found != balance.end())
            --found->second;
    for (const auto& [row, missing] : balance) {
        if (missing > 0)
            fault("a kept row never arrived: " + RowText(row));
        else if (missing < 0)
            fault("a kept row arrived " + std::to_string(1 - missing) + " times: " + RowText(row));
    }
    // ... and the replay comes before anything the run recorded of its own, in the order it was kept.
    if (rows.size() >= expected.size() && !std::equal(expected.begin(), expected.end(), rows.begin()))
        fault("the kept rows are not the first rows of the table, in the order they were kept");
    return outcome;
}

std::optional<std::size_t> QueuedFromLog(const std::filesystem::path& log) {
    std::ifstream in(log, std::ios::binary);
    static const std::regex kProgress(R"(^queued (\d+) )");
    std::optional<std::size_t> queued;
    std::string line;
    std::smatch match;
    while (std::getline(in, line))
        if (std::regex_search(line, match, kProgress))
            queued = std::stoul(match[1].str());
    return queued;
}

} // namespace tagsink::testing
