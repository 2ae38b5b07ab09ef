// The tables a project writes into, as CREATE TABLE statements for one database dialect.
//
// Per destination table (groups of ttTable; two groups naming the same table share one statement, their
// columns merged in order of first appearance): the key column (KeyFieldType), the time column
// (TimeFieldType, or a date-time for ftUnknown) and one column per item that writes a value, in child order,
// skipping the names the statement builder skips (an empty FieldName, a name already taken). The column
// types follow the field type and the gain type (a gtQuality item of a number type is a small integer, of a
// text type a short text; a gtTimeStamp item a date-time). With milliseconds chosen, the date-time columns
// keep milliseconds. An rtUpdate group gets its key as primary key (and a comment with the key rows to
// insert before recording, since updates change only rows that exist); an rtInsert group an index on key
// and time. Items whose field type writes no value, and procedure groups, get a comment instead of a guess.
#pragma once

#include "model/enumerations.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace tagsink {

class TServer;

enum class SqlDialect { SQLite, PostgreSQL, MariaDB, SqlServer };

/// "sqlite", "postgresql", "mariadb", "sqlserver" (letter case ignored; "postgres", "mysql" and "mssql"
/// too), or nothing.
std::optional<SqlDialect> ParseSqlDialect(std::string_view name);
std::string_view SqlDialectName(SqlDialect dialect);

/// The column type for a value of `field_type` written by an item of `gain_type`, or empty when such an
/// item writes no value (ftUnknown and the other types without text). `milliseconds`: date-time types keep
/// milliseconds.
std::string ColumnTypeFor(TFieldType field_type, TGainType gain_type, SqlDialect dialect, bool milliseconds);

/// The whole script: a header comment and, per table, CREATE TABLE (IF NOT EXISTS where the dialect has
/// it) with its key or index.
std::string ProjectDdl(const TServer& root, SqlDialect dialect);

} // namespace tagsink
