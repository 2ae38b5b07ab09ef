// The five project property editors operated through the window's inspector: the dialogs they open and
// the pick lists read live from a real SQLite database (and PostgreSQL when the test script offers one).
#include "app_harness.hpp"
#include "inspector_harness.hpp"
#include "database_browser.hpp"
#include "engine/db/odbc_connection.hpp"
#include "item_browser.hpp"
#include "model/db_connection_factory.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "sqlite_project.hpp"
#include "server_browser.hpp"
#include "tagclient.h"

#include <QFile>
#include <QtTest>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

const char* kDa2Class = "{D886E9B9-5576-47DF-B743-B81B90B0B9BF}";

int Row(inspector::TQZCustomPropsPage& page, const char* name) {
    return inspector::testing::RowOf(page, QString::fromLatin1(name));
}

// Opens the pick list of a row and returns its values (nothing when no list opened).
QStringList PickList(inspector::TQZCustomPropsPage& page, const char* name) {
    page.SetCurrentRow(Row(page, name));
    page.InplaceEdit()->ClosePickList();
    page.DropDown();
    QStringList values;
    if (!page.InplaceEdit()->PickListVisible()) {
        return values;
    }
    auto* list = page.InplaceEdit()->PickList();
    for (int i = 0; i < list->count(); ++i) {
        values << list->item(i)->text();
    }
    page.InplaceEdit()->ClosePickList();
    return values;
}

void Execute(const std::string& connection_string, const std::string& sql) {
    auto connection = CreateDbConnection();
    connection->SetConnectionString(connection_string);
    connection->Open(std::chrono::seconds(5));
    connection->Execute(sql);
}

} // namespace

class EditorsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string db_string_;

    QString Project() const { return dir_.filePath(QStringLiteral("tagsink.DAT")); }

    // A project with one group (table "readings") and one item, its database a fresh SQLite file.
    void WriteProject(const std::string& table,
                      const std::string& opc = "/Tagsink.SimServer.DA2/" + std::string(kDa2Class)) {
        TServer server;
        server.SetOPCString(opc);
        server.SetDBString(db_string_);
        TGroup& group = TGroup::Create(server);
        group.SetName("Group1");
        group.SetTableName(table);
        TItem::Create(group).SetName("Item1");
        QFile::remove(Project());
        server.SaveToFile(Project().toStdString());
    }

    // A complete project starts in Run mode: back to Edit, where the inspector takes changes.
    static void ToEdit(Window& w, ScriptedPrompts& prompts) {
        if (w->Mode() != rmEdit) {
            prompts.passwords.push_back(QStringLiteral("KRW5TM"));
            w->actModeEdit->trigger();
            QVERIFY(WaitStopped(*w.main));
        }
        QCOMPARE(w->Mode(), rmEdit);
    }

    // Shows the group, or its first item, in the inspector.
    void ShowGroup(Window& w) { SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0)); }
    void ShowItem(Window& w) {
        ShowGroup(w);
        SelectRow(*w.main, 0);
    }

private slots:
    void initTestCase() {
        RegisterProjectEditors();
        QString file = dir_.filePath(QStringLiteral("plant.db"));
        db_string_ = "Driver={SQLite3};Database=" + OdbcFilePath(file).toStdString() + ";Timeout=2000;";
        Execute(db_string_, "create table readings (id integer, temp_c real, taken text)");
        Execute(db_string_, "create view hot as select * from readings where temp_c > 50");
    }

    void TableAndFieldPickListsComeFromTheDatabase() {
        WriteProject("readings");
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        ShowGroup(w);
        QStringList tables = PickList(*w->Inspector, "TableName");
        QVERIFY2(tables.contains(QStringLiteral("readings")) && tables.contains(QStringLiteral("hot")),
                 qPrintable(tables.join(',')));
        QCOMPARE(PickList(*w->Inspector, "KeyField"), (QStringList{"id", "temp_c", "taken"}));
        ShowItem(w);
        QCOMPARE(PickList(*w->Inspector, "FieldName"), (QStringList{"id", "temp_c", "taken"}));
        QVERIFY(prompts.messages.isEmpty());

        // Switching the group to stored procedures changes the table list at once (SQLite has none).
        ShowGroup(w);
        inspector::testing::PasteInto(*w->Inspector, Row(*w->Inspector, "TableType"),
                                      QStringLiteral("ttStoredProc"));
        QCOMPARE(w->Server().Group(0).TableType(), TTableType::ttStoredProc);
        QVERIFY(!PickList(*w->Inspector, "TableName").contains(QStringLiteral("readings")));
    }

    void MissingTableShowsTheFailureAndNoList() {
        WriteProject("");
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        ShowItem(w);
        QCOMPARE(PickList(*w->Inspector, "FieldName"), QStringList());
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].startsWith(QStringLiteral("错误|")));
        QCOMPARE(w->Server().Group(0).Child(0).Dirty(), false);
    }

    void UnreachableDatabaseGivesAnEmptyListAndALogLine() {
        std::string saved = db_string_;
        db_string_ = "Driver={No Such Driver};Database=x;";
        WriteProject("readings");
        db_string_ = saved;
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        w->actModeDebug->trigger();
        QApplication::processEvents();
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        // Lines are kept in Debug mode only; the pick list works in Edit mode, so check list and message.
        ShowGroup(w);
        QCOMPARE(PickList(*w->Inspector, "TableName"), QStringList());
        QVERIFY(prompts.messages.isEmpty());
    }

    void OpcStringEditorOpensTheServerBrowser() {
        WriteProject("readings", "somehost");
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        QString host;
        prompts.dialogs.push_back([&](QDialog& d) { // cancelled: nothing changes
            host = static_cast<TServerBrowser&>(d).Host->text();
            return int(QDialog::Rejected);
        });
        w->Inspector->SetCurrentRow(Row(*w->Inspector, "OPCString"));
        w->Inspector->ButtonAction();
        QCOMPARE(host, QStringLiteral("somehost"));
        QCOMPARE(w->Server().OPCString(), std::string("somehost"));
        QVERIFY(!w->Server().Dirty());

        prompts.dialogs.push_back([&](QDialog& d) {
            auto& browser = static_cast<TServerBrowser&>(d);
            auto found =
                browser.Servers->findItems(QStringLiteral("Tagsink.SimServer.DA2"), Qt::MatchExactly);
            browser.Servers->setCurrentItem(found.first());
            browser.OKBtnClick();
            return browser.result();
        });
        w->Inspector->ButtonAction();
        QString stored = QString::fromStdString(w->Server().OPCString());
        QVERIFY2(stored.startsWith(QStringLiteral("/Tagsink.SimServer.DA2/{")), qPrintable(stored));
        QCOMPARE(stored.section(QLatin1Char('/'), 2).toUpper(), QString::fromLatin1(kDa2Class));
        QVERIFY(w->Server().Dirty());
    }

    void DbStringEditorTakesOnlyTheDialogsText() {
        WriteProject("readings");
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        SelectNode(*w.main, w->tvItems->topLevelItem(0));
        int row = Row(*w->Inspector, "DBString");
        w->Inspector->SetCurrentRow(row);
        QVERIFY(inspector::testing::Cell(*w->Inspector)->isReadOnly());
        QString shown;
        prompts.dialogs.push_back([&](QDialog& d) {
            auto& dialog = static_cast<TDatabaseBrowser&>(d);
            shown = dialog.ConnStr->toPlainText();
            dialog.ConnStr->setPlainText(QStringLiteral("Driver={SQLite3};Database=other.db;"));
            dialog.OKBtnClick();
            return dialog.result();
        });
        w->Inspector->ButtonAction();
        QCOMPARE(shown.toStdString(), db_string_);
        QCOMPARE(w->Server().DBString(), std::string("Driver={SQLite3};Database=other.db;"));
        QVERIFY(w->Server().Dirty());
    }

    void ItemNameEditorBrowsesTheProjectsServer() {
        WriteProject("readings");
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        ShowItem(w);
        std::uint32_t session = 0;
        prompts.dialogs.push_back([&](QDialog& d) {
            auto& browser = static_cast<TItemBrowser&>(d);
            session = browser.SessionHandle();
            QTreeWidgetItem* root = browser.tvBranch->topLevelItem(0);
            browser.tvBranch->setCurrentItem(root);
            for (int i = 0; i < root->childCount(); ++i) {
                if (root->child(i)->text(0) == QStringLiteral("Random")) {
                    browser.tvBranch->setCurrentItem(root->child(i));
                }
            }
            auto found = browser.lbLeaf->findItems(QStringLiteral("Int4"), Qt::MatchExactly);
            browser.lbLeaf->setCurrentItem(found.first());
            browser.lbLeafDblClick();
            return browser.result();
        });
        w->Inspector->SetCurrentRow(Row(*w->Inspector, "ItemName"));
        w->Inspector->ButtonAction();
        QVERIFY(session != 0);
        QCOMPARE(w->lvItems->topLevelItem(0)->text(1), QStringLiteral("Random.Int4"));
        QCOMPARE(static_cast<TItem&>(w->Server().Group(0).Child(0)).ItemName(), std::string("Random.Int4"));
    }

    void ProcedureParametersLeaveOutTheReturnValue() {
        QByteArray pg = qgetenv("TAGSINK_PG_CONN");
        if (pg.isEmpty()) {
            QSKIP("TAGSINK_PG_CONN is not set");
        }
        std::string saved = db_string_;
        db_string_ = pg.toStdString();
        Execute(db_string_,
                "create or replace function tagsink_app_proc(p_id integer, p_temp real) returns integer "
                "language sql as 'select 1'");
        WriteProject("tagsink_app_proc");
        db_string_ = saved;
        ScriptedPrompts prompts;
        Window w(Project());
        ToEdit(w, prompts);
        ShowGroup(w);
        inspector::testing::PasteInto(*w->Inspector, Row(*w->Inspector, "TableType"),
                                      QStringLiteral("ttStoredProc"));
        QVERIFY(PickList(*w->Inspector, "TableName").contains(QStringLiteral("tagsink_app_proc")));
        ShowItem(w);
        QStringList fields = PickList(*w->Inspector, "FieldName");
        QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.join(';')));
        QCOMPARE(fields.size(), 2);
        for (const QString& field : fields) {
            QVERIFY(field.compare(QStringLiteral("@RETURN_VALUE"), Qt::CaseInsensitive) != 0);
        }
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    QZDAC_Init();
    int result = 0;
    {
        EditorsTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    QZDAC_Uninit();
    return result;
}
#include "editors_test.moc"
