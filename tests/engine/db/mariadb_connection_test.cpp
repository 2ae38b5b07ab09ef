// The ODBC connection against the MariaDB server of the test run (TAGSINK_MARIADB_CONN) through its ODBC
// driver: the session reads literals as the standard says, whatever else its SQL mode holds.
#include "engine/db/db_failure.hpp"
#include "engine/db/dbms_dialect.hpp"
#include "engine/db/odbc_connection.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <set>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::Exec;
using tagsink::db::testing::Query;
using tagsink::db::testing::UniqueName;

// The flags of an sql_mode value, in any order.
std::set<std::string> Flags(const std::string& mode) {
    std::set<std::string> flags;
    size_t start = 0;
    while (start <= mode.size()) {
        size_t comma = mode.find(',', start);
        if (comma == std::string::npos)
            comma = mode.size();
        if (comma > start)
            flags.insert(mode.substr(start, comma - start));
        start = comma + 1;
    }
    return flags;
}

class MariadbConnection : public ::testing::Test {
protected:
    void SetUp() override {
        auto conn = tagsink::db::testing::MariadbConnectionString();
        if (!conn) {
            if (tagsink::db::testing::RunningInCi())
                FAIL() << "TAGSINK_MARIADB_CONN is not set, but CI=true requires the MariaDB tests to run";
            GTEST_SKIP() << "TAGSINK_MARIADB_CONN is not set";
        }
        conn_ = *conn;
        table_ = UniqueName("mdb");
        Exec(conn_, {"create table " + table_ + " (id integer auto_increment primary key, s varchar(600))"});
    }
    void TearDown() override {
        if (!table_.empty())
            Exec(conn_, {"drop table if exists " + table_});
    }

    // What the connection's own session says its sql_mode is (written into the table, read back apart).
    std::string ModeOf(OdbcConnection& connection) {
        connection.Execute("delete from " + table_);
        connection.Execute("insert into " + table_ + " (s) select @@SESSION.sql_mode");
        auto rows = Query(conn_, "select s from " + table_);
        return rows.size() == 1 ? rows[0][0] : std::string("<no row>");
    }

    std::string conn_;
    std::string table_;
};

TEST_F(MariadbConnection, IsFoundAsMariadbAndReadsBackslashesAsText) {
    OdbcConnection connection;
    connection.SetConnectionString(conn_);
    connection.Open(10s);
    EXPECT_EQ(connection.DbmsName(), "MariaDB");
    EXPECT_EQ(DbmsProductOf(connection.DbmsName()), DbmsProduct::MariaDB);
    const std::string mode = ModeOf(connection);
    EXPECT_TRUE(SqlModeHas(mode, kNoBackslashEscapes)) << mode;
    // The server's default flags stay.
    EXPECT_TRUE(SqlModeHas(mode, "STRICT_TRANS_TABLES")) << mode;
    EXPECT_TRUE(SqlModeHas(mode, "NO_ENGINE_SUBSTITUTION")) << mode;

    connection.Execute("delete from " + table_);
    connection.Execute("Insert Into " + table_ + " (s) values('C:\\dir\\')");
    connection.Execute("Insert Into " + table_ + " (s) values('a\\nb\\''')");
    auto rows = Query(conn_, "select s from " + table_ + " order by id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "C:\\dir\\");
    EXPECT_EQ(rows[1][0], "a\\nb\\'");
}

TEST_F(MariadbConnection, KeepsTheOtherFlagsOfTheSessionsMode) {
    OdbcConnection connection;
    connection.SetConnectionString(
        conn_ + "InitStmt={SET SESSION sql_mode='PIPES_AS_CONCAT,ONLY_FULL_GROUP_BY,STRICT_ALL_TABLES'};");
    connection.Open(10s);
    // The server lists the flags in an order of its own.
    EXPECT_EQ(Flags(ModeOf(connection)),
              Flags("PIPES_AS_CONCAT,ONLY_FULL_GROUP_BY,STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES"));
    // The other flags still act: || concatenates under PIPES_AS_CONCAT.
    connection.Execute("delete from " + table_);
    connection.Execute("Insert Into " + table_ + " (s) values('a' || '\\')");
    EXPECT_EQ(Query(conn_, "select s from " + table_)[0][0], "a\\");
}

TEST_F(MariadbConnection, LeavesAModeThatHasTheFlagAsItIs) {
    OdbcConnection connection;
    connection.SetConnectionString(conn_ +
                                   "InitStmt={SET SESSION sql_mode='NO_BACKSLASH_ESCAPES,ANSI_QUOTES'};");
    connection.Open(10s);
    EXPECT_EQ(Flags(ModeOf(connection)), Flags("ANSI_QUOTES,NO_BACKSLASH_ESCAPES"));
}

TEST_F(MariadbConnection, AnEmptyModeGetsTheFlagAlone) {
    OdbcConnection connection;
    connection.SetConnectionString(conn_ + "InitStmt={SET SESSION sql_mode=''};");
    connection.Open(10s);
    EXPECT_EQ(ModeOf(connection), "NO_BACKSLASH_ESCAPES");
}

TEST_F(MariadbConnection, EveryNewSessionIsSetUpAgain) {
    OdbcConnection connection;
    connection.SetConnectionString(conn_);
    for (int round = 0; round < 3; ++round) {
        connection.Open(10s);
        EXPECT_TRUE(SqlModeHas(ModeOf(connection), kNoBackslashEscapes)) << "round " << round;
        connection.Close();
    }
}

} // namespace
} // namespace tagsink::db
