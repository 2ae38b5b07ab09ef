// Which failures the record thread retries for ever (lost connection), retries for a while (refusals
// that can pass) or puts aside at once (syntax, data, constraints); and transactions on a real SQLite
// file: a rolled-back batch leaves nothing, a committed one everything.
#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

Refusal Of(DbFailureKind kind, const char* message, const char* state, long native = 0) {
    return ClassifyRefusal(DbFailure(kind, message, state, native));
}

TEST(Refusal, SortsFailuresByWhatWaitingCanChange) {
    constexpr auto kLost = DbFailureKind::ConnectionFailure;
    constexpr auto kRejected = DbFailureKind::StatementRejected;
    EXPECT_EQ(Of(kLost, "server closed the connection", "08S01"), Refusal::ConnectionLost);
    EXPECT_EQ(Of(kLost, "no message", ""), Refusal::ConnectionLost);
    EXPECT_EQ(Of(kLost, "terminating connection due to administrator command", "57P01"),
              Refusal::ConnectionLost);
    // the MariaDB connector's lost connection comes under "memory allocation error" or a general error
    EXPECT_EQ(Of(kLost, "Lost connection to server during query", "HY001", 2013), Refusal::ConnectionLost);
    EXPECT_EQ(Of(kLost, "Server has gone away", "HY001", 2006), Refusal::ConnectionLost);
    EXPECT_EQ(Of(kLost, "Can't connect to server on '127.0.0.1'", "HY000", 2002), Refusal::ConnectionLost);
    EXPECT_EQ(ClassifyFailure("HY000", 2006, false, false), DbFailureKind::ConnectionFailure);
    EXPECT_EQ(Of(kLost, "deadlock detected", "40P01"), Refusal::Passing);
    EXPECT_EQ(Of(kLost, "canceling statement due to statement timeout", "57014"), Refusal::Passing);
    EXPECT_EQ(Of(kLost, "database is locked", "HY000", 5), Refusal::Passing);
    EXPECT_EQ(Of(kLost, "attempt to write a readonly database", "HY000", 8), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "cannot execute INSERT in a read-only transaction", "25006"), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "relation \"t\" does not exist", "42P01"), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "column \"v\" does not exist", "42703"), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "permission denied for table t", "42501"), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "no such table: t", "HY000", 1), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "table t has no column named v: no such column", "HY000", 1), Refusal::Passing);
    EXPECT_EQ(Of(kRejected, "syntax error at or near \"x\"", "42601"), Refusal::Permanent);
    EXPECT_EQ(Of(kRejected, "near \"x\": syntax error", "HY000", 1), Refusal::Permanent);
    EXPECT_EQ(Of(kRejected, "duplicate key value violates unique constraint", "23505"), Refusal::Permanent);
    EXPECT_EQ(Of(kRejected, "invalid input syntax for type integer", "22P02"), Refusal::Permanent);
    EXPECT_EQ(Of(kRejected, "UNIQUE constraint failed: t.k", "HY000", 19), Refusal::Permanent);
    EXPECT_EQ(ClassifyRefusal(std::runtime_error("plain")), Refusal::ConnectionLost);
}

TEST(SqliteTransactions, RollbackLeavesNothingCommitLeavesEverything) {
    tagsink::db::testing::TempDir dir;
    const std::string conn = tagsink::db::testing::SqliteConnectionString(dir / "t.db");
    tagsink::db::testing::Exec(conn, {"create table T (N integer)"});
    OdbcConnection db;
    db.SetConnectionString(conn);
    db.Open(std::chrono::seconds(5));
    ASSERT_TRUE(db.SupportsTransactions());
    db.Begin();
    db.Execute("insert into T values (1)");
    db.Execute("insert into T values (2)");
    db.Rollback();
    EXPECT_TRUE(db.QueryRows("select N from T").empty());
    db.Begin();
    db.Execute("insert into T values (3)");
    EXPECT_THROW(db.Execute("insert into Nowhere values (4)"), DbFailure);
    db.Execute("insert into T values (5)");
    db.Commit();
    db.Execute("insert into T values (6)"); // autocommit again after the commit
    db.Close();
    auto rows = tagsink::db::testing::Query(conn, "select N from T order by N");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "3");
    EXPECT_EQ(rows[1][0], "5");
    EXPECT_EQ(rows[2][0], "6");
}

} // namespace
} // namespace tagsink::db
