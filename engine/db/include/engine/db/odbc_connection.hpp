// The database connection over ODBC (unixODBC here, the system's driver manager on Windows).
//
// The connection string is an ODBC connection string ("Driver={SQLite3};Database=/path/file.db;" or
// "DSN=name;UID=...;PWD=..."); the driver is never allowed to prompt. Handles are not bound to the thread
// that created them: the connection may be opened and used by any thread, one thread at a time.
#pragma once

#include "engine/db/transactions.hpp"
#include "model/db_connection.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace tagsink::db {

/// The name given to a procedure's return value that the driver reports without a name.
inline constexpr const char* kReturnValueName = "@RETURN_VALUE";

/// Which ODBC entry points carry the engine's text (connection strings, statements, names, messages):
/// the narrow ones take UTF-8 bytes as they are, the wide ones (SQLDriverConnectW, SQLExecDirectW, ...)
/// take UTF-16.
enum class OdbcTextCalls { Narrow, Wide };

/// The entry points for a process: unixODBC and its drivers read narrow text as UTF-8, so Linux uses
/// the narrow ones. A Windows driver manager reads narrow text in the ANSI code page, so Windows uses the
/// wide ones, except under Wine: its odbc32 hands every call to the host's unixODBC as it is, where UTF-8
/// narrow text reaches the drivers unchanged while wide text for a driver without wide entry points is
/// cut to one byte a unit. `override_text` ("narrow" or "wide", from the environment variable
/// TAGSINK_ODBC_TEXT) chooses either; anything else leaves the choice to the platform.
OdbcTextCalls ChooseOdbcTextCalls(bool windows, bool wine, std::string_view override_text);

/// ChooseOdbcTextCalls for this process (read once).
OdbcTextCalls PlatformOdbcTextCalls();

struct OdbcOptions {
    /// How long opening the connection may take before it fails (a server that accepts the TCP
    /// connection but never answers would otherwise block the opener forever).
    std::chrono::seconds login_timeout{15};
    /// The entry points for text; the platform's own unless a test chooses the other.
    OdbcTextCalls text_calls = PlatformOdbcTextCalls();
};

class OdbcConnection final : public DbConnection, public Transactions {
public:
    explicit OdbcConnection(OdbcOptions options = {});
    ~OdbcConnection() override;

    void SetConnectionString(std::string_view text) override;
    std::string ConnectionString() const override;
    bool IsConnected() const override;
    void Open(std::chrono::seconds command_timeout) override;
    void Execute(std::string_view statement) override;
    void Close() noexcept override;
    std::vector<std::string> ListTables() override;
    std::vector<std::string> ListProcedures() override;
    std::vector<std::string> ListFields(std::string_view table) override;
    std::vector<ProcParameter> ListProcedureParameters(std::string_view procedure) override;

    bool SupportsTransactions() override;
    void Begin() override;
    void Commit() override;
    void Rollback() noexcept override;
    std::vector<std::vector<std::string>> QueryRows(std::string_view sql) override;
    bool AcceptsStatementLists() override;

    /// The name the driver gives its database system ("SQLite", "PostgreSQL"), empty while closed.
    std::string DbmsName() const;

private:
    struct Open_;
    Open_& Opened(); // throws DbFailure (ConnectionFailure) while closed
    OdbcOptions options_;
    std::string connection_string_;
    std::unique_ptr<Open_> open_; // present while connected
};

/// Installs OdbcConnection as the factory of the project model's database connections.
void InstallOdbcConnectionFactory(OdbcOptions options = {});

} // namespace tagsink::db
