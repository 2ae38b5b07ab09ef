#include "engine/schema/project_ddl.hpp"

#include "platform/ascii.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"

#include <algorithm>
#include <set>
#include <vector>

namespace tagsink {

namespace {

struct Column {
    std::string name;
    std::string type;
    std::string note; // a trailing comment (which group and item made it)
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::string> comments;             // lines before the statement
    std::vector<std::string> primary_key;          // rtUpdate: the key
    std::vector<std::vector<std::string>> indexes; // rtInsert: key and time
    std::vector<std::string> key_rows;             // rtUpdate: the rows to insert before recording

    bool Has(std::string_view column) const {
        return std::any_of(columns.begin(), columns.end(),
                           [&](const Column& c) { return qz::EqualsNoCase(c.name, column); });
    }
};

std::string LowerName(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsTextType(TFieldType type) {
    return type == TFieldType::ftString || type == TFieldType::ftWideString;
}

std::string TextType(SqlDialect dialect, int length) {
    switch (dialect) {
    case SqlDialect::SQLite:
    case SqlDialect::PostgreSQL:
        return "TEXT";
    case SqlDialect::MariaDB:
        return "VARCHAR(" + std::to_string(length) + ")";
    case SqlDialect::SqlServer:
        return "NVARCHAR(" + std::to_string(length) + ")";
    }
    return "TEXT";
}

std::string DateTimeType(SqlDialect dialect, bool ms) {
    switch (dialect) {
    case SqlDialect::SQLite:
        return "TEXT";
    case SqlDialect::PostgreSQL:
        return ms ? "TIMESTAMP(3)" : "TIMESTAMP(0)";
    case SqlDialect::MariaDB:
        return ms ? "DATETIME(3)" : "DATETIME";
    case SqlDialect::SqlServer:
        return ms ? "DATETIME2(3)" : "DATETIME2(0)";
    }
    return "TEXT";
}

// A key value of an rtUpdate row as a literal (text keys quoted, others as the Key says).
std::string KeyLiteral(const std::string& key, TFieldType type) {
    if (!IsTextType(type) && type != TFieldType::ftDate && type != TFieldType::ftTime &&
        type != TFieldType::ftDateTime && type != TFieldType::ftTimeStamp)
        return key;
    std::string out = "'";
    for (char c : key) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::string JoinNames(const std::vector<std::string>& names, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += separator;
        out += names[i];
    }
    return out;
}

void AddGroup(std::vector<Table>& tables, const TGroup& group, SqlDialect dialect, bool ms) {
    auto found = std::find_if(tables.begin(), tables.end(),
                              [&](const Table& t) { return qz::EqualsNoCase(t.name, group.TableName()); });
    if (found == tables.end()) {
        tables.push_back(Table{});
        found = std::prev(tables.end());
        found->name = group.TableName();
    }
    Table& table = *found;
    const std::string origin = group.Name();
    std::set<std::string> taken; // the names this group's statements carry, as the builder skips repeats
    auto add = [&](const std::string& name, const std::string& type, const std::string& note) {
        if (!taken.insert(LowerName(name)).second)
            return false;
        if (!table.Has(name))
            table.columns.push_back({name, type, note});
        return true;
    };

    const bool has_key = !group.KeyField().empty();
    if (has_key) {
        std::string type = ColumnTypeFor(group.KeyFieldType(), TGainType::gtGain, dialect, ms);
        if (type.empty()) {
            table.comments.push_back("-- " + origin + ": KeyFieldType " +
                                     std::string(ToString(group.KeyFieldType())) +
                                     " writes no key value, so the key column " + group.KeyField() +
                                     " never receives one; choose a KeyFieldType");
            type = TextType(dialect, 64);
        }
        add(group.KeyField(), type, origin + " key");
    }
    if (!group.TimeField().empty()) {
        const TFieldType time_type =
            group.TimeFieldType() == TFieldType::ftUnknown ? TFieldType::ftDateTime : group.TimeFieldType();
        std::string type = ColumnTypeFor(time_type, TGainType::gtTimeStamp, dialect, ms);
        if (type.empty()) {
            table.comments.push_back("-- " + origin + ": TimeFieldType " + std::string(ToString(time_type)) +
                                     " writes no time; choose a date or time type");
            type = DateTimeType(dialect, ms);
        }
        add(group.TimeField(), type, origin + " record time");
    }
    std::set<std::string> keys;
    for (std::size_t i = 0; i < group.ItemCount(); ++i) {
        const TItem& item = group.Item(i);
        if (!item.Key().empty())
            keys.insert(item.Key());
        if (item.FieldName().empty())
            continue;
        const std::string type = ColumnTypeFor(item.FieldType(), item.GainType(), dialect, ms);
        if (type.empty()) {
            if (!taken.count(LowerName(item.FieldName())))
                table.comments.push_back("-- " + origin + "." + item.Name() + ": FieldType " +
                                         std::string(ToString(item.FieldType())) +
                                         " writes no value, so no column is made for " + item.FieldName());
            continue;
        }
        add(item.FieldName(), type,
            origin + "." + item.Name() + " (" + std::string(ToString(item.GainType())) + ")");
    }

    if (has_key && group.RecordType() == TRecordType::rtUpdate) {
        if (table.primary_key.empty())
            table.primary_key.push_back(group.KeyField());
        for (const std::string& key : keys)
            table.key_rows.push_back("INSERT INTO " + table.name + " (" + group.KeyField() + ") VALUES (" +
                                     KeyLiteral(key, group.KeyFieldType()) + ");");
    } else if (group.RecordType() == TRecordType::rtInsert) {
        std::vector<std::string> index;
        if (has_key)
            index.push_back(group.KeyField());
        if (!group.TimeField().empty())
            index.push_back(group.TimeField());
        if (!index.empty() &&
            std::find(table.indexes.begin(), table.indexes.end(), index) == table.indexes.end())
            table.indexes.push_back(index);
    }
}

std::string IndexName(const std::string& table, const std::vector<std::string>& columns) {
    std::string name = "ix_" + table;
    for (const std::string& c : columns)
        name += "_" + c;
    return name;
}

void WriteTable(std::string& out, const Table& table, SqlDialect dialect) {
    out += '\n';
    for (const std::string& comment : table.comments)
        out += comment + "\n";
    if (table.columns.empty()) {
        out += "-- " + table.name + ": no group writes a column into it\n";
        return;
    }
    const bool primary = !table.primary_key.empty();
    std::string head;
    switch (dialect) {
    case SqlDialect::SqlServer:
        head = "IF OBJECT_ID(N'" + table.name + "', N'U') IS NULL\nCREATE TABLE " + table.name + " (\n";
        break;
    default:
        head = "CREATE TABLE IF NOT EXISTS " + table.name + " (\n";
        break;
    }
    out += head;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& c = table.columns[i];
        const bool in_key = primary && qz::EqualsNoCase(c.name, table.primary_key.front());
        out += "    " + c.name + " " + c.type + (in_key ? " NOT NULL" : "");
        if (i + 1 < table.columns.size() || primary)
            out += ',';
        out += " -- " + c.note + "\n";
    }
    if (primary)
        out += "    PRIMARY KEY (" + JoinNames(table.primary_key, ", ") + ")\n";
    out += ");\n";
    for (const auto& index : table.indexes) {
        const std::string name = IndexName(table.name, index);
        switch (dialect) {
        case SqlDialect::SqlServer:
            out += "IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'" + name + "')\nCREATE INDEX " +
                   name + " ON " + table.name + " (" + JoinNames(index, ", ") + ");\n";
            break;
        default:
            out += "CREATE INDEX IF NOT EXISTS " + name + " ON " + table.name + " (" +
                   JoinNames(index, ", ") + ");\n";
            break;
        }
    }
    if (!table.key_rows.empty()) {
        out += "-- Updates change only rows that exist: insert one row per key before recording, e.g.\n";
        for (const std::string& row : table.key_rows)
            out += "--   " + row + "\n";
    }
}

} // namespace

std::optional<SqlDialect> ParseSqlDialect(std::string_view name) {
    if (qz::EqualsNoCase(name, "sqlite") || qz::EqualsNoCase(name, "sqlite3"))
        return SqlDialect::SQLite;
    if (qz::EqualsNoCase(name, "postgresql") || qz::EqualsNoCase(name, "postgres"))
        return SqlDialect::PostgreSQL;
    if (qz::EqualsNoCase(name, "mariadb") || qz::EqualsNoCase(name, "mysql"))
        return SqlDialect::MariaDB;
    if (qz::EqualsNoCase(name, "sqlserver") || qz::EqualsNoCase(name, "mssql"))
        return SqlDialect::SqlServer;
    return std::nullopt;
}

std::string_view SqlDialectName(SqlDialect dialect) {
    switch (dialect) {
    case SqlDialect::SQLite:
        return "sqlite";
    case SqlDialect::PostgreSQL:
        return "postgresql";
    case SqlDialect::MariaDB:
        return "mariadb";
    case SqlDialect::SqlServer:
        return "sqlserver";
    }
    return "sqlite";
}

std::string ColumnTypeFor(TFieldType field_type, TGainType gain_type, SqlDialect dialect, bool milliseconds) {
    const bool sqlite = dialect == SqlDialect::SQLite;
    if (gain_type == TGainType::gtQuality) {
        if (IsTextType(field_type))
            return TextType(dialect, 64);
        switch (field_type) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftWord:
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
        case TFieldType::ftBCD:
        case TFieldType::ftFMTBcd:
            return sqlite ? "INTEGER" : dialect == SqlDialect::MariaDB ? "INT" : "INTEGER";
        default:
            break; // the other types write the number as they write any number (or not at all)
        }
    }
    switch (field_type) {
    case TFieldType::ftString:
    case TFieldType::ftWideString:
        return gain_type == TGainType::gtTimeStamp && !sqlite ? TextType(dialect, 32)
                                                              : TextType(dialect, 255);
    case TFieldType::ftSmallint:
        return sqlite ? "INTEGER" : "SMALLINT";
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
        return sqlite ? "INTEGER" : dialect == SqlDialect::MariaDB ? "INT" : "INTEGER";
    case TFieldType::ftBoolean:
        return sqlite ? "BOOLEAN" : dialect == SqlDialect::SqlServer ? "BIT" : "BOOLEAN";
    case TFieldType::ftFloat:
        return sqlite                              ? "REAL"
               : dialect == SqlDialect::PostgreSQL ? "DOUBLE PRECISION"
               : dialect == SqlDialect::MariaDB    ? "DOUBLE"
                                                   : "FLOAT";
    case TFieldType::ftCurrency:
        return sqlite ? "NUMERIC" : "DECIMAL(19,4)";
    case TFieldType::ftBCD:
    case TFieldType::ftFMTBcd:
        return sqlite ? "NUMERIC" : "DECIMAL(18,4)";
    case TFieldType::ftDate:
        return sqlite ? "TEXT" : "DATE";
    case TFieldType::ftTime:
        if (sqlite)
            return "TEXT";
        return milliseconds ? "TIME(3)" : "TIME";
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
        return DateTimeType(dialect, milliseconds);
    default:
        return {};
    }
}

std::string ProjectDdl(const TServer& root, SqlDialect dialect) {
    const bool ms = root.TimePrecision() == TTimePrecision::tpMilliseconds;
    std::string out = "-- Tables of the project, for " + std::string(SqlDialectName(dialect)) + ".\n";
    out += "-- Record times: ";
    out += root.TimeZone() == TTimeZone::tzUTC ? "UTC" : "local time";
    out += ms ? ", to the millisecond.\n" : ", to the second.\n";
    std::vector<Table> tables;
    std::vector<std::string> notes;
    for (std::size_t g = 0; g < root.GroupCount(); ++g) {
        const TGroup& group = root.Group(g);
        if (group.TableType() == TTableType::ttStoredProc) {
            notes.push_back("-- " + group.Name() + " calls the stored procedure " +
                            (group.TableName().empty() ? std::string("(none named)") : group.TableName()) +
                            ": its parameters are the procedure's own, no table is made for it.");
            continue;
        }
        if (group.TableName().empty()) {
            notes.push_back("-- " + group.Name() + " names no table: nothing is made for it.");
            continue;
        }
        AddGroup(tables, group, dialect, ms);
    }
    for (const std::string& note : notes)
        out += note + "\n";
    for (const Table& table : tables)
        WriteTable(out, table, dialect);
    return out;
}

} // namespace tagsink
