// The program on a project that records the simulated DA 2.0 server into an SQLite file: it starts in
// Run mode by itself, shows the engine's lines once switched to Debug, rows arrive in the database, and
// the operator returns to Edit mode with the password.
#include "app_harness.hpp"
#include "snapshot_group.hpp"
#include "engine/db/odbc_connection.hpp"
#include "model/db_connection_factory.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

int CountRows(const QString& file, const QString& table) {
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {file, QStringLiteral("select count(*) from %1;").arg(table)});
    if (!sqlite.waitForFinished(10000)) {
        return -1;
    }
    return sqlite.readAllStandardOutput().trimmed().toInt();
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void RecordsInDebugModeAndReturnsToEdit() {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path())); // "sql.dat" is kept in the working folder
        QString db_file = dir.filePath(QStringLiteral("plant.db"));
        std::string db_string = "Driver={SQLite3};Database=" + db_file.toStdString() + ";Timeout=2000;";
        {
            auto connection = CreateDbConnection();
            connection->SetConnectionString(db_string);
            connection->Open(std::chrono::seconds(5));
            connection->Execute("create table readings (DT varchar(30), S double precision, R integer)");
        }
        QString project = dir.filePath(QStringLiteral("tagsink.DAT"));
        {
            TServer server;
            server.SetOPCString("/Tagsink.SimServer.DA2/{D886E9B9-5576-47DF-B743-B81B90B0B9BF}");
            server.SetDBString(db_string);
            AddSnapshotGroup(server);
            server.SaveToFile(project.toStdString());
        }

        ScriptedPrompts prompts;
        Window w(project);
        QCOMPARE(w->Mode(), rmRun);
        QTRY_COMPARE_WITH_TIMEOUT(w->OpcPanel->text(), QStringLiteral("OPC Connected"), 5000);
        QCOMPARE(w->LogWin->Lines().size(), 0); // Run mode writes no line

        w->actModeDebug->trigger();
        w->actViewLog->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            w->LogWin->Lines().filter(QStringLiteral("--TServer.DoRecord--sql=")).size() >= 3, 10000);
        QString line = w->LogWin->Lines().filter(QStringLiteral("--TServer.DoRecord--sql=")).first();
        QVERIFY2(line.contains(QStringLiteral(":uMap--TServer.DoRecord--sql=")), qPrintable(line));
        QTRY_COMPARE_WITH_TIMEOUT(w->DbPanel->text(), QStringLiteral("DB Connected"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(CountRows(db_file, QStringLiteral("readings")) >= 3, 10000);

        // TAGSINK_SCREENSHOTS=folder keeps a picture of the running window for the documentation.
        QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS");
        if (!shots.isEmpty()) {
            SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
            QTest::qWait(1200);
            QVERIFY(w->grab().save(QDir(shots).filePath(QStringLiteral("main-debug.png"))));
        }

        prompts.passwords.push_back(QStringLiteral("krw5tm"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(w->actModeEdit->isChecked());
        QApplication::processEvents();
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        int rows = CountRows(db_file, QStringLiteral("readings"));
        QTest::qWait(400);
        QCOMPARE(CountRows(db_file, QStringLiteral("readings")), rows); // stopped: nothing more arrives
        QVERIFY(prompts.messages.isEmpty());
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    int result = 0;
    {
        EndToEndTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    QZDAC_Uninit();
    return result;
}
#include "end_to_end_test.moc"
