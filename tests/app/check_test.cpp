// The project check of Edit mode: offered only in Edit, run against the simulated server and a real
// SQLite file, its findings shown as errors and warnings with their objects' paths and the summary, and a
// double-click on a finding selecting its object.
#include "app_harness.hpp"
#include "engine/db/odbc_connection.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "registration.hpp"
#include "sqlite_project.hpp"
#include "tagclient.h"

#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

const char* kTable = "CREATE TABLE readings (DT TEXT, S REAL, R INTEGER)";

// Sine and Ramp into S and R: everything exists and fits.
void CleanGroup(TServer& server) {
    TGroup& group = TGroup::Create(server);
    group.SetName("Plant");
    group.SetTableName("readings");
    group.SetTimeField("DT");
    TItem::Create(group, "Sine", "Sine.Real8", "S", TFieldType::ftFloat);
    TItem::Create(group, "Ramp", "Ramp.Int4", "R", TFieldType::ftInteger);
}

// The clean group plus an unknown item ID, a missing column, a column named twice and a missing table.
void FaultyGroups(TServer& server) {
    CleanGroup(server);
    TGroup& plant = server.Group(0);
    TItem::Create(plant, "Unknown", "No.Such.Item", "S", TFieldType::ftFloat); // S is written by Sine too
    TItem::Create(plant, "NoColumn", "Random.Real8", "Missing", TFieldType::ftFloat);
    TGroup& gone = TGroup::Create(server);
    gone.SetName("Gone");
    gone.SetTableName("no_such_table");
    TItem::Create(gone, "X", "Random.Real8", "X", TFieldType::ftFloat);
}

QStringList Paths(QTreeWidgetItem* branch) {
    QStringList paths;
    for (int i = 0; i < branch->childCount(); ++i) {
        paths << branch->child(i)->data(0, TCheckView::kPathRole).toString();
    }
    return paths;
}

QTreeWidgetItem* RowOf(QTreeWidgetItem* branch, const QString& path) {
    for (int i = 0; i < branch->childCount(); ++i) {
        if (branch->child(i)->data(0, TCheckView::kPathRole).toString() == path) {
            return branch->child(i);
        }
    }
    return nullptr;
}

} // namespace

class CheckTest : public QObject {
    Q_OBJECT
private slots:
    void init() { prompts_ = std::make_unique<ScriptedPrompts>(); }
    void cleanup() { prompts_.reset(); }

    void OfferedInEditModeOnly() {
        SqliteProject project(kTable, [](TServer& s) { (void)s; }); // no groups: the window stays in Edit
        Window w(project.options);
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(w->actEditCheck->isEnabled());
        QVERIFY(w->Toolbar->actions().contains(w->actEditCheck));
        bool in_menu = false;
        for (QAction* menu : w->menuBar()->actions()) {
            in_menu = in_menu || (menu->menu() && menu->menu()->actions().contains(w->actEditCheck));
        }
        QVERIFY(in_menu);
        w->SetMode(rmDebug);
        QVERIFY(!w->actEditCheck->isEnabled());
        w->EditCheck(); // called anyway: nothing runs
        QVERIFY(w->CheckWin->isHidden());
        prompts_->passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(w->actEditCheck->isEnabled());
    }

    void CleanProjectPasses() {
        SqliteProject project(kTable, CleanGroup);
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        w->actEditCheck->trigger();
        QVERIFY(!w->Checking());
        QVERIFY(w->CheckWin->isVisible());
        QCOMPARE(w->CheckWin->ErrorBranch()->childCount(), 0);
        QCOMPARE(w->CheckWin->WarningBranch()->childCount(), 0);
        QCOMPARE(w->CheckWin->Summary()->text(),
                 QStringLiteral("check passed: 1 group, 2 items, no errors, no warnings"));
        QVERIFY(w->actEditCheck->isEnabled());
        QVERIFY(w->actModeRun->isEnabled());
        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(project.CountRows(), 0); // a check records nothing
        QVERIFY(prompts_->messages.isEmpty());
    }

    void SeededFaultsAreShownApartWithTheirPaths() {
        SqliteProject project(kTable, FaultyGroups);
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        w->EditCheck();
        const QStringList errors = Paths(w->CheckWin->ErrorBranch());
        const QStringList warnings = Paths(w->CheckWin->WarningBranch());
        QVERIFY2(errors.contains(QStringLiteral("Manager.Plant.Unknown")), qPrintable(errors.join(' ')));
        QVERIFY2(errors.contains(QStringLiteral("Manager.Plant.NoColumn")), qPrintable(errors.join(' ')));
        QVERIFY2(errors.contains(QStringLiteral("Manager.Gone")), qPrintable(errors.join(' ')));
        QVERIFY2(warnings.contains(QStringLiteral("Manager.Plant.Unknown")), qPrintable(warnings.join(' ')));
        QVERIFY(!errors.contains(QStringLiteral("Manager.Plant.Sine")));
        QVERIFY(RowOf(w->CheckWin->ErrorBranch(), QStringLiteral("Manager.Plant.NoColumn"))
                    ->text(1)
                    .contains(QStringLiteral("Missing")));
        QVERIFY(w->CheckWin->ErrorBranch()->text(0).contains(QString::number(errors.size())));
        QVERIFY2(w->CheckWin->Summary()->text().startsWith(QStringLiteral("check failed: ")),
                 qPrintable(w->CheckWin->Summary()->text()));
        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(project.CountRows(), 0);
    }

    void DoubleClickSelectsTheFindingsObject() {
        SqliteProject project(kTable, FaultyGroups);
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        w->EditCheck();
        QTreeWidgetItem* row = RowOf(w->CheckWin->ErrorBranch(), QStringLiteral("Manager.Plant.NoColumn"));
        QVERIFY(row);
        QTreeWidget* findings = w->CheckWin->Findings();
        findings->scrollToItem(row);
        const QPoint at = findings->visualItemRect(row).center();
        // A double-click as the mouse gives it: press, release, then the second press as a double-click.
        QTest::mouseClick(findings->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(findings->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY(w->CurrentObject());
        QCOMPARE(QString::fromStdString(w->CurrentObject()->Name()), QStringLiteral("NoColumn"));
        QCOMPARE(w->lvItems->selectedItems().size(), 1);
        QCOMPARE(w->lvItems->selectedItems().first()->text(0), QStringLiteral("NoColumn"));

        // A group's finding selects the group's node; a path that names nothing changes nothing.
        QVERIFY(w->SelectObjectPath(QStringLiteral("Manager.Gone")));
        QCOMPARE(QString::fromStdString(w->CurrentObject()->Name()), QStringLiteral("Gone"));
        QVERIFY(!w->SelectObjectPath(QStringLiteral("Manager.Gone.Nothing")));
        QVERIFY(!w->SelectObjectPath(QStringLiteral("Other.Plant")));
        QCOMPARE(QString::fromStdString(w->CurrentObject()->Name()), QStringLiteral("Gone"));
    }

    void WindowRunsItsTimersAndHoldsCommandsDuringACheck() {
        SqliteProject project(kTable, FaultyGroups);
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        bool fired = false;
        bool was_checking = false;
        bool commands_held = false;
        bool close_refused = false;
        QString progress;
        // A timer fires between the check's steps: the window is not frozen.
        QTimer::singleShot(0, w.main.get(), [&] {
            fired = true;
            was_checking = w->Checking();
            progress = w->CheckWin->Summary()->text();
            commands_held = !w->actEditCheck->isEnabled() && !w->actModeRun->isEnabled() &&
                            !w->actModeDebug->isEnabled() && !w->actFileExit->isEnabled();
            close_refused = !w->close();
        });
        w->EditCheck();
        QVERIFY(fired);
        QVERIFY(was_checking);
        QVERIFY2(progress.contains(QStringLiteral("Manager")), qPrintable(progress));
        QVERIFY(commands_held);
        QVERIFY(close_refused);
        QCOMPARE(w.ended, 0);
        QVERIFY(w->isVisible());
        QVERIFY(!w->Checking());
        QVERIFY(w->actEditCheck->isEnabled() && w->actModeRun->isEnabled() && w->actFileExit->isEnabled());
        QVERIFY(w->close()); // after the check the window closes as before
        QCOMPARE(w.ended, 1);
    }

    void AServerThatCannotBeReachedIsAFinding() {
        SqliteProject project(kTable, [](TServer& s) {
            CleanGroup(s);
            s.SetOPCString("/No.Such.Server/{00000000-0000-0000-0000-000000000001}");
        });
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        w->EditCheck();
        QVERIFY(Paths(w->CheckWin->ErrorBranch()).contains(QStringLiteral("Manager")));
        QVERIFY(w->CheckWin->Summary()->text().startsWith(QStringLiteral("check failed: ")));
        QVERIFY(w->actEditCheck->isEnabled());
    }

private:
    std::unique_ptr<ScriptedPrompts> prompts_;
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    CheckTest test;
    int result = QTest::qExec(&test, argc, argv);
    QZDAC_Uninit();
    return result;
}
#include "check_test.moc"
