// Session set-up right after a connection is opened (see engine/db/dbms_dialect.hpp).
#pragma once

#ifdef _WIN32
#include "platform/oleauto.h" // windows.h, whose types sql.h needs
#endif

#include "engine/db/odbc_connection.hpp"

#include <sql.h>

#include <chrono>

namespace tagsink::db::detail {

/// Finds the product that the open connection `dbc` reaches and prepares its session for the engine's
/// statements: for MySQL and MariaDB, NO_BACKSLASH_ESCAPES is added to the session's sql_mode (the other
/// flags kept) and read back; for PostgreSQL, standard_conforming_strings is turned on when it is off.
/// Nothing is done for other products. When the session cannot be prepared,
/// the connection is disconnected and a DbFailure of kind ConnectionFailure is thrown: statements must
/// not run on a session that would read their literals differently. `calls` are the connection's text
/// entry points.
void PrepareSession(OdbcTextCalls calls, SQLHDBC dbc, std::chrono::seconds command_timeout);

} // namespace tagsink::db::detail
