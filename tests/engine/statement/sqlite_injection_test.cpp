// Values from an OPC server cannot change a statement's structure: hostile texts built into statements are
// executed by a real SQLite database (through its ODBC driver) and come back exactly as one stored value.
#include "engine/statement/statement_builder.hpp"

#include "statement_fixture.hpp"

#include <gtest/gtest.h>

#include "sqlite_file.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tagsink {
namespace {

using testing::Project;
using testing::SqliteFile;
using T = TFieldType;
namespace fs = std::filesystem;

class HostileTexts : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tagsink-statement-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(folder_);
        db_ = std::make_unique<SqliteFile>(folder_ / "t.db", folder_);
        ASSERT_TRUE(db_->connected()) << db_->error();
        db_->Execute("create table T1 (K text, DT text, S text, N integer)");
        db_->Execute("insert into T1 (K, S) values ('sentinel', 'kept')");
    }
    void TearDown() override {
        db_.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::unique_ptr<SqliteFile> db_;

private:
    fs::path folder_;
    static inline int counter_ = 0;
};

TEST_P(HostileTexts, AreStoredAsOneInsertedValue) {
    const std::string hostile = GetParam();
    Project p;
    p.group.SetTimeField("DT");
    p.Add("Item1", "S", T::ftString, qz::Variant(hostile));
    p.Add("Item2", "N", T::ftInteger, qz::Variant(7));
    const std::string sql = BuildStatement(p.group, RowKey{}, "'2024-01-01'", TRecordType::rtInsert);

    ASSERT_NO_THROW(db_->Execute(sql)) << sql;
    const auto rows = db_->Query("select K, S, N from T1 order by rowid");
    ASSERT_EQ(rows.size(), 2u) << sql;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"sentinel", "kept", "<null>"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"<null>", hostile, "7"}));
}

TEST_P(HostileTexts, AsKeysUpdateOnlyTheirOwnRow) {
    const std::string hostile = GetParam();
    db_->Execute("insert into T1 (K, S) values ('other', 'kept')");
    Project p;
    p.group.SetKeyField("K");
    p.group.SetKeyFieldType(T::ftString);
    p.group.SetRecordType(TRecordType::rtUpdate);
    TItem& item = p.Add("Item1", "S", T::ftString, qz::Variant("changed"), hostile);
    const RowKey key = KeyText(item);
    EXPECT_EQ(key.Match, hostile);
    const std::string sql = BuildStatement(p.group, key, "", TRecordType::rtUpdate);
    ASSERT_NO_THROW(db_->Execute(sql)) << sql;
    const auto rows = db_->Query("select K, S from T1 order by rowid");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "kept") << sql;
    EXPECT_EQ(rows[1][1], "kept") << sql;
}

INSTANTIATE_TEST_SUITE_P(Values, HostileTexts,
                         ::testing::Values("x); drop table T1; --", "x'); drop table T1; --",
                                           "'; delete from T1; --", "' or '1'='1", "'", "''", "a'b''c'''",
                                           "Robert'); DROP TABLE T1;--", "line one\nline two; drop table T1",
                                           "back\\slash\\'", "/* comment */ 1"));

} // namespace
} // namespace tagsink
