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

namespace tagsink::app::testing {

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
        const std::string db_string = "Driver={SQLite3};Database=" + db_file.toStdString() + ";Timeout=2000;";
        auto connection = CreateDbConnection();
        connection->SetConnectionString(db_string);
        connection->Open(std::chrono::seconds(5));
        connection->Execute(create_table);
        connection->Close();

        options = Window::OptionsFor(SaveSimProject(dir, db_string, configure));
    }

    // The rows in `table` of the file, read by the sqlite3 shell beside the recording; -1 when it fails.
    int CountRows(const QString& table = QStringLiteral("readings")) const {
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), db_file,
                      QStringLiteral("select count(*) from %1;").arg(table)});
        if (!sqlite.waitForFinished(10000) || sqlite.exitCode() != 0) {
            return -1;
        }
        return sqlite.readAllStandardOutput().trimmed().toInt();
    }

    QTemporaryDir dir;
    QString db_file;
    TMain::Options options; // the window's options on the saved project
};

} // namespace tagsink::app::testing
