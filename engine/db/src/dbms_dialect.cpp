#include "engine/db/dbms_dialect.hpp"

#include "dbms_session.hpp"
#include "engine/db/db_failure.hpp"
#include "odbc_handle.hpp"
#include "odbc_text.hpp"

#ifdef _WIN32
#include "platform/oleauto.h" // windows.h, whose types sqlext.h needs
#endif

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdint>

namespace tagsink::db {

namespace {

std::string Lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::string> ConnectionStringValue(std::string_view connection_string, std::string_view key) {
    const std::string wanted = Lower(Trim(key));
    std::string_view rest = connection_string;
    while (!rest.empty()) {
        const std::size_t equals = rest.find('=');
        const std::size_t semicolon = rest.find(';');
        if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
            // A part without "=": skipped up to its ';'.
            if (semicolon == std::string_view::npos)
                break;
            rest.remove_prefix(semicolon + 1);
            continue;
        }
        const std::string name = Lower(Trim(rest.substr(0, equals)));
        rest.remove_prefix(equals + 1);
        std::string value;
        std::string_view trimmed = rest;
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front())))
            trimmed.remove_prefix(1);
        if (!trimmed.empty() && trimmed.front() == '{') {
            // A braced value may hold ';' and '='; "}}" stands for one '}'.
            std::size_t i = 1;
            for (; i < trimmed.size(); ++i) {
                if (trimmed[i] == '}') {
                    if (i + 1 < trimmed.size() && trimmed[i + 1] == '}') {
                        value += '}';
                        ++i;
                        continue;
                    }
                    break;
                }
                value += trimmed[i];
            }
            rest = trimmed.substr(std::min(i + 1, trimmed.size()));
            const std::size_t next = rest.find(';');
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        } else {
            const std::size_t end = rest.find(';');
            value = std::string(Trim(rest.substr(0, end)));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        if (name == wanted)
            return value;
    }
    return std::nullopt;
}

bool IsPostgresOdbcDriver(std::string_view driver_name) {
    const std::string name = Lower(Trim(driver_name));
    return name.find("postgres") != std::string::npos || name.find("psqlodbc") != std::string::npos;
}

std::string WithPostgresRollbackLevel(std::string_view connection_string) {
    std::string text(connection_string);
    if (ConnectionStringValue(text, "Protocol"))
        return text;
    std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.back() != ';')
        text += ';';
    text += kPostgresRollbackOption;
    text += ';';
    return text;
}

bool IsMariadbOdbcDriver(std::string_view driver_name) {
    const std::string name = Lower(Trim(driver_name));
    return name.find("mariadb") != std::string::npos || name.find("maodbc") != std::string::npos;
}

std::string WithMariadbMultiStatements(std::string_view connection_string) {
    std::string text(connection_string);
    if (ConnectionStringValue(text, "Option") || ConnectionStringValue(text, "Options"))
        return text;
    std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.back() != ';')
        text += ';';
    text += "Option=" + std::to_string(kMariadbMultiStatementsOption) + ";";
    return text;
}

bool HasMariadbMultiStatements(std::string_view connection_string) {
    std::optional<std::string> value = ConnectionStringValue(connection_string, "Option");
    if (!value)
        value = ConnectionStringValue(connection_string, "Options");
    if (!value)
        return false;
    char* end = nullptr;
    const unsigned long long bits = std::strtoull(value->c_str(), &end, 10);
    return end != value->c_str() && (bits & kMariadbMultiStatementsOption) != 0;
}

DbmsProduct DbmsProductOf(std::string_view dbms_name) {
    const std::string name = Lower(Trim(dbms_name));
    // MariaDB first: its servers may also call themselves MySQL-compatible in longer names.
    if (name.find("mariadb") != std::string::npos)
        return DbmsProduct::MariaDB;
    if (name.find("mysql") != std::string::npos)
        return DbmsProduct::MySQL;
    if (name.rfind("sqlite", 0) == 0)
        return DbmsProduct::SQLite;
    if (name.find("postgres") != std::string::npos)
        return DbmsProduct::PostgreSQL;
    return DbmsProduct::Other;
}

bool ReadsBackslashEscapes(DbmsProduct product) {
    return product == DbmsProduct::MySQL || product == DbmsProduct::MariaDB;
}

bool SqlModeHas(std::string_view sql_mode, std::string_view flag) {
    const std::string wanted = Lower(flag);
    while (!sql_mode.empty()) {
        const size_t comma = sql_mode.find(',');
        if (Lower(Trim(sql_mode.substr(0, comma))) == wanted)
            return true;
        if (comma == std::string_view::npos)
            break;
        sql_mode.remove_prefix(comma + 1);
    }
    return false;
}

std::string WithNoBackslashEscapes(std::string_view sql_mode) {
    std::string mode(Trim(sql_mode));
    if (SqlModeHas(mode, kNoBackslashEscapes))
        return mode;
    if (!mode.empty())
        mode += ',';
    mode += kNoBackslashEscapes;
    return mode;
}

namespace detail {
namespace {

// One statement handle of the set-up, freed before the connection may be disconnected.
class SetupStatement {
public:
    SetupStatement(OdbcTextCalls calls, SQLHDBC dbc, std::chrono::seconds timeout) : calls_(calls) {
        SQLHANDLE raw = nullptr;
        if (Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &raw)))
            stmt_ = OdbcHandle(SQL_HANDLE_STMT, raw);
        else
            failure_ = "no statement handle";
        if (stmt_)
            SQLSetStmtAttr(raw, SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(timeout.count())), 0);
    }

    // Runs `sql`; false with the driver's message in `failure_` when it fails.
    bool Run(std::string sql) {
        if (!stmt_)
            return false;
        SQLFreeStmt(stmt_.get(), SQL_CLOSE);
        SQLRETURN rc = ExecDirect(calls_, stmt_.get(), sql);
        if (Succeeded(rc) || rc == SQL_NO_DATA)
            return true;
        Remember();
        return false;
    }

    // Runs a query of one text value; nothing when it fails.
    bool QueryText(const std::string& sql, std::string& value) {
        if (!Run(sql))
            return false;
        if (!Succeeded(SQLFetch(stmt_.get()))) {
            Remember();
            if (failure_.empty())
                failure_ = "the query gave no row: " + sql;
            return false;
        }
        if (!ReadColumnText(calls_, stmt_.get(), 1, value)) {
            Remember();
            return false;
        }
        SQLFreeStmt(stmt_.get(), SQL_CLOSE);
        return true;
    }

    const std::string& failure() const { return failure_; }
    const std::string& sqlState() const { return sql_state_; }
    long nativeCode() const { return native_code_; }
    void Free() { stmt_.Reset(); }

private:
    void Remember() {
        failure_.clear();
        std::vector<DiagRecord> records = ReadDiagnostics(calls_, SQL_HANDLE_STMT, stmt_.get());
        for (const DiagRecord& record : records) {
            if (record.message.empty())
                continue;
            if (!failure_.empty())
                failure_ += "; ";
            failure_ += record.message;
        }
        if (!records.empty()) {
            sql_state_ = records.front().sql_state;
            native_code_ = records.front().native_code;
        }
    }

    OdbcTextCalls calls_;
    OdbcHandle stmt_;
    std::string failure_;
    std::string sql_state_;
    long native_code_ = 0;
};

// A flag list as the server gives it may be spliced into a literal only while it holds nothing but
// flag names and commas.
bool IsPlainFlagList(std::string_view mode) {
    return std::all_of(mode.begin(), mode.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ',';
    });
}

// MySQL, MariaDB: NO_BACKSLASH_ESCAPES added to the session's sql_mode, the other flags kept. Returns what
// went wrong, or nothing.
std::string SetUpMysqlSession(SetupStatement& stmt) {
    std::string mode;
    if (!stmt.QueryText("SELECT @@SESSION.sql_mode", mode))
        return "reading sql_mode failed: " + stmt.failure();
    if (SqlModeHas(mode, kNoBackslashEscapes))
        return {};
    const std::string wanted = WithNoBackslashEscapes(mode);
    if (!IsPlainFlagList(wanted))
        return "the session's sql_mode '" + mode + "' is not a list of flags";
    if (!stmt.Run("SET SESSION sql_mode = '" + wanted + "'"))
        return "setting sql_mode failed: " + stmt.failure();
    std::string now;
    if (!stmt.QueryText("SELECT @@SESSION.sql_mode", now))
        return "reading sql_mode back failed: " + stmt.failure();
    if (!SqlModeHas(now, kNoBackslashEscapes))
        return "the server kept sql_mode '" + now + "'";
    return {};
}

// PostgreSQL reads standard literals unless standard_conforming_strings was turned off (by the server's
// configuration, the role or the connection's options); it is turned on again for this session.
std::string SetUpPostgresSession(SetupStatement& stmt) {
    std::string value;
    if (!stmt.QueryText("SHOW standard_conforming_strings", value))
        return "reading standard_conforming_strings failed: " + stmt.failure();
    if (Lower(Trim(value)) == "on")
        return {};
    if (!stmt.Run("SET SESSION standard_conforming_strings = on"))
        return "setting standard_conforming_strings failed: " + stmt.failure();
    if (!stmt.QueryText("SHOW standard_conforming_strings", value))
        return "reading standard_conforming_strings back failed: " + stmt.failure();
    if (Lower(Trim(value)) != "on")
        return "the server kept standard_conforming_strings " + value;
    return {};
}

} // namespace

void PrepareSession(OdbcTextCalls calls, SQLHDBC dbc, std::chrono::seconds command_timeout) {
    const std::optional<std::string> dbms = InfoText(calls, dbc, SQL_DBMS_NAME);
    if (!dbms)
        return; // a driver that does not say is taken as a standard one
    const DbmsProduct product = DbmsProductOf(*dbms);
    const bool mysql = ReadsBackslashEscapes(product);
    if (!mysql && product != DbmsProduct::PostgreSQL)
        return;

    SetupStatement stmt(calls, dbc, command_timeout);
    const std::string problem = mysql ? SetUpMysqlSession(stmt) : SetUpPostgresSession(stmt);
    if (problem.empty())
        return;
    const std::string sql_state = stmt.sqlState();
    const long native_code = stmt.nativeCode();
    stmt.Free();
    SQLDisconnect(dbc);
    const std::string name = product == DbmsProduct::MariaDB ? "MariaDB"
                             : product == DbmsProduct::MySQL ? "MySQL"
                                                             : "PostgreSQL";
    const std::string setting = mysql ? "NO_BACKSLASH_ESCAPES" : "standard_conforming_strings = on";
    throw DbFailure(DbFailureKind::ConnectionFailure,
                    "The " + name + " session could not be switched to " + setting +
                        ", so backslashes in values would be read as escapes: " + problem,
                    sql_state, native_code);
}

} // namespace detail
} // namespace tagsink::db
