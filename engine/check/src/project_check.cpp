#include "engine/check/project_check.hpp"

#include "engine/db/dbms_dialect.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/db/transactions.hpp"
#include "engine/schema/project_ddl.hpp"
#include "engine/statement/statement_builder.hpp"
#include "platform/ascii.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/opc_string.hpp"
#include "model/server.hpp"
#include "platform/code_page.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>

namespace tagsink {

namespace {

enum class Kind { Unknown, Text, Integer, Number, Bool, DateTime };

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Text:
        return "text";
    case Kind::Integer:
        return "integer";
    case Kind::Number:
        return "number";
    case Kind::Bool:
        return "boolean";
    case Kind::DateTime:
        return "date/time";
    case Kind::Unknown:
        break;
    }
    return "unknown";
}

bool WritesText(TFieldType type) {
    return !ColumnTypeFor(type, TGainType::gtGain, SqlDialect::SQLite, false).empty();
}

bool NeedsServer(const TItem& item) {
    return item.GainType() == TGainType::gtGain || item.GainType() == TGainType::gtQuality ||
           item.GainType() == TGainType::gtTimeStamp;
}

// What kind of value a field type writes.
Kind KindOfFieldType(TFieldType type) {
    switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftWideString:
        return Kind::Text;
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
        return Kind::Integer;
    case TFieldType::ftBoolean:
        return Kind::Bool;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
    case TFieldType::ftFMTBcd:
        return Kind::Number;
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
        return Kind::DateTime;
    default:
        return Kind::Unknown;
    }
}

// What kind of value an item writes into its column (gtFixed writes the operator's own text: unknown).
Kind KindOfItem(const TItem& item) {
    switch (item.GainType()) {
    case TGainType::gtFixed:
        return Kind::Unknown;
    case TGainType::gtQuality:
        return KindOfFieldType(item.FieldType()) == Kind::Text ? Kind::Text : Kind::Integer;
    default:
        return KindOfFieldType(item.FieldType());
    }
}

// The kind of a column by its type name as the database reports it.
Kind KindOfColumn(const std::string& type_name) {
    const std::string t = qz::AsciiLowerCopy(type_name);
    auto has = [&](const char* word) { return t.find(word) != std::string::npos; };
    if (has("int") || has("serial"))
        return Kind::Integer;
    if (has("bool") || t == "bit")
        return Kind::Bool;
    if (has("char") || has("text") || has("clob") || has("string"))
        return Kind::Text;
    if (has("date") || has("time"))
        return Kind::DateTime;
    if (has("real") || has("double") || has("float") || has("numeric") || has("decimal") || has("money") ||
        has("number"))
        return Kind::Number;
    return Kind::Unknown;
}

// The kind of the values the server gives (the canonical type).
Kind KindOfVariant(VARTYPE vt) {
    if ((vt & VT_ARRAY) != 0)
        return Kind::Unknown;
    switch (vt) {
    case VT_BSTR:
        return Kind::Text;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return Kind::Integer;
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
        return Kind::Number;
    case VT_BOOL:
        return Kind::Bool;
    case VT_DATE:
        return Kind::DateTime;
    default:
        return Kind::Unknown;
    }
}

std::string SqlText(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::string BareParameter(std::string_view name) {
    if (!name.empty() && name.front() == '@')
        name.remove_prefix(1);
    return std::string(name);
}

class Checker {
public:
    Checker(TServer& root, const CheckProgress& progress) : root_(root), progress_(progress) {}

    CheckReport Run() {
        CheckModel();
        CheckServer();
        CheckDatabase();
        return std::move(report_);
    }

private:
    void Error(const TNamedItem& object, std::string text) {
        report_.findings.push_back({CheckSeverity::Error, object.GetNamePath(), std::move(text)});
    }
    void Warning(const TNamedItem& object, std::string text) {
        report_.findings.push_back({CheckSeverity::Warning, object.GetNamePath(), std::move(text)});
    }

    // What needs neither server nor database.
    void CheckModel() {
        if (root_.GroupCount() == 0)
            Error(root_, "the project has no groups");
        for (std::size_t g = 0; g < root_.GroupCount(); ++g) {
            TGroup& group = root_.Group(g);
            if (group.TableName().empty())
                Error(group, "TableName is empty");
            if (group.TableType() == TTableType::ttTable && group.RecordType() == TRecordType::rtUpdate &&
                group.KeyField().empty())
                Error(group, "an rtUpdate group needs a KeyField: without one it never writes");
            if (!group.KeyField().empty() && !WritesText(group.KeyFieldType()))
                Warning(group, "KeyFieldType " + std::string(ToString(group.KeyFieldType())) +
                                   " writes no key value: the rows are written without " + group.KeyField());
            for (std::size_t i = 0; i < group.ItemCount(); ++i) {
                const TItem& item = group.Item(i);
                if (NeedsServer(item) && item.ItemName().empty())
                    Error(item, "ItemName is empty");
                if (!item.FieldName().empty() && item.GainType() != TGainType::gtFixed &&
                    !WritesText(item.FieldType()))
                    Error(item, "FieldType " + std::string(ToString(item.FieldType())) +
                                    " writes an empty value into " + item.FieldName() +
                                    ", which most databases refuse: choose a FieldType or clear FieldName");
            }
            CheckDuplicates(group);
        }
    }

    void CheckDuplicates(const TGroup& group) {
        std::set<std::string> keys;
        for (std::size_t i = 0; i < group.ItemCount(); ++i)
            if (!group.Item(i).Key().empty())
                keys.insert(group.Item(i).Key());
        if (keys.empty())
            keys.insert(std::string());
        std::set<const TItem*> reported;
        for (const std::string& key : keys) {
            std::map<std::string, std::string> taken; // lower-case name -> who has it
            if (!key.empty() && !group.KeyField().empty())
                taken[qz::AsciiLowerCopy(group.KeyField())] = "the KeyField";
            if (!group.TimeField().empty())
                taken.emplace(qz::AsciiLowerCopy(group.TimeField()), "the TimeField");
            for (std::size_t i = 0; i < group.ItemCount(); ++i) {
                const TItem& item = group.Item(i);
                if (item.FieldName().empty() || (!item.Key().empty() && item.Key() != key))
                    continue;
                auto [at, inserted] = taken.emplace(qz::AsciiLowerCopy(item.FieldName()), item.Name());
                if (!inserted && reported.insert(&item).second)
                    Warning(item, "column " + item.FieldName() + " is already written by " + at->second +
                                      " in the same row: this item is never written");
            }
        }
    }

    void CheckServer() {
        std::string host, prog_id, class_id;
        ParseOPCString(root_.OPCString(), host, prog_id, class_id);
        if (root_.OPCString().empty()) {
            Error(root_, "OPCString is empty: no OPC server is chosen");
            return;
        }
        const std::string& server_name = class_id.empty() ? prog_id : class_id;
        if (progress_)
            progress_(root_.GetNamePath());
        const QZDAC_HSESSION session =
            QZDAC_Connect(qz::ToAnsi(host).c_str(), qz::ToAnsi(server_name).c_str(), 2);
        if (session == 0) {
            Error(root_, "cannot connect to the OPC server " + root_.OPCString());
            return;
        }
        for (std::size_t g = 0; g < root_.GroupCount(); ++g) {
            TGroup& group = root_.Group(g);
            if (progress_)
                progress_(group.GetNamePath());
            const QZDAC_HGROUP handle = QZDAC_AddGroup(
                session, ("check-" + group.Name()).c_str(), QZDAC_FALSE,
                static_cast<uint32_t>(std::max(group.UpdateRate(), 0)), 0, group.Deadband(), 0);
            if (handle == 0) {
                Error(group, "the OPC server refuses the group");
                continue;
            }
            for (std::size_t i = 0; i < group.ItemCount(); ++i) {
                const TItem& item = group.Item(i);
                if (item.ItemName().empty())
                    continue;
                CheckItem(session, handle, item);
            }
            QZDAC_RemoveGroup(session, handle);
        }
        QZDAC_Disconnect(session);
    }

    void CheckItem(QZDAC_HSESSION session, QZDAC_HGROUP group, const TItem& item) {
        const QZDAC_HITEM handle = QZDAC_AddItem(session, group, qz::ToAnsi(item.ItemName()).c_str());
        if (handle == 0) {
            Error(item, "the OPC server does not know the item ID " + item.ItemName());
            return;
        }
        qz::Variant value;
        FILETIME stamp{};
        std::uint16_t quality = 0;
        if (QZDAC_ReadItem(session, group, handle, value.out(), &stamp, &quality) == QZDAC_FALSE) {
            Error(item, "the OPC server cannot read the item " + item.ItemName());
        } else if (item.GainType() == TGainType::gtGain && !item.FieldName().empty()) {
            CheckCanonicalType(item, value.vt());
        }
        QZDAC_RemoveItem(session, group, handle);
    }

    void CheckCanonicalType(const TItem& item, VARTYPE vt) {
        const Kind target = KindOfFieldType(item.FieldType());
        const std::string type = std::string(ToString(item.FieldType()));
        if ((vt & VT_ARRAY) != 0) {
            if (target != Kind::Text && target != Kind::Unknown)
                Error(item, item.ItemName() + " gives arrays, which " + type + " cannot write: use ftString");
            return;
        }
        const Kind source = KindOfVariant(vt);
        if (source == Kind::Unknown || target == Kind::Unknown || target == Kind::Text || source == target)
            return;
        if (source == Kind::Text) {
            Error(item, item.ItemName() + " gives text, which " + type + " cannot write: use ftString");
        } else if (source == Kind::Number && target == Kind::Integer) {
            Warning(item, item.ItemName() + " gives fractions, which " + type + " rounds to whole numbers");
        } else if (target == Kind::DateTime || source == Kind::DateTime) {
            Warning(item, item.ItemName() + " gives " + KindName(source) + " values, which " + type +
                              " writes as " + KindName(target));
        }
    }

    // ---- database ----

    void CheckDatabase() {
        DbConnection& db = root_.DBConnection();
        if (root_.DBString().empty()) {
            Error(root_, "DBString is empty: no database is chosen");
            return;
        }
        const bool was_open = db.IsConnected();
        try {
            db.SetConnectionString(root_.DBString());
            db.Open(std::chrono::seconds(10));
        } catch (const std::exception& e) {
            Error(root_, std::string("cannot open the database: ") + e.what());
            return;
        }
        auto* odbc = dynamic_cast<db::OdbcConnection*>(&db);
        dbms_ = odbc ? db::DbmsProductOf(odbc->DbmsName()) : db::DbmsProduct::Other;
        query_ = dynamic_cast<db::Transactions*>(&db);
        std::vector<std::string> tables;
        try {
            tables = db.ListTables();
        } catch (const std::exception& e) {
            Error(root_, std::string("cannot list the tables: ") + e.what());
        }
        for (std::size_t g = 0; g < root_.GroupCount(); ++g) {
            TGroup& group = root_.Group(g);
            if (progress_)
                progress_(group.GetNamePath());
            if (group.TableName().empty())
                continue;
            try {
                if (group.TableType() == TTableType::ttStoredProc)
                    CheckProcedure(db, group);
                else
                    CheckTable(db, group, tables);
            } catch (const std::exception& e) {
                Error(group, std::string("the database check failed: ") + e.what());
            }
        }
        if (!was_open)
            db.Close();
    }

    // The columns of a table and their type names, as the database's catalogue reports them; empty when
    // the catalogue cannot be asked.
    std::map<std::string, std::string> ColumnTypes(const std::string& table) {
        std::map<std::string, std::string> types;
        if (query_ == nullptr)
            return types;
        std::string sql;
        switch (dbms_) {
        case db::DbmsProduct::SQLite:
            sql = "SELECT name, type FROM pragma_table_info(" + SqlText(table) + ")";
            break;
        case db::DbmsProduct::PostgreSQL:
            sql = "SELECT column_name, data_type FROM information_schema.columns WHERE table_schema = "
                  "current_schema() AND lower(table_name) = lower(" +
                  SqlText(table) + ")";
            break;
        case db::DbmsProduct::MySQL:
        case db::DbmsProduct::MariaDB:
            sql = "SELECT column_name, column_type FROM information_schema.columns WHERE table_schema = "
                  "database() AND lower(table_name) = lower(" +
                  SqlText(table) + ")";
            break;
        case db::DbmsProduct::Other:
            sql = "SELECT column_name, data_type FROM information_schema.columns WHERE lower(table_name) = "
                  "lower(" +
                  SqlText(table) + ")";
            break;
        }
        try {
            for (const auto& row : query_->QueryRows(sql))
                if (row.size() >= 2)
                    types[qz::AsciiLowerCopy(row[0])] = row[1];
        } catch (const std::exception&) {
            types.clear(); // no catalogue: the types are not checked
        }
        return types;
    }

    void CheckColumn(const TNamedItem& object, const std::string& table, const std::string& column, Kind kind,
                     const std::vector<std::string>& fields,
                     const std::map<std::string, std::string>& types) {
        const bool exists = std::any_of(fields.begin(), fields.end(),
                                        [&](const std::string& f) { return qz::EqualsNoCase(f, column); });
        if (!exists) {
            Error(object, "column " + column + " does not exist in table " + table);
            return;
        }
        auto type = types.find(qz::AsciiLowerCopy(column));
        if (type == types.end() || kind == Kind::Unknown)
            return;
        const Kind column_kind = KindOfColumn(type->second);
        if (column_kind == Kind::Unknown || column_kind == kind || column_kind == Kind::Text)
            return;
        const std::string what =
            std::string("a ") + KindName(kind) + " value into column " + column + " of type " + type->second;
        if (kind == Kind::Number && column_kind == Kind::Integer)
            Warning(object, "writes " + what + ": fractions are lost");
        else if ((kind == Kind::Integer && column_kind == Kind::Number) ||
                 (kind == Kind::Integer && column_kind == Kind::Bool) ||
                 (kind == Kind::Bool && column_kind == Kind::Integer))
            Warning(object, "writes " + what);
        else
            Error(object, "writes " + what + ", which does not fit");
    }

    void CheckTable(DbConnection& db, TGroup& group, const std::vector<std::string>& tables) {
        const std::string& table = group.TableName();
        // The name as the database lists it (PostgreSQL folds unquoted names to lower case).
        auto listed = std::find_if(tables.begin(), tables.end(),
                                   [&](const std::string& t) { return qz::EqualsNoCase(t, table); });
        if (listed == tables.end()) {
            Error(group, "table " + table + " does not exist");
            return;
        }
        const std::vector<std::string> fields = db.ListFields(*listed);
        const auto types = ColumnTypes(*listed);
        if (!group.KeyField().empty())
            CheckColumn(group, table, group.KeyField(), KindOfFieldType(group.KeyFieldType()), fields, types);
        if (!group.TimeField().empty()) {
            const TFieldType time_type = group.TimeFieldType() == TFieldType::ftUnknown
                                             ? TFieldType::ftDateTime
                                             : group.TimeFieldType();
            CheckColumn(group, table, group.TimeField(), KindOfFieldType(time_type), fields, types);
        }
        for (std::size_t i = 0; i < group.ItemCount(); ++i) {
            const TItem& item = group.Item(i);
            if (!item.FieldName().empty())
                CheckColumn(item, table, item.FieldName(), KindOfItem(item), fields, types);
        }
        if (group.RecordType() == TRecordType::rtUpdate && !group.KeyField().empty())
            CheckKeyRows(group);
    }

    void CheckKeyRows(TGroup& group) {
        if (query_ == nullptr)
            return;
        std::set<std::string> seen;
        for (std::size_t i = 0; i < group.ItemCount(); ++i) {
            const TItem& item = group.Item(i);
            if (item.Key().empty() || !seen.insert(item.Key()).second)
                continue;
            RowKey key;
            try {
                key = KeyText(item);
            } catch (const std::exception& e) {
                Error(item, "Key " + item.Key() + " cannot be written as " +
                                std::string(ToString(group.KeyFieldType())) + ": " + e.what());
                continue;
            }
            if (key.empty())
                continue; // reported with the KeyFieldType
            const std::string sql =
                "SELECT COUNT(*) FROM " + group.TableName() + " WHERE " + group.KeyField() + "=" + key.Sql;
            try {
                const auto rows = query_->QueryRows(sql);
                if (!rows.empty() && !rows[0].empty() && rows[0][0] == "0")
                    Error(item, "no row of " + group.TableName() + " has " + group.KeyField() + "=" +
                                    key.Sql + ": the update changes nothing until that row is inserted");
            } catch (const std::exception& e) {
                Error(item, "cannot look for the key row (" + sql + "): " + e.what());
            }
        }
    }

    void CheckProcedure(DbConnection& db, TGroup& group) {
        std::vector<ProcParameter> parameters;
        try {
            parameters = db.ListProcedureParameters(group.TableName());
        } catch (const std::exception& e) {
            Error(group, "stored procedure " + group.TableName() + " cannot be described: " + e.what());
            return;
        }
        const auto procedures = db.ListProcedures();
        const bool listed = std::any_of(procedures.begin(), procedures.end(), [&](const std::string& p) {
            return qz::EqualsNoCase(p, group.TableName()) ||
                   (p.size() > group.TableName().size() &&
                    qz::EqualsNoCase(std::string_view(p).substr(0, group.TableName().size() + 1),
                                     group.TableName() + ";")); // SQL Server lists "name;1"
        });
        if (!listed && parameters.empty()) {
            Error(group, "stored procedure " + group.TableName() + " does not exist");
            return;
        }
        auto check = [&](const TNamedItem& object, const std::string& name) {
            const bool found = std::any_of(parameters.begin(), parameters.end(), [&](const ProcParameter& p) {
                return qz::EqualsNoCase(BareParameter(p.Name), BareParameter(name));
            });
            if (!found)
                Error(object, "stored procedure " + group.TableName() + " has no parameter " + name);
        };
        if (!group.KeyField().empty())
            check(group, group.KeyField());
        if (!group.TimeField().empty())
            check(group, group.TimeField());
        for (std::size_t i = 0; i < group.ItemCount(); ++i)
            if (!group.Item(i).FieldName().empty())
                check(group.Item(i), group.Item(i).FieldName());
    }

    TServer& root_;
    const CheckProgress& progress_;
    CheckReport report_;
    db::DbmsProduct dbms_ = db::DbmsProduct::Other;
    db::Transactions* query_ = nullptr;
};

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::size_t CheckReport::Errors() const {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [](const CheckFinding& f) { return f.severity == CheckSeverity::Error; }));
}

std::size_t CheckReport::Warnings() const {
    return findings.size() - Errors();
}

std::string CheckReport::Summary(const TServer& root) const {
    std::size_t items = 0;
    for (std::size_t g = 0; g < root.GroupCount(); ++g)
        items += root.Group(g).ItemCount();
    const std::size_t errors = Errors(), warnings = Warnings();
    return std::string(errors == 0 ? "check passed: " : "check failed: ") +
           Plural(root.GroupCount(), "group", "groups") + ", " + Plural(items, "item", "items") + ", " +
           (errors == 0 ? "no errors" : Plural(errors, "error", "errors")) + ", " +
           (warnings == 0 ? "no warnings" : Plural(warnings, "warning", "warnings"));
}

std::string FindingLine(const CheckFinding& finding) {
    return std::string(finding.severity == CheckSeverity::Error ? "error: " : "warning: ") + finding.path +
           ": " + finding.text;
}

CheckReport CheckProject(TServer& root, const CheckProgress& progress) {
    return Checker(root, progress).Run();
}

} // namespace tagsink
