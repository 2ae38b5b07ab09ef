// The desktop program heals its OPC link: while the window is in Run or Debug mode, a simulated server
// that vanishes (or asks its clients to let go) and comes back is connected again by itself, the OPC link
// panel follows (red while the link is down), Debug mode's log view shows one line per change of state,
// rows arrive again in a real SQLite file, and a return to Edit ends the attempts. The servers are made to
// vanish through their control file (TAGCLIENT_SIM_CONTROL), which this binary points at a file of its
// own before the toolkit starts.
#include "app_harness.hpp"
#include "heartbeat.hpp"
#include "snapshot_group.hpp"
#include "sqlite_project.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/record_lock.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QtTest>

#include <cstdlib>
#include <limits>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

QString& ControlFile() {
    static QString path;
    return path;
}

// Replaces the control file through a rename, as an outside process would.
void SetServers(const QString& text) {
    const QString next = ControlFile() + QStringLiteral(".new");
    QFile file(next);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8() + "\n");
    file.close();
    QFile::remove(ControlFile());
    QVERIFY(QFile::rename(next, ControlFile()));
}

// A project recording the simulated server's Sine and Ramp every 100 ms into an SQLite file, with a fast
// status poll and short waits between attempts.
struct Plant : SqliteProject {
    // `hold`: statements wait in PendingList until a stop takes them.
    explicit Plant(bool hold = false)
        : SqliteProject("create table readings (DT varchar(30), S double precision, R integer)",
                        [hold](TServer& server) {
                            if (hold) {
                                server.SetBufferCount(std::numeric_limits<int>::max());
                                server.SetBufferTime(std::numeric_limits<int>::max());
                            }
                            AddSnapshotGroup(server);
                        }) {
        options.engine.reconnect.status_poll = std::chrono::milliseconds(100);
        options.engine.reconnect.first_delay = std::chrono::milliseconds(100);
        options.engine.reconnect.longest_delay = std::chrono::milliseconds(400);
    }
};

bool Connected(TMain& main) {
    return main.OpcPanel->text() == QStringLiteral("OPC Connected");
}
bool Red(QLabel* panel) {
    return panel->styleSheet().contains(QStringLiteral("#c62828"));
}

} // namespace

class ReconnectTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetServers(QStringLiteral("up")); }
    void cleanup() { SetServers(QStringLiteral("up")); }

    void ReconnectInRunModeAfterServerVanishes() {
        Plant plant;
        ScriptedPrompts prompts;
        Window w(plant.options);
        QCOMPARE(w->Mode(), rmRun);
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(plant.CountRows() >= 3, 10000);

        SetServers(QStringLiteral("down"));
        QTRY_COMPARE_WITH_TIMEOUT(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"), 5000);
        QVERIFY(w->RecordingEngine().Reconnecting());
        QVERIFY(Red(w->OpcPanel));
        QCOMPARE(w->Mode(), rmRun); // the window stays in its mode
        QTest::qWait(600);          // refused attempts meanwhile
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        QVERIFY(w->RecordingEngine().Reconnecting());

        SetServers(QStringLiteral("up"));
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 10000);
        QVERIFY(!w->RecordingEngine().Reconnecting());
        QTRY_VERIFY_WITH_TIMEOUT(!Red(w->OpcPanel), 2000);
        const int before = plant.CountRows();
        QTRY_VERIFY_WITH_TIMEOUT(plant.CountRows() >= before + 3, 10000); // rows arrive again
        QCOMPARE(w->LogWin->Lines().size(), 0);                           // Run mode keeps no log lines
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(prompts.messages.isEmpty());
    }

    void ReconnectAfterShutdownRequestInRunMode() {
        Plant plant;
        ScriptedPrompts prompts;
        Window w(plant.options);
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(plant.CountRows() >= 3, 10000);
        QCOMPARE(w->RecordingEngine().Reconnections(), std::uint64_t{0});

        SetServers(QStringLiteral("shutdown maintenance"));
        // The server stays there: the next attempt connects again.
        QTRY_COMPARE_WITH_TIMEOUT(w->RecordingEngine().Reconnections(), std::uint64_t{1}, 10000);
        QVERIFY(Connected(*w.main));
        QVERIFY(w->Server().SessionHandle != 0);
        const int before = plant.CountRows();
        QTRY_VERIFY_WITH_TIMEOUT(plant.CountRows() >= before + 3, 10000);
        QCOMPARE(w->Mode(), rmRun);
    }

    void ReconnectInDebugModeLogsEachChangeOnce() {
        Plant plant;
        ScriptedPrompts prompts;
        Window w(plant.options);
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 5000);
        w->actModeDebug->trigger(); // lines are kept from here on
        QCOMPARE(w->Mode(), rmDebug);

        SetServers(QStringLiteral("down"));
        QTRY_COMPARE_WITH_TIMEOUT(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"), 5000);
        QTest::qWait(1000); // several refused attempts (100, 200, 400, 400 ms)
        SetServers(QStringLiteral("up"));
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 10000);
        QTest::qWait(300);

        const QStringList lines = w->LogWin->Lines();
        const QStringList lost = lines.filter(QStringLiteral(":uMap--TServer.Reconnect--"));
        QCOMPARE(lost.size(), 1);
        QVERIFY2(lost[0].contains(QStringLiteral("OPCServer.Connected=False")), qPrintable(lost[0]));
        QCOMPARE(lines.filter(QStringLiteral(":uMap--Run--OPCServer.Connected=true")).size(), 1);
        // Refused attempts of a link known to be down log nothing.
        QCOMPARE(lines.filter(QStringLiteral("--Run--OPCServer.Connected=False")).size(), 0);
        QCOMPARE(lines.filter(QStringLiteral("--TGroup.Run--GroupAdd=true")).size(), 1); // re-created
        QVERIFY(!lines.filter(QStringLiteral("--TServer.DoRecord--sql=")).isEmpty());
    }

    void ReconnectAfterServerVanishesWithoutFreezingTheWindow() {
        // Thousands of statements wait for a slow database (one statement at a time): the stop that the
        // loss runs spends its finish budget on them while the window goes on.
        Plant plant(true);
        plant.options.engine.recorder.single_statements = true;
        plant.options.engine.recorder.finish_budget = std::chrono::milliseconds(1500);
        ScriptedPrompts prompts;
        Window w(plant.options);
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(w->DbPanel->text(), QStringLiteral("DB Connected"), 10000);
        for (int i = 0; i < 5000; ++i) {
            QueueStatement(w->Server(), "insert into readings (R) values (" + std::to_string(i) + ")");
        }

        Heartbeat heartbeat;
        qint64 stopping_since = -1, stopping_for = 0;
        heartbeat.on_tick = [&](qint64 now) {
            if (w->RecordingEngine().Stopping() && stopping_since < 0) {
                stopping_since = now;
            } else if (!w->RecordingEngine().Stopping() && stopping_since >= 0 && stopping_for == 0) {
                stopping_for = now - stopping_since;
            }
        };
        SetServers(QStringLiteral("down"));
        QTRY_VERIFY_WITH_TIMEOUT(stopping_for > 0, 15000);
        qInfo("the loss's stop took %lld ms; longest gap between 10 ms ticks %lld ms", stopping_for,
              heartbeat.longest_gap);
        QVERIFY2(stopping_for >= 1000, qPrintable(QString::number(stopping_for)));
        QVERIFY2(heartbeat.longest_gap < 500, qPrintable(QString::number(heartbeat.longest_gap)));
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(w->RecordingEngine().Reconnecting());

        SetServers(QStringLiteral("up"));
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 10000);
        QVERIFY(heartbeat.longest_gap < 500);
    }

    void ReturnToEditEndsTheAttempts() {
        Plant plant;
        ScriptedPrompts prompts;
        Window w(plant.options);
        QTRY_VERIFY_WITH_TIMEOUT(Connected(*w.main), 5000);
        SetServers(QStringLiteral("down"));
        QTRY_VERIFY_WITH_TIMEOUT(w->RecordingEngine().Reconnecting(), 5000);

        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(!w->RecordingEngine().Reconnecting());

        SetServers(QStringLiteral("up"));
        const int rows = plant.CountRows();
        QTest::qWait(1200); // three times the longest wait
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        QVERIFY(!Red(w->OpcPanel)); // in Edit nothing is expected to be connected
        QCOMPARE(w->Server().SessionHandle, 0u);
        QCOMPARE(plant.CountRows(), rows);
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The control file is named before the toolkit starts.
    QTemporaryDir control;
    ControlFile() = control.filePath(QStringLiteral("sim-control"));
    qputenv("TAGCLIENT_SIM_CONTROL", ControlFile().toLocal8Bit());
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    int result = 0;
    {
        ReconnectTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    QZDAC_Uninit();
    return result;
}
#include "reconnect_test.moc"
