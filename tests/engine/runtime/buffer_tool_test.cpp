// tagsink-buffer's work on real files and a real SQLite database: only uncommitted journal statements
// are shown, reasons stay with put-aside statements, the script runs in the sqlite3 shell, and replays
// execute what the database takes and keep the rest.
#include "buffer_tool.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tagsink {
namespace {

using tagsink::db::testing::TempDir;

class BufferTool : public ::testing::Test {
protected:
    BufferTool() {
        tagsink::db::testing::Exec(conn_, {"create table T (id integer primary key autoincrement, S text)"});
        Journal journal(dir_ / "sql.dat");
        journal.Open();
        std::vector<std::uint64_t> ends;
        journal.Append({"Insert Into T (S) values('done')", "Insert Into T (S) values('it''s')",
                        "Insert Into T (S) values('two\nlines')"},
                       ends);
        journal.Mark(ends[0], true); // the first one was committed
        AppendRejected(dir_ / "sql.rejected", "Insert Into T (S) values('again')", "2026-01-02 03:04:05",
                       "database is locked");
        AppendRejected(dir_ / "sql.rejected", "Insert Into Missing (S) values('x')", "2026-01-02 03:04:06",
                       "no such table: Missing");
    }

    std::vector<std::string> Rows() {
        std::vector<std::string> texts;
        for (auto& row : tagsink::db::testing::Query(conn_, "select S from T order by id"))
            texts.push_back(row[0]);
        return texts;
    }

    TempDir dir_;
    std::string conn_ = tagsink::db::testing::SqliteConnectionString(dir_ / "db.sqlite");
};

TEST_F(BufferTool, ListsOnlyWhatIsNotCommittedAndKeepsReasons) {
    auto journal = buffer::ReadJournalStatements(dir_ / "sql.dat");
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].statement, "Insert Into T (S) values('it''s')");
    EXPECT_EQ(journal[1].statement, "Insert Into T (S) values('two\nlines')");
    auto rejected = buffer::ReadRejected(dir_ / "sql.rejected");
    ASSERT_EQ(rejected.size(), 2u);
    EXPECT_EQ(rejected[0].statement, "Insert Into T (S) values('again')");
    EXPECT_EQ(rejected[0].reason, "2026-01-02 03:04:05 rejected: database is locked");
    EXPECT_EQ(rejected[1].reason, "2026-01-02 03:04:06 rejected: no such table: Missing");
}

TEST_F(BufferTool, ScriptRunsInTheDatabaseShell) {
    std::ostringstream text;
    buffer::WriteScript(text, buffer::ReadJournalStatements(dir_ / "sql.dat"));
    buffer::WriteScript(text, {buffer::ReadRejected(dir_ / "sql.rejected")[0]});
    {
        std::ofstream out(dir_ / "script.sql", std::ios::binary);
        out << text.str();
    }
    std::string command =
        "sqlite3 '" + (dir_ / "db.sqlite").string() + "' < '" + (dir_ / "script.sql").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << text.str();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"it's", "two\nlines", "again"}));
    EXPECT_NE(text.str().find("-- 2026-01-02 03:04:05 rejected: database is locked\n"), std::string::npos);
}

TEST_F(BufferTool, ReplaysExecuteWhatTheDatabaseTakesAndKeepTheRest) {
    buffer::ReplayResult journal = buffer::ReplayJournal(dir_ / "sql.dat", conn_, 20);
    EXPECT_EQ(journal.executed, 2u);
    EXPECT_TRUE(journal.last_error.empty()) << journal.last_error;
    EXPECT_TRUE(buffer::ReadJournalStatements(dir_ / "sql.dat").empty());

    buffer::ReplayResult rejected = buffer::ReplayRejected(dir_ / "sql.rejected", conn_);
    EXPECT_EQ(rejected.executed, 1u);
    EXPECT_EQ(rejected.failed, 1u);
    auto left = buffer::ReadRejected(dir_ / "sql.rejected");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].statement, "Insert Into Missing (S) values('x')");
    EXPECT_NE(left[0].reason.find("no such table"), std::string::npos) << left[0].reason;
    EXPECT_EQ(Rows(), (std::vector<std::string>{"it's", "two\nlines", "again"}));
}

} // namespace
} // namespace tagsink
