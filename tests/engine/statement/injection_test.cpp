// Values from an OPC server cannot change a statement's structure: hostile texts built into statements are
// executed by real databases through ODBC (an SQLite file always; PostgreSQL and MariaDB when the test
// script provides them in TAGSINK_PG_CONN and TAGSINK_MARIADB_CONN) and come back exactly as one stored
// value. On MariaDB the statements run through the engine's own connection, whose session reads
// backslashes in literals as plain characters.
#include "engine/db/odbc_connection.hpp"
#include "engine/statement/statement_builder.hpp"

#include "odbc_database.hpp"
#include "statement_fixture.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tagsink {
namespace {

using testing::OdbcDatabase;
using testing::Project;
using T = TFieldType;
namespace fs = std::filesystem;

const char* const kHostileTexts[] = {"x); drop table T1; --",
                                     "x'); drop table T1; --",
                                     "'; delete from T1; --",
                                     "' or '1'='1",
                                     "'",
                                     "''",
                                     "a'b''c'''",
                                     "Robert'); DROP TABLE T1;--",
                                     "line one\nline two; drop table T1",
                                     "back\\slash\\'",
                                     "C:\\dir\\",
                                     "x\\',NULL,-12345)#",
                                     "\\",
                                     "\\'); delete from T1; -- ",
                                     "/* comment */ 1",
                                     "\xe6\xb8\xa9\xe5\xba\xa6 'C'"};

// A table of the given database with one sentinel row; the statements under test write into it.
class HostileTextsBase : public ::testing::TestWithParam<const char*> {
protected:
    virtual std::unique_ptr<OdbcDatabase> Open() = 0;
    virtual std::string TableName() { return "T1"; }
    // Runs a statement the builder made (the database-specific connection when there is one).
    virtual void Run(const std::string& sql) { db_->Execute(sql); }
    // "order by N" with the rows whose N is null first.
    virtual std::string NullsFirst() { return "N nulls first"; }

    void SetUp() override {
        db_ = Open();
        if (db_ == nullptr)
            return; // skipped
        ASSERT_TRUE(db_->connected()) << db_->error();
        table_ = TableName();
        db_->Execute("create table " + table_ +
                     " (K varchar(200), DT varchar(40), S varchar(200), N integer)");
        db_->Execute("insert into " + table_ + " (K, S) values ('sentinel', 'kept')");
    }

    // Inserts the text as the value of a ftString item and reads the table back.
    void InsertAndCheck(const std::string& hostile) {
        Project p;
        p.group.SetTableName(table_);
        p.group.SetTimeField("DT");
        p.Add("Item1", "S", T::ftString, qz::Variant(hostile));
        p.Add("Item2", "N", T::ftInteger, qz::Variant(7));
        const std::string sql = BuildStatement(p.group, RowKey{}, "'2024-01-01'", TRecordType::rtInsert);

        ASSERT_NO_THROW(Run(sql)) << sql;
        const auto rows = db_->Query("select K, S, N from " + table_ + " order by " + NullsFirst());
        ASSERT_EQ(rows.size(), 2u) << sql;
        EXPECT_EQ(rows[0], (std::vector<std::string>{"sentinel", "kept", "<null>"}));
        EXPECT_EQ(rows[1], (std::vector<std::string>{"<null>", hostile, "7"}));
    }

    // Updates with the text as a key of type ftString: no row matches, so nothing may change.
    void UpdateAndCheck(const std::string& hostile) {
        db_->Execute("insert into " + table_ + " (K, S) values ('other', 'kept')");
        Project p;
        p.group.SetTableName(table_);
        p.group.SetKeyField("K");
        p.group.SetKeyFieldType(T::ftString);
        TItem& item = p.Add("Item1", "S", T::ftString, qz::Variant("changed"), hostile);
        const RowKey key = KeyText(item);
        EXPECT_EQ(key.Match, hostile);
        const std::string sql = BuildStatement(p.group, key, "", TRecordType::rtUpdate);
        ASSERT_NO_THROW(Run(sql)) << sql;
        const auto rows = db_->Query("select K, S from " + table_ + " order by K");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][1], "kept") << sql;
        EXPECT_EQ(rows[1][1], "kept") << sql;
    }

    // Inserts a row keyed by the text, with a time and a number behind the key: all of them arrive as given.
    void InsertKeyedAndCheck(const std::string& hostile) {
        Project p;
        p.group.SetTableName(table_);
        p.group.SetKeyField("K");
        p.group.SetKeyFieldType(T::ftString);
        p.group.SetTimeField("DT");
        TItem& item = p.Add("Item1", "S", T::ftString, qz::Variant("v"), hostile);
        p.Add("Item2", "N", T::ftInteger, qz::Variant(7));
        const RowKey key = KeyText(item);
        const std::string sql = BuildStatement(p.group, key, "'2024-01-01 10:00:00'", TRecordType::rtInsert);
        ASSERT_NO_THROW(Run(sql)) << sql;
        const auto rows = db_->Query("select K, DT, S, N from " + table_ + " order by " + NullsFirst());
        ASSERT_EQ(rows.size(), 2u) << sql;
        EXPECT_EQ(rows[0], (std::vector<std::string>{"sentinel", "<null>", "kept", "<null>"}));
        EXPECT_EQ(rows[1], (std::vector<std::string>{hostile, "2024-01-01 10:00:00", "v", "7"})) << sql;
    }

    // A fixed item's DefaultValue is the operator's own SQL text: a literal with backslashes keeps them.
    void FixedDefaultKeepsBackslashes() {
        Project p;
        p.group.SetTableName(table_);
        p.AddFixed("Item1", "S", "'C:\\dir\\'");
        p.Add("Item2", "N", T::ftInteger, qz::Variant(3));
        const std::string sql = BuildStatement(p.group, RowKey{}, "", TRecordType::rtInsert);
        ASSERT_NO_THROW(Run(sql)) << sql;
        const auto rows = db_->Query("select S, N from " + table_ + " order by " + NullsFirst());
        ASSERT_EQ(rows.size(), 2u) << sql;
        EXPECT_EQ(rows[1], (std::vector<std::string>{"C:\\dir\\", "3"})) << sql;
    }

    std::unique_ptr<OdbcDatabase> db_;
    std::string table_;
};

class SqliteHostileTexts : public HostileTextsBase {
protected:
    std::unique_ptr<OdbcDatabase> Open() override {
        folder_ = fs::temp_directory_path() /
                  ("tagsink-statement-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(folder_);
        return OdbcDatabase::OpenSqlite(folder_ / "t.db", folder_);
    }
    void TearDown() override {
        db_.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

private:
    fs::path folder_;
    static inline int counter_ = 0;
};

TEST_P(SqliteHostileTexts, AreStoredAsOneInsertedValue) {
    InsertAndCheck(GetParam());
}
TEST_P(SqliteHostileTexts, AsKeysUpdateNoOtherRow) {
    UpdateAndCheck(GetParam());
}
TEST_P(SqliteHostileTexts, AsKeysAreInsertedExactly) {
    InsertKeyedAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Values, SqliteHostileTexts, ::testing::ValuesIn(kHostileTexts));

class PostgresHostileTexts : public HostileTextsBase {
protected:
    std::unique_ptr<OdbcDatabase> Open() override {
        const char* connection = std::getenv("TAGSINK_PG_CONN");
        if (connection == nullptr || *connection == '\0')
            return nullptr;
        return std::make_unique<OdbcDatabase>(connection);
    }
    std::string TableName() override {
        return "tagsink_statement_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++);
    }
    void SetUp() override {
        HostileTextsBase::SetUp();
        if (db_ == nullptr)
            GTEST_SKIP() << "TAGSINK_PG_CONN is not set";
    }
    void TearDown() override {
        if (db_ != nullptr && db_->connected() && !table_.empty())
            db_->Execute("drop table if exists " + table_);
    }

private:
    static inline int counter_ = 0;
};

TEST_P(PostgresHostileTexts, AreStoredAsOneInsertedValue) {
    InsertAndCheck(GetParam());
}
TEST_P(PostgresHostileTexts, AsKeysUpdateNoOtherRow) {
    UpdateAndCheck(GetParam());
}
TEST_P(PostgresHostileTexts, AsKeysAreInsertedExactly) {
    InsertKeyedAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Values, PostgresHostileTexts, ::testing::ValuesIn(kHostileTexts));

// MariaDB through its ODBC driver: the builder's statements run on the engine's connection (which sets up
// the session); the rows are read back on a plain connection of the test's own.
class MariadbHostileTexts : public HostileTextsBase {
protected:
    std::unique_ptr<OdbcDatabase> Open() override {
        const char* connection = std::getenv("TAGSINK_MARIADB_CONN");
        if (connection == nullptr || *connection == '\0')
            return nullptr;
        engine_.SetConnectionString(connection);
        engine_.Open(std::chrono::seconds(10));
        return std::make_unique<OdbcDatabase>(connection);
    }
    std::string TableName() override {
        return "tagsink_statement_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++);
    }
    void Run(const std::string& sql) override { engine_.Execute(sql); }
    std::string NullsFirst() override { return "N"; } // MariaDB sorts nulls first
    void SetUp() override {
        HostileTextsBase::SetUp();
        if (db_ == nullptr) {
            if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true")
                FAIL() << "TAGSINK_MARIADB_CONN is not set, but CI=true requires the MariaDB tests to run";
            GTEST_SKIP() << "TAGSINK_MARIADB_CONN is not set";
        }
    }
    void TearDown() override {
        if (db_ != nullptr && db_->connected() && !table_.empty())
            db_->Execute("drop table if exists " + table_);
    }

private:
    db::OdbcConnection engine_;
    static inline int counter_ = 0;
};

TEST_P(MariadbHostileTexts, AreStoredAsOneInsertedValue) {
    InsertAndCheck(GetParam());
}
TEST_P(MariadbHostileTexts, AsKeysUpdateNoOtherRow) {
    UpdateAndCheck(GetParam());
}
TEST_P(MariadbHostileTexts, AsKeysAreInsertedExactly) {
    InsertKeyedAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Values, MariadbHostileTexts, ::testing::ValuesIn(kHostileTexts));

// One case per database for the operator's own literal text.
class FixedDefaultValue : public SqliteHostileTexts {};
TEST_P(FixedDefaultValue, KeepsItsBackslashesOnSqlite) {
    FixedDefaultKeepsBackslashes();
}
INSTANTIATE_TEST_SUITE_P(Once, FixedDefaultValue, ::testing::Values(""));

class FixedDefaultValueMariadb : public MariadbHostileTexts {};
TEST_P(FixedDefaultValueMariadb, KeepsItsBackslashesOnMariadb) {
    FixedDefaultKeepsBackslashes();
}
INSTANTIATE_TEST_SUITE_P(Once, FixedDefaultValueMariadb, ::testing::Values(""));

} // namespace
} // namespace tagsink
