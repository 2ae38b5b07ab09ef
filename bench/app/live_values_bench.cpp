// Does the window's live view slow recording? Statements per second that a project of 10,000 items
// records with the main window showing the items' live values, divided by the rate of the same project
// recorded without any window; prints both rates and the ratio (the goal is at least 0.9).
//
//   bench_live_values [SECONDS]
// Every item reads a changing value of the simulated OPC DA 2.0 server and writes its own row on every
// change (a data-change group with one key per item) into an SQLite file (WAL) in a temporary folder.
#include "engine/db/odbc_connection.hpp"
#include "main_window.hpp"
#include "model/db_connection_factory.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "project_engine.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace tagsink;
using namespace tagsink::app;

namespace {

constexpr int kItems = 10000;

void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

std::string MakeDatabase(const QString& file) {
    std::string db_string = "Driver={SQLite3};Database=" + file.toStdString() + ";Timeout=5000;";
    auto connection = CreateDbConnection();
    connection->SetConnectionString(db_string);
    connection->Open(std::chrono::seconds(5));
    connection->Execute("PRAGMA journal_mode=WAL");
    connection->Execute("PRAGMA synchronous=NORMAL");
    connection->Execute("create table readings (K varchar(20), DT varchar(30), V integer)");
    return db_string;
}

QString MakeProject(const QString& dir, const std::string& db_string) {
    const QString project = QDir(dir).filePath(QStringLiteral("bench.DAT"));
    TServer server;
    server.SetOPCString("/Tagsink.SimServer.DA2/{D886E9B9-5576-47DF-B743-B81B90B0B9BF}");
    server.SetDBString(db_string);
    TGroup& group = TGroup::Create(server);
    group.SetName("Changes");
    group.SetTableName("readings");
    group.SetTrigType(TTrigType::ttDataChange);
    group.SetKeyField("K");
    group.SetKeyFieldType(TFieldType::ftString);
    group.SetTimeField("DT");
    group.SetUpdateRate(100);
    for (int i = 0; i < kItems; ++i) {
        TItem& item = TItem::Create(group);
        item.SetName("Item" + std::to_string(i + 1));
        item.SetItemName(i % 2 ? "Random.Int4" : "Ramp.Int4");
        item.SetFieldName("V");
        item.SetFieldType(TFieldType::ftInteger);
        item.SetKey("k" + std::to_string(i + 1));
    }
    server.SaveToFile(project.toStdString());
    return project;
}

// Statements per second over `seconds`, after a second of warming up.
double Rate(const RecorderStats& stats, int seconds) {
    Wait(1000);
    const std::uint64_t before = stats.executed.load();
    QElapsedTimer timer;
    timer.start();
    Wait(seconds * 1000);
    return static_cast<double>(stats.executed.load() - before) /
           (static_cast<double>(timer.elapsed()) / 1000.0);
}

double WithoutWindow(const QString& project, int seconds) {
    TServer server;
    server.LoadFromFile(project.toStdString());
    QtEventLoop loop;
    auto watch = WatchToolkitEvents(loop);
    NullReporter reporter;
    ProjectEngine engine(server, loop, reporter);
    engine.Run();
    if (!engine.Running()) {
        throw std::runtime_error("the simulated server could not be connected");
    }
    const double rate = Rate(engine.Stats(), seconds);
    engine.Stop();
    return rate;
}

double WithWindow(const QString& project, int seconds, int& rows_shown) {
    TMain::Options options;
    options.project_file = project;
    options.use_tray = false;
    TMain window(options);
    window.OnEndProgram = [] {};
    window.show();
    window.FillTree();
    if (window.Mode() != rmRun) {
        throw std::runtime_error("the window did not start recording");
    }
    window.tvItems->setCurrentItem(window.tvItems->topLevelItem(0)->child(0));
    rows_shown = window.lvItems->topLevelItemCount();
    const double rate = Rate(window.Stats(), seconds);
    window.SetMode(rmEdit);
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    int status = 0;
    try {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path()); // "sql.dat" beside the database
        const QString project =
            MakeProject(dir.path(), MakeDatabase(QDir(dir.path()).filePath(QStringLiteral("bench.db"))));
        // Alternating runs, so that a busy machine weighs on both sides alike.
        double plain = 0;
        double shown = 0;
        int rows = 0;
        for (int round = 0; round < 2; ++round) {
            const double a = WithoutWindow(project, seconds);
            const double b = WithWindow(project, seconds, rows);
            std::printf(
                "round %d: without the window %.0f statements/s, with live values %.0f statements/s\n",
                round + 1, a, b);
            plain += a;
            shown += b;
        }
        std::printf("items: %d, rows in the item list: %d, %d s per run\n", kItems, rows, seconds);
        std::printf("without the window: %.0f statements/s\n", plain / 2);
        std::printf("with live values:   %.0f statements/s\n", shown / 2);
        std::printf("ratio: %.3f (goal >= 0.9)\n", plain > 0 ? shown / plain : 0.0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_live_values: %s\n", error.what());
        status = 1;
    }
    QZDAC_Uninit();
    return status;
}
