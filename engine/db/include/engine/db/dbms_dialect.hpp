// Which database product a connection reaches, and what its sessions need so that the statements the
// engine writes mean what they say.
//
// Statements carry their values as standard SQL string literals: in single quotes, every quote inside
// doubled, nothing else escaped. SQLite, PostgreSQL (with its default standard_conforming_strings) and SQL
// Server read them so. MySQL and MariaDB by default also read a backslash inside a literal as an escape
// character, so that a value `C:\dir\` would end its literal early; their sessions are switched to the
// NO_BACKSLASH_ESCAPES SQL mode when they are opened, every other flag of the session's mode kept; a
// PostgreSQL session whose standard_conforming_strings is off gets it turned on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tagsink::db {

enum class DbmsProduct {
    Other,
    SQLite,
    PostgreSQL,
    MySQL,
    MariaDB,
};

/// The product that a driver's DBMS name (ODBC SQL_DBMS_NAME, `OdbcConnection::DbmsName`) stands for:
/// "SQLite", "PostgreSQL", "MySQL", "MariaDB" in any letter case; anything else is `Other`.
DbmsProduct DbmsProductOf(std::string_view dbms_name);

/// True for the products that read a backslash inside a string literal as an escape unless their session
/// says otherwise (MySQL and MariaDB).
bool ReadsBackslashEscapes(DbmsProduct product);

/// The SQL mode flag that makes MySQL and MariaDB read a backslash in a literal as a plain character.
inline constexpr std::string_view kNoBackslashEscapes = "NO_BACKSLASH_ESCAPES";

/// True when the comma-separated sql_mode value holds `flag` (letter case ignored).
bool SqlModeHas(std::string_view sql_mode, std::string_view flag);

/// `sql_mode` (a comma-separated sql_mode value) with NO_BACKSLASH_ESCAPES added at its end, every other
/// flag kept in its order; unchanged when the flag is there already.
std::string WithNoBackslashEscapes(std::string_view sql_mode);

/// The value of `key` in an ODBC connection string ("KEY=value;KEY={value};..."), the key's letter case
/// and the blanks around it ignored, a braced value without its braces ("}}" inside read as "}"); nullopt
/// when the string does not set the key.
std::optional<std::string> ConnectionStringValue(std::string_view connection_string, std::string_view key);

/// True for a name of the PostgreSQL ODBC driver: the name it is registered under ("PostgreSQL Unicode",
/// "PostgreSQL ANSI", ...), its library file ("psqlodbcw.so", "PSQLODBC35W.DLL") or what the driver
/// reports as its ODBC SQL_DRIVER_NAME.
bool IsPostgresOdbcDriver(std::string_view driver_name);

/// The rollback level the engine asks of the PostgreSQL ODBC driver: on an error inside a transaction,
/// roll back the transaction. The driver's own default rolls back only the statement, and for that it
/// wraps every statement of a transaction in a savepoint of its own (SAVEPOINT and RELEASE sent with each
/// statement): the server does three commands per statement, and a transaction of 500 statements holds
/// 500 subtransactions, far beyond what the server caches per session, which slows every other session's
/// snapshots while it runs. The engine never goes on in a transaction after a refused statement (a batch
/// is rolled back and run again one statement at a time), so it needs none of them.
inline constexpr std::string_view kPostgresRollbackOption = "Protocol=7.4-1";

/// `connection_string` with kPostgresRollbackOption added at its end, unless it sets Protocol itself (the
/// operator's choice stands).
std::string WithPostgresRollbackLevel(std::string_view connection_string);

/// True for a name of MariaDB's ODBC driver: the name it is registered under ("MariaDB Unicode", "MariaDB
/// ODBC 3.1 Driver"), its library file ("libmaodbc.so", "maodbc.dll").
bool IsMariadbOdbcDriver(std::string_view driver_name);

/// The option bit of MariaDB's (and MySQL's) ODBC driver that lets one call carry several statements
/// separated by ";" (multi-statements). Without it the driver refuses such a text.
inline constexpr unsigned long kMariadbMultiStatementsOption = 67108864;

/// `connection_string` with "Option=67108864" added at its end, unless it sets Option itself (the
/// operator's choice stands: statement lists are then used only when that value holds the bit).
std::string WithMariadbMultiStatements(std::string_view connection_string);

/// True when the Option value of `connection_string` holds kMariadbMultiStatementsOption.
bool HasMariadbMultiStatements(std::string_view connection_string);

} // namespace tagsink::db
