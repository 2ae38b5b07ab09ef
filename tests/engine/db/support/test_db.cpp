#include "test_db.hpp"

#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace tagsink::db::testing {
namespace {

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) == SQL_SUCCESS;
         ++i) {
        text += reinterpret_cast<const char*>(state);
        text += ": ";
        text += reinterpret_cast<const char*>(message);
        text += "; ";
    }
    return text;
}

bool Ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// One raw ODBC connection for the helpers; independent of the code under test.
class RawConnection {
public:
    explicit RawConnection(const std::string& connection_string) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        std::string text = connection_string;
        if (!Ok(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                 nullptr, SQL_DRIVER_NOPROMPT))) {
            std::string message = Diagnostics(SQL_HANDLE_DBC, dbc_);
            Free();
            throw std::runtime_error("connect: " + message);
        }
        connected_ = true;
    }
    ~RawConnection() { Free(); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    std::vector<std::vector<std::string>> Run(const std::string& sql) {
        SQLHANDLE stmt = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
        std::string text = sql;
        SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
        if (!Ok(rc) && rc != SQL_NO_DATA) {
            std::string message = Diagnostics(SQL_HANDLE_STMT, stmt);
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            throw std::runtime_error(sql + ": " + message);
        }
        std::vector<std::vector<std::string>> rows;
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (columns > 0 && Ok(SQLFetch(stmt))) {
            std::vector<std::string> row;
            for (SQLUSMALLINT c = 1; c <= columns; ++c) {
                char buffer[4096];
                SQLLEN indicator = 0;
                SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
                row.emplace_back(indicator == SQL_NULL_DATA ? std::string("NULL") : std::string(buffer));
            }
            rows.push_back(std::move(row));
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rows;
    }

private:
    void Free() {
        if (connected_)
            SQLDisconnect(dbc_);
        connected_ = false;
        if (dbc_)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        if (env_)
            SQLFreeHandle(SQL_HANDLE_ENV, env_);
        dbc_ = env_ = nullptr;
    }
    SQLHANDLE env_ = nullptr;
    SQLHANDLE dbc_ = nullptr;
    bool connected_ = false;
};

} // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsink-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string SqliteConnectionString(const std::filesystem::path& file) {
    return "Driver={SQLite3};Database=" + file.string() + ";Timeout=2000;";
}

std::optional<std::string> PostgresConnectionString() {
    const char* value = std::getenv("TAGSINK_PG_CONN");
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> MariadbConnectionString() {
    const char* value = std::getenv("TAGSINK_MARIADB_CONN");
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

bool RunningInCi() {
    const char* value = std::getenv("CI");
    return value != nullptr && std::string(value) == "true";
}

std::vector<std::vector<std::string>> Query(const std::string& connection_string, const std::string& sql) {
    RawConnection connection(connection_string);
    return connection.Run(sql);
}

void Exec(const std::string& connection_string, const std::vector<std::string>& statements) {
    RawConnection connection(connection_string);
    for (const std::string& statement : statements)
        connection.Run(statement);
}

std::string UniqueName(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

} // namespace tagsink::db::testing
