#include "odbc_database.hpp"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace tagsink::testing {

namespace fs = std::filesystem;

namespace {

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) == SQL_SUCCESS; ++i)
        text += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "; ";
    return text;
}

struct Statement {
    explicit Statement(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &handle); }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle = SQL_NULL_HSTMT;
};

void RegisterSqliteDriver(const fs::path& folder) {
    for (const char* lib : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                            "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so"}) {
        if (!fs::exists(lib))
            continue;
        std::ofstream(folder / "odbcinst.ini") << "[SQLite3]\nDriver=" << lib << "\nSetup=" << lib << "\n";
        std::ofstream(folder / "odbc.ini") << "";
        setenv("ODBCSYSINI", folder.c_str(), 1);
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
        setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
        return;
    }
}

} // namespace

OdbcDatabase::OdbcDatabase(const std::string& connection_string) {
    Connect(connection_string);
}

std::unique_ptr<OdbcDatabase> OdbcDatabase::OpenSqlite(const fs::path& file, const fs::path& odbc_folder) {
    const std::string connection = "Driver=SQLite3;Database=" + file.string() + ";Timeout=2000;";
    auto db = std::make_unique<OdbcDatabase>(connection);
    if (!db->connected()) {
        RegisterSqliteDriver(odbc_folder);
        db->Connect(connection);
    }
    return db;
}

OdbcDatabase::~OdbcDatabase() {
    Disconnect();
}

bool OdbcDatabase::Connect(const std::string& connection_string) {
    Disconnect();
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    // A server that accepts the connection but never answers must not hang the test.
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(10)), 0);
    env_ = env;
    dbc_ = dbc;
    std::string connection = connection_string;
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()),
                                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    error_ = connected_ ? std::string() : Diagnostics(SQL_HANDLE_DBC, dbc);
    return connected_;
}

void OdbcDatabase::Disconnect() {
    if (connected_)
        SQLDisconnect(static_cast<SQLHDBC>(dbc_));
    connected_ = false;
    if (dbc_ != nullptr)
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
    if (env_ != nullptr)
        SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
    dbc_ = nullptr;
    env_ = nullptr;
}

void OdbcDatabase::Execute(const std::string& sql) {
    Statement stmt(static_cast<SQLHDBC>(dbc_));
    const SQLRETURN rc =
        SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                      static_cast<SQLINTEGER>(sql.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        throw std::runtime_error(sql + ": " + Diagnostics(SQL_HANDLE_STMT, stmt.handle));
}

std::vector<std::vector<std::string>> OdbcDatabase::Query(const std::string& sql) {
    Statement stmt(static_cast<SQLHDBC>(dbc_));
    if (!SQL_SUCCEEDED(
            SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)))
        throw std::runtime_error(sql + ": " + Diagnostics(SQL_HANDLE_STMT, stmt.handle));
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt.handle, &columns);
    std::vector<std::vector<std::string>> rows;
    while (SQL_SUCCEEDED(SQLFetch(stmt.handle))) {
        std::vector<std::string> row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            char buffer[4096] = {};
            SQLLEN length = 0;
            SQLGetData(stmt.handle, c, SQL_C_CHAR, buffer, sizeof buffer, &length);
            row.emplace_back(length == SQL_NULL_DATA ? "<null>" : std::string(buffer));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace tagsink::testing
