#include "engine/db/db_failure.hpp"
#include "platform/ascii.hpp"

#include <array>

namespace tagsink::db {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// SQLite result codes (the primary code is the low byte of an extended one).
enum SqliteCode : long {
    kSqliteError = 1,
    kSqliteBusy = 5,
    kSqliteLocked = 6,
    kSqliteTooBig = 18,
    kSqliteConstraint = 19,
    kSqliteMismatch = 20,
    kSqliteRange = 25,
};

DbFailureKind ClassifySqlite(long native_code) {
    switch (native_code & 0xff) {
    case kSqliteError:      // syntax error, missing table or column
    case kSqliteTooBig:     // string or blob too big
    case kSqliteConstraint: // unique, not null, check, foreign key
    case kSqliteMismatch:   // datatype mismatch
    case kSqliteRange:      // bind or column index out of range
        return DbFailureKind::StatementRejected;
    default: // busy, locked, cannot open, I/O error, disk full, read-only, corrupt, ...
        return DbFailureKind::ConnectionFailure;
    }
}

// Client-side errors of the MySQL and MariaDB connectors that mean the connection is gone (can't connect,
// server gone away, lost during a query). Their drivers report them under SQLSTATEs such as HY000 or HY001
// and do not always flag the connection as dead. No other driver here uses native codes in 2000-2999 for
// failures that are not SQLite's (whose codes are told apart by the caller).
bool IsMysqlClientConnectionError(long native_code) {
    switch (native_code) {
    case 2002: // CR_CONNECTION_ERROR
    case 2003: // CR_CONN_HOST_ERROR
    case 2006: // CR_SERVER_GONE_ERROR
    case 2013: // CR_SERVER_LOST
    case 2055: // CR_SERVER_LOST_EXTENDED
        return true;
    default:
        return false;
    }
}

} // namespace

DbFailureKind ClassifyFailure(std::string_view sql_state, long native_code, bool sqlite,
                              bool connection_dead) {
    if (connection_dead)
        return DbFailureKind::ConnectionFailure;
    if (sql_state.size() != 5)
        return DbFailureKind::ConnectionFailure;
    if (!sqlite && IsMysqlClientConnectionError(native_code))
        return DbFailureKind::ConnectionFailure;
    // Connection exceptions, server shutting down, time-outs, driver-manager and driver state trouble.
    static constexpr std::array<std::string_view, 12> kRetryable = {
        "08",    // connection exception
        "57P",   // operator intervention: admin/crash shutdown, cannot connect now
        "57014", // query cancelled (statement time-out)
        "HYT",   // time-out expired
        "40",    // transaction rollback: serialization failure, deadlock
        "53",    // insufficient resources: disk full, out of memory, too many connections
        "55P03", // lock not available
        "58",    // system error (I/O)
        "IM",    // driver manager: driver not found, cannot load
        "HY001", // memory allocation error
        "HY008", // operation cancelled
        "HY010", // function sequence error
    };
    for (std::string_view prefix : kRetryable) {
        if (StartsWith(sql_state, prefix))
            return DbFailureKind::ConnectionFailure;
    }
    if (sqlite && sql_state == "HY000")
        return ClassifySqlite(native_code);
    return DbFailureKind::StatementRejected;
}

Refusal ClassifyRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const DbFailure*>(&error);
    if (failure == nullptr)
        return Refusal::ConnectionLost;
    const std::string& state = failure->SqlState();
    if (!failure->IsStatementRejected()) {
        // A gone connection, a driver that cannot be loaded, or a server shutting down: nothing about the
        // statement. Everything else of this kind (busy, locked, time-out, resources) is a refusal.
        if (state.empty() || StartsWith(state, "08") || StartsWith(state, "57P") || StartsWith(state, "IM") ||
            state == "HY010" || IsMysqlClientConnectionError(failure->NativeCode()))
            return Refusal::ConnectionLost;
        return Refusal::Passing;
    }
    // Refusals that an operator or the database itself can clear while the recorder waits.
    static constexpr std::array<std::string_view, 9> kPassing = {
        "25006", // read-only transaction
        "42P01", // undefined table
        "42703", // undefined column
        "42883", // undefined function (a procedure not created yet)
        "42501", // insufficient privilege
        "3F000", // invalid schema name
        "42S02", // base table or view not found
        "42S22", // column not found
        "42000", // syntax error or access violation: only with a permission message, see below
    };
    for (std::string_view passing : kPassing) {
        if (state == passing && passing != "42000")
            return Refusal::Passing;
    }
    std::string message = error.what();
    for (char& c : message)
        c = qz::AsciiLower(c);
    // SQLite reports a missing table or column and a read-only file as generic errors, and some drivers
    // report missing permissions under the syntax class.
    for (std::string_view text :
         {"no such table", "no such column", "readonly", "read-only", "permission denied", "access denied",
          "database is locked", "database table is locked"}) {
        if (message.find(text) != std::string::npos)
            return Refusal::Passing;
    }
    return Refusal::Permanent;
}

std::string DescribeFailure(const std::exception& error) {
    std::string text = error.what();
    if (const auto* failure = dynamic_cast<const DbFailure*>(&error);
        failure && !failure->SqlState().empty()) {
        text += " [SQLSTATE ";
        text += failure->SqlState();
        text += ", native ";
        text += std::to_string(failure->NativeCode());
        text += "]";
    }
    return text;
}

} // namespace tagsink::db
