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
DbmsProduct DbmsProductOf(std::string_view dbmsName);

/// True for the products that read a backslash inside a string literal as an escape unless their session
/// says otherwise (MySQL and MariaDB).
bool ReadsBackslashEscapes(DbmsProduct product);

/// The SQL mode flag that makes MySQL and MariaDB read a backslash in a literal as a plain character.
inline constexpr std::string_view kNoBackslashEscapes = "NO_BACKSLASH_ESCAPES";

/// True when the comma-separated sql_mode value holds `flag` (letter case ignored).
bool SqlModeHas(std::string_view sqlMode, std::string_view flag);

/// `sqlMode` (a comma-separated sql_mode value) with NO_BACKSLASH_ESCAPES added at its end, every other
/// flag kept in its order; unchanged when the flag is there already.
std::string WithNoBackslashEscapes(std::string_view sqlMode);

} // namespace tagsink::db
