// The ODBC connection against a real SQLite file through the SQLite3 ODBC driver.
#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "model/db_connection_factory.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::Query;
using tagsink::db::testing::TempDir;

class SqliteConnection : public ::testing::Test {
protected:
    void SetUp() override {
        conn_ = tagsink::db::testing::SqliteConnectionString(dir_ / "test.db");
        connection_.SetConnectionString(conn_);
    }

    DbFailure ExecuteFailure(const std::string& statement) {
        try {
            connection_.Execute(statement);
        } catch (const DbFailure& failure) {
            return failure;
        }
        ADD_FAILURE() << "no failure for " << statement;
        return DbFailure(DbFailureKind::ConnectionFailure, "none");
    }

    TempDir dir_;
    std::string conn_;
    OdbcConnection connection_;
};

TEST_F(SqliteConnection, StartsClosedAndOpensWithTheConnectionString) {
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(connection_.ConnectionString(), conn_);
    connection_.Open(10s);
    EXPECT_TRUE(connection_.IsConnected());
    EXPECT_EQ(connection_.DbmsName().substr(0, 6), "SQLite");
    connection_.Open(10s); // already open: nothing happens
    EXPECT_TRUE(connection_.IsConnected());
    connection_.Close();
    EXPECT_FALSE(connection_.IsConnected());
    connection_.Close(); // harmless when closed
}

TEST_F(SqliteConnection, ExecutesStatementsAndDiscardsRows) {
    connection_.Open(10s);
    connection_.Execute("create table T1 (DT text, V1 real, V2 integer)");
    connection_.Execute("Insert Into T1 (DT,V1,V2) values('2026-12-09 05:30:00',1.5,7)");
    connection_.Execute("select * from T1");                // rows are discarded
    connection_.Execute("Update T1 set V2=8  where V2=99"); // touches no row: not a failure
    connection_.Execute("Insert Into T1 (DT,V1,V2) values('中文',2,3)");
    auto rows = Query(conn_, "select DT, V1, V2 from T1 order by rowid");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"2026-12-09 05:30:00", "1.5", "7"}));
    EXPECT_EQ(rows[1][0], "中文");
}

TEST_F(SqliteConnection, RejectedStatementsCarryTheDriversDiagnostics) {
    connection_.Open(10s);
    connection_.Execute("create table K (Id integer primary key, V integer not null)");
    DbFailure missing = ExecuteFailure("Insert Into Nowhere (A) values(1)");
    EXPECT_EQ(missing.Kind(), DbFailureKind::StatementRejected);
    EXPECT_EQ(missing.SqlState(), "HY000");
    EXPECT_EQ(missing.NativeCode(), 1);
    EXPECT_NE(std::string(missing.what()).find("no such table"), std::string::npos) << missing.what();

    DbFailure syntax = ExecuteFailure("Update K set  where Id=1");
    EXPECT_EQ(syntax.Kind(), DbFailureKind::StatementRejected);

    connection_.Execute("Insert Into K (Id,V) values(1,1)");
    DbFailure duplicate = ExecuteFailure("Insert Into K (Id,V) values(1,2)");
    EXPECT_EQ(duplicate.Kind(), DbFailureKind::StatementRejected);
    EXPECT_EQ(duplicate.NativeCode() & 0xff, 19);
    EXPECT_TRUE(connection_.IsConnected()) << "a rejected statement leaves the connection usable";
    connection_.Execute("Insert Into K (Id,V) values(2,2)");
}

TEST_F(SqliteConnection, LockedDatabaseIsAConnectionFailure) {
    connection_.SetConnectionString("Driver={SQLite3};Database=" + (dir_ / "test.db").string() +
                                    ";Timeout=100;");
    connection_.Open(10s);
    connection_.Execute("create table L (A integer)");
    OdbcConnection holder;
    holder.SetConnectionString(conn_);
    holder.Open(10s);
    holder.Execute("begin exclusive");
    DbFailure busy = ExecuteFailure("Insert Into L (A) values(1)");
    EXPECT_EQ(busy.Kind(), DbFailureKind::ConnectionFailure) << DescribeFailure(busy);
    holder.Execute("commit");
    connection_.Execute("Insert Into L (A) values(1)");
}

TEST_F(SqliteConnection, UnopenableDatabaseFailsToOpenAndStaysClosed) {
    connection_.SetConnectionString("Driver={SQLite3};Database=" + (dir_ / "missing" / "x.db").string() +
                                    ";NoCreat=1;");
    EXPECT_THROW(connection_.Open(10s), DbFailure);
    EXPECT_FALSE(connection_.IsConnected());

    connection_.SetConnectionString("Driver={NoSuchDriver};Database=x;");
    try {
        connection_.Open(10s);
        FAIL() << "an unknown driver opened";
    } catch (const DbFailure& failure) {
        EXPECT_EQ(failure.Kind(), DbFailureKind::ConnectionFailure);
        EXPECT_FALSE(failure.SqlState().empty());
        EXPECT_FALSE(std::string(failure.what()).empty());
    }
    EXPECT_FALSE(connection_.IsConnected());
}

TEST_F(SqliteConnection, ExecuteWhileClosedFails) {
    try {
        connection_.Execute("select 1");
        FAIL();
    } catch (const DbFailure& failure) {
        EXPECT_EQ(failure.Kind(), DbFailureKind::ConnectionFailure);
        EXPECT_STREQ(failure.what(), "The database connection is not open");
    }
}

TEST_F(SqliteConnection, IsUsableFromAnotherThreadThanItsCreator) {
    auto created = std::make_unique<OdbcConnection>();
    created->SetConnectionString(conn_);
    std::thread worker([&] {
        created->Open(10s);
        created->Execute("create table Th (A integer)");
        created->Execute("Insert Into Th (A) values(42)");
    });
    worker.join();
    created->Execute("Insert Into Th (A) values(43)"); // and back on the creating thread
    std::thread closer([&] { created.reset(); });
    closer.join();
    EXPECT_EQ(Query(conn_, "select count(*) from Th")[0][0], "2");
}

TEST_F(SqliteConnection, ListsTablesAndViewsWithoutSystemTables) {
    connection_.Open(10s);
    connection_.Execute(
        "create table Alpha (Id integer primary key autoincrement, V real)"); // makes sqlite_sequence
    connection_.Execute("create table Beta (X text)");
    connection_.Execute("create view Gamma as select V from Alpha");
    auto tables = connection_.ListTables();
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
}

TEST_F(SqliteConnection, ListsColumnsInTableOrder) {
    connection_.Open(10s);
    connection_.Execute("create table Wide (Zeta integer, Alpha text, Mid_1 real, Beta integer)");
    connection_.Execute(
        "create table WideX1 (Other integer)"); // would match the pattern "Wide_1"-style names
    connection_.Execute("create table Mid_1 (A integer)");
    connection_.Execute("create table MidX1 (B integer)");
    EXPECT_EQ(connection_.ListFields("Wide"), (std::vector<std::string>{"Zeta", "Alpha", "Mid_1", "Beta"}));
    EXPECT_EQ(connection_.ListFields("Mid_1"), (std::vector<std::string>{"A"}))
        << "an underscore in a table name is a letter, not a wildcard";
    try {
        connection_.ListFields("Missing");
        FAIL();
    } catch (const DbFailure& failure) {
        EXPECT_STREQ(failure.what(), "Table 'Missing' was not found");
    }
}

// Puts the default factory back when the test ends, however it ends (a failed assertion or an
// exception included), so no later test runs with this test's factory.
class DefaultFactoryOnExit {
public:
    DefaultFactoryOnExit() = default;
    DefaultFactoryOnExit(const DefaultFactoryOnExit&) = delete;
    DefaultFactoryOnExit& operator=(const DefaultFactoryOnExit&) = delete;
    ~DefaultFactoryOnExit() { SetDbConnectionFactory({}); }
};

TEST_F(SqliteConnection, InstalledFactoryMakesOdbcConnections) {
    {
        DefaultFactoryOnExit restore;
        InstallOdbcConnectionFactory();
        auto made = CreateDbConnection();
        ASSERT_NE(dynamic_cast<OdbcConnection*>(made.get()), nullptr);
        made->SetConnectionString(conn_);
        made->Open(10s);
        made->Execute("create table F (A integer)");
        EXPECT_TRUE(made->IsConnected());
    }
    // Restored: the default connection refuses to open and says why.
    auto fallback = CreateDbConnection();
    EXPECT_EQ(dynamic_cast<OdbcConnection*>(fallback.get()), nullptr);
    fallback->SetConnectionString(conn_);
    try {
        fallback->Open(1s);
        ADD_FAILURE() << "the default connection opened";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), kNoDatabaseAccessMessage);
    }
}

} // namespace
} // namespace tagsink::db
