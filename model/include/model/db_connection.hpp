// The database contract of the project model.
//
// The root (TServer) owns one connection; every group owns a TableSchema and a ProcSchema bound to it
// (db_schema.hpp). The model only declares what it needs; the recording engine implements the contract
// over its data-access layer and installs a factory (db_connection_factory.hpp) so that every new root
// gets a real connection.
//
// Threads: a connection is used by one thread at a time (the record thread while the engine runs, the
// user-interface thread's editors otherwise), but not necessarily by the thread that created it, so an
// implementation must not bind itself to its creating thread.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

/// A failure reported by the database or the data-access layer; what() is the database's own message.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What a stored-procedure parameter is, as the driver reports it.
enum class ProcParameterKind {
    Unknown,
    Input,
    InputOutput,
    Output,
    ReturnValue,  // the procedure's result value (often reported as "@RETURN_VALUE")
    ResultColumn, // a column of a result set the procedure returns
};

/// One parameter of a stored procedure, in the order the driver reports it.
struct ProcParameter {
    std::string Name; // exactly as the driver reports it, including any "@" prefix
    ProcParameterKind Kind = ProcParameterKind::Unknown;
    std::string TypeName; // the database's type name, empty when the driver gives none

    bool operator==(const ProcParameter&) const = default;
};

/// One database connection addressed by a connection string.
///
/// A new connection is closed and never prompts for a login, neither on creation nor on Open.
/// Every operation that talks to the database throws DatabaseError carrying the database's message.
class DbConnection {
public:
    virtual ~DbConnection() = default;
    DbConnection() = default;
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    /// Sets the connection string used by the next Open. Does not open or close anything.
    virtual void SetConnectionString(std::string_view text) = 0;
    virtual std::string ConnectionString() const = 0;

    /// True while the connection is open.
    virtual bool IsConnected() const = 0;

    /// Opens the connection with the current connection string; statements executed afterwards time out
    /// after command_timeout. Does nothing when already open. Throws DatabaseError when the database
    /// cannot be reached; the connection is then closed.
    virtual void Open(std::chrono::seconds command_timeout) = 0;

    /// Executes one statement given as plain command text; result rows are discarded.
    /// Throws DatabaseError with the database's message when the statement fails or the connection is
    /// not open.
    virtual void Execute(std::string_view statement) = 0;

    /// Closes the connection; closed afterwards in every case. Harmless when already closed.
    virtual void Close() noexcept = 0;

    /// Names of the tables and views, system tables excluded, in the order the database gives them.
    virtual std::vector<std::string> ListTables() = 0;

    /// Names of the stored procedures as the database reports them, in its order.
    virtual std::vector<std::string> ListProcedures() = 0;

    /// Column names of a table (or view) in table order. Throws DatabaseError when the table cannot be
    /// opened (for example because it does not exist).
    virtual std::vector<std::string> ListFields(std::string_view table) = 0;

    /// The parameters of a stored procedure as the driver reports them, the return value included.
    /// Throws DatabaseError when the procedure cannot be described.
    virtual std::vector<ProcParameter> ListProcedureParameters(std::string_view procedure) = 0;
};

} // namespace tagsink
