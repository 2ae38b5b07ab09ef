// Statement lists: which statements may travel joined in one driver call, and the recorder sending its
// batches so against real databases (PostgreSQL and MariaDB take lists, SQLite's driver does not): the
// table, "sql.rejected" and the progress row end up exactly as with one call per statement.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/recorder.hpp"
#include "engine/runtime/statement_list.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tagsink {
namespace {

using tagsink::db::testing::TempDir;
using tagsink::testing::RecordingReporter;

TEST(CanJoinStatementList, TakesWholeStatementsWithQuotedTexts) {
    EXPECT_TRUE(CanJoinStatementList("Insert Into T (A,B) values(1,'x')"));
    EXPECT_TRUE(CanJoinStatementList("Insert Into T (A) values('a;b -- c /* d')")); // all inside quotes
    EXPECT_TRUE(CanJoinStatementList("Insert Into T (A) values('O''Brien')"));
    EXPECT_TRUE(CanJoinStatementList("Update \"T;1\" set A=5  where K='k'"));
    EXPECT_TRUE(CanJoinStatementList("Insert Into T (A) values(3-2)"));
    EXPECT_TRUE(CanJoinStatementList("Insert Into T (A) values(6/2)"));
}

TEST(CanJoinStatementList, RefusesWhatCouldRunIntoItsNeighbour) {
    EXPECT_FALSE(CanJoinStatementList(""));
    EXPECT_FALSE(CanJoinStatementList("  \r\n"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values('open")); // a text left open
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values('it''s"));
    EXPECT_FALSE(CanJoinStatementList("Update \"T set A=1"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values(1); delete from T"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values(1) -- a comment"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values(1) /* open"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values(1) # a MySQL comment"));
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values($$a$$)"));       // a dollar quote
    EXPECT_FALSE(CanJoinStatementList("Insert Into T (A) values('C:\\dir\\')")); // a backslash escape
    EXPECT_FALSE(CanJoinStatementList(std::string_view("Insert Into T (A) values(1)\0x", 30)));
}

// Counts the driver calls of a real connection.
class CountingConnection final : public DbConnection, public db::Transactions {
public:
    void SetConnectionString(std::string_view text) override { inner.SetConnectionString(text); }
    std::string ConnectionString() const override { return inner.ConnectionString(); }
    bool IsConnected() const override { return inner.IsConnected(); }
    void Open(std::chrono::seconds timeout) override { inner.Open(timeout); }
    void Execute(std::string_view statement) override {
        ++calls;
        inner.Execute(statement);
    }
    void Close() noexcept override { inner.Close(); }
    std::vector<std::string> ListTables() override { return inner.ListTables(); }
    std::vector<std::string> ListProcedures() override { return inner.ListProcedures(); }
    std::vector<std::string> ListFields(std::string_view table) override { return inner.ListFields(table); }
    std::vector<ProcParameter> ListProcedureParameters(std::string_view procedure) override {
        return inner.ListProcedureParameters(procedure);
    }
    bool SupportsTransactions() override { return inner.SupportsTransactions(); }
    void Begin() override { inner.Begin(); }
    void Commit() override { inner.Commit(); }
    void Rollback() noexcept override { inner.Rollback(); }
    std::vector<std::vector<std::string>> QueryRows(std::string_view sql) override {
        return inner.QueryRows(sql);
    }
    bool AcceptsStatementLists() override { return inner.AcceptsStatementLists(); }

    db::OdbcConnection inner;
    std::size_t calls = 0;
};

struct Outcome {
    std::vector<std::string> rows;
    std::string rejected;
    std::string committed_to;
    std::size_t calls = 0;
    bool lists = false;
};

constexpr int kCount = 1200;   // three batches of 500, 500 and 200
constexpr int kRefused = 1150; // a syntax error in the last batch
constexpr int kAlone = 400;    // a statement with a comment, which goes in a call of its own

// Records kCount statements into a fresh table and reads back what the database and the files hold.
Outcome Record(const std::string& conn, const std::string& table, bool statement_lists) {
    TempDir dir;
    tagsink::db::testing::Exec(conn, {"create table " + table + " (n integer not null, t varchar(40))",
                                      "drop table if exists tagsink_journal"});
    auto counting = std::make_unique<CountingConnection>();
    CountingConnection* db = counting.get();
    TServer server(std::move(counting));
    server.SetDBString(conn);
    ManualClock clock{1000};
    RecordingReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.buffer_file = dir / "sql.dat";
    options.statement_lists = statement_lists;
    // The call counts below need fixed batches: while the journal's flush runs, a batch without lists
    // grows past its size by as much as the flush takes.
    options.overlap_journal_flush = false;
    for (int i = 0; i < kCount; ++i) {
        std::string statement = "Insert Into " + table + " (n,t) values(" + std::to_string(i) + ",'a;b''" +
                                std::to_string(i) + "')";
        if (i == kRefused)
            statement = "Insert Into " + table + " (n,t) values(" + std::to_string(i) + " 'broken')";
        if (i == kAlone)
            statement += " -- alone";
        QueueStatement(server, statement);
    }
    Outcome outcome;
    {
        Recorder recorder(server, clock, reporter, stats, options);
        for (int pass = 0; pass < 20 && stats.executed.load() + stats.rejected.load() < kCount; ++pass)
            recorder.DoRecord();
        outcome.calls = db->calls;
        outcome.lists = db->AcceptsStatementLists();
        recorder.Finish();
    }
    for (const auto& row : tagsink::db::testing::Query(conn, "select n, t from " + table + " order by n"))
        outcome.rows.push_back(row[0] + "|" + row[1]);
    auto progress = tagsink::db::testing::Query(conn, "select committed_to from tagsink_journal");
    if (!progress.empty())
        outcome.committed_to = progress.front().front();
    std::ifstream rejected(dir / "sql.rejected");
    std::stringstream text;
    text << rejected.rdbuf();
    outcome.rejected = text.str();
    tagsink::db::testing::Exec(conn, {"drop table " + table});
    return outcome;
}

void ExpectSameOutcome(const std::string& conn, bool lists_expected) {
    // One table name for both: the journal positions compared below count the statements' bytes.
    const std::string table = tagsink::db::testing::UniqueName("lists");
    const Outcome lists = Record(conn, table, true);
    const Outcome single = Record(conn, table, false);
    EXPECT_EQ(lists.lists, lists_expected);
    ASSERT_EQ(lists.rows.size(), static_cast<std::size_t>(kCount - 1));
    for (int i = 0, r = 0; i < kCount; ++i) {
        if (i == kRefused)
            continue;
        ASSERT_EQ(lists.rows[r++], std::to_string(i) + "|a;b'" + std::to_string(i));
    }
    EXPECT_EQ(lists.rows, single.rows);
    EXPECT_NE(lists.rejected.find("values(1150 'broken')"), std::string::npos) << lists.rejected;
    EXPECT_EQ(lists.rejected.find("values(1149"), std::string::npos) << "only the refused statement";
    EXPECT_EQ(lists.rejected.find("values(1151"), std::string::npos) << "only the refused statement";
    // The reject file's lines differ only in their time stamps.
    EXPECT_EQ(std::count(lists.rejected.begin(), lists.rejected.end(), '\n'),
              std::count(single.rejected.begin(), single.rejected.end(), '\n'));
    EXPECT_FALSE(lists.committed_to.empty());
    EXPECT_EQ(lists.committed_to, single.committed_to);
    if (lists_expected) {
        // One batch of 500 in a handful of calls (the comment goes alone, splitting the list), then the
        // refused batch one statement at a time, against one call per statement without lists.
        EXPECT_LT(lists.calls + 400, single.calls)
            << lists.calls << " calls with lists, " << single.calls << " without";
    } else {
        EXPECT_EQ(lists.calls, single.calls);
    }
}

TEST(StatementLists, PostgresStoresExactlyWhatSingleCallsStore) {
    auto conn = tagsink::db::testing::PostgresConnectionString();
    if (!conn) {
        if (tagsink::db::testing::RunningInCi())
            FAIL() << "TAGSINK_PG_CONN is needed in CI";
        GTEST_SKIP() << "TAGSINK_PG_CONN is not set";
    }
    ExpectSameOutcome(*conn, true);
}

TEST(StatementLists, MariadbStoresExactlyWhatSingleCallsStore) {
    auto conn = tagsink::db::testing::MariadbConnectionString();
    if (!conn) {
        if (tagsink::db::testing::RunningInCi())
            FAIL() << "TAGSINK_MARIADB_CONN is needed in CI";
        GTEST_SKIP() << "TAGSINK_MARIADB_CONN is not set";
    }
    ExpectSameOutcome(*conn, true);
}

TEST(StatementLists, SqliteDriverTakesOneStatementPerCall) {
    TempDir dir;
    ExpectSameOutcome(tagsink::db::testing::SqliteConnectionString(dir / "lists.db"), false);
}

TEST(StatementLists, MariadbOptionsOfTheOperatorStand) {
    auto conn = tagsink::db::testing::MariadbConnectionString();
    if (!conn)
        GTEST_SKIP() << "TAGSINK_MARIADB_CONN is not set";
    db::OdbcConnection own_options;
    own_options.SetConnectionString(*conn + ";Option=0;");
    own_options.Open(std::chrono::seconds(10));
    EXPECT_FALSE(own_options.AcceptsStatementLists());
    db::OdbcConnection asked;
    asked.SetConnectionString(*conn);
    asked.Open(std::chrono::seconds(10));
    EXPECT_TRUE(asked.AcceptsStatementLists());
}

} // namespace
} // namespace tagsink
