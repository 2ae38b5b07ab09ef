// The main window operated as an operator would: the tree and list, Add and Delete, modes and the
// operation password, save and load, leaving the program, the inspector hooks.
#include "app_harness.hpp"
#include "inspector_harness.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "password_dialog.hpp"
#include "registration.hpp"

#include <QFile>
#include <QtTest>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

// Writes a project with groups of these names (and an OPCString when given).
void WriteProject(const QString& path, const QStringList& groups, const std::string& opc = {}) {
    TServer server;
    server.SetOPCString(opc);
    for (const QString& name : groups) {
        TGroup::Create(server).SetName(name.toStdString());
    }
    server.SaveToFile(path.toStdString());
}

int RowNamed(inspector::TQZCustomPropsPage& page, const QString& caption) {
    return inspector::testing::RowOf(page, caption);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString Project() const { return dir_.filePath(QStringLiteral("tagsink.DAT")); }

private slots:
    void init() { QFile::remove(Project()); }

    void ProjectFileIsBesideTheProgramWithDat() {
#ifdef _WIN32
        const QString root = QStringLiteral("C:");
#else
        const QString root;
#endif
        QCOMPARE(ProjectFilePathFor(root + QStringLiteral("/opt/tagsink/bin/tagsink")),
                 root + QStringLiteral("/opt/tagsink/bin/tagsink.DAT"));
        QCOMPARE(ProjectFilePathFor(root + QStringLiteral("/x/Tagsink.exe")),
                 root + QStringLiteral("/x/Tagsink.DAT"));
    }

    void StartsEmptyInEditWithPanelsAndActions() {
        ScriptedPrompts prompts;
        Window w(Project());
        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Edit"));
        QCOMPARE(w->OpcPanel->text(), QStringLiteral("OPC Disconnected"));
        QCOMPARE(w->DbPanel->text(), QStringLiteral("DB Disconnected"));
        QCOMPARE(w->tvItems->topLevelItemCount(), 1);
        QCOMPARE(w->tvItems->topLevelItem(0)->text(0), QStringLiteral("Manager"));
        QCOMPARE(w->lvItems->headerItem()->text(1), QStringLiteral("OPC标签"));
        QCOMPARE(w->lvItems->columnWidth(1), 120);
        QVERIFY(w->actModeEdit->isChecked());
        QVERIFY(!w->actViewLog->isChecked());
        QVERIFY(!w->LogWin->isVisible());
        QVERIFY(!w->actHelpContext->isEnabled());
        QCOMPARE(w->Actions().size(), 17); // sixteen commands and the project check
        QVERIFY(w->actEditCheck->isEnabled());
        QCOMPARE(w->actFileExit->text(), QStringLiteral("退出系统(E&xit)"));
        QCOMPARE(w->actEditDelete->statusTip(), QStringLiteral("删除选中项目"));
        QVERIFY(prompts.messages.isEmpty());
    }

    void AddGroupsReusesGapsAndIgnoresCase() {
        WriteProject(Project(), {QStringLiteral("Group1"), QStringLiteral("Group3")});
        {
            ScriptedPrompts prompts;
            Window w(Project());
            SelectNode(*w.main, w->tvItems->topLevelItem(0));
            w->actEditAdd->trigger();
            QCOMPARE(GroupNodes(*w.main), (QStringList{"Group1", "Group3", "Group2"}));
            QCOMPARE(w->tvItems->currentItem()->text(0), QStringLiteral("Group2"));
            QVERIFY(w->Server().Dirty());
        }
        QFile::remove(Project());
        WriteProject(Project(), {QStringLiteral("gROUP1")});
        ScriptedPrompts prompts;
        Window w(Project());
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger();
        QCOMPARE(GroupNodes(*w.main), (QStringList{"gROUP1", "Group2"}));
    }

    void AddItemsAndDeleteWithFocusRules() {
        ScriptedPrompts prompts;
        Window w(Project());
        QTreeWidgetItem* root = w->tvItems->topLevelItem(0);
        SelectNode(*w.main, root);
        w->actEditAdd->trigger(); // Group1, selected
        QTreeWidgetItem* group = w->tvItems->currentItem();
        SelectNode(*w.main, group);
        w->actEditAdd->trigger();
        w->actEditAdd->trigger();
        w->actEditAdd->trigger();
        QCOMPARE(ListColumn(*w.main, 0), (QStringList{"Item1", "Item2", "Item3"}));

        // Delete Item1 from the focused list, then Add fills the gap.
        SelectRow(*w.main, 0);
        QCOMPARE(w->CurrentObject()->Name(), std::string("Item1"));
        QVERIFY(w->actEditDelete->isEnabled());
        QVERIFY(!w->actEditAdd->isEnabled()); // Add on an item does nothing
        w->actEditDelete->trigger();
        QCOMPARE(ListColumn(*w.main, 0), (QStringList{"Item2", "Item3"}));
        QCOMPARE(w->Server().Group(0).ChildCount(), std::size_t(2));
        QVERIFY(w->CurrentObject() == nullptr || w->CurrentObject()->Name() != "Item1");
        SelectNode(*w.main, group);
        w->actEditAdd->trigger();
        QCOMPARE(ListColumn(*w.main, 0), (QStringList{"Item2", "Item3", "Item1"}));

        // The list focused with no row selected and the tree not focused: nothing happens.
        Focus(w->lvItems);
        w->lvItems->clearSelection();
        w->actEditDelete->trigger();
        QCOMPARE(w->lvItems->topLevelItemCount(), 3);
        QCOMPARE(GroupNodes(*w.main).size(), 1);

        // The server node is never deleted; its Delete is disabled.
        SelectNode(*w.main, root);
        QVERIFY(!w->actEditDelete->isEnabled());
        w->EditDelete();
        QCOMPARE(w->tvItems->topLevelItemCount(), 1);

        // A focused group node is deleted with its items; the inspector no longer shows it.
        SelectNode(*w.main, group);
        w->actEditDelete->trigger();
        QCOMPARE(GroupNodes(*w.main).size(), 0);
        QCOMPARE(w->Server().GroupCount(), std::size_t(0));
        QCOMPARE(w->lvItems->topLevelItemCount(), 0);
        QVERIFY(w->CurrentObject() != nullptr && w->CurrentObject()->ClassName() == "TServer");
    }

    void ModesWithRightWrongAndCancelledPassword() {
        ScriptedPrompts prompts;
        Window w(Project());
        w->actModeRun->trigger();
        QCOMPARE(w->Mode(), rmRun);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Run"));
        QVERIFY(w->actModeRun->isChecked());
        QVERIFY(!w->actEditAdd->isEnabled());

        prompts.passwords.push_back(QString()); // cancelled
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmRun);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Run"));
        QVERIFY(w->actModeRun->isChecked());
        QVERIFY(!w->actModeEdit->isChecked());

        prompts.passwords.push_back(QStringLiteral("KRW5TX")); // wrong: no message
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(w->actModeRun->isChecked());
        QVERIFY(prompts.messages.isEmpty());

        w->actModeDebug->trigger();
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Debug"));
        QVERIFY(w->actModeDebug->isChecked());

        prompts.passwords.push_back(QStringLiteral("  krw5tm\t "));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Edit"));
        QVERIFY(w->actModeEdit->isChecked());
        QVERIFY(w->actEditAdd->isEnabled());
        QCOMPARE(prompts.password_asked, 3);
    }

    void PasswordRules() {
        QVERIFY(IsOperationPassword(QStringLiteral("KRW5TM")));
        QVERIFY(IsOperationPassword(QStringLiteral(" krw5tm\r\n")));
        QVERIFY(!IsOperationPassword(QStringLiteral("KRW5T M")));
        QVERIFY(!IsOperationPassword(QStringLiteral("KRW5TMM")));
        QVERIFY(!IsOperationPassword(QString()));
    }

    void SaveAndLoadAndAutomaticRun() {
        {
            ScriptedPrompts prompts;
            Window w(Project());
            SelectNode(*w.main, w->tvItems->topLevelItem(0));
            w->actEditAdd->trigger();
            w->actFileSave->trigger();
            QVERIFY(!w->Server().Dirty());
        }
        {
            ScriptedPrompts prompts;
            Window w(Project());
            QCOMPARE(GroupNodes(*w.main), QStringList{"Group1"});
            QCOMPARE(w->Mode(), rmEdit); // no OPCString: cannot run
        }
        QFile::remove(Project());
        WriteProject(Project(), {}, "/Tagsink.SimServer.DA2/");
        {
            ScriptedPrompts prompts;
            Window w(Project());
            QCOMPARE(w->Mode(), rmEdit); // a server but no group
        }
        QFile::remove(Project());
        WriteProject(Project(), {QStringLiteral("Group1")}, "/Tagsink.SimServer.DA2/");
        ScriptedPrompts prompts;
        Window w(Project());
        QCOMPARE(w->Mode(), rmRun);
        QVERIFY(w->actModeRun->isChecked());
        // In Run mode the title-bar close is refused.
        QVERIFY(!w->close());
        QCOMPARE(w.ended, 0);
    }

    void UnreadableProjectIsReportedAndDoesNotRun() {
        QFile file(Project());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no project file");
        file.close();
        ScriptedPrompts prompts;
        Window w(Project());
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].startsWith(QStringLiteral("错误|")));
        QCOMPARE(w->Mode(), rmEdit);
    }

    void SaveFailureIsShownAndWindowStaysUsable() {
        ScriptedPrompts prompts;
        Window w(dir_.filePath(QStringLiteral("no/such/folder/x.DAT")));
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger();
        w->actFileSave->trigger();
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(w->Server().Dirty());
        // FileExit with Yes: the save fails, so the program does not end.
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        prompts.answers.push_back(QMessageBox::Yes);
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 0);
        QCOMPARE(prompts.messages.size(), 2);
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger(); // still usable
        QCOMPARE(GroupNodes(*w.main).size(), 2);
    }

    void FileExitAsksPasswordThenSaves() {
        ScriptedPrompts prompts;
        Window w(Project());
        prompts.passwords.push_back(QString());
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 0);
        QVERIFY(prompts.messages.isEmpty());

        prompts.passwords.push_back(QStringLiteral("wrong"));
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 0);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("提示|操作密码错误!")});

        // Unchanged project: no question.
        prompts.passwords.push_back(QStringLiteral("krw5tm"));
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 1);
        QCOMPARE(prompts.questions_asked, 0);

        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger();
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        prompts.answers.push_back(QMessageBox::Cancel);
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 1);
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        prompts.answers.push_back(QMessageBox::Yes);
        w->actFileExit->trigger();
        QCOMPARE(w.ended, 2);
        QVERIFY(QFile::exists(Project()));
        QVERIFY(!w->Server().Dirty());
    }

    void TitleBarCloseOnlyInEditWithoutQuestions() {
        ScriptedPrompts prompts;
        Window w(Project());
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger(); // changed
        w->actModeDebug->trigger();
        QVERIFY(!w->close());
        QCOMPARE(w.ended, 0);
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QVERIFY(w->close());
        QCOMPARE(w.ended, 1);
        QCOMPARE(prompts.questions_asked, 0);
        QCOMPARE(prompts.password_asked, 1);
    }

    void InspectorHidesNamesShowsChineseCaptionsAndUpdatesTreeAndList() {
        RegisterProjectEditors();
        ScriptedPrompts prompts;
        Window w(Project());
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        w->actEditAdd->trigger();
        QTreeWidgetItem* group = w->tvItems->currentItem();
        SelectNode(*w.main, group);
        w->actEditAdd->trigger();

        // The group: no Name row, Chinese captions; its Description renames the node.
        SelectNode(*w.main, group);
        auto& page = *w->Inspector;
        QCOMPARE(RowNamed(page, QStringLiteral("Name")), -1);
        QCOMPARE(RowNamed(page, QStringLiteral("Dirty")), -1);
        int description = RowNamed(page, QStringLiteral("Description"));
        QVERIFY(description >= 0);
        QVERIFY(RowNamed(page, QStringLiteral("TableName")) >= 0);
        QString caption = QStringLiteral("TableName");
        emit page.DrawingCaption(nullptr, caption);
        QCOMPARE(caption, QStringLiteral("表名"));
        caption = QStringLiteral("tablename"); // case-sensitive: left as it is
        emit page.DrawingCaption(nullptr, caption);
        QCOMPARE(caption, QStringLiteral("tablename"));
        inspector::testing::PasteInto(page, description, QStringLiteral("Boiler"));
        QCOMPARE(group->text(0), QStringLiteral("Boiler"));
        QVERIFY(w->Server().Dirty());

        // The item: FieldName changes the "字段名" cell at once.
        SelectRow(*w.main, 0);
        int field = RowNamed(page, QStringLiteral("FieldName"));
        QVERIFY(field >= 0);
        inspector::testing::PasteInto(page, field, QStringLiteral("temp_c"));
        QCOMPARE(w->lvItems->topLevelItem(0)->text(2), QStringLiteral("temp_c"));

        // Outside Edit mode the inspector is read-only, browsing still works.
        w->actModeRun->trigger();
        SelectNode(*w.main, group);
        QVERIFY(page.ReadOnly());
        QCOMPARE(w->CurrentObject()->Name(), std::string("Group1"));
    }

    void TreeIsFilledOnceAcrossHideAndShow() {
        WriteProject(Project(), {QStringLiteral("Group1")});
        ScriptedPrompts prompts;
        Window w(Project());
        for (int i = 0; i < 3; ++i) {
            w->hide();
            QApplication::processEvents();
            w->FileRestore();
            QApplication::processEvents();
        }
        QCOMPARE(w->tvItems->topLevelItemCount(), 1);
        QCOMPARE(GroupNodes(*w.main), QStringList{"Group1"});
    }

    void ViewActionsFollowTheirWindows() {
        ScriptedPrompts prompts;
        Window w(Project());
        w->actViewLog->trigger();
        QVERIFY(w->LogWin->isVisible());
        w->LogWin->close();
        QVERIFY(!w->actViewLog->isChecked());
        w->actViewManager->trigger();
        QVERIFY(!w->ManagerWin->isVisible());
        w->actViewManager->trigger();
        QVERIFY(w->ManagerWin->isVisible());
        w->PropertyWin->close();
        QVERIFY(!w->actViewProperty->isChecked());
        w->actViewToolbar->trigger();
        QVERIFY(!w->Toolbar->isVisible());
    }

    void AboutBoxAndClock() {
        ScriptedPrompts prompts;
        Window w(Project());
        QString product;
        prompts.dialogs.push_back([&](QDialog& d) {
            product = d.findChild<QLabel*>(QStringLiteral("ProductName"))->text();
            return int(QDialog::Accepted);
        });
        w->actHelpAbout->trigger();
        QCOMPARE(product, QStringLiteral("Tagsink 1.0"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->ClockPanel->text().isEmpty(), 2500);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
