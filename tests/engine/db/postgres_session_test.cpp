// A PostgreSQL session whose standard_conforming_strings was turned off (here by the connection's options)
// reads backslashes in literals as escapes; the connection turns it on again before any statement runs.
#include "engine/db/odbc_connection.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using tagsink::testing::Exec;
using tagsink::testing::Query;
using tagsink::testing::UniqueName;

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

} // namespace
} // namespace tagsink::db
