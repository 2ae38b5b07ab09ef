// A database failure with the driver's diagnostics and what it means for the caller.
//
// The record thread must tell two kinds of failure apart: a connection that is gone (or a database that is
// busy, locked or out of space) is worth retrying with the same statement later, while a statement that the
// database refuses for itself (syntax, missing table, bad data, constraint) will fail again every time and
// must not block the statements behind it.
#pragma once

#include "model/db_connection.hpp"

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace tagsink::db {

enum class DbFailureKind {
    /// The connection is lost or cannot be opened, or the database is temporarily unable to work
    /// (locked, busy, out of resources, timed out). Retrying the same statement later may succeed.
    ConnectionFailure,
    /// The database rejected the statement itself; the connection stays usable.
    StatementRejected,
};

class DbFailure : public DatabaseError {
public:
    DbFailure(DbFailureKind kind, const std::string& message, std::string sql_state = {},
              long native_code = 0)
        : DatabaseError(message), kind_(kind), sql_state_(std::move(sql_state)), native_code_(native_code) {}

    DbFailureKind Kind() const { return kind_; }
    bool IsStatementRejected() const { return kind_ == DbFailureKind::StatementRejected; }
    /// The five-character SQLSTATE of the first diagnostic record, empty when there is none.
    const std::string& SqlState() const { return sql_state_; }
    /// The driver's native error code of the first diagnostic record (0 when there is none).
    long NativeCode() const { return native_code_; }

private:
    DbFailureKind kind_;
    std::string sql_state_;
    long native_code_;
};

/// True when `error` says that the database refused the statement itself (see DbFailureKind). Failures
/// that carry no classification count as connection failures: retrying them never loses a statement.
inline bool IsStatementRejected(const std::exception& error) {
    const auto* failure = dynamic_cast<const DbFailure*>(&error);
    return failure != nullptr && failure->IsStatementRejected();
}

/// Which kind of failure a diagnostic record describes. `sqlite` says that the driver is the SQLite one,
/// which reports every failure as HY000 and tells them apart by SQLite's result code in `native_code`;
/// `connection_dead` is what the driver says of the connection after the failure.
DbFailureKind ClassifyFailure(std::string_view sql_state, long native_code, bool sqlite,
                              bool connection_dead);

/// What the record thread does with a failed statement.
enum class Refusal {
    /// The connection is gone (or could not be used at all): reconnect and try the same statement again,
    /// for as long as it takes.
    ConnectionLost,
    /// The database refused the statement for a reason that can pass (read-only, locked, busy, deadlock,
    /// serialization, resources, time-out, a missing table or column, a missing permission): retry it
    /// with growing pauses for a while before it is put aside.
    Passing,
    /// Syntax, data or constraint errors: the statement will fail every time; put it aside at once.
    Permanent,
};

/// Sorts a failure of executing a statement into the three kinds above. Failures without diagnostics
/// count as a lost connection.
Refusal ClassifyRefusal(const std::exception& error);

/// "message [SQLSTATE 42P01, native 7]" for logs and the reject file; the plain message when the failure
/// carries no diagnostics.
std::string DescribeFailure(const std::exception& error);

} // namespace tagsink::db
