// Finding the database product from the driver's DBMS name, and the sql_mode that makes MySQL and MariaDB
// read string literals as the standard says; the connection-string value reader and the rollback level
// asked of the PostgreSQL driver.
#include "engine/db/dbms_dialect.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

struct ProductCase {
    const char* dbms_name;
    DbmsProduct product;
    bool backslash_escapes;
};

class DbmsProducts : public ::testing::TestWithParam<ProductCase> {};

TEST_P(DbmsProducts, AreFoundByTheDriversName) {
    EXPECT_EQ(DbmsProductOf(GetParam().dbms_name), GetParam().product) << GetParam().dbms_name;
    EXPECT_EQ(ReadsBackslashEscapes(DbmsProductOf(GetParam().dbms_name)), GetParam().backslash_escapes);
}

INSTANTIATE_TEST_SUITE_P(Names, DbmsProducts,
                         ::testing::Values(ProductCase{"MariaDB", DbmsProduct::MariaDB, true},
                                           ProductCase{"mariadb", DbmsProduct::MariaDB, true},
                                           ProductCase{"MySQL", DbmsProduct::MySQL, true},
                                           ProductCase{" MySQL ", DbmsProduct::MySQL, true},
                                           ProductCase{"SQLite", DbmsProduct::SQLite, false},
                                           ProductCase{"PostgreSQL", DbmsProduct::PostgreSQL, false},
                                           ProductCase{"Microsoft SQL Server", DbmsProduct::Other, false},
                                           ProductCase{"", DbmsProduct::Other, false}));

struct ModeCase {
    const char* before;
    const char* after;
};

class NoBackslashEscapesMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(NoBackslashEscapesMode, IsAddedKeepingEveryOtherFlag) {
    EXPECT_EQ(WithNoBackslashEscapes(GetParam().before), GetParam().after);
    EXPECT_TRUE(SqlModeHas(WithNoBackslashEscapes(GetParam().before), kNoBackslashEscapes));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, NoBackslashEscapesMode,
    ::testing::Values(ModeCase{"", "NO_BACKSLASH_ESCAPES"},
                      ModeCase{"STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_"
                               "SUBSTITUTION",
                               "STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_"
                               "SUBSTITUTION,NO_BACKSLASH_ESCAPES"},
                      ModeCase{"PIPES_AS_CONCAT", "PIPES_AS_CONCAT,NO_BACKSLASH_ESCAPES"},
                      ModeCase{"ANSI_QUOTES,NO_BACKSLASH_ESCAPES", "ANSI_QUOTES,NO_BACKSLASH_ESCAPES"},
                      ModeCase{"no_backslash_escapes", "no_backslash_escapes"}));

TEST(SqlModeFlags, AreWholeNamesNotParts) {
    EXPECT_TRUE(SqlModeHas("A,NO_BACKSLASH_ESCAPES,B", "NO_BACKSLASH_ESCAPES"));
    EXPECT_FALSE(SqlModeHas("NO_BACKSLASH_ESCAPES_X", "NO_BACKSLASH_ESCAPES"));
    EXPECT_FALSE(SqlModeHas("X_NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES", "NO_BACKSLASH_ESCAPES"));
    EXPECT_FALSE(SqlModeHas("", "NO_BACKSLASH_ESCAPES"));
    EXPECT_EQ(WithNoBackslashEscapes("NO_BACKSLASH_ESCAPES_X"),
              "NO_BACKSLASH_ESCAPES_X,NO_BACKSLASH_ESCAPES");
}

struct ValueCase {
    const char* connection_string;
    const char* key;
    std::optional<std::string> value;
};

class ConnectionStringValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ConnectionStringValues, AreFoundByKeyInAnyLetterCase) {
    EXPECT_EQ(ConnectionStringValue(GetParam().connection_string, GetParam().key), GetParam().value)
        << GetParam().connection_string << " / " << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ConnectionStringValues,
    ::testing::Values(ValueCase{"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;", "Driver",
                                "PostgreSQL Unicode"},
                      ValueCase{"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;", "port", "5432"},
                      ValueCase{"DRIVER=SQLite3;Database=/tmp/a.db", "database", "/tmp/a.db"},
                      ValueCase{" Protocol = 7.4-2 ;Driver=x", "PROTOCOL", "7.4-2"},
                      ValueCase{"Pwd={a;b=c}}d};Protocol=7.4-0", "Pwd", "a;b=c}d"},
                      ValueCase{"Pwd={a;Protocol=7.4-2};Server=s", "Protocol", std::nullopt},
                      ValueCase{"Pwd={a;Protocol=7.4-2};Server=s", "Server", "s"},
                      ValueCase{"garbage;Uid=postgres", "Uid", "postgres"}, ValueCase{"Uid=;Pwd=", "Uid", ""},
                      ValueCase{"", "Driver", std::nullopt},
                      ValueCase{"MyProtocol=1;", "Protocol", std::nullopt}));

TEST(PostgresDriver, IsKnownByItsRegisteredNameOrLibrary) {
    EXPECT_TRUE(IsPostgresOdbcDriver("PostgreSQL Unicode"));
    EXPECT_TRUE(IsPostgresOdbcDriver("PostgreSQL ANSI(x64)"));
    EXPECT_TRUE(IsPostgresOdbcDriver("/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so"));
    EXPECT_TRUE(IsPostgresOdbcDriver("PSQLODBC35W.DLL"));
    EXPECT_FALSE(IsPostgresOdbcDriver("SQLite3"));
    EXPECT_FALSE(IsPostgresOdbcDriver("MariaDB Unicode"));
    EXPECT_FALSE(IsPostgresOdbcDriver(""));
}

TEST(PostgresDriver, RollbackLevelIsAddedUnlessTheStringChoosesOne) {
    EXPECT_EQ(WithPostgresRollbackLevel("Driver={PostgreSQL Unicode};Server=h;"),
              "Driver={PostgreSQL Unicode};Server=h;Protocol=7.4-1;");
    EXPECT_EQ(WithPostgresRollbackLevel("Driver={PostgreSQL Unicode};Server=h"),
              "Driver={PostgreSQL Unicode};Server=h;Protocol=7.4-1;");
    EXPECT_EQ(WithPostgresRollbackLevel("Driver={PostgreSQL Unicode};protocol=7.4-2;Server=h"),
              "Driver={PostgreSQL Unicode};protocol=7.4-2;Server=h")
        << "the operator's level stands";
    const std::string added = WithPostgresRollbackLevel("Driver={PostgreSQL Unicode};Pwd={x;Protocol=7.4-2}");
    EXPECT_EQ(ConnectionStringValue(added, "Protocol"), "7.4-1") << "a braced password is not a setting";
    EXPECT_EQ(ConnectionStringValue(added, "Pwd"), "x;Protocol=7.4-2");
}

} // namespace
} // namespace tagsink::db
