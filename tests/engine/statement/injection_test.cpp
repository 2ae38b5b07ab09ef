// Values from an OPC server cannot change a statement's structure: hostile texts built into statements are
// executed by real databases through ODBC (an SQLite file always; PostgreSQL when the test script provides
// one in TAGSINK_PG_CONN) and come back exactly as one stored value.
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

const char* const hostileTexts[] = {"x); drop table T1; --",
                                    "x'); drop table T1; --",
                                    "'; delete from T1; --",
                                    "' or '1'='1",
                                    "'",
                                    "''",
                                    "a'b''c'''",
                                    "Robert'); DROP TABLE T1;--",
                                    "line one\nline two; drop table T1",
                                    "back\\slash\\'",
                                    "/* comment */ 1",
                                    "\xe6\xb8\xa9\xe5\xba\xa6 'C'"};

// A table of the given database with one sentinel row; the statements under test write into it.
class HostileTextsBase : public ::testing::TestWithParam<const char*> {
protected:
    virtual std::unique_ptr<OdbcDatabase> Open() = 0;
    virtual std::string TableName() { return "T1"; }

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

        ASSERT_NO_THROW(db_->Execute(sql)) << sql;
        const auto rows = db_->Query("select K, S, N from " + table_ + " order by N nulls first");
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
        ASSERT_NO_THROW(db_->Execute(sql)) << sql;
        const auto rows = db_->Query("select K, S from " + table_ + " order by K");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][1], "kept") << sql;
        EXPECT_EQ(rows[1][1], "kept") << sql;
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

INSTANTIATE_TEST_SUITE_P(Values, SqliteHostileTexts, ::testing::ValuesIn(hostileTexts));

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

INSTANTIATE_TEST_SUITE_P(Values, PostgresHostileTexts, ::testing::ValuesIn(hostileTexts));

} // namespace
} // namespace tagsink
