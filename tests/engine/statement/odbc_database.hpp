// A small ODBC client for tests. The ODBC headers stay in sqlite_file.cpp: their Windows
// type names clash with the platform's OLE Automation declarations.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tagsink::testing {

// One ODBC environment and connection, closed and freed on destruction.
class OdbcDatabase {
public:
    explicit OdbcDatabase(const std::string& connection_string);
    ~OdbcDatabase();
    OdbcDatabase(const OdbcDatabase&) = delete;
    OdbcDatabase& operator=(const OdbcDatabase&) = delete;

    // An SQLite file through the driver "SQLite3". When the system's ODBC set-up does not list the driver,
    // registers it in a set-up of its own under `odbc_folder` (as the test scripts do) and tries again.
    static std::unique_ptr<OdbcDatabase> OpenSqlite(const std::filesystem::path& file,
                                                    const std::filesystem::path& odbc_folder);

    bool connected() const { return connected_; }
    const std::string& error() const { return error_; }

    // Executes one statement; throws std::runtime_error with the driver's diagnostics.
    void Execute(const std::string& sql);

    // The rows of a query, every column as text ("<null>" for NULL).
    std::vector<std::vector<std::string>> Query(const std::string& sql);

private:
    bool Connect(const std::string& connection_string);
    void Disconnect();

    void* env_ = nullptr;
    void* dbc_ = nullptr;
    bool connected_ = false;
    std::string error_;
};

} // namespace tagsink::testing
