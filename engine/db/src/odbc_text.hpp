// The one place where the engine's UTF-8 text meets the ODBC entry points: connection strings,
// statements, catalog names, column values, driver information and diagnostic messages go through these
// functions, which call the narrow or the wide (UTF-16) form of each entry point as the connection chose.
#pragma once

#include "engine/db/odbc_connection.hpp"
#include "odbc_handle.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tagsink::db::detail {

/// The platform's UTF-8/UTF-16 codec (platform/utf16.hpp), reached through a unit of its own
/// (odbc_text_codec.cpp): off Windows, its stand-ins for the Windows types cannot share a translation unit
/// with unixODBC's sql.h.
std::u16string WideText(std::string_view utf8);
std::string Utf8Text(std::u16string_view wide);

/// How many text units one SQLGetData chunk left in a buffer of `buffer_units` units of `unit_size`
/// bytes, given the indicator (in bytes) the driver returned: all of the value when it fits, else the
/// buffer less its NUL terminator (also when the driver cannot tell the total).
size_t ChunkUnits(SQLLEN indicator, size_t buffer_units, size_t unit_size);

/// A diagnostic message as it is shown: without the line ends and NULs some drivers leave at its end.
std::string TrimmedMessage(std::string message);

SQLRETURN DriverConnect(OdbcTextCalls calls, SQLHDBC dbc, std::string_view connection_string);
SQLRETURN ExecDirect(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view statement);

/// Catalog calls. `name` and `column` are search patterns, `schema` (none when empty) a search pattern too.
SQLRETURN Tables(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view name, std::string_view types);
SQLRETURN Procedures(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view name);
SQLRETURN Columns(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view schema, std::string_view table,
                  std::string_view column);
/// Every parameter (no column pattern).
SQLRETURN ProcedureColumns(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view schema,
                           std::string_view name);

/// Reads one column of the current row as UTF-8 text into `value`, in chunks (empty for NULL); false when
/// the driver fails to give it (its diagnostics are on `stmt`).
bool ReadColumnText(OdbcTextCalls calls, SQLHSTMT stmt, SQLUSMALLINT column, std::string& value);

/// One column of the current row as UTF-8 text; empty for NULL or when it cannot be read.
std::string ColumnText(OdbcTextCalls calls, SQLHSTMT stmt, SQLUSMALLINT column);

/// A text item of SQLGetInfo (SQL_DBMS_NAME, SQL_DRIVER_NAME, ...); nothing when the driver does not say.
std::optional<std::string> InfoText(OdbcTextCalls calls, SQLHDBC dbc, SQLUSMALLINT info);

/// Every diagnostic record the handle holds now, first to last.
std::vector<DiagRecord> ReadDiagnostics(OdbcTextCalls calls, SQLSMALLINT type, SQLHANDLE handle);

} // namespace tagsink::db::detail
