// Text through the narrow and the wide ODBC entry points: the pure helpers, then a real SQLite file whose
// path, table, column and values hold Latin-1, CJK and non-BMP characters, on both kinds of calls.
#include "engine/db/db_failure.hpp"
#include "engine/db/odbc_connection.hpp"
#include "odbc_text.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace tagsink::db {
namespace {

using namespace std::chrono_literals;
using detail::ChunkUnits;
using detail::TrimmedMessage;
using tagsink::db::testing::Query;
using tagsink::db::testing::TempDir;

TEST(OdbcTextCallsChoice, WideOnWindowsOnlyUnlessTheEnvironmentSaysOtherwise) {
    EXPECT_EQ(ChooseOdbcTextCalls(false, false, ""), OdbcTextCalls::Narrow);
    EXPECT_EQ(ChooseOdbcTextCalls(true, false, ""), OdbcTextCalls::Wide);
    EXPECT_EQ(ChooseOdbcTextCalls(true, true, ""), OdbcTextCalls::Narrow); // Wine hands text to unixODBC
    EXPECT_EQ(ChooseOdbcTextCalls(true, true, "wide"), OdbcTextCalls::Wide);
    EXPECT_EQ(ChooseOdbcTextCalls(true, false, "Narrow"), OdbcTextCalls::Narrow);
    EXPECT_EQ(ChooseOdbcTextCalls(false, false, "WIDE"), OdbcTextCalls::Wide);
    EXPECT_EQ(ChooseOdbcTextCalls(true, false, "utf-8"), OdbcTextCalls::Wide); // unknown: the platform's
    EXPECT_EQ(ChooseOdbcTextCalls(false, false, "wide "), OdbcTextCalls::Narrow);
    // Nothing set here: the tests run with the platform's choice.
    if (std::getenv("TAGSINK_ODBC_TEXT") == nullptr) {
        EXPECT_EQ(PlatformOdbcTextCalls(), OdbcTextCalls::Narrow);
    }
    EXPECT_EQ(OdbcOptions{}.text_calls, PlatformOdbcTextCalls());
}

TEST(OdbcTextChunks, KeepWhatTheDriverWroteAndNeverTheTerminator) {
    // A value that fits: its length in bytes, in units of the form.
    EXPECT_EQ(ChunkUnits(10, 512, 1), 10u);
    EXPECT_EQ(ChunkUnits(10, 512, 2), 5u);
    EXPECT_EQ(ChunkUnits(0, 512, 2), 0u);
    // A longer value: the buffer less its NUL, however long the rest is or when the driver cannot tell.
    EXPECT_EQ(ChunkUnits(5000, 512, 1), 511u);
    EXPECT_EQ(ChunkUnits(5000, 512, 2), 511u);
    EXPECT_EQ(ChunkUnits(1024, 512, 2), 511u); // exactly the buffer: the last unit is the NUL
    EXPECT_EQ(ChunkUnits(1022, 512, 2), 511u);
    EXPECT_EQ(ChunkUnits(SQL_NO_TOTAL, 512, 2), 511u);
    EXPECT_EQ(ChunkUnits(SQL_NO_TOTAL, 256, 1), 255u);
    EXPECT_EQ(ChunkUnits(7, 0, 1), 0u);
}

TEST(OdbcTextMessages, LoseTrailingLineEndsAndNulsOnly) {
    EXPECT_EQ(TrimmedMessage("no such table: fehlt\r\n"), "no such table: fehlt");
    EXPECT_EQ(TrimmedMessage(std::string("Grüße 测试\n\0", 15)), "Grüße 测试");
    EXPECT_EQ(TrimmedMessage("line one\nline two"), "line one\nline two");
    EXPECT_EQ(TrimmedMessage("\r\n"), "");
}

TEST(OdbcTextCodec, RoundTripsThroughUtf16) {
    const std::string text = "Anlage Süd/测试/😀";
    const std::u16string wide = detail::WideText(text);
    EXPECT_EQ(wide, u"Anlage Süd/测试/😀");
    EXPECT_EQ(detail::Utf8Text(wide), text);
}

class OdbcTextCallsOnSqlite : public ::testing::TestWithParam<OdbcTextCalls> {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_.path() / "Anlage Süd" / "测试");
        file_ = dir_.path() / "Anlage Süd" / "测试" / "plant.db";
        conn_ = tagsink::db::testing::SqliteConnectionString(file_);
        connection_.SetConnectionString(conn_);
    }

    TempDir dir_;
    std::filesystem::path file_;
    std::string conn_;
    OdbcConnection connection_{OdbcOptions{std::chrono::seconds(5), GetParam()}};
};

TEST_P(OdbcTextCallsOnSqlite, OpensAPathWithNonAsciiNamesAndKeepsNamesAndValues) {
    connection_.Open(10s);
    EXPECT_EQ(connection_.DbmsName().substr(0, 6), "SQLite");
    EXPECT_TRUE(std::filesystem::exists(file_)) << "the database was not created at its path";

    connection_.Execute(
        "create table \"Messwerte_Süd\" (\"Zeit\" text, \"温度\" real, \"Bemerkung_ä\" text)");
    connection_.Execute("insert into \"Messwerte_Süd\" (\"Zeit\", \"温度\", \"Bemerkung_ä\") "
                        "values ('2026-12-09 05:30:00', 21.5, 'Grüße aus 测试 😀')");
    // Longer than one read chunk, with a surrogate pair across the chunk boundary of the wide read.
    std::string long_value(510, 'x');
    long_value += "😀ü测";
    long_value += std::string(600, 'y');
    connection_.Execute("insert into \"Messwerte_Süd\" values ('2026-12-09 05:31:00', -3, '" + long_value +
                        "')");

    auto rows =
        connection_.QueryRows("select \"Bemerkung_ä\", \"温度\" from \"Messwerte_Süd\" order by rowid");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "Grüße aus 测试 😀");
    EXPECT_EQ(rows[0][1].substr(0, 4), "21.5");
    EXPECT_EQ(rows[1][0], long_value);

    auto tables = connection_.ListTables();
    EXPECT_NE(std::find(tables.begin(), tables.end(), "Messwerte_Süd"), tables.end());
    auto fields = connection_.ListFields("Messwerte_Süd");
    EXPECT_EQ(fields, (std::vector<std::string>{"Zeit", "温度", "Bemerkung_ä"}));
    connection_.Close();

    // Read back on a connection of its own (narrow calls, as the Linux tools do): the same bytes.
    auto back = Query(conn_, "select \"Bemerkung_ä\" from \"Messwerte_Süd\" where \"温度\" > 0");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0][0], "Grüße aus 测试 😀");
}

TEST_P(OdbcTextCallsOnSqlite, GivesTheDriversMessageWithItsNonAsciiNames) {
    connection_.Open(10s);
    try {
        connection_.Execute("select * from \"fehlt_Süd_测试\"");
        FAIL() << "a missing table was not reported";
    } catch (const DbFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find("fehlt_Süd_测试"), std::string::npos) << failure.what();
    }
    try {
        connection_.ListFields("fehlt_Süd");
        FAIL() << "a missing table was not reported";
    } catch (const DbFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find("fehlt_Süd"), std::string::npos) << failure.what();
    }
}

TEST_P(OdbcTextCallsOnSqlite, ReportsAFolderThatIsMissing) {
    OdbcConnection missing{OdbcOptions{std::chrono::seconds(5), GetParam()}};
    missing.SetConnectionString(
        tagsink::db::testing::SqliteConnectionString(dir_.path() / "fehlt_ä" / "测试.db"));
    EXPECT_THROW(missing.Open(10s), DbFailure);
    EXPECT_FALSE(missing.IsConnected());
}

// unixODBC maps the wide calls onto a driver without wide entry points (the SQLite3 driver here) by
// cutting each UTF-16 unit to a byte, so only the narrow calls can carry such text to it.
INSTANTIATE_TEST_SUITE_P(Calls, OdbcTextCallsOnSqlite, ::testing::Values(OdbcTextCalls::Narrow),
                         [](const auto& info) {
                             return info.param == OdbcTextCalls::Wide ? std::string("Wide")
                                                                      : std::string("Narrow");
                         });

// The PostgreSQL Unicode driver has wide entry points: both forms carry the same text to it and back.
class OdbcTextCallsOnPostgres : public ::testing::TestWithParam<OdbcTextCalls> {};

TEST_P(OdbcTextCallsOnPostgres, KeepsNonAsciiNamesValuesAndMessages) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string table = tagsink::db::testing::UniqueName("messwerte_süd_");
    OdbcConnection connection{OdbcOptions{std::chrono::seconds(5), GetParam()}};
    connection.SetConnectionString(pg);
    connection.Open(10s);
    connection.Execute("create table \"" + table + "\" (\"温度\" double precision, \"bemerkung_ä\" text)");
    struct Drop {
        OdbcConnection& c;
        std::string t;
        ~Drop() { c.Execute("drop table if exists \"" + t + "\""); }
    } drop{connection, table};
    std::string long_value(510, 'x');
    long_value += "😀ü测";
    long_value += std::string(600, 'y');
    connection.Execute("insert into \"" + table + "\" values (21.5, 'Grüße aus 测试 😀'), (-3, '" +
                       long_value + "')");
    auto rows = connection.QueryRows("select \"bemerkung_ä\" from \"" + table + "\" order by \"温度\" desc");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "Grüße aus 测试 😀");
    EXPECT_EQ(rows[1][0], long_value);
    EXPECT_EQ(connection.ListFields(table), (std::vector<std::string>{"温度", "bemerkung_ä"}));
    auto tables = connection.ListTables();
    EXPECT_NE(std::find(tables.begin(), tables.end(), table), tables.end());
    auto back = Query(pg, "select \"bemerkung_ä\" from \"" + table + "\" where \"温度\" > 0");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0][0], "Grüße aus 测试 😀");
    try {
        connection.Execute("select * from \"fehlt_süd_测试\"");
        FAIL() << "a missing table was not reported";
    } catch (const DbFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find("fehlt_süd_测试"), std::string::npos) << failure.what();
        EXPECT_EQ(failure.SqlState(), "42P01");
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, OdbcTextCallsOnPostgres,
                         ::testing::Values(OdbcTextCalls::Narrow, OdbcTextCalls::Wide), [](const auto& info) {
                             return info.param == OdbcTextCalls::Wide ? std::string("Wide")
                                                                      : std::string("Narrow");
                         });

// The MariaDB Unicode driver has wide entry points too; its session set-up (sql_mode) runs on either form.
class OdbcTextCallsOnMariadb : public ::testing::TestWithParam<OdbcTextCalls> {};

TEST_P(OdbcTextCallsOnMariadb, KeepsNonAsciiNamesValuesAndMessages) {
    TAGSINK_REQUIRE_MARIADB(maria);
    const std::string table = tagsink::db::testing::UniqueName("messwerte_süd_");
    OdbcConnection connection{OdbcOptions{std::chrono::seconds(5), GetParam()}};
    connection.SetConnectionString(maria);
    connection.Open(10s);
    connection.Execute("create table `" + table +
                       "` (`温度` double, `bemerkung_ä` text) character set utf8mb4");
    struct Drop {
        OdbcConnection& c;
        std::string t;
        ~Drop() { c.Execute("drop table if exists `" + t + "`"); }
    } drop{connection, table};
    connection.Execute("insert into `" + table + "` values (21.5, 'Grüße aus 测试 😀 a\\b')");
    auto rows = connection.QueryRows("select `bemerkung_ä` from `" + table + "`");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "Grüße aus 测试 😀 a\\b"); // a backslash is text: the session was set up
    EXPECT_EQ(connection.ListFields(table), (std::vector<std::string>{"温度", "bemerkung_ä"}));
    try {
        connection.Execute("select * from `fehlt_süd_测试`");
        FAIL() << "a missing table was not reported";
    } catch (const DbFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find("fehlt_süd_测试"), std::string::npos) << failure.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, OdbcTextCallsOnMariadb,
                         ::testing::Values(OdbcTextCalls::Narrow, OdbcTextCalls::Wide), [](const auto& info) {
                             return info.param == OdbcTextCalls::Wide ? std::string("Wide")
                                                                      : std::string("Narrow");
                         });

} // namespace
} // namespace tagsink::db
