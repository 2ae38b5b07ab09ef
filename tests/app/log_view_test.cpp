// The log view: lines only in Debug mode and in call order (also from other threads), clear, export
// with ".log" added and CR LF lines, and the bound on a long session.
#include "app_harness.hpp"
#include "ui_reporter.hpp"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <thread>

using namespace tagsink::app;
using namespace tagsink::app::testing;

class LogViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString Project() const { return dir_.filePath(QStringLiteral("tagsink.DAT")); }

private slots:
    void LinesOnlyInDebugModeWithTheirFormat() {
        ScriptedPrompts prompts;
        Window w(Project());
        WriteLog("uMap", "Run", "in edit");
        QApplication::processEvents();
        QCOMPARE(w->LogWin->Lines().size(), 0);
        w->actModeRun->trigger();
        w->LogWin->Clear();
        WriteLog("uMap", "Run", "in run");
        QApplication::processEvents();
        QCOMPARE(w->LogWin->Lines().size(), 0);
        w->actModeDebug->trigger();
        int before = w->LogWin->Lines().size();
        WriteLog("uMap", "TServer.DoRecord", "sql=insert into t values (1)");
        QApplication::processEvents();
        QStringList lines = w->LogWin->Lines();
        QCOMPARE(lines.size(), before + 1);
        QRegularExpression format(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}:uMap--TServer\\.DoRecord--sql=insert "
                           "into t values \\(1\\)$"));
        QVERIFY2(format.match(lines.last()).hasMatch(), qPrintable(lines.last()));
    }

    void LinesFromTwoThreadsAppearWholeInCallOrder() {
        ScriptedPrompts prompts;
        Window w(Project());
        w->actModeDebug->trigger();
        QApplication::processEvents(); // the engine's own lines of the switch
        w->LogWin->Clear();
        std::thread recorder([] {
            for (int i = 0; i < 500; ++i) {
                WriteLog("uMap", "TServer.DoRecord", "sql=" + std::to_string(i));
            }
        });
        for (int i = 0; i < 500; ++i) {
            WriteLog("uMain", "UI", "line " + std::to_string(i));
        }
        recorder.join();
        QApplication::processEvents();
        QStringList lines = w->LogWin->Lines();
        QCOMPARE(lines.size(), 1000);
        int next_sql = 0;
        int next_ui = 0;
        for (const QString& line : lines) {
            if (line.contains(QStringLiteral("--TServer.DoRecord--sql="))) {
                QVERIFY(line.endsWith(QStringLiteral("sql=") + QString::number(next_sql++)));
            } else {
                QVERIFY(line.endsWith(QStringLiteral("--UI--line ") + QString::number(next_ui++)));
            }
        }
        QCOMPARE(next_sql, 500);
        QCOMPARE(next_ui, 500);
    }

    void ClearAndExport() {
        ScriptedPrompts prompts;
        Window w(Project());
        w->actModeDebug->trigger();
        QApplication::processEvents();
        w->actLogClear->trigger();
        w->actLogClear->trigger(); // clearing an empty view does nothing
        QString empty = dir_.filePath(QStringLiteral("empty"));
        prompts.file_names.push_back(empty);
        w->actLogExport->trigger();
        QFile empty_file(empty + QStringLiteral(".log"));
        QVERIFY(empty_file.open(QIODevice::ReadOnly));
        QCOMPARE(empty_file.size(), 0);

        WriteLog("uMap", "Run", "first");
        WriteLog("uMap", "Run", "二 second");
        QApplication::processEvents();
        QString named = dir_.filePath(QStringLiteral("out"));
        prompts.file_names.push_back(named);
        w->actLogExport->trigger();
        QFile out(named + QStringLiteral(".log"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QByteArray bytes = out.readAll();
        QCOMPARE(bytes.count("\r\n"), 2);
        QVERIFY(bytes.endsWith("--Run--" + ProgramEncoded(QStringLiteral("二 second")) + "\r\n"));
        QVERIFY(!bytes.contains("\n\n"));

        // Cancelled: nothing written. A folder that does not exist: the failure is shown.
        w->actLogExport->trigger();
        prompts.file_names.push_back(dir_.filePath(QStringLiteral("missing/dir/x.log")));
        w->actLogExport->trigger();
        QCOMPARE(prompts.messages.size(), 1);
        QCOMPARE(w->LogWin->Lines().size(), 2);
    }

    void LongSessionsKeepTheMostRecentLines() {
        ScriptedPrompts prompts;
        Window w(Project(), 50);
        w->actModeDebug->trigger();
        QApplication::processEvents();
        w->LogWin->Clear();
        for (int i = 0; i < 120; ++i) {
            WriteLog("uMap", "TServer.DoRecord", "sql=" + std::to_string(i));
        }
        QApplication::processEvents();
        QStringList lines = w->LogWin->Lines();
        QCOMPARE(lines.size(), 50);
        QVERIFY(lines.last().endsWith(QStringLiteral("sql=119")));
        QVERIFY(lines.first().endsWith(QStringLiteral("sql=70")));
        QVERIFY(w->LogWin->Dropped());
        QVERIFY(!w->LogWin->DroppedNote->isHidden());
        w->LogWin->Clear();
        QVERIFY(w->LogWin->DroppedNote->isHidden());
    }

    void LinkTextsFromAnotherThread() {
        ScriptedPrompts prompts;
        Window w(Project());
        std::thread other([&] { w->Reporter().SetDbLinkText("DB Connected"); });
        other.join();
        QTRY_COMPARE(w->DbPanel->text(), QStringLiteral("DB Connected"));
    }
};

QTEST_MAIN(LogViewTest)
#include "log_view_test.moc"
