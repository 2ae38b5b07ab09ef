// The program on a project that records the simulated DA 2.0 server into an SQLite file: it starts in
// Run mode by itself, shows the engine's lines once switched to Debug, rows arrive in the database, and
// the operator returns to Edit mode with the password.
#include "app_harness.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "snapshot_group.hpp"
#include "sqlite_project.hpp"
#include "tagclient.h"

#include <QFileInfo>
#include <QtTest>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void RecordsInDebugModeAndReturnsToEdit() {
        // "sql.dat" is kept in the project's folder, which is the working folder.
        SqliteProject project("create table readings (DT varchar(30), S double precision, R integer)",
                              [](TServer& server) { AddSnapshotGroup(server); });
        ScriptedPrompts prompts;
        Window w(project.options);
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
        QTRY_VERIFY_WITH_TIMEOUT(project.CountRows() >= 3, 10000);

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
        int rows = project.CountRows();
        QTest::qWait(400);
        QCOMPARE(project.CountRows(), rows); // stopped: nothing more arrives
        QVERIFY(prompts.messages.isEmpty());
    }

    void ExitFromRunNeedsThePasswordAndLeavesNothingJournaled() {
        SqliteProject project("create table readings (DT varchar(30), S double precision, R integer)",
                              [](TServer& server) { AddSnapshotGroup(server); });
        ScriptedPrompts prompts;
        Window w(project.options);
        QCOMPARE(w->Mode(), rmRun);
        QTRY_VERIFY_WITH_TIMEOUT(project.CountRows() >= 2, 10000);

        // A wrong password keeps it recording.
        prompts.passwords.push_back(QStringLiteral("wrong"));
        w->actFileExit->trigger();
        QCOMPARE(prompts.password_asked, 1);
        QCOMPARE(prompts.messages.size(), 1); // the wrong password is said
        QCOMPARE(w.ended, 0);
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(!w->Stopping());
        const int before = project.CountRows();
        QTRY_VERIFY_WITH_TIMEOUT(project.CountRows() > before, 10000);

        prompts.passwords.push_back(QStringLiteral("krw5tm"));
        w->actFileExit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w.ended, 1);
        // A healthy database took every statement: the journal holds none after its progress mark.
        const int journaled = QFileInfo::exists(QStringLiteral("sql.dat"))
                                  ? static_cast<int>(PeekJournal("sql.dat").entries.size())
                                  : 0;
        QCOMPARE(journaled, 0);
        const int rows = project.CountRows();
        QTest::qWait(400);
        QCOMPARE(project.CountRows(), rows);
        QCOMPARE(prompts.messages.size(), 1);
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
