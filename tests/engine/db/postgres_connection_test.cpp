// The ODBC connection against the PostgreSQL server of the test run (TAGSINK_PG_CONN) through psqlODBC.
#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::Exec;
using tagsink::db::testing::Query;
using tagsink::db::testing::UniqueName;

DbFailure FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbFailure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return DbFailure(DbFailureKind::ConnectionFailure, "none");
}

bool Contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

TEST(PostgresConnection, ExecutesAndListsTheSchema) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string table = UniqueName("pgt");
    const std::string view = UniqueName("pgv");
    OdbcConnection connection;
    connection.SetConnectionString(pg);
    connection.Open(10s);
    EXPECT_EQ(connection.DbmsName(), "PostgreSQL");
    connection.Execute("create table " + table + " (zeta integer, alpha text, mid_1 double precision)");
    connection.Execute("create view " + view + " as select alpha from " + table);
    connection.Execute("Insert Into " + table + " (zeta,alpha,mid_1) values(1,'中文',1.5)");
    EXPECT_EQ(Query(pg, "select alpha from " + table)[0][0], "中文");

    auto tables = connection.ListTables();
    EXPECT_TRUE(Contains(tables, table));
    EXPECT_TRUE(Contains(tables, view));
    EXPECT_FALSE(Contains(tables, "pg_class")) << "system tables are left out";
    EXPECT_EQ(connection.ListFields(table), (std::vector<std::string>{"zeta", "alpha", "mid_1"}));
    EXPECT_EQ(connection.ListFields("public." + table), (std::vector<std::string>{"zeta", "alpha", "mid_1"}));
    connection.Execute("drop view " + view);
    connection.Execute("drop table " + table);
}

TEST(PostgresConnection, ListsProceduresAndTheirParameters) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string proc = UniqueName("pgp");
    OdbcConnection connection;
    connection.SetConnectionString(pg);
    connection.Open(10s);
    connection.Execute("create function " + proc +
                       "(k integer, dt text, v double precision) returns integer language sql as 'select k'");
    EXPECT_TRUE(Contains(connection.ListProcedures(), proc));
    auto parameters = connection.ListProcedureParameters(proc);
    std::vector<std::string> names;
    for (const ProcParameter& parameter : parameters)
        names.push_back(parameter.Name);
    ASSERT_GE(parameters.size(), 3u);
    EXPECT_TRUE(Contains(names, "k"));
    EXPECT_TRUE(Contains(names, "dt"));
    EXPECT_TRUE(Contains(names, "v"));
    auto k = std::find_if(parameters.begin(), parameters.end(), [](auto& p) { return p.Name == "k"; });
    EXPECT_EQ(k->Kind, ProcParameterKind::Input);
    EXPECT_EQ(std::count_if(parameters.begin(), parameters.end(),
                            [](auto& p) { return p.Kind == ProcParameterKind::ReturnValue; }),
              1)
        << "the return value is reported as the driver gives it";
    EXPECT_EQ(parameters.front().Name, kReturnValueName) << "an unnamed return value gets the usual name";
    connection.Execute("drop function " + proc);
}

TEST(PostgresConnection, RejectedStatementsKeepTheConnection) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string table = UniqueName("pgr");
    OdbcConnection connection;
    connection.SetConnectionString(pg);
    connection.Open(10s);
    connection.Execute("create table " + table + " (id integer primary key, v integer)");
    struct Case {
        std::string statement;
        std::string sql_state;
    };
    for (const Case& c : {Case{"Insert Into missing_table_x (a) values(1)", "42P01"},
                          Case{"Update " + table + " set  where id=1", "42601"},
                          Case{"Insert Into " + table + " (id,v) values('abc',1)", "22P02"}}) {
        DbFailure failure = FailureOf([&] { connection.Execute(c.statement); });
        EXPECT_EQ(failure.Kind(), DbFailureKind::StatementRejected) << DescribeFailure(failure);
        EXPECT_EQ(failure.SqlState(), c.sql_state) << failure.what();
        EXPECT_TRUE(connection.IsConnected());
    }
    connection.Execute("Insert Into " + table + " (id,v) values(1,1)");
    DbFailure duplicate =
        FailureOf([&] { connection.Execute("Insert Into " + table + " (id,v) values(1,1)"); });
    EXPECT_EQ(duplicate.SqlState(), "23505");
    EXPECT_EQ(duplicate.Kind(), DbFailureKind::StatementRejected);
    connection.Execute("drop table " + table);
}

TEST(PostgresConnection, TerminatedBackendIsAConnectionFailure) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string marker = UniqueName("victim");
    OdbcConnection connection;
    connection.SetConnectionString(pg + "pqopt={application_name=" + marker + "};");
    connection.Open(10s);
    connection.Execute("select 1");
    Query(pg,
          "select pg_terminate_backend(pid) from pg_stat_activity where application_name = '" + marker + "'");
    DbFailure lost = FailureOf([&] { connection.Execute("select 1"); });
    EXPECT_EQ(lost.Kind(), DbFailureKind::ConnectionFailure) << DescribeFailure(lost);
    connection.Close();
    connection.Open(10s);
    connection.Execute("select 1");
}

TEST(PostgresConnection, RefusedPortFailsQuickly) {
    OdbcConnection connection;
    connection.SetConnectionString(
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=postgres;Uid=x;");
    auto start = std::chrono::steady_clock::now();
    DbFailure refused = FailureOf([&] { connection.Open(10s); });
    EXPECT_EQ(refused.Kind(), DbFailureKind::ConnectionFailure);
    EXPECT_EQ(refused.SqlState().substr(0, 2), "08") << DescribeFailure(refused);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(connection.IsConnected());
}

// A server that accepts the TCP connection and never answers must not block the opener forever.
TEST(PostgresConnection, SilentServerTimesOutAtLogin) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    int port = ntohs(address.sin_port);

    OdbcConnection connection(OdbcOptions{std::chrono::seconds(2)});
    connection.SetConnectionString("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
                                   std::to_string(port) + ";Database=postgres;Uid=x;");
    auto start = std::chrono::steady_clock::now();
    DbFailure timed_out = FailureOf([&] { connection.Open(10s); });
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(timed_out.Kind(), DbFailureKind::ConnectionFailure);
    EXPECT_LT(took, 8s) << DescribeFailure(timed_out);
    close(listener);
}

} // namespace
} // namespace tagsink::db
