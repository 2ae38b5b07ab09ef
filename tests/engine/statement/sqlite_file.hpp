// A small ODBC client of an SQLite file for tests. The ODBC headers stay in sqlite_file.cpp: their Windows
// type names clash with the platform's OLE Automation declarations.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tagsink::testing {

// One ODBC environment and connection to an SQLite file (driver "SQLite3"), closed and freed on destruction.
// When the system's ODBC set-up does not list the driver, it registers it in a set-up of its own under the
// given folder (as the test scripts do) and tries again.
class SqliteFile {
public:
    SqliteFile(const std::filesystem::path& file, const std::filesystem::path& odbcFolder);
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    bool connected() const { return connected_; }
    const std::string& error() const { return error_; }

    // Executes one statement; throws std::runtime_error with the driver's diagnostics.
    void Execute(const std::string& sql);

    // The rows of a query, every column as text ("<null>" for NULL).
    std::vector<std::vector<std::string>> Query(const std::string& sql);

private:
    bool Connect(const std::filesystem::path& file);
    void Disconnect();

    void* env_ = nullptr;
    void* dbc_ = nullptr;
    bool connected_ = false;
    std::string error_;
};

} // namespace tagsink::testing
