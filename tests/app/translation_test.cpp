// The English interface: the language choice, the built-in translation, a window without a Chinese
// character once it is installed, and a translation file that keeps up with the sources.
#include "about_box.hpp"
#include "app_harness.hpp"
#include "check_view.hpp"
#include "database_browser.hpp"
#include "engine/db/odbc_connection.hpp"
#include "inspector/strings_editor_dlg.hpp"
#include "item_browser.hpp"
#include "model_bridge.hpp"
#include "password_dialog.hpp"
#include "property_captions.hpp"
#include "registration.hpp"
#include "server_browser.hpp"
#include "sqlite_project.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "tagclient.h"
#include "translation.hpp"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMap>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

bool HasCjk(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

// Every text a widget tree shows: titles, labels, buttons, headers, menus, actions and their hints.
QStringList ShownTexts(QWidget* top) {
    QStringList texts;
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        texts << w->windowTitle() << w->toolTip() << w->statusTip();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            texts << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            texts << button->text();
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            texts << box->title();
        } else if (auto* menu = qobject_cast<QMenu*>(w)) {
            texts << menu->title();
        } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            QTreeWidgetItem* header = tree->headerItem();
            for (int c = 0; c < header->columnCount(); ++c) {
                texts << header->text(c) << header->toolTip(c);
            }
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                texts << (*it)->text(0);
            }
        }
        for (QAction* action : w->actions()) {
            texts << action->text() << action->toolTip() << action->statusTip();
            if (action->menu()) {
                texts << action->menu()->title();
            }
        }
    }
    return texts;
}

QStringList CjkTexts(QWidget* top) {
    QStringList found;
    for (const QString& text : ShownTexts(top)) {
        if (HasCjk(text)) {
            found << text;
        }
    }
    return found;
}

// A .ts file as (context, source) -> translation, with unfinished or empty translations as a null QString.
QMap<QPair<QString, QString>, QString> ReadTs(const QString& path) {
    QMap<QPair<QString, QString>, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished =
                xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString text = xml.readElementText();
            entries.insert({context, source}, unfinished || text.isEmpty() ? QString() : text);
        }
    }
    return entries;
}

// Installs the English translation for one test and takes it away again.
struct English {
    English() : translator(InstallTranslation(*QCoreApplication::instance(), QStringLiteral("en"))) {}
    ~English() { QCoreApplication::removeTranslator(translator.get()); }
    std::unique_ptr<QTranslator> translator;
};

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT
private slots:
    void init() { prompts_ = std::make_unique<ScriptedPrompts>(); }
    void cleanup() { prompts_.reset(); }

    void LanguageFollowsTheFirstUiLanguage_data() {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("expected");
        QTest::newRow("simplified") << QStringList{"zh-Hans-CN", "en-US"} << "zh";
        QTest::newRow("plain zh") << QStringList{"zh"} << "zh";
        QTest::newRow("underscore") << QStringList{"zh_TW"} << "zh";
        QTest::newRow("upper case") << QStringList{"ZH-CN"} << "zh";
        QTest::newRow("english") << QStringList{"en-US", "zh-CN"} << "en";
        QTest::newRow("german") << QStringList{"de-DE"} << "en";
        QTest::newRow("zhuang is not chinese") << QStringList{"za-CN"} << "en";
        QTest::newRow("no list") << QStringList{} << "en";
    }
    void LanguageFollowsTheFirstUiLanguage() {
        QFETCH(QStringList, languages);
        QFETCH(QString, expected);
        QCOMPARE(LanguageForUiLanguages(languages), expected);
    }

    void OnlyKnownLanguagesAreTaken() {
        QVERIFY(IsKnownLanguage(QStringLiteral("en")));
        QVERIFY(IsKnownLanguage(QStringLiteral("zh")));
        QVERIFY(!IsKnownLanguage(QStringLiteral("fr")));
        QVERIFY(!IsKnownLanguage(QString()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 InstallTranslation(*QCoreApplication::instance(), QStringLiteral("fr")));
        // Chinese keeps the program's own texts: nothing is installed.
        QVERIFY(!InstallTranslation(*QCoreApplication::instance(), QStringLiteral("zh")));
        QCOMPARE(PropertyCaption(QStringLiteral("TableName")), QStringLiteral("表名"));
    }

    void EnglishCaptionsForEveryProperty() {
        const QStringList names{"BufferCount",      "BufferTime",   "DBString",       "OPCString",
                                "Description",      "Deadband",     "TimeField",      "TimeFieldType",
                                "KeyField",         "KeyFieldType", "RecordInterval", "RecordType",
                                "RecordTimeSource", "TimeZone",     "TimePrecision",  "TableName",
                                "TableType",        "UpdateRate",   "TrigType",       "DefaultValue",
                                "CalcExpr",         "FieldName",    "FieldType",      "GainType",
                                "ItemName",         "Key"};
        for (const QString& name : names) {
            QVERIFY2(HasCjk(PropertyCaption(name)), qPrintable(name)); // the program's own caption
        }
        English english;
        for (const QString& name : names) {
            const QString caption = PropertyCaption(name);
            QVERIFY2(!HasCjk(caption) && !caption.isEmpty(),
                     qPrintable(name + QLatin1String(": ") + caption));
        }
        QCOMPARE(PropertyCaption(QStringLiteral("TableName")), QStringLiteral("Table name"));
        QCOMPARE(PropertyCaption(QStringLiteral("NotAProperty")), QStringLiteral("NotAProperty"));
    }

    void MainWindowInEnglishShowsNoChinese() {
        QTemporaryDir dir;
        const QString project = dir.filePath(QStringLiteral("tagsink.DAT"));
        {
            Window chinese(project);
            QVERIFY(!CjkTexts(chinese.main.get()).isEmpty()); // the check can see Chinese at all
        }
        English english;
        Window w(project);
        // The inspector shows the root's properties with their captions.
        w->tvItems->setCurrentItem(w->tvItems->topLevelItem(0));
        QApplication::processEvents();
        QVERIFY(w->Inspector->RowCount() > 0);
        QStringList cjk = CjkTexts(w.main.get());
        for (int r = 0; r < w->Inspector->RowCount(); ++r) {
            if (HasCjk(w->Inspector->RowItem(r)->Caption)) {
                cjk << w->Inspector->RowItem(r)->Caption;
            }
        }
        QVERIFY2(cjk.isEmpty(), qPrintable(cjk.join(QLatin1String(" | "))));
        QCOMPARE(w->actFileSave->text(), QStringLiteral("&Save"));
        QCOMPARE(w->ModePanel->text(), QStringLiteral("Edit"));
        // The check's findings view, once it has shown a report.
        CheckReport report;
        report.findings.push_back({CheckSeverity::Warning, "Manager.G.I", "text"});
        w->CheckWin->ShowReport(report, QStringLiteral("summary"));
        QCOMPARE(w->CheckWin->WarningBranch()->text(0), QStringLiteral("Warnings (1)"));
        cjk = CjkTexts(w->CheckWin);
        QVERIFY2(cjk.isEmpty(), qPrintable(cjk.join(QLatin1String(" | "))));
    }

    void EnglishWindowAfterACheck() {
        English english;
        SqliteProject project("CREATE TABLE readings (DT TEXT, S REAL, R INTEGER)", [](TServer& server) {
            server.SetDescription("Boiler house");
            TGroup& group = TGroup::Create(server);
            group.SetName("Boiler");
            group.SetDescription("Boiler 1");
            group.SetTableName("readings");
            group.SetTimeField("DT");
            TItem::Create(group, "Sine", "Sine.Real8", "S", TFieldType::ftFloat);
            TItem::Create(group, "Ramp", "Ramp.Int4", "R", TFieldType::ftInteger);
            TItem::Create(group, "Flow", "No.Such.Item", "F", TFieldType::ftFloat);
        });
        Window w(project.options);
        w->SetMode(rmEdit);
        QVERIFY(WaitStopped(*w.main));
        w->resize(1100, 720);
        QVERIFY(w->SelectObjectPath(QStringLiteral("Manager.Boiler.Ramp")));
        w->EditCheck();
        QVERIFY(w->CheckWin->ErrorBranch()->childCount() >= 2); // the unknown item ID and the missing column
        QCOMPARE(w->CheckWin->ErrorBranch()->text(0),
                 QStringLiteral("Errors (%1)").arg(w->CheckWin->ErrorBranch()->childCount()));
        QApplication::processEvents();
        QStringList cjk = CjkTexts(w.main.get());
        for (int r = 0; r < w->Inspector->RowCount(); ++r) {
            if (HasCjk(w->Inspector->RowItem(r)->Caption)) {
                cjk << w->Inspector->RowItem(r)->Caption;
            }
        }
        QVERIFY2(cjk.isEmpty(), qPrintable(cjk.join(QLatin1String(" | "))));
        // TAGSINK_SCREENSHOTS=folder keeps a picture of the English window for the documentation.
        const QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS");
        if (!shots.isEmpty()) {
            QTest::qWait(200);
            QVERIFY(w->grab().save(QDir(shots).filePath(QStringLiteral("main-english.png"))));
        }
    }

    void DialogsInEnglishShowNoChinese() {
        English english;
        std::vector<std::unique_ptr<QWidget>> dialogs;
        dialogs.push_back(std::make_unique<TAbout>());
        dialogs.push_back(std::make_unique<TServerBrowser>());
        dialogs.push_back(std::make_unique<TItemBrowser>());
        dialogs.push_back(std::make_unique<TDatabaseBrowser>());
        dialogs.push_back(std::make_unique<TConnectionBuilder>());
        dialogs.push_back(std::make_unique<TPasswordDlg>());
        dialogs.push_back(std::make_unique<inspector::TStringsEditorDlg>());
        for (const auto& dialog : dialogs) {
            const QStringList cjk = CjkTexts(dialog.get());
            QVERIFY2(cjk.isEmpty(), qPrintable(dialog->metaObject()->className() + QLatin1String(": ") +
                                               cjk.join(QLatin1String(" | "))));
        }
    }

    void MessagesInEnglish() {
        English english;
        ShowFailure(QStringLiteral("disk full"));
        QCOMPARE(prompts_->messages, QStringList{QStringLiteral("Error|disk full")});
    }

    void EveryTextHasItsEnglishForm() {
        // lupdate over today's sources, starting from the committed file: a text that is new, or whose
        // translation is missing, shows up as unfinished.
#ifdef _WIN32
        QSKIP("lupdate runs on the build host");
#endif
        const QString committed = QStringLiteral(TAGSINK_SOURCE_DIR "/app/translations/tagsink_en.ts");
        QTemporaryDir scratch;
        const QString fresh = scratch.filePath(QStringLiteral("fresh.ts"));
        QProcess update;
        update.start(QStringLiteral("bash"),
                     {QStringLiteral(TAGSINK_SOURCE_DIR "/scripts/update-translations.sh"), fresh});
        QVERIFY(update.waitForFinished(120000));
        QVERIFY2(update.exitCode() == 0, update.readAllStandardError().constData());
        const auto before = ReadTs(committed);
        const auto after = ReadTs(fresh);
        QVERIFY(after.size() > 150);
        QStringList problems;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (!before.contains(it.key())) {
                problems << QStringLiteral("new: %1 \"%2\"").arg(it.key().first, it.key().second);
            } else if (it.value().isNull()) {
                problems << QStringLiteral("untranslated: %1 \"%2\"").arg(it.key().first, it.key().second);
            }
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!after.contains(it.key())) {
                problems << QStringLiteral("gone from the sources: %1 \"%2\"")
                                .arg(it.key().first, it.key().second);
            }
        }
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QLatin1String("run scripts/update-translations.sh and translate:\n") +
                            problems.join(QLatin1Char('\n'))));
    }

private:
    std::unique_ptr<ScriptedPrompts> prompts_;
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    TranslationTest test;
    int result = QTest::qExec(&test, argc, argv);
    QZDAC_Uninit();
    return result;
}
#include "translation_test.moc"
