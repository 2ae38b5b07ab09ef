// The window never freezes on stop: with thousands of statements waiting for a slow database, switching
// to Edit (or leaving the program) returns at once, the window says "Stopping" and keeps handling events
// while the record thread finishes within its budget, and the mode ends in Edit with the journal holding
// what the finish did not execute. Every way into and out of a running stop (a second stop, a Run, the
// title-bar close, the exit command) ends in the right state.
#include "app_harness.hpp"
#include "heartbeat.hpp"
#include "sqlite_project.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "model/group.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QElapsedTimer>
#include <QtTest>

#include <limits>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

// Statements still in the journal ("sql.dat" in the working folder) after its progress mark.
int Journaled() {
    if (!QFileInfo::exists(QStringLiteral("sql.dat"))) {
        return 0;
    }
    return static_cast<int>(PeekJournal("sql.dat").entries.size());
}

// A project on the simulated server with one group (its statements come from the test) and an SQLite
// file, recorded one statement at a time so that the database is slow.
struct Recording : SqliteProject {
    explicit Recording(std::chrono::milliseconds finish_budget = std::chrono::milliseconds(800))
        : SqliteProject("create table readings (V integer)", [](TServer& server) {
              // Statements stay in PendingList until the stop takes them (a tick difference is never above
              // the largest BufferTime).
              server.SetBufferCount(std::numeric_limits<int>::max());
              server.SetBufferTime(std::numeric_limits<int>::max());
              TGroup& group = TGroup::Create(server);
              group.SetName("Holding");
              group.SetTableName("readings");
              group.SetTrigType(TTrigType::ttDataChange);
          }) {
        options.engine.recorder.single_statements = true;
        options.engine.recorder.finish_budget = finish_budget;
    }

    // Once the record thread has its database, queues `count` statements (they wait in PendingList).
    static bool Queue(TMain& main, int count) {
        if (!QTest::qWaitFor([&main] { return main.DbPanel->text() == QStringLiteral("DB Connected"); },
                             10000)) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            QueueStatement(main.Server(), "insert into readings (V) values (" + std::to_string(i) + ")");
        }
        return true;
    }
};

// Queues `waiting` statements, then asks for Edit mode with the password: true once the window is
// stopping, its record thread still finishing them.
bool AskForEditWithWaiting(TMain& main, ScriptedPrompts& prompts, int waiting) {
    if (!Recording::Queue(main, waiting)) {
        return false;
    }
    prompts.passwords.push_back(QStringLiteral("KRW5TM"));
    main.actModeEdit->trigger();
    return main.Stopping();
}

} // namespace

class StopTest : public QObject {
    Q_OBJECT
private slots:
    void StopWithManyWaitingKeepsTheWindowResponsive() {
        constexpr int kWaiting = 20000;
        Recording recording(std::chrono::milliseconds(3000));
        ScriptedPrompts prompts;
        Window w(recording.options);
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(Recording::Queue(*w.main, kWaiting));

        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        QElapsedTimer stop;
        stop.start();
        w->actModeEdit->trigger();
        const qint64 returned = stop.elapsed();
        QVERIFY2(returned < 500, qPrintable(QString::number(returned)));
        QVERIFY(w->Stopping());
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Stopping"));
        QCOMPARE(w->Mode(), rmRun); // not in Edit before the record thread has let go of the database
        QVERIFY(w->actModeRun->isChecked());
        for (QAction* mode : {w->actModeEdit, w->actModeDebug, w->actModeRun}) {
            QVERIFY(!mode->isEnabled());
        }
        QVERIFY(w->Inspector->ReadOnly());
        QVERIFY(!w->actEditAdd->isEnabled());

        Heartbeat heartbeat;
        QVERIFY(WaitStopped(*w.main, 30000));
        const qint64 took = stop.elapsed();
        qInfo("stop with %d waiting took %lld ms; the 10 ms timer ticked %d times, longest gap %lld ms",
              kWaiting, took, heartbeat.ticks, heartbeat.longest_gap);
        // The finish spends its 3 s budget (20,000 single statements take far longer), plus at most one
        // statement's time-out.
        QVERIFY2(took >= 2500, qPrintable(QString::number(took)));
        QVERIFY2(took < 3000 + 10000 + 2000, qPrintable(QString::number(took)));
        // The event loop kept its pace meanwhile.
        QVERIFY2(heartbeat.longest_gap < 500, qPrintable(QString::number(heartbeat.longest_gap)));
        QVERIFY2(heartbeat.ticks >= took / 10 / 4, qPrintable(QString::number(heartbeat.ticks)));

        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Edit"));
        QVERIFY(w->actModeEdit->isChecked());
        for (QAction* mode : {w->actModeEdit, w->actModeDebug, w->actModeRun}) {
            QVERIFY(mode->isEnabled());
        }
        QVERIFY(!w->Inspector->ReadOnly());
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        QCOMPARE(w->DbPanel->text(), QStringLiteral("DB Disconnected"));

        // What the finish did not execute waits in the journal: nothing is lost.
        const int rows = recording.CountRows();
        const int journaled = Journaled();
        qInfo("executed %d, journaled %d", rows, journaled);
        QVERIFY(rows > 0);
        QVERIFY(journaled > 0);
        QCOMPARE(rows + journaled, kWaiting);
        QCOMPARE(w.ended, 0);
        QVERIFY(prompts.messages.isEmpty());
    }

    void SecondStopAndRunWaitForTheStop() {
        Recording recording;
        ScriptedPrompts prompts;
        Window w(recording.options);
        QVERIFY(AskForEditWithWaiting(*w.main, prompts, 5000));

        // The mode actions are disabled: the operator cannot ask again.
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        w->actModeDebug->trigger();
        QCOMPARE(prompts.password_asked, 1);
        // A second stop changes nothing; a Run asked for meanwhile follows the stop.
        w->SetMode(rmEdit);
        QVERIFY(w->Stopping());
        w->SetMode(rmDebug);
        QVERIFY(w->Stopping());
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmDebug);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Debug"));
        QVERIFY(w->actModeDebug->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(w->OpcPanel->text(), QStringLiteral("OPC Connected"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(w->DbPanel->text(), QStringLiteral("DB Connected"), 5000);

        // A Run asked for and then taken back by a stop: the stop wins.
        QVERIFY(Recording::Queue(*w.main, 3000));
        w->SetMode(rmEdit);
        QVERIFY(w->Stopping());
        w->SetMode(rmRun);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        QTest::qWait(100);
        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        QCOMPARE(w->Server().SessionHandle, 0u);
    }

    void CloseDuringStopEndsTheProgramOnceStopped() {
        Recording recording;
        ScriptedPrompts prompts;
        Window w(recording.options);
        QVERIFY(AskForEditWithWaiting(*w.main, prompts, 5000));
        QVERIFY(w->close()); // on the way to Edit: accepted, and the end waits for the stop
        QCOMPARE(w.ended, 0);
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w.ended, 1);
        QVERIFY(prompts.messages.isEmpty());
    }

    void ExitDuringStopEndsTheProgramOnceStopped() {
        Recording recording;
        ScriptedPrompts prompts;
        Window w(recording.options);
        QVERIFY(AskForEditWithWaiting(*w.main, prompts, 5000));
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actFileExit->trigger(); // the tray menu's exit is the same action
        QCOMPARE(prompts.password_asked, 2);
        QCOMPARE(w.ended, 0);
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w.ended, 1);
    }

    void ExitFromRunStopsWithoutFreezing() {
        Recording recording;
        ScriptedPrompts prompts;
        Window w(recording.options);
        QVERIFY(Recording::Queue(*w.main, 5000));
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        QElapsedTimer exit;
        exit.start();
        w->actFileExit->trigger();
        QVERIFY(exit.elapsed() < 500);
        QVERIFY(w->Stopping());
        QCOMPARE(w.ended, 0);
        QVERIFY(w->close()); // closing while stopping for the end ends the program once, too
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w.ended, 1);
        const int rows = recording.CountRows();
        QCOMPARE(rows + Journaled(), 5000);
    }

    void DestroyingTheWindowDuringStopWaitsForIt() {
        Recording recording;
        ScriptedPrompts prompts;
        auto w = std::make_unique<Window>(recording.options);
        QVERIFY(AskForEditWithWaiting(*w->main, prompts, 5000));
        w.reset();
        QTest::qWait(50); // the helper's posted completion finds nothing to do
        QCOMPARE(recording.CountRows() + Journaled(), 5000);
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    int result = 0;
    {
        StopTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    QZDAC_Uninit();
    return result;
}
#include "stop_test.moc"
