// The configuration dialogs against the simulated servers and real ODBC drivers: the server browser, the
// item browser on a hierarchical and a flat server, and the connection dialog with its builder.
#include "app_harness.hpp"
#include "database_browser.hpp"
#include "engine/db/odbc_connection.hpp"
#include "item_browser.hpp"
#include "server_browser.hpp"
#include "sqlite_project.hpp"
#include "tagclient.h"

#include <QDir>
#include <QtTest>

using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {
const char* kDa2Class = "{D886E9B9-5576-47DF-B743-B81B90B0B9BF}";
const char* kDa1Class = "{8FD8AB6C-C8EF-430D-A694-B1B07D3CF490}";

QTreeWidgetItem* Child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text) {
            return node->child(i);
        }
    }
    return nullptr;
}

QStringList Lines(QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    return lines;
}

void ClickLeaf(TItemBrowser& browser, const QString& text) {
    auto found = browser.lbLeaf->findItems(text, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    browser.lbLeaf->setCurrentItem(found.first());
    browser.lbLeafClick();
}
} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void ServerBrowserListsDa2ServersAndHandsBackTheChoice() {
        TServerBrowser browser;
        QStringList lines = Lines(browser.Servers);
        QVERIFY(lines.contains(QStringLiteral("Tagsink.SimServer.DA2")));
        QVERIFY(browser.Servers->selectedItems().isEmpty());
        std::string host = "h", prog = "p", cls = "c";
        browser.GetSelection(host, prog, cls);
        QCOMPARE(host, std::string("h")); // no selection: unchanged
        browser.show();
        browser.OKBtnClick();
        QVERIFY(browser.isVisible()); // nothing selected: stays open
        browser.Servers->setCurrentRow(
            static_cast<int>(lines.indexOf(QStringLiteral("Tagsink.SimServer.DA2"))));
        browser.Host->setText(QStringLiteral("elsewhere")); // not refilled: the line keeps its host
        browser.GetSelection(host, prog, cls);
        QCOMPARE(host, std::string());
        QCOMPARE(prog, std::string("Tagsink.SimServer.DA2"));
        QCOMPARE(QString::fromStdString(cls).toUpper(), QString::fromLatin1(kDa2Class));
        browser.OKBtnClick();
        QCOMPARE(browser.result(), int(QDialog::Accepted));
    }

    void ServerBrowserUnreachableHostListsNothing() {
        TServerBrowser browser;
        browser.Host->setText(QStringLiteral("no-such-host.invalid"));
        browser.FindClick();
        QCOMPARE(browser.Servers->count(), 0);
    }

    void ItemBrowserOnHierarchicalServer() {
        TItemBrowser browser;
        browser.SetOPC("", kDa2Class);
        QVERIFY(browser.SessionHandle() != 0);
        browser.show();
        QCOMPARE(browser.NameSpaceType(), 1u);
        QTreeWidgetItem* root = browser.tvBranch->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("ROOT"));
        browser.tvBranch->setCurrentItem(root);
        QVERIFY(Child(root, QStringLiteral("Random")) != nullptr);
        QVERIFY(Child(root, QStringLiteral("Deep")) != nullptr);
        int branches = root->childCount();
        QStringList root_leaves = Lines(browser.lbLeaf);

        // Three levels down, then back to ROOT: the root's leaves, and no branch added twice.
        QTreeWidgetItem* deep = Child(root, QStringLiteral("Deep"));
        browser.tvBranch->setCurrentItem(deep);
        QTreeWidgetItem* level1 = Child(deep, QStringLiteral("Level1"));
        QVERIFY(level1);
        browser.tvBranch->setCurrentItem(level1);
        QTreeWidgetItem* level2 = Child(level1, QStringLiteral("Level2"));
        QVERIFY(level2);
        browser.tvBranch->setCurrentItem(level2);
        QCOMPARE(Lines(browser.lbLeaf), QStringList{QStringLiteral("Real8")});
        ClickLeaf(browser, QStringLiteral("Real8"));
        QCOMPARE(browser.eName->text(), QStringLiteral("Deep.Level1.Level2.Real8"));
        if (QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS"); !shots.isEmpty()) {
            QVERIFY(browser.grab().save(QDir(shots).filePath(QStringLiteral("item-browser.png"))));
        }
        browser.tvBranch->setCurrentItem(root);
        QCOMPARE(Lines(browser.lbLeaf), root_leaves);
        QCOMPARE(root->childCount(), branches);

        // A full ID longer than 127 bytes arrives cut to its first 127 bytes.
        browser.tvBranch->setCurrentItem(Child(root, QStringLiteral("Names")));
        QString long_leaf;
        for (const QString& leaf : Lines(browser.lbLeaf)) {
            if (leaf.startsWith(QStringLiteral("Long"))) {
                long_leaf = leaf;
            }
        }
        QVERIFY(!long_leaf.isEmpty());
        ClickLeaf(browser, long_leaf);
        QCOMPARE(browser.eName->text().size(), 127);
        QVERIFY(browser.eName->text().startsWith(QStringLiteral("Names.Long4567890")));

        // OK with an empty name stays open; a double click closes.
        browser.eName->clear();
        browser.OKClick();
        QVERIFY(browser.isVisible());
        browser.lbLeafDblClick();
        QCOMPARE(browser.result(), int(QDialog::Accepted));
    }

    void ItemBrowserOnFlatServer() {
        TItemBrowser browser;
        browser.SetOPC("", kDa1Class);
        browser.show();
        QCOMPARE(browser.NameSpaceType(), 2u);
        QTreeWidgetItem* root = browser.tvBranch->topLevelItem(0);
        browser.tvBranch->setCurrentItem(root);
        QCOMPARE(root->childCount(), 0);
        QStringList leaves = Lines(browser.lbLeaf);
        QVERIFY(leaves.contains(QStringLiteral("Random.Int1")));
        ClickLeaf(browser, QStringLiteral("Random.Int1"));
        QCOMPARE(browser.eName->text(), QStringLiteral("Random.Int1"));
    }

    void ItemBrowserWithoutSessionStillTakesATypedName() {
        TItemBrowser browser;
        browser.SetOPC("", ""); // an OPCString without class ID
        QCOMPARE(browser.SessionHandle(), 0u);
        browser.show();
        browser.tvBranch->setCurrentItem(browser.tvBranch->topLevelItem(0));
        QCOMPARE(browser.tvBranch->topLevelItem(0)->childCount(), 0);
        QCOMPARE(browser.lbLeaf->count(), 0);
        browser.eName->setText(QStringLiteral("Typed.Name"));
        browser.OKClick();
        QCOMPARE(browser.result(), int(QDialog::Accepted));
    }

    void ConnectionDialogDefaultWorksAndEmptyTextDoesNotClose() {
        TDatabaseBrowser dialog;
        QString text = dialog.ConnStr->toPlainText();
        QVERIFY(text.startsWith(QStringLiteral("Driver={SQLite3};Database=")));
        bool ok = false;
        QString answer = TestConnection(text, ok);
        QVERIFY2(ok, qPrintable(answer));
        dialog.show();
        if (QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS"); !shots.isEmpty()) {
            QVERIFY(dialog.grab().save(QDir(shots).filePath(QStringLiteral("connection-dialog.png"))));
        }
        dialog.ConnStr->clear();
        dialog.OKBtnClick();
        QVERIFY(dialog.isVisible());
        QTest::keyClick(dialog.Build, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void BuilderListsDriversBuildsAndTestsAString() {
        QVERIFY(OdbcDrivers().contains(QStringLiteral("SQLite3")));
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        TDatabaseBrowser dialog;
        dialog.ConnStr->setPlainText(QStringLiteral("Driver={SQLite3};\nDatabase=old.db;"));
        // Cancelled builder: the text stays exactly as it was.
        dialog.BuildClick();
        QCOMPARE(dialog.ConnStr->toPlainText(), QStringLiteral("Driver={SQLite3};\nDatabase=old.db;"));

        // The path as the SQLite3 driver opens it (under Wine, the host's path).
        QString file = OdbcFilePath(dir.filePath(QStringLiteral("built.db")));
        QString answer;
        prompts.dialogs.push_back([&](QDialog& d) {
            auto& builder = static_cast<TConnectionBuilder&>(d);
            builder.Driver->setCurrentText(QStringLiteral("SQLite3"));
            builder.File->setText(file);
            builder.Test->click();
            answer = builder.Answer->text();
            return int(QDialog::Accepted);
        });
        dialog.BuildClick();
        QVERIFY2(answer.contains(QStringLiteral("连接成功")), qPrintable(answer));
        QCOMPARE(dialog.ConnStr->toPlainText(), QStringLiteral("Driver={SQLite3};Database=%1;").arg(file));

        // A driver that is not there: the driver manager's answer is shown.
        prompts.dialogs.push_back([&](QDialog& d) {
            auto& builder = static_cast<TConnectionBuilder&>(d);
            builder.DataSource->setCurrentIndex(0);
            builder.Driver->setCurrentText(QStringLiteral("No Such Driver"));
            builder.Test->click();
            answer = builder.Answer->text();
            return int(QDialog::Rejected);
        });
        dialog.BuildClick();
        QVERIFY(!answer.isEmpty());
        QVERIFY(!answer.contains(QStringLiteral("连接成功")));
    }

    void BuilderReadsAnExistingString() {
        TConnectionBuilder builder;
        builder.SetConnectionString(
            QStringLiteral("Driver={PostgreSQL "
                           "Unicode};Server=db1;Port=5433;Database=plant;UID=op;PWD={p;w};SSLmode=require;"));
        QCOMPARE(builder.Server->text(), QStringLiteral("db1"));
        QCOMPARE(builder.Port->value(), 5433);
        QCOMPARE(builder.Password->text(), QStringLiteral("p;w"));
        QCOMPARE(
            builder.ConnectionString(),
            QStringLiteral("Driver={PostgreSQL Unicode};Server=db1;Port=5433;Database=plant;UID=op;PWD={p;w};"
                           "SSLmode=require;"));
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    QZDAC_Init();
    DialogsTest test;
    int result = QTest::qExec(&test, argc, argv);
    QZDAC_Uninit();
    return result;
}
#include "dialogs_test.moc"
