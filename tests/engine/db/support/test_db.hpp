// Helpers for tests that talk to real databases through ODBC: connection strings for a throw-away SQLite
// file and for the PostgreSQL and MariaDB servers of the test run, and a small query function to read rows
// back.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tagsink::db::testing {

/// A fresh temporary directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

/// ODBC connection string of an SQLite database file (created on first use).
std::string SqliteConnectionString(const std::filesystem::path& file);

/// The PostgreSQL connection string of the test run (TAGSINK_PG_CONN), or nothing when it is not set.
std::optional<std::string> PostgresConnectionString();

/// The MariaDB connection string of the test run (TAGSINK_MARIADB_CONN), or nothing when it is not set.
std::optional<std::string> MariadbConnectionString();

/// True when the tests run in CI (CI=true): missing databases are then failures, not skips.
bool RunningInCi();

/// Runs `sql` on a connection of its own and returns every row, each column as text ("NULL" for null).
/// Throws std::runtime_error with the driver's message on failure.
std::vector<std::vector<std::string>> Query(const std::string& connection_string, const std::string& sql);

/// Runs statements on a connection of their own (set-up and clean-up); throws on failure.
void Exec(const std::string& connection_string, const std::vector<std::string>& statements);

/// A name unique to this process and call, usable as a table name ("t_<pid>_<n>").
std::string UniqueName(const std::string& prefix);

} // namespace tagsink::db::testing

// Skips a test when no PostgreSQL server is configured, and fails it instead when running in CI.
#define TAGSINK_REQUIRE_POSTGRES(var)                                                                        \
    auto var##_optional = ::tagsink::db::testing::PostgresConnectionString();                                \
    if (!var##_optional) {                                                                                   \
        if (::tagsink::db::testing::RunningInCi())                                                           \
            FAIL() << "TAGSINK_PG_CONN is not set, but CI=true requires the PostgreSQL tests to run";        \
        GTEST_SKIP() << "TAGSINK_PG_CONN is not set";                                                        \
    }                                                                                                        \
    const std::string var = *var##_optional

// Skips a test when no MariaDB server is configured, and fails it instead when running in CI.
#define TAGSINK_REQUIRE_MARIADB(var)                                                                         \
    auto var##_optional = ::tagsink::db::testing::MariadbConnectionString();                                 \
    if (!var##_optional) {                                                                                   \
        if (::tagsink::db::testing::RunningInCi())                                                           \
            FAIL() << "TAGSINK_MARIADB_CONN is not set, but CI=true requires the MariaDB tests to run";      \
        GTEST_SKIP() << "TAGSINK_MARIADB_CONN is not set";                                                   \
    }                                                                                                        \
    const std::string var = *var##_optional
