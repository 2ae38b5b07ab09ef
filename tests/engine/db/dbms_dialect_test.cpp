// Finding the database product from the driver's DBMS name, and the sql_mode that makes MySQL and MariaDB
// read string literals as the standard says.
#include "engine/db/dbms_dialect.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

struct ProductCase {
    const char* dbmsName;
    DbmsProduct product;
    bool backslashEscapes;
};

class DbmsProducts : public ::testing::TestWithParam<ProductCase> {};

TEST_P(DbmsProducts, AreFoundByTheDriversName) {
    EXPECT_EQ(DbmsProductOf(GetParam().dbmsName), GetParam().product) << GetParam().dbmsName;
    EXPECT_EQ(ReadsBackslashEscapes(DbmsProductOf(GetParam().dbmsName)), GetParam().backslashEscapes);
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

} // namespace
} // namespace tagsink::db
