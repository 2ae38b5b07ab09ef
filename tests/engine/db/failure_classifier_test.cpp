#include "engine/db/db_failure.hpp"

#include <gtest/gtest.h>

namespace tagsink::db {
namespace {

struct ClassifierCase {
    const char* sql_state;
    long native;
    bool sqlite;
    bool dead;
    DbFailureKind expected;
};

class FailureClassifier : public ::testing::TestWithParam<ClassifierCase> {};

TEST_P(FailureClassifier, TellsLostConnectionsFromRejectedStatements) {
    const ClassifierCase& c = GetParam();
    EXPECT_EQ(ClassifyFailure(c.sql_state, c.native, c.sqlite, c.dead), c.expected)
        << c.sql_state << " native " << c.native << (c.sqlite ? " sqlite" : "") << (c.dead ? " dead" : "");
}

constexpr auto kLost = DbFailureKind::ConnectionFailure;
constexpr auto kRejected = DbFailureKind::StatementRejected;

INSTANTIATE_TEST_SUITE_P(
    Table, FailureClassifier,
    ::testing::Values(
        // PostgreSQL through psqlODBC
        ClassifierCase{"42P01", 7, false, false, kRejected}, // undefined table
        ClassifierCase{"42601", 7, false, false, kRejected}, // syntax error
        ClassifierCase{"23505", 7, false, false, kRejected}, // unique violation
        ClassifierCase{"22P02", 7, false, false, kRejected}, // invalid text representation
        ClassifierCase{"57P01", 0, false, false, kLost},     // terminating connection (admin shutdown)
        ClassifierCase{"08S01", 0, false, false, kLost},     // communication link failure
        ClassifierCase{"08001", 0, false, false, kLost},     // unable to connect
        ClassifierCase{"40P01", 0, false, false, kLost},     // deadlock: retry
        ClassifierCase{"HYT00", 0, false, false, kLost},     // time-out
        ClassifierCase{"57014", 0, false, false, kLost},     // statement cancelled by time-out
        ClassifierCase{"HY000", 7, false, true, kLost},      // any failure on a dead connection
        ClassifierCase{"42P01", 7, false, true, kLost},
        ClassifierCase{"HY000", 7, false, false, kRejected}, // general error, connection alive
        ClassifierCase{"", 0, false, false, kLost},          // no diagnostics at all
        // SQLite: every failure is HY000, the native code tells
        ClassifierCase{"HY000", 1, true, false, kRejected},    // syntax error or missing table
        ClassifierCase{"HY000", 19, true, false, kRejected},   // constraint
        ClassifierCase{"HY000", 2067, true, false, kRejected}, // SQLITE_CONSTRAINT_UNIQUE (extended)
        ClassifierCase{"HY000", 20, true, false, kRejected},   // datatype mismatch
        ClassifierCase{"HY000", 5, true, false, kLost},        // busy
        ClassifierCase{"HY000", 6, true, false, kLost},        // locked
        ClassifierCase{"HY000", 14, true, false, kLost},       // cannot open
        ClassifierCase{"HY000", 13, true, false, kLost},       // disk full
        ClassifierCase{"HY000", 10, true, false, kLost}));     // I/O error

TEST(DbFailure, DescribeAddsTheDiagnostics) {
    DbFailure failure(DbFailureKind::StatementRejected, "relation \"x\" does not exist", "42P01", 7);
    EXPECT_EQ(DescribeFailure(failure), "relation \"x\" does not exist [SQLSTATE 42P01, native 7]");
    EXPECT_TRUE(IsStatementRejected(failure));
    std::runtime_error plain("plain");
    EXPECT_EQ(DescribeFailure(plain), "plain");
    EXPECT_FALSE(IsStatementRejected(plain));
}

} // namespace
} // namespace tagsink::db
