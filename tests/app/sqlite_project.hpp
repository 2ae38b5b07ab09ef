// A project on the simulated server recording into a real SQLite file with one table, both in a temporary
// folder that is also the working folder (so the journal "sql.dat" lands there too).
#pragma once

#include "app_harness.hpp"
#include "model/db_connection_factory.hpp"
#include "model/server.hpp"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <sql.h>
#include <sqlext.h>
#endif

namespace tagsink::app::testing {

#ifdef _WIN32
// The path of a database file as the SQLite3 driver opens it. Under Wine the driver is the host's (Wine's
// odbc32 hands the connection string to the host's unixODBC as it is), which needs the host's path of the
// file: Wine's kernel32 gives it. On Windows the path stays as it is.
inline QString OdbcFilePath(const QString& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    // Through void* (a FARPROC is a function of no arguments; the export is not).
    const auto to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (to_unix == nullptr)
        return QDir::toNativeSeparators(path);
    char* unix_path = to_unix(native.c_str());
    if (unix_path == nullptr)
        return path;
    const QString result = QString::fromUtf8(unix_path);
    HeapFree(GetProcessHeap(), 0, unix_path);
    return result;
}

// One statement through ODBC (there is no sqlite3 shell on Windows): true when it succeeds; a statement
// that answers rows gives its first row's first column as a number in `first`.
inline bool OdbcRun(const std::string& db_string, const QString& sql, int* first = nullptr) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool ok = false;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    // The wide calls: Wine's odbc32 has no SQLDriverConnectA.
    std::wstring connect = QString::fromStdString(db_string).toStdWString();
    std::wstring query = sql.toStdWString();
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)) &&
        SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, connect.data(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT))) {
        if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)) &&
            SQL_SUCCEEDED(SQLExecDirectW(stmt, query.data(), SQL_NTS))) {
            ok = true;
            if (first != nullptr) {
                SQLINTEGER value = 0;
                SQLLEN length = 0;
                ok = SQL_SUCCEEDED(SQLFetch(stmt)) &&
                     SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_SLONG, &value, 0, &length));
                *first = static_cast<int>(value);
            }
        }
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
    }
    if (dbc != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

// select count(*) through ODBC; -1 when it fails.
inline int OdbcCount(const std::string& db_string, const QString& table) {
    int count = -1;
    return OdbcRun(db_string, QStringLiteral("select count(*) from %1").arg(table), &count) ? count : -1;
}
#else
inline QString OdbcFilePath(const QString& path) {
    return path;
}
#endif

inline constexpr const char* kSimServer = "/Tagsink.SimServer.DA2/{D886E9B9-5576-47DF-B743-B81B90B0B9BF}";

// Saves "tagsink.DAT" in `dir`: the simulated server recorded into `db_string`, with the groups (and any
// other setting) `configure` gives it. Returns the file's path.
inline QString SaveSimProject(const QTemporaryDir& dir, const std::string& db_string,
                              const std::function<void(TServer&)>& configure) {
    const QString project = dir.filePath(QStringLiteral("tagsink.DAT"));
    TServer server;
    server.SetOPCString(kSimServer);
    server.SetDBString(db_string);
    configure(server);
    server.SaveToFile(project.toStdString());
    return project;
}

struct SqliteProject {
    // `create_table`: the statement that makes the file's one table; `configure` gives the server its
    // groups (and any other setting) before the project is saved.
    SqliteProject(const std::string& create_table, const std::function<void(TServer&)>& configure) {
        QDir::setCurrent(dir.path());
        db_file = dir.filePath(QStringLiteral("plant.db"));
        db_string = "Driver={SQLite3};Database=" + OdbcFilePath(db_file).toStdString() + ";Timeout=2000;";
        auto connection = CreateDbConnection();
        connection->SetConnectionString(db_string);
        connection->Open(std::chrono::seconds(5));
        connection->Execute(create_table);
        connection->Close();

        options = Window::OptionsFor(SaveSimProject(dir, db_string, configure));
    }

    // The rows in `table` of the file, read by the sqlite3 shell beside the recording; -1 when it fails.
    int CountRows(const QString& table = QStringLiteral("readings")) const {
#ifdef _WIN32
        return OdbcCount(db_string, table);
#else
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), db_file,
                      QStringLiteral("select count(*) from %1;").arg(table)});
        if (!sqlite.waitForFinished(10000) || sqlite.exitCode() != 0) {
            return -1;
        }
        return sqlite.readAllStandardOutput().trimmed().toInt();
#endif
    }

    QTemporaryDir dir;
    QString db_file;
    std::string db_string;  // the project's DBString
    TMain::Options options; // the window's options on the saved project
};

} // namespace tagsink::app::testing
