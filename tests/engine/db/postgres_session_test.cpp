// A PostgreSQL session whose standard_conforming_strings was turned off (here by the connection's options)
// reads backslashes in literals as escapes; the connection turns it on again before any statement runs.
// A refused statement inside a transaction rolls the whole transaction back (the engine never goes on in
// one), so the driver sends no savepoint per statement; a rollback level in the connection string stands.
#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::Exec;
using tagsink::db::testing::Query;
using tagsink::db::testing::UniqueName;

TEST(PostgresSession, ReadsBackslashesAsTextEvenWhenTheServerSaidOtherwise) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string off = pg + "Pqopt={options=-cstandard_conforming_strings=off};";
    // The option really reaches the server: a plain session of the test's own has it off.
    ASSERT_EQ(Query(off, "show standard_conforming_strings")[0][0], "off");

    const std::string table = UniqueName("pgs");
    Exec(pg, {"create table " + table + " (id serial primary key, s varchar(60))"});
    OdbcConnection connection;
    connection.SetConnectionString(off);
    connection.Open(10s);
    connection.Execute("Insert Into " + table + " (s) values('C:\\dir\\')");
    connection.Execute("Insert Into " + table + " (s) values('x\\'',NULL)--')");
    connection.Execute("Insert Into " + table + " (s) select current_setting('standard_conforming_strings')");
    auto rows = Query(pg, "select s from " + table + " order by id");
    Exec(pg, {"drop table " + table});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "C:\\dir\\");
    EXPECT_EQ(rows[1][0], "x\\',NULL)--");
    EXPECT_EQ(rows[2][0], "on");
}

// Runs insert 1, a refused statement and insert 2 in one transaction and returns the numbers committed.
std::vector<std::string> AfterARefusalInATransaction(const std::string& conn) {
    const std::string table = UniqueName("pgr");
    Exec(conn, {"create table " + table + " (id serial primary key, n integer)"});
    OdbcConnection connection;
    connection.SetConnectionString(conn);
    connection.Open(10s);
    connection.Begin();
    connection.Execute("Insert Into " + table + " (n) values(1)");
    EXPECT_THROW(connection.Execute("Insert Into " + table + " (n) values('not a number')"), DbFailure);
    try {
        connection.Execute("Insert Into " + table + " (n) values(2)");
        connection.Commit();
    } catch (const DbFailure&) {
        connection.Rollback();
    }
    connection.Close();
    std::vector<std::string> numbers;
    for (const auto& row : Query(conn, "select n from " + table + " order by id"))
        numbers.push_back(row[0]);
    Exec(conn, {"drop table " + table});
    return numbers;
}

TEST(PostgresSession, ARefusedStatementRollsTheTransactionBackUnlessTheStringSaysOtherwise) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    EXPECT_EQ(AfterARefusalInATransaction(pg), std::vector<std::string>{"2"})
        << "insert 1 went with the transaction; insert 2 ran in a new one";
    EXPECT_EQ(AfterARefusalInATransaction(pg + "Protocol=7.4-2;"), (std::vector<std::string>{"1", "2"}))
        << "with the statement level asked for, the driver keeps the rest of the transaction";
}

} // namespace
} // namespace tagsink::db
