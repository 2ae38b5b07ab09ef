#include "engine/db/odbc_connection.hpp"
#include "platform/ascii.hpp"

#include "dbms_session.hpp"
#include "engine/db/db_failure.hpp"
#include "engine/db/dbms_dialect.hpp"
#include "model/db_connection_factory.hpp"
#include "odbc_handle.hpp"
#include "odbc_text.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

namespace tagsink::db {

using detail::ColumnText;
using detail::DiagRecord;
using detail::OdbcHandle;
using detail::Succeeded;

namespace {

SQLPOINTER IntegerAttribute(SQLULEN value) {
    return reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(value));
}

SQLINTEGER TextLength(std::string_view text) {
    if (text.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max()))
        throw DbFailure(DbFailureKind::StatementRejected, "The statement is too long for the driver");
    return static_cast<SQLINTEGER>(text.size());
}

std::string JoinMessages(const std::vector<DiagRecord>& records, std::string_view fallback) {
    std::string text;
    for (const DiagRecord& record : records) {
        if (record.message.empty())
            continue;
        if (!text.empty())
            text += "; ";
        text += record.message;
    }
    return text.empty() ? std::string(fallback) : text;
}

long ColumnInteger(SQLHSTMT stmt, SQLUSMALLINT column) {
    SQLINTEGER value = 0;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, SQL_C_SLONG, &value, sizeof value, &indicator);
    return Succeeded(rc) && indicator != SQL_NULL_DATA ? static_cast<long>(value) : 0;
}

ProcParameterKind ParameterKind(long column_type) {
    switch (column_type) {
    case SQL_PARAM_INPUT:
        return ProcParameterKind::Input;
    case SQL_PARAM_INPUT_OUTPUT:
        return ProcParameterKind::InputOutput;
    case SQL_PARAM_OUTPUT:
        return ProcParameterKind::Output;
    case SQL_RETURN_VALUE:
        return ProcParameterKind::ReturnValue;
    case SQL_RESULT_COL:
        return ProcParameterKind::ResultColumn;
    default:
        return ProcParameterKind::Unknown;
    }
}

bool IsSystemSchema(std::string_view schema) {
    return qz::EqualsNoCase(schema, "pg_catalog") || qz::EqualsNoCase(schema, "information_schema") ||
           qz::EqualsNoCase(schema, "sys") || qz::EqualsNoCase(schema, "INFORMATION_SCHEMA");
}

// A catalog name argument "schema.name" or "name"; the schema part is optional.
struct QualifiedName {
    std::string schema;
    std::string name;
};

QualifiedName SplitQualified(std::string_view text) {
    QualifiedName result;
    if (auto dot = text.rfind('.'); dot != std::string_view::npos && dot > 0 && dot + 1 < text.size()) {
        result.schema.assign(text.substr(0, dot));
        result.name.assign(text.substr(dot + 1));
    } else {
        result.name.assign(text);
    }
    return result;
}

// Fetches the rows of a catalog result and calls `row` for those of the first owner only (catalog,
// schema and object name: columns 1 to 3). The driver orders by owner, so a name found in several schemas
// gives the rows of the first one.
template <class Row> void ForEachRowOfFirstOwner(OdbcTextCalls calls, SQLHSTMT stmt, Row&& row) {
    std::string owner;
    bool first = true;
    while (Succeeded(SQLFetch(stmt))) {
        std::string row_owner = ColumnText(calls, stmt, 1) + "\x1f" + ColumnText(calls, stmt, 2) + "\x1f" +
                                ColumnText(calls, stmt, 3);
        if (first) {
            owner = std::move(row_owner);
            first = false;
        } else if (row_owner != owner) {
            continue;
        }
        row();
    }
}

} // namespace

// Everything that exists only while the connection is open.
struct OdbcConnection::Open_ {
    std::shared_ptr<OdbcHandle> env;
    OdbcHandle dbc;
    OdbcHandle stmt; // reused for every statement and catalog call
    std::string dbms_name;
    std::string search_escape; // the driver's escape for '_' and '%' in catalog patterns
    bool sqlite = false;
    bool transactions = false; // the driver can group statements into transactions
    bool in_transaction = false;
    bool statement_lists = false; // one Execute may carry several statements separated by ";"
    std::chrono::seconds command_timeout{0};
    OdbcTextCalls calls = OdbcTextCalls::Narrow;

    bool ConnectionDead() const {
        SQLUINTEGER dead = SQL_CD_FALSE;
        SQLRETURN rc = SQLGetConnectAttr(dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
        return Succeeded(rc) && dead == SQL_CD_TRUE;
    }

    // Builds the failure for a call that failed on `handle` of this connection.
    [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view operation) const {
        std::vector<DiagRecord> records = detail::ReadDiagnostics(calls, type, handle);
        std::string state = records.empty() ? std::string() : records.front().sql_state;
        long native = records.empty() ? 0 : records.front().native_code;
        DbFailureKind kind = ClassifyFailure(state, native, sqlite, ConnectionDead());
        throw DbFailure(kind, JoinMessages(records, std::string(operation) + " failed without a message"),
                        state, native);
    }

    void Check(SQLRETURN rc, std::string_view operation) const {
        if (!Succeeded(rc) && rc != SQL_NO_DATA)
            Fail(SQL_HANDLE_STMT, stmt.get(), operation);
    }

    // Closes any cursor left on the shared statement handle, so the next call starts clean.
    void Reset() const noexcept {
        SQLFreeStmt(stmt.get(), SQL_CLOSE);
        SQLFreeStmt(stmt.get(), SQL_UNBIND);
    }

    std::string Escape(std::string_view name) const {
        if (search_escape.empty())
            return std::string(name);
        std::string escaped;
        for (char c : name) {
            if (c == '_' || c == '%' || std::string_view(search_escape) == std::string_view(&c, 1))
                escaped += search_escape;
            escaped += c;
        }
        return escaped;
    }
};

OdbcConnection::OdbcConnection(OdbcOptions options) : options_(options) {}

OdbcConnection::~OdbcConnection() {
    Close();
}

void OdbcConnection::SetConnectionString(std::string_view text) {
    connection_string_.assign(text);
}

std::string OdbcConnection::ConnectionString() const {
    return connection_string_;
}

bool OdbcConnection::IsConnected() const {
    return open_ != nullptr;
}

std::string OdbcConnection::DbmsName() const {
    return open_ ? open_->dbms_name : std::string();
}

void OdbcConnection::Open(std::chrono::seconds command_timeout) {
    if (open_)
        return;
    auto state = std::make_unique<Open_>();
    state->env = detail::SharedEnvironment();
    state->command_timeout = command_timeout;

    SQLHANDLE raw = nullptr;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, state->env->get(), &raw)))
        throw DbFailure(DbFailureKind::ConnectionFailure,
                        "The ODBC driver manager refused a connection handle");
    state->dbc = OdbcHandle(SQL_HANDLE_DBC, raw);
    SQLSetConnectAttr(raw, SQL_ATTR_LOGIN_TIMEOUT,
                      IntegerAttribute(static_cast<SQLULEN>(options_.login_timeout.count())), 0);

    // The PostgreSQL driver named by the connection string is asked for its transaction rollback level
    // (dbms_dialect.hpp), unless the string chooses one itself. A data source name keeps its own settings.
    // MariaDB's driver is asked for statement lists (several statements in one call), unless the string
    // sets its options itself.
    std::string text = connection_string_;
    const std::string driver_name = ConnectionStringValue(text, "Driver").value_or("");
    const bool postgres_driver = IsPostgresOdbcDriver(driver_name);
    const bool mariadb_driver = IsMariadbOdbcDriver(driver_name);
    if (postgres_driver)
        text = WithPostgresRollbackLevel(text);
    if (mariadb_driver)
        text = WithMariadbMultiStatements(text);
    if (text.size() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max()))
        throw DbFailure(DbFailureKind::ConnectionFailure, "The connection string is too long");
    const OdbcTextCalls calls = options_.text_calls;
    state->calls = calls;
    SQLRETURN rc = detail::DriverConnect(calls, raw, text);
    if (!Succeeded(rc)) {
        std::vector<DiagRecord> records = detail::ReadDiagnostics(calls, SQL_HANDLE_DBC, raw);
        std::string sql_state = records.empty() ? std::string() : records.front().sql_state;
        long native = records.empty() ? 0 : records.front().native_code;
        throw DbFailure(DbFailureKind::ConnectionFailure,
                        JoinMessages(records, "The database could not be opened with the connection string"),
                        sql_state, native);
    }
    // Literals must mean the same on every product before the first statement runs (dbms_dialect.hpp).
    detail::PrepareSession(calls, raw, command_timeout);

    SQLHANDLE stmt = nullptr;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, raw, &stmt))) {
        std::vector<DiagRecord> records = detail::ReadDiagnostics(calls, SQL_HANDLE_DBC, raw);
        SQLDisconnect(raw);
        throw DbFailure(DbFailureKind::ConnectionFailure, JoinMessages(records, "No statement handle"));
    }
    state->stmt = OdbcHandle(SQL_HANDLE_STMT, stmt);
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                   IntegerAttribute(static_cast<SQLULEN>(command_timeout.count())), 0);

    state->dbms_name = detail::InfoText(calls, raw, SQL_DBMS_NAME).value_or("");
    state->search_escape = detail::InfoText(calls, raw, SQL_SEARCH_PATTERN_ESCAPE).value_or("");
    const std::string driver = detail::InfoText(calls, raw, SQL_DRIVER_NAME).value_or("");
    state->sqlite = qz::EqualsNoCase(state->dbms_name.substr(0, 6), "SQLite") ||
                    driver.find("sqlite") != std::string::npos;
    SQLUSMALLINT txn_capable = SQL_TC_NONE;
    if (Succeeded(SQLGetInfo(raw, SQL_TXN_CAPABLE, &txn_capable, sizeof txn_capable, nullptr)))
        state->transactions = txn_capable != SQL_TC_NONE;
    // The PostgreSQL driver sends a list as one query, which the server parses whole before it runs any of
    // it; MariaDB's runs it with the multi-statement option and reports each statement's result. SQLite's
    // driver refuses a list ("only one SQL statement allowed") and it has no round trip to save.
    const DbmsProduct product = DbmsProductOf(state->dbms_name);
    state->statement_lists =
        (postgres_driver && product == DbmsProduct::PostgreSQL) ||
        (mariadb_driver && (product == DbmsProduct::MariaDB || product == DbmsProduct::MySQL) &&
         HasMariadbMultiStatements(text));
    open_ = std::move(state);
}

OdbcConnection::Open_& OdbcConnection::Opened() {
    if (!open_)
        throw DbFailure(DbFailureKind::ConnectionFailure, "The database connection is not open");
    return *open_;
}

void OdbcConnection::Execute(std::string_view statement) {
    Open_& s = Opened();
    struct CursorGuard {
        const Open_& s;
        ~CursorGuard() { s.Reset(); }
    } guard{s};
    TextLength(statement);
    SQLRETURN rc = detail::ExecDirect(s.calls, s.stmt.get(), statement);
    if (rc == SQL_NEED_DATA)
        throw DbFailure(DbFailureKind::StatementRejected,
                        "The statement asks for parameter data, which is never given");
    s.Check(rc, "Executing the statement");
    // Later results of the same command may carry their own errors; the rows themselves are discarded.
    while (rc != SQL_NO_DATA) {
        rc = SQLMoreResults(s.stmt.get());
        s.Check(rc, "Reading the statement's results");
    }
}

void OdbcConnection::Close() noexcept {
    if (!open_)
        return;
    Rollback();
    open_->stmt.Reset();
    SQLDisconnect(open_->dbc.get());
    open_.reset();
}

bool OdbcConnection::AcceptsStatementLists() {
    return open_ && open_->statement_lists;
}

bool OdbcConnection::SupportsTransactions() {
    return open_ && open_->transactions;
}

void OdbcConnection::Begin() {
    Open_& s = Opened();
    if (s.in_transaction)
        return;
    SQLRETURN rc =
        SQLSetConnectAttr(s.dbc.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_OFF), 0);
    if (!Succeeded(rc))
        s.Fail(SQL_HANDLE_DBC, s.dbc.get(), "Starting a transaction");
    s.in_transaction = true;
}

void OdbcConnection::Commit() {
    Open_& s = Opened();
    if (!s.in_transaction)
        return;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, s.dbc.get(), SQL_COMMIT);
    if (!Succeeded(rc)) {
        // Leave the transaction in any case; the caller decides what the failure means.
        std::vector<DiagRecord> records = detail::ReadDiagnostics(s.calls, SQL_HANDLE_DBC, s.dbc.get());
        std::string state = records.empty() ? std::string() : records.front().sql_state;
        long native = records.empty() ? 0 : records.front().native_code;
        DbFailureKind kind = ClassifyFailure(state, native, s.sqlite, s.ConnectionDead());
        Rollback();
        throw DbFailure(kind, JoinMessages(records, "Committing the transaction failed without a message"),
                        state, native);
    }
    SQLSetConnectAttr(s.dbc.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_ON), 0);
    s.in_transaction = false;
}

void OdbcConnection::Rollback() noexcept {
    if (!open_ || !open_->in_transaction)
        return;
    Open_& s = *open_;
    s.Reset();
    SQLEndTran(SQL_HANDLE_DBC, s.dbc.get(), SQL_ROLLBACK);
    SQLSetConnectAttr(s.dbc.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_ON), 0);
    s.in_transaction = false;
}

std::vector<std::vector<std::string>> OdbcConnection::QueryRows(std::string_view sql) {
    Open_& s = Opened();
    struct CursorGuard {
        const Open_& s;
        ~CursorGuard() { s.Reset(); }
    } guard{s};
    s.Reset();
    TextLength(sql);
    s.Check(detail::ExecDirect(s.calls, s.stmt.get(), sql), "Running the query");
    SQLSMALLINT columns = 0;
    SQLNumResultCols(s.stmt.get(), &columns);
    std::vector<std::vector<std::string>> rows;
    for (;;) {
        SQLRETURN rc = SQLFetch(s.stmt.get());
        if (rc == SQL_NO_DATA)
            break;
        s.Check(rc, "Reading the query's rows");
        std::vector<std::string> row;
        for (SQLSMALLINT c = 1; c <= columns; ++c)
            row.push_back(ColumnText(s.calls, s.stmt.get(), static_cast<SQLUSMALLINT>(c)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> OdbcConnection::ListTables() {
    Open_& s = Opened();
    s.Reset();
    s.Check(detail::Tables(s.calls, s.stmt.get(), "%", "TABLE,VIEW"), "Listing the tables");
    std::vector<std::string> names;
    while (Succeeded(SQLFetch(s.stmt.get()))) {
        std::string schema = ColumnText(s.calls, s.stmt.get(), 2);
        std::string type = ColumnText(s.calls, s.stmt.get(), 4);
        std::string name = ColumnText(s.calls, s.stmt.get(), 3);
        if (IsSystemSchema(schema) || (!qz::EqualsNoCase(type, "TABLE") && !qz::EqualsNoCase(type, "VIEW")))
            continue;
        // SQLite reports its own bookkeeping tables (sqlite_sequence, sqlite_stat1) as plain tables.
        if (s.sqlite && qz::EqualsNoCase(name.substr(0, 7), "sqlite_"))
            continue;
        names.push_back(std::move(name));
    }
    s.Reset();
    return names;
}

std::vector<std::string> OdbcConnection::ListProcedures() {
    Open_& s = Opened();
    s.Reset();
    s.Check(detail::Procedures(s.calls, s.stmt.get(), "%"), "Listing the procedures");
    std::vector<std::string> names;
    while (Succeeded(SQLFetch(s.stmt.get()))) {
        if (IsSystemSchema(ColumnText(s.calls, s.stmt.get(), 2)))
            continue;
        names.push_back(ColumnText(s.calls, s.stmt.get(), 3));
    }
    s.Reset();
    return names;
}

std::vector<std::string> OdbcConnection::ListFields(std::string_view table) {
    Open_& s = Opened();
    s.Reset();
    QualifiedName qualified = SplitQualified(table);
    std::string schema = s.Escape(qualified.schema);
    std::string name = s.Escape(qualified.name);
    s.Check(detail::Columns(s.calls, s.stmt.get(), schema, name, "%"), "Listing the columns");
    // The driver orders by catalog, schema, table and position; a name found in several schemas gives the
    // columns of the first one only.
    struct Column {
        long position;
        std::string name;
    };
    std::vector<Column> columns;
    ForEachRowOfFirstOwner(s.calls, s.stmt.get(), [&] {
        std::string column = ColumnText(s.calls, s.stmt.get(), 4);
        columns.push_back({ColumnInteger(s.stmt.get(), 17), std::move(column)});
    });
    s.Reset();
    if (columns.empty())
        throw DbFailure(DbFailureKind::StatementRejected, "Table '" + std::string(table) + "' was not found");
    std::stable_sort(columns.begin(), columns.end(),
                     [](const Column& a, const Column& b) { return a.position < b.position; });
    std::vector<std::string> names;
    names.reserve(columns.size());
    for (Column& column : columns)
        names.push_back(std::move(column.name));
    return names;
}

std::vector<ProcParameter> OdbcConnection::ListProcedureParameters(std::string_view procedure) {
    Open_& s = Opened();
    s.Reset();
    QualifiedName qualified = SplitQualified(procedure);
    std::string schema = s.Escape(qualified.schema);
    std::string name = s.Escape(qualified.name);
    // No column pattern: some drivers match "%" against the parameter names and so drop unnamed ones.
    s.Check(detail::ProcedureColumns(s.calls, s.stmt.get(), schema, name),
            "Listing the procedure's parameters");
    std::vector<ProcParameter> parameters;
    ForEachRowOfFirstOwner(s.calls, s.stmt.get(), [&] {
        ProcParameter parameter;
        parameter.Name = ColumnText(s.calls, s.stmt.get(), 4);
        parameter.Kind = ParameterKind(ColumnInteger(s.stmt.get(), 5));
        parameter.TypeName = ColumnText(s.calls, s.stmt.get(), 7);
        // A return value without a name gets the name under which such databases usually report it, so
        // that editors can recognise and leave it out.
        if (parameter.Kind == ProcParameterKind::ReturnValue && parameter.Name.empty())
            parameter.Name = kReturnValueName;
        parameters.push_back(std::move(parameter));
    });
    s.Reset();
    return parameters;
}

void InstallOdbcConnectionFactory(OdbcOptions options) {
    SetDbConnectionFactory([options] { return std::make_unique<OdbcConnection>(options); });
}

} // namespace tagsink::db
